// Where a path's own file name begins.
#pragma once

#include <cstddef>
#include <string_view>

// The index of the first character after the path's folder part: after the
// last "/" (and, on Windows, "\" or a drive letter's ":").
size_t fileNameStart(std::string_view path);
