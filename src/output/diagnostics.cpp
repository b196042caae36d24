#include "output/diagnostics.h"

#include <iostream>

namespace {

thread_local DiagnosticLog* collector = nullptr;

}  // namespace

void diagnose(const std::string& text, bool toConsoleToo) {
    if (collector != nullptr) {
        if (collector->count++ == 0) collector->first = text;
        if (!toConsoleToo) return;
    }
    const std::string line = "voxdump: " + text + "\n";
    std::cerr.write(line.data(), static_cast<std::streamsize>(line.size()));
    std::cerr.flush();
}

void diagnosticsCollect(DiagnosticLog* log) {
    collector = log;
}
