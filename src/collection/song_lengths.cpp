#include "collection/song_lengths.h"

#include "output/output_file.h"

std::string songLengthText(uint64_t milliseconds) {
    char text[32];
    char* at = putDecimal(text, static_cast<uint32_t>(milliseconds / 60000), 1);
    *at++ = ':';
    at = putDecimal(at, static_cast<uint32_t>(milliseconds / 1000 % 60), 2);
    *at++ = '.';
    at = putDecimal(at, static_cast<uint32_t>(milliseconds % 1000), 3);
    return std::string(text, at);
}

std::string songLengthsEntry(const std::string& listPath, const std::string& md5,
                             const std::vector<uint64_t>& milliseconds) {
    std::string entry = "; " + listPath + "\n" + md5 + "=";
    for (size_t k = 0; k < milliseconds.size(); ++k) {
        if (k > 0) entry += ' ';
        entry += songLengthText(milliseconds[k]);
    }
    return entry + "\n";
}
