// Where a path's own file name begins.
#pragma once

#include <cstddef>
#include <string_view>

// The characters that end a folder's name in a path: "/", and on Windows "\".
const char* pathSeparators();

// The index of the first character after the path's folder part: after the
// last separator (or, on Windows, a drive letter's ":", as in "C:tune.sid").
size_t fileNameStart(std::string_view path);
