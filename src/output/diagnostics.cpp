#include "output/diagnostics.h"

#include <iostream>
#include <string_view>

void diagnose(const std::string& text) {
    const std::string line = "voxdump: " + text + "\n";
    std::cerr.write(line.data(), static_cast<std::streamsize>(line.size()));
    std::cerr.flush();
}

namespace {

constexpr std::string_view kPlayCall = "play call #";

// "play call #12: text": 12 and "text"; false for another diagnostic.
bool ofPlayCall(const std::string& text, uint32_t& call, std::string& rest) {
    if (text.compare(0, kPlayCall.size(), kPlayCall) != 0) return false;
    size_t at = kPlayCall.size();
    uint64_t number = 0;
    while (at < text.size() && text[at] >= '0' && text[at] <= '9' && number <= 0xFFFFFFFFu)
        number = number * 10 + static_cast<uint64_t>(text[at++] - '0');
    if (at == kPlayCall.size() || number > 0xFFFFFFFFu || text.compare(at, 2, ": ") != 0)
        return false;
    call = static_cast<uint32_t>(number);
    rest = text.substr(at + 2);
    return true;
}

}  // namespace

void Diagnostics::say(const std::string& text) {
    if (count_++ == 0) first_ = text;
    if (keep_) return;
    uint32_t call = 0;
    std::string rest;
    if (!ofPlayCall(text, call, rest)) {
        flush();
        diagnose(text);
        return;
    }
    if (heldCount_ > 0 && rest == heldRest_ && call == heldLast_ + 1) {
        heldLast_ = call;
        ++heldCount_;
        return;
    }
    flush();
    heldText_ = text;
    heldRest_ = std::move(rest);
    heldFirst_ = heldLast_ = call;
    heldCount_ = 1;
}

void Diagnostics::flush() {
    if (heldCount_ == 0) return;
    if (heldCount_ == 1) {
        diagnose(heldText_);
    } else {
        diagnose("play calls #" + std::to_string(heldFirst_) + " to #" + std::to_string(heldLast_) +
                 ": " + heldRest_ + " (" + std::to_string(heldCount_) + " times)");
    }
    heldCount_ = 0;
}

void Diagnostics::sayAloud(const std::string& text) {
    if (count_++ == 0) first_ = text;
    flush();
    diagnose(text);
}
