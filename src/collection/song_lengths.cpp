#include "collection/song_lengths.h"

#include "output/time_text.h"

std::string songLengthText(uint64_t milliseconds) {
    return minutesText(milliseconds, 3);
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
