#include "tune/tune.h"

#include <algorithm>
#include <cstring>
#include <ostream>

#include "platform/raw_file.h"

namespace {

constexpr size_t kHeaderSize = 118;
constexpr size_t kVersion2Size = 6;

uint16_t be16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] << 8 | p[1]);
}
uint32_t be32(const uint8_t* p) {
    return uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | p[3];
}

// Where the tune's bytes come from: a file, or bytes read already; and the
// tune they go to.
struct Source {
    int file = -1;
    const uint8_t* bytes = nullptr;
    size_t size = 0, at = 0;
    Tune* tune = nullptr;
};

// Reads up to `count` bytes; a short read that is not the end of the file
// records the system's reason.
size_t readSome(Source& source, uint8_t* into, size_t count) {
    if (source.file < 0) {
        const size_t got = std::min(count, source.size - source.at);
        if (got > 0) std::memcpy(into, source.bytes + source.at, got);
        source.at += got;
        return got;
    }
    int error = 0;
    const size_t got = rawRead(source.file, into, count, error);
    if (error != 0 && source.tune->problem.empty()) source.tune->problem = std::strerror(error);
    return got;
}

bool fail(Source& source, const char* why) {
    if (source.tune->problem.empty()) source.tune->problem = why;
    int error = 0;
    if (source.file >= 0) rawClose(source.file, error);
    return false;
}

// Versions 2 to 4 share the header of 124 bytes: the six bytes after the
// copyright are the flags and the reserved word (which version 3 and 4 use
// for the addresses of further sound chips).
bool hasVersion2Words(int16_t version) {
    return version >= 2 && version <= 4;
}

}  // namespace

std::string tuneText(const uint8_t (&field)[32]) {
    size_t length = 0;
    while (length < sizeof field && field[length] != 0) ++length;
    return std::string(reinterpret_cast<const char*>(field), length);
}

namespace {

// Decodes the header and reads the program data; closes a file.
bool decode(Source& source) {
    Tune& tune = *source.tune;
    TuneHeader& header = tune.header;
    uint8_t raw[kHeaderSize];
    if (readSome(source, raw, kHeaderSize) < kHeaderSize)
        return fail(source, "file ends inside the header");
    tune.decoded = true;
    std::memcpy(header.id, raw, 4);
    header.id[4] = 0;
    header.version = static_cast<int16_t>(be16(raw + 4));
    header.dataOffset = be16(raw + 6);
    header.loadAddress = be16(raw + 8);
    header.initAddress = be16(raw + 10);
    header.playAddress = be16(raw + 12);
    header.songs = static_cast<int16_t>(be16(raw + 14));
    header.startSong = static_cast<int16_t>(be16(raw + 16));
    header.speed = static_cast<int32_t>(be32(raw + 18));
    std::memcpy(header.name, raw + 22, 32);
    std::memcpy(header.author, raw + 54, 32);
    std::memcpy(header.copyright, raw + 86, 32);

    if (hasVersion2Words(header.version)) {
        uint8_t extra[kVersion2Size];
        if (readSome(source, extra, kVersion2Size) < kVersion2Size) {
            return fail(source, "file ends inside the version 2 header");
        }
        header.flags = be16(extra);
        header.reserved = be32(extra + 2);
    }

    if (header.loadAddress == 0) {
        uint8_t address[2];
        size_t got = readSome(source, address, 2);
        if (got >= 1) header.loadAddress = address[0];
        if (got < 2) return fail(source, "file ends inside the load address");
        header.loadAddress = static_cast<uint16_t>(address[0] | address[1] << 8);
    }

    tune.data.resize(kMaxDataSize);
    const size_t got = readSome(source, tune.data.data(), kMaxDataSize);
    tune.data.resize(got);
    tune.data.shrink_to_fit();
    header.dataSize = static_cast<int32_t>(got);
    if (got == 0) return fail(source, "no program data");

    int error = 0;
    if (source.file >= 0 && !rawClose(source.file, error)) {
        tune.problem = std::strerror(error);
        return false;
    }
    return true;
}

}  // namespace

bool loadTune(const char* fileName, Tune& tune) {
    tune = Tune{};
    int error = 0;
    Source source;
    source.tune = &tune;
    source.file = rawOpenRead(fileName, error);
    if (source.file < 0) {
        tune.problem = std::strerror(error);
        return false;
    }
    return decode(source);
}

bool loadTuneBytes(const uint8_t* bytes, size_t size, Tune& tune) {
    tune = Tune{};
    Source source;
    source.tune = &tune;
    source.bytes = bytes;
    source.size = size;
    return decode(source);
}

void printTuneHeader(std::ostream& out, const TuneHeader& h) {
    out << "Version 1 header:" << std::endl;
    out << "ID: " << h.id << std::endl;
    out << "Version: " << h.version << std::endl;
    out << std::hex;
    out << "Data offset: 0x" << h.dataOffset << std::endl;
    out << "Load addr: 0x" << h.loadAddress << std::endl;
    out << "Init addr: 0x" << h.initAddress << std::endl;
    out << "Play addr: 0x" << h.playAddress << std::endl;
    out << std::dec;
    out << "Songs: " << h.songs << std::endl;
    out << "Start song: " << h.startSong << std::endl;
    out << "Speed: " << h.speed << std::endl;
    out << "Name: ";
    out << tuneText(h.name);
    out << std::endl << "Author: ";
    out << tuneText(h.author);
    out << std::endl << "Copyright: ";
    out << tuneText(h.copyright);
    out << std::endl;
    if (h.version == 2) {
        out << "Version 2 extensions:" << std::endl;
        out << std::hex;
        out << "Flags: 0x" << h.flags << std::endl;
        out << "Reserved: 0x" << h.reserved << std::endl;
        out << std::dec;
    }
    out << "---" << std::endl;
    out << h.dataSize << " bytes of program data in file." << std::endl;
}

bool tuneIsTune(const TuneHeader& header) {
    const std::string id = header.id;
    return id == "PSID" || id == "RSID";
}

bool tuneIsRsid(const TuneHeader& header) {
    return std::string(header.id) == "RSID";
}

bool tuneIsNtsc(const TuneHeader& header) {
    return header.version >= 2 && ((header.flags >> 2) & 3) == 2;
}

uint32_t tuneClock(const TuneHeader& header) {
    return tuneIsNtsc(header) ? kNtscClock : kPalClock;
}

bool tuneInterruptDriven(const TuneHeader& header) {
    return tuneIsRsid(header) || header.playAddress == 0;
}

bool tuneNeedsBasic(const TuneHeader& header) {
    return tuneIsRsid(header) && header.version >= 2 && (header.flags & 2);
}

bool songTimerDriven(const TuneHeader& header, int song) {
    const int bit = song > 32 ? 31 : song - 1;
    return (static_cast<uint32_t>(header.speed) >> bit) & 1;
}

FreePages tuneFreePages(const TuneHeader& header) {
    return {static_cast<uint8_t>(header.reserved >> 24),
            static_cast<uint8_t>(header.reserved >> 16)};
}

namespace {

// A further chip's block from its header byte, 0 when the byte names none.
uint16_t chipBlockOf(uint8_t value) {
    const unsigned address = value * 16u + 0xD000;
    if (value % 2 != 0 || address < 0xD420 || address > 0xD7E0) return 0;
    return static_cast<uint16_t>(address);
}

}  // namespace

int tuneChipBlocks(const TuneHeader& header, uint16_t (&blocks)[3]) {
    int count = 0;
    blocks[count++] = 0xD400;
    const uint16_t second =
        header.version >= 3 ? chipBlockOf(static_cast<uint8_t>(header.reserved >> 8)) : 0;
    const uint16_t third =
        header.version >= 4 ? chipBlockOf(static_cast<uint8_t>(header.reserved)) : 0;
    if (second != 0) {
        blocks[count++] = second;
        if (third != 0 && third != second) blocks[count++] = third;
    }
    return count;
}
