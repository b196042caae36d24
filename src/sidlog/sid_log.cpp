#include "sidlog/sid_log.h"

#include <sstream>

#include "output/output_file.h"
#include "tune/tune.h"

namespace {

thread_local OutputFile logFile;
thread_local uint32_t callNumber = 0;

}  // namespace

void sidLogOpen(const std::string& fileName, const TuneHeader& header) {
    outputOpen(logFile, fileName);
    std::ostringstream head;
    printTuneHeader(head, header);
    head << "\n\n";
    outputLines(logFile, head.str());
    callNumber = 0;
}

void sidLogWrite(uint32_t time, uint16_t address, uint8_t value) {
    // "ttttt aaaa vv": time zero-filled to at least five digits.
    char line[32];
    char* at = putDecimal(line, time, 5);
    *at++ = ' ';
    at = putHex(at, address, 4, false);
    *at++ = ' ';
    at = putHex(at, value, 2, false);
    *at++ = '\n';
    outputLine(logFile, line, static_cast<size_t>(at - line));
}

void sidLogMarker() {
    ++callNumber;
    char line[16];
    char* at = line;
    *at++ = '\n';
    *at++ = '#';
    at = putDecimal(at, callNumber, 1);
    *at++ = '\n';
    outputLine(logFile, line, static_cast<size_t>(at - line));
}

bool sidLogClose() {
    return outputClose(logFile);
}
