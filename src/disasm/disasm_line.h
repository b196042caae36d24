// One trace line per executed instruction of the .dis file.
#pragma once

#include <cstddef>
#include <cstdint>

struct OutputFile;

// Largest line disasmFormatLine can produce, line end included.
inline constexpr size_t kDisasmLineMax = 64;

// Formats the line for the instruction at pc into `line`; returns its size.
size_t disasmFormatLine(const uint8_t* memory, uint16_t pc, char* line);

// The same for the instruction whose three bytes (as the processor sees
// them) are given.
size_t disasmFormatBytes(const uint8_t bytes[3], uint16_t pc, char* line);
void disasmWriteBytes(const uint8_t bytes[3], uint16_t pc, OutputFile& out);

// Writes that line to the file in one piece and flushes it; returns the
// instruction's length in bytes.
int32_t disasmWriteLine(const uint8_t* memory, uint16_t pc, OutputFile& out);
