// The collection's table of songs: comma-separated values as RFC 4180 has
// them (a field with a comma, a quote or a line end is quoted, a quote in it
// doubled; records end with CR LF), and reading such a file back.
#pragma once

#include <string>
#include <string_view>
#include <vector>

// The record of `fields`, with its CR LF.
std::string csvRecord(const std::vector<std::string>& fields);

// The complete records of `text`, fields unquoted; `complete` is the length
// of the text they take (a last record without its line end is not complete).
std::vector<std::vector<std::string>> csvRecords(std::string_view text, size_t& complete);
