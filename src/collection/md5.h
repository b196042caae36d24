// MD5 (RFC 1321): the collection's song-length lists name each tune by the
// MD5 of its whole file.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

using Md5Digest = std::array<uint8_t, 16>;

Md5Digest md5(const uint8_t* bytes, size_t size);

// The digest as 32 lower-case hexadecimal digits.
std::string md5Text(const Md5Digest& digest);
