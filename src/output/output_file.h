// An output file written line by line: each complete line goes to the file in
// one write, so the file is whole up to its last line while a run goes on.
// The file remembers the first thing that went wrong with it.
//
// A file made whole (one that nobody reads while the run goes on) is written
// beside its name, under the name with ".part" added, and takes its name only
// once it is complete: a run that fails or is stopped leaves the file that was
// there before, or none, and never half of one.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

class Diagnostics;

struct OutputFile {
    std::string name;
    Diagnostics* diagnostics = nullptr;  // where its failures are said; null: standard error
    int handle = -1;
    int firstError = 0;  // the system's error number of the first failure, 0 while all is well
    bool createFailed = false;
    bool buffered = false;  // lines gathered and written 64 KiB at a time
    std::string pending;
    std::string partName;  // a file made whole: where it is written; empty: in place
    std::string target;    // the name it then takes (a link's file: the link stays)
    uint64_t written = 0;  // bytes given to the file so far
};

// Creates (or truncates) the file. A failure is reported on standard error at
// once (to `diagnostics` when given); everything written to the file
// afterwards is dropped. A buffered file (one that nobody reads while the
// run goes on) gathers its lines.
void outputOpen(OutputFile& file, const std::string& name, bool buffered = false,
                Diagnostics* diagnostics = nullptr);

// As outputOpen, for a file made whole: written under `name` + ".part",
// renamed to `name` by outputClose once complete.
void outputOpenWhole(OutputFile& file, const std::string& name, bool buffered = false,
                     Diagnostics* diagnostics = nullptr);

// A file made whole that will not be completed: closed and removed, without
// a word; the file of that name, if any, stays as it was.
void outputDiscard(OutputFile& file);

// Cuts a file made whole to its first `size` bytes; what is written next
// follows them.
void outputCut(OutputFile& file, uint64_t size);

// The name a file made whole is written under until it is complete.
std::string outputPartName(const std::string& name);

// Opens the file to write after what it holds (made when it does not exist).
void outputAppend(OutputFile& file, const std::string& name);

// Writes bytes that end in a line end, in one write (or into the buffer).
void outputLine(OutputFile& file, const char* data, size_t size);

// Writes text made of whole lines, one write per line.
void outputLines(OutputFile& file, std::string_view text);

// Writes a block of bytes (a file made at the end of a run), in as few writes
// as the system allows.
void outputBlock(OutputFile& file, std::string_view bytes);

// Closes the file (a file made whole then takes its name, or is removed when
// something failed). Returns false, after one diagnostic on standard error,
// when it could not be created or a write, the close or the rename failed.
bool outputClose(OutputFile& file);

// Number formatting into a line buffer; each returns the end of what it
// wrote. Inline, since every line of the files is made of them.
inline char* putDecimal(char* at, uint32_t value, int minDigits) {
    char digits[10];
    int count = 0;
    do {
        digits[count++] = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value != 0);
    while (count < minDigits) digits[count++] = '0';
    while (count > 0) *at++ = digits[--count];
    return at;
}

inline char* putHex(char* at, uint32_t value, int digits, bool upperCase) {
    const char* table = upperCase ? "0123456789ABCDEF" : "0123456789abcdef";
    for (int shift = 4 * (digits - 1); shift >= 0; shift -= 4)
        *at++ = table[(value >> shift) & 0xF];
    return at;
}

char* putHexTrimmed(char* at, uint32_t value);  // no leading zeros

// Text for a file that declares UTF-8: bytes read as Latin-1 (as the tune's
// header texts are), control characters left out.
std::string utf8FromLatin1(std::string_view bytes);
