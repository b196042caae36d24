#include "platform/paths.h"

#ifdef _WIN32

const char* pathSeparators() {
    return "/\\";
}

size_t fileNameStart(std::string_view path) {
    const size_t separator = path.find_last_of(pathSeparators());
    if (separator != std::string_view::npos) return separator + 1;
    // "C:tune.sid" names tune.sid in drive C's current folder.
    if (path.size() >= 2 && path[1] == ':') return 2;
    return 0;
}

#else

const char* pathSeparators() {
    return "/";
}

size_t fileNameStart(std::string_view path) {
    const size_t separator = path.rfind('/');
    return separator == std::string_view::npos ? 0 : separator + 1;
}

#endif
