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
    ~Diagnostics() { flush(); }
    Diagnostics(const Diagnostics&) = delete;
    Diagnostics& operator=(const Diagnostics&) = delete;

    // A diagnostic of the song, without "voxdump: ". On standard error, those
    // of play calls that say the same of calls one after another
    // ("play call #5: endless loop at c012; call ended", then #6, ...) are
    // one line, said once they stop: "play calls #5 to #3000: endless loop
    // at c012; call ended (2996 times)".
    void say(const std::string& text);
    // Says the play calls' line held back, if any.
    void flush();
    // One that a user must see even when the song's are kept (a file that
    // cannot be written): on standard error too.
    void sayAloud(const std::string& text);

    uint32_t count() const { return count_; }
    const std::string& first() const { return first_; }

private:
    bool keep_;
    uint32_t count_ = 0;
    std::string first_;
    // The play calls' line held back: what it says, of which calls, how often.
    std::string heldText_, heldRest_;
    uint32_t heldFirst_ = 0, heldLast_ = 0, heldCount_ = 0;
};
