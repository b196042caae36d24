// The .log file: the header report, then one line per write into the sound
// chip's registers, grouped under a marker per play-routine call.
#pragma once

#include <cstdint>
#include <string>

#include "tune/tune.h"

void sidLogOpen(const std::string& fileName, const TuneHeader& header);
void sidLogWrite(uint32_t time, uint16_t address, uint8_t value);
void sidLogMarker();
// Closes the file; false when it could not be created or written whole (a
// diagnostic has then been printed).
bool sidLogClose();
