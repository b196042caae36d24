// Files through the system's own descriptors, always in binary mode: what is
// written is exactly the bytes given, on every system.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// Creates a file for writing, or truncates it. Returns its handle, or -1 with
// the system's error number in `error`.
int rawCreate(const char* name, int& error);

// Opens a file for writing at its end, creating it when it does not exist.
int rawAppend(const char* name, int& error);

// Opens a file for reading. Returns its handle, or -1 with the error number.
int rawOpenRead(const char* name, int& error);

// Writes all `size` bytes, in one call where the system allows. False, with
// the error number, when not all of them could be written.
bool rawWrite(int handle, const void* data, size_t size, int& error);

// Reads up to `size` bytes; fewer only at the end of the file or after an
// error, whose number then goes to `error`.
size_t rawRead(int handle, void* data, size_t size, int& error);

bool rawClose(int handle, int& error);

// A whole file's bytes; false with the system's error number when it cannot
// be opened or read.
bool rawReadFile(const char* name, std::vector<uint8_t>& bytes, int& error);
