#include "collection/tunes.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "output/diagnostics.h"

namespace fs = std::filesystem;

namespace {

// A path as UTF-8 bytes with "/" between its parts, on every system.
std::string genericText(const fs::path& path) {
    const std::u8string text = path.generic_u8string();
    return std::string(text.begin(), text.end());
}

// "/" and the path's parts (built up, not by operator+, which g++ 12 warns
// about wrongly here).
std::string listPathOf(const fs::path& path) {
    std::string text = "/";
    text += genericText(path);
    return text;
}

bool isTuneName(const fs::path& path) {
    std::string extension = genericText(path.extension());
    std::transform(extension.begin(), extension.end(), extension.begin(), [](char c) {
        return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    });
    return extension == ".sid";
}

}  // namespace

std::vector<CollectionTune> findTunes(const std::vector<std::string>& paths, bool& allFound) {
    allFound = true;
    std::vector<CollectionTune> tunes;
    for (const std::string& argument : paths) {
        const fs::path root = fs::u8path(argument);
        std::error_code error;
        if (fs::is_regular_file(root, error)) {
            tunes.push_back({argument, listPathOf(root.filename())});
            continue;
        }
        if (!fs::is_directory(root, error)) {
            diagnose(argument + ": no such file or folder");
            allFound = false;
            continue;
        }
        std::vector<CollectionTune> found;
        fs::recursive_directory_iterator walk(root, fs::directory_options::skip_permission_denied,
                                              error);
        for (; !error && walk != fs::recursive_directory_iterator(); walk.increment(error)) {
            const fs::directory_entry& entry = *walk;
            std::error_code kind;
            if (!entry.is_regular_file(kind) || !isTuneName(entry.path())) continue;
            const fs::path below = entry.path().lexically_relative(root);
            found.push_back({entry.path().string(), listPathOf(below)});
        }
        if (error) {
            diagnose(argument + ": cannot search: " + error.message());
            allFound = false;
        }
        std::sort(found.begin(), found.end(), [](const CollectionTune& a, const CollectionTune& b) {
            return a.listPath < b.listPath;
        });
        tunes.insert(tunes.end(), found.begin(), found.end());
    }
    return tunes;
}

std::vector<CollectionTune> shardOf(std::vector<CollectionTune> tunes, uint32_t shard,
                                    uint32_t shards) {
    if (shards == 0) return tunes;
    std::vector<CollectionTune> mine;
    for (size_t k = shard - 1; k < tunes.size(); k += shards) mine.push_back(std::move(tunes[k]));
    return mine;
}
