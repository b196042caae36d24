// A text output file written line by line, each line flushed at once, that
// remembers the first thing that went wrong with it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <fstream>
#include <string>

struct OutputFile {
    std::ofstream stream;
    std::string name;
    int firstError = 0;  // errno of the first failure, 0 while all is well
    bool createFailed = false;
};

// Creates (or truncates) the file. A failure is reported on standard error at
// once; the stream then drops everything written to it.
void outputOpen(OutputFile& file, const std::string& name);

// Writes bytes that end in a line end, then flushes.
void outputLine(OutputFile& file, const char* data, size_t size);

// Notes a failure of what was last written through the stream itself.
void outputCheck(OutputFile& file);

// Closes the file. Returns false, after one diagnostic on standard error, when
// it could not be created or a write or the close failed.
bool outputClose(OutputFile& file);

// Number formatting into a line buffer; each returns the end of what it wrote.
char* putDecimal(char* at, uint32_t value, int minDigits);
char* putHex(char* at, uint32_t value, int digits, bool upperCase);
char* putHexTrimmed(char* at, uint32_t value);  // no leading zeros
