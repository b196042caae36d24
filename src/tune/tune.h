// PSID tune file: the decoded header, the program data, what the header
// means for playing the tune, and the header report.
#pragma once

#include <cstddef>
#include <cstdint>
#include <iosfwd>
#include <string>
#include <vector>

struct TuneHeader {
    char id[5];
    int16_t version;
    uint16_t dataOffset;
    uint16_t loadAddress;
    uint16_t initAddress;
    uint16_t playAddress;
    int16_t songs;
    int16_t startSong;
    int32_t speed;
    uint8_t name[32];
    uint8_t author[32];
    uint8_t copyright[32];
    uint16_t flags;
    uint32_t reserved;
    int32_t dataSize;  // program bytes read, 0 to 65535
};

// At most this many bytes are read as program data.
inline constexpr uint32_t kMaxDataSize = 65535;

// A tune as read from its file: the header as far as it could be decoded and
// the program data. A load fills the whole value, whatever it held before.
struct Tune {
    TuneHeader header{};
    std::vector<uint8_t> data;  // header.dataSize bytes
    bool decoded = false;       // the header's first 118 bytes were read (the ID among them)
    // Why the load failed, as one phrase ("No such file or directory", "file
    // ends inside the header"); empty after a success.
    std::string problem;
};

// Reads the named PSID file. False when it cannot be read whole; what was
// decoded stays in `tune`.
bool loadTune(const char* fileName, Tune& tune);
// The same from the file's bytes, read already.
bool loadTuneBytes(const uint8_t* bytes, size_t size, Tune& tune);

// A text field of the header (name, author, copyright): its bytes up to the
// first zero, at most 32.
std::string tuneText(const uint8_t (&field)[32]);

// Writes the header report, one flushed line at a time.
void printTuneHeader(std::ostream& out, const TuneHeader& header);

// What the header means.

inline constexpr uint32_t kPalClock = 985248;
inline constexpr uint32_t kNtscClock = 1022727;

// The ID says PSID or RSID.
bool tuneIsTune(const TuneHeader& header);
bool tuneIsRsid(const TuneHeader& header);

// The header says NTSC only (version 2 and later: flags bits 2-3 are 10).
bool tuneIsNtsc(const TuneHeader& header);
// The machine's clock in cycles a second: NTSC's or PAL's.
uint32_t tuneClock(const TuneHeader& header);

// A tune that installs its own interrupt handler: an RSID tune, or a PSID
// tune without a play address.
bool tuneInterruptDriven(const TuneHeader& header);

// An RSID tune whose BASIC flag says it runs in the BASIC interpreter.
bool tuneNeedsBasic(const TuneHeader& header);

// The song's speed bit: bit song-1 of the speed word, bit 31 above song 32.
// Set: the song is called at the rate of a CIA timer, else once a screen.
bool songTimerDriven(const TuneHeader& header, int song);

// The pages the header names as free for a player (version 2 and later:
// the reserved word's high bytes): `startPage` 0 when the tune keeps to its
// own image, $FF when no page is free.
struct FreePages {
    uint8_t startPage, pages;
};
FreePages tuneFreePages(const TuneHeader& header);

// The register blocks of the tune's sound chips: $D400, and the block of a
// second (version 3 and later, the reserved word's third byte) and third
// chip (version 4, its fourth byte) where the header names one: the byte
// times 16 plus $D000, for even bytes inside $D420-$D7E0. Returns the count.
int tuneChipBlocks(const TuneHeader& header, uint16_t (&blocks)[3]);
