#include "output/output_file.h"

#include <cstring>

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

void openWith(OutputFile& file, const std::string& name, bool buffered,
              int (*open)(const char*, int&), const char* verb) {
    file.name = name;
    file.firstError = 0;
    file.createFailed = false;
    file.buffered = buffered;
    file.pending.clear();
    file.handle = open(name.c_str(), file.firstError);
    if (file.handle < 0) {
        file.createFailed = true;
        sayFailure(file, name + ": cannot " + verb + ": " + std::strerror(file.firstError));
    }
}

}  // namespace

void outputOpen(OutputFile& file, const std::string& name, bool buffered,
                Diagnostics* diagnostics) {
    file.diagnostics = diagnostics;
    openWith(file, name, buffered, rawCreate, "create");
}

void outputAppend(OutputFile& file, const std::string& name) {
    file.diagnostics = nullptr;
    openWith(file, name, false, rawAppend, "open");
}

void outputLine(OutputFile& file, const char* data, size_t size) {
    if (file.firstError != 0) [[unlikely]]
        return;  // a failed file drops what comes after
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
    if (file.firstError == 0) return true;
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
