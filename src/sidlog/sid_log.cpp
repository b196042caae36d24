#include "sidlog/sid_log.h"

#include <sstream>

void SidLog::open(const std::string& fileName, const TuneHeader& header) {
    outputOpen(file_, fileName);
    std::ostringstream head;
    printTuneHeader(head, header);
    head << "\n\n";
    outputLines(file_, head.str());
    callNumber_ = 0;
}

void SidLog::write(uint32_t time, uint16_t address, uint8_t value) {
    char line[32];
    char* at = putDecimal(line, time, 5);
    *at++ = ' ';
    at = putHex(at, address, 4, false);
    *at++ = ' ';
    at = putHex(at, value, 2, false);
    *at++ = '\n';
    outputLine(file_, line, static_cast<size_t>(at - line));
}

void SidLog::marker() {
    ++callNumber_;
    char line[16];
    char* at = line;
    *at++ = '\n';
    *at++ = '#';
    at = putDecimal(at, callNumber_, 1);
    *at++ = '\n';
    outputLine(file_, line, static_cast<size_t>(at - line));
}

bool SidLog::close() {
    return outputClose(file_);
}

void SidLog::hear(void* context, uint32_t time, uint16_t address, uint8_t value) {
    static_cast<SidLog*>(context)->write(time, address, value);
}
