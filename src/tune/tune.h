// PSID tune file: the decoded header, the program data and the header report.
#pragma once

#include <cstddef>
#include <cstdint>
#include <iosfwd>
#include <string>

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
    uint8_t* data;     // the 64 KiB load buffer
    int32_t dataSize;  // program bytes read, 0 to 65535
};

// Size of the load buffer; at most one byte less is read as program data.
inline constexpr uint32_t kLoadBufferSize = 65536;

// Obtains the load buffer (once) and stores it in the header record.
uint8_t* allocateLoadBuffer();

// Reads the named PSID file into the header record and the load buffer.
// Returns false when the file cannot be read whole; what was decoded stays.
bool loadTune(const char* fileName);
// The same from the file's bytes, read already.
bool loadTuneBytes(const uint8_t* bytes, size_t size);

// Why the last loadTune returned false, as one phrase ("No such file or
// directory", "file ends inside the header"); empty after a success.
const std::string& tuneLoadProblem();

TuneHeader& tuneHeader();

// A text field of the header (name, author, copyright): its bytes up to the
// first zero, at most 32.
std::string tuneText(const uint8_t (&field)[32]);

// True when the last loadTune read the header's first 118 bytes (the ID
// among them).
bool tuneHeaderDecoded();

// Writes the header report, one flushed line at a time.
void printTuneHeader(std::ostream& out);
