#include "output/diagnostics.h"

#include <iostream>

void diagnose(const std::string& text) {
    const std::string line = "voxdump: " + text + "\n";
    std::cerr.write(line.data(), static_cast<std::streamsize>(line.size()));
    std::cerr.flush();
}

void Diagnostics::say(const std::string& text) {
    if (count_++ == 0) first_ = text;
    if (!keep_) diagnose(text);
}

void Diagnostics::sayAloud(const std::string& text) {
    if (count_++ == 0) first_ = text;
    diagnose(text);
}
