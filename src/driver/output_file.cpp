#include "driver/output_file.h"

#include <cerrno>
#include <cstring>
#include <iostream>

namespace {

void noteFailure(OutputFile& file) {
    if (file.firstError == 0) file.firstError = errno != 0 ? errno : EIO;
}

}  // namespace

void outputOpen(OutputFile& file, const std::string& name) {
    file.name = name;
    file.firstError = 0;
    file.createFailed = false;
    errno = 0;
    file.stream.open(name, std::ios::out | std::ios::trunc);
    if (!file.stream.is_open()) {
        noteFailure(file);
        file.createFailed = true;
        std::cerr << "voxdump: " << name << ": cannot create: " << std::strerror(file.firstError)
                  << std::endl;
    }
}

void outputLine(OutputFile& file, const char* data, size_t size) {
    file.stream.write(data, static_cast<std::streamsize>(size));
    file.stream.flush();
    if (!file.stream) [[unlikely]]
        outputCheck(file);
}

void outputCheck(OutputFile& file) {
    if (!file.stream && !file.createFailed) noteFailure(file);
}

bool outputClose(OutputFile& file) {
    if (file.createFailed) return false;
    outputCheck(file);
    errno = 0;
    file.stream.close();
    outputCheck(file);
    if (file.firstError == 0) return true;
    std::cerr << "voxdump: " << file.name << ": write failed: " << std::strerror(file.firstError)
              << std::endl;
    return false;
}

char* putDecimal(char* at, uint32_t value, int minDigits) {
    char digits[10];
    int count = 0;
    do {
        digits[count++] = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value != 0);
    for (int k = count; k < minDigits; ++k) *at++ = '0';
    while (count > 0) *at++ = digits[--count];
    return at;
}

char* putHex(char* at, uint32_t value, int digits, bool upperCase) {
    const char* table = upperCase ? "0123456789ABCDEF" : "0123456789abcdef";
    for (int shift = 4 * (digits - 1); shift >= 0; shift -= 4)
        *at++ = table[(value >> shift) & 0xF];
    return at;
}

char* putHexTrimmed(char* at, uint32_t value) {
    int digits = 1;
    while (digits < 8 && (value >> (4 * digits)) != 0) ++digits;
    return putHex(at, value, digits, false);
}
