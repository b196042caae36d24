// Diagnostics: one line each on standard error, "voxdump: " and the text.
// A song's own diagnostics go where its run wants them: to standard error,
// or, when many songs play at once, kept with the song (a count and the
// first), so that the lines of songs played on several threads never mix.
#pragma once

#include <cstdint>
#include <string>

// Writes "voxdump: " and `text` as one line at once, so that lines from
// several threads never mix.
void diagnose(const std::string& text);

class Diagnostics {
public:
    // To standard error (`keep` false), or kept with the song.
    explicit Diagnostics(bool keep = false) : keep_(keep) {}

    // A diagnostic of the song, without "voxdump: ".
    void say(const std::string& text);
    // One that a user must see even when the song's are kept (a file that
    // cannot be written): on standard error too.
    void sayAloud(const std::string& text);

    uint32_t count() const { return count_; }
    const std::string& first() const { return first_; }

private:
    bool keep_;
    uint32_t count_ = 0;
    std::string first_;
};
