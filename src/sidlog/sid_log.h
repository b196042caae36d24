// The .log file: the header report, then one line per write into the sound
// chip's registers, grouped under a marker per play-routine call.
#pragma once

#include <cstdint>
#include <string>

#include "output/output_file.h"
#include "sidlog/mem_write.h"
#include "tune/tune.h"

class SidLog {
public:
    // Creates the file and writes the header report and two empty lines.
    void open(const std::string& fileName, const TuneHeader& header);
    // "ttttt aaaa vv": the time zero-filled to at least five digits.
    void write(uint32_t time, uint16_t address, uint8_t value);
    // An empty line, then "#" and the next call's number (1 first).
    void marker();
    // Closes the file; false when it could not be created or written whole (a
    // diagnostic has then been printed).
    bool close();

    // The log as a listener of the write path.
    WindowListener listener() { return {hear, this}; }

private:
    static void hear(void* context, uint32_t time, uint16_t address, uint8_t value);

    OutputFile file_;
    uint32_t callNumber_ = 0;
};
