// Diagnostics: one line each on standard error, "voxdump: " and the text.
// A run that plays many songs at once keeps each song's diagnostics with the
// song instead (this thread's collector), and writes only its own lines.
#pragma once

#include <cstdint>
#include <string>

struct DiagnosticLog {
    uint32_t count = 0;
    std::string first;  // without "voxdump: "
};

// `text` without "voxdump: "; the whole line is written at once, so that lines
// from several threads never mix. With a collector on this thread it goes
// there instead, unless `toConsoleToo`.
void diagnose(const std::string& text, bool toConsoleToo = false);

// From now on this thread's diagnostics go to `log` (nullptr: standard error).
void diagnosticsCollect(DiagnosticLog* log);
