#include "output/output_file.h"

#include <cstring>
#include <filesystem>
#include <system_error>

#include "output/diagnostics.h"
#include "platform/raw_file.h"

namespace {

constexpr size_t kBufferSize = 64 * 1024;

void flushPending(OutputFile& file) {
    if (!file.pending.empty() && file.firstError == 0)
        rawWrite(file.handle, file.pending.data(), file.pending.size(), file.firstError);
    file.pending.clear();
}

}  // namespace

namespace {

// Opens the file with `open` (the system's create or append); a failure is
// reported at once as "cannot `verb`".
// A failure of the file, said where the file says.
void sayFailure(const OutputFile& file, const std::string& text) {
    if (file.diagnostics != nullptr) {
        file.diagnostics->sayAloud(text);
    } else {
        diagnose(text);
    }
}

std::filesystem::path pathOf(const std::string& name) {
    return std::filesystem::u8path(name);
}

std::string nameOf(const std::filesystem::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

// Where a file made whole goes: its name; through a symbolic link, the file
// the link names (the link stays); empty when that is no plain file (a device
// or a pipe), which is written in place.
std::string wholeTarget(const std::string& name) {
    namespace fs = std::filesystem;
    std::error_code error;
    const fs::file_status link = fs::symlink_status(pathOf(name), error);
    if (error || !fs::exists(link)) return name;
    const fs::file_status target = fs::status(pathOf(name), error);
    if (error || !fs::exists(target)) {
        if (!fs::is_symlink(link)) return name;
        const fs::path to = fs::read_symlink(pathOf(name), error);  // a link to nothing yet
        return error ? std::string() : nameOf(pathOf(name).parent_path() / to);
    }
    if (!fs::is_regular_file(target)) return std::string();
    if (!fs::is_symlink(link)) return name;
    const fs::path to = fs::canonical(pathOf(name), error);
    return error ? std::string() : nameOf(to);
}

void openWith(OutputFile& file, const std::string& name, bool buffered,
              int (*open)(const char*, int&), const char* verb, bool whole = false) {
    file.name = name;
    file.firstError = 0;
    file.createFailed = false;
    file.buffered = buffered;
    file.pending.clear();
    file.written = 0;
    file.target.clear();
    file.partName.clear();
    if (whole) file.target = wholeTarget(name);
    if (!file.target.empty()) file.partName = outputPartName(file.target);
    file.handle =
        open(!file.partName.empty() ? file.partName.c_str() : name.c_str(), file.firstError);
    if (file.handle < 0) {
        file.createFailed = true;
        file.partName.clear();
        sayFailure(file, name + ": cannot " + verb + ": " + std::strerror(file.firstError));
    }
}

void removePart(OutputFile& file) {
    if (file.partName.empty()) return;
    std::error_code ignored;
    std::filesystem::remove(pathOf(file.partName), ignored);
    file.partName.clear();
}

}  // namespace

void outputOpen(OutputFile& file, const std::string& name, bool buffered,
                Diagnostics* diagnostics) {
    file.diagnostics = diagnostics;
    openWith(file, name, buffered, rawCreate, "create");
}

void outputOpenWhole(OutputFile& file, const std::string& name, bool buffered,
                     Diagnostics* diagnostics) {
    file.diagnostics = diagnostics;
    openWith(file, name, buffered, rawCreate, "create", true);
}

std::string outputPartName(const std::string& name) {
    return name + ".part";
}

void outputDiscard(OutputFile& file) {
    file.pending.clear();
    if (file.handle >= 0) {
        int ignored = 0;
        rawClose(file.handle, ignored);
        file.handle = -1;
    }
    removePart(file);
}

void outputCut(OutputFile& file, uint64_t size) {
    flushPending(file);
    if (file.firstError != 0 || file.partName.empty() || size >= file.written) return;
    // The system's own descriptor has no portable way to cut a file: it is
    // closed, cut by name, and opened again at its new end.
    if (!rawClose(file.handle, file.firstError)) {
        file.handle = -1;
        return;
    }
    std::error_code error;
    std::filesystem::resize_file(pathOf(file.partName), size, error);
    if (error) file.firstError = error.value();
    file.handle = rawAppend(file.partName.c_str(), file.firstError);
    file.written = size;
}

void outputAppend(OutputFile& file, const std::string& name) {
    file.diagnostics = nullptr;
    openWith(file, name, false, rawAppend, "open");
}

void outputLine(OutputFile& file, const char* data, size_t size) {
    if (file.firstError != 0) [[unlikely]]
        return;  // a failed file drops what comes after
    file.written += size;
    if (file.buffered) {
        file.pending.append(data, size);
        if (file.pending.size() >= kBufferSize) flushPending(file);
        return;
    }
    rawWrite(file.handle, data, size, file.firstError);
}

void outputLines(OutputFile& file, std::string_view text) {
    while (!text.empty()) {
        const size_t end = text.find('\n');
        const size_t size = end == std::string_view::npos ? text.size() : end + 1;
        outputLine(file, text.data(), size);
        text.remove_prefix(size);
    }
}

void outputBlock(OutputFile& file, std::string_view bytes) {
    outputLine(file, bytes.data(), bytes.size());
}

bool outputClose(OutputFile& file) {
    if (file.createFailed) return false;
    flushPending(file);
    if (file.handle >= 0) {
        int error = 0;
        if (!rawClose(file.handle, error) && file.firstError == 0) file.firstError = error;
        file.handle = -1;
    }
    if (file.firstError == 0 && !file.partName.empty()) {
        std::error_code error;
        std::filesystem::rename(pathOf(file.partName), pathOf(file.target), error);
        if (error) {
            removePart(file);
            sayFailure(file, file.name + ": cannot create: " + error.message());
            return false;
        }
        file.partName.clear();
    }
    if (file.firstError == 0) return true;
    removePart(file);
    sayFailure(file, file.name + ": write failed: " + std::strerror(file.firstError));
    return false;
}

char* putHexTrimmed(char* at, uint32_t value) {
    int digits = 1;
    while (digits < 8 && (value >> (4 * digits)) != 0) ++digits;
    return putHex(at, value, digits, false);
}

std::string utf8FromLatin1(std::string_view bytes) {
    std::string out;
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x80) {
            out += static_cast<char>(0xC0 | byte >> 6);
            out += static_cast<char>(0x80 | (byte & 0x3F));
        } else if (byte >= 0x20 && byte != 0x7F) {
            out += c;
        }
    }
    return out;
}
