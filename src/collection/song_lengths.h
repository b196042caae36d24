// The song-length list that collection players read: a first line
// "[Database]", then per tune a comment "; /PATH" and "MD5=L1 L2 ...", one
// length per song as m:ss.mmm.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

inline constexpr const char* kSongLengthsHead = "[Database]\n";

// m:ss.mmm: minutes without padding, seconds and milliseconds.
std::string songLengthText(uint64_t milliseconds);

// The two lines of a tune.
std::string songLengthsEntry(const std::string& listPath, const std::string& md5,
                             const std::vector<uint64_t>& milliseconds);
