#include "platform/stop.h"

volatile std::sig_atomic_t stopSignalNoted = 0;

namespace {

// The first signal is noted; a second of the same kind ends the process at
// once, as it would without the handlers (a routine call that runs long is
// not waited for).
extern "C" void onStopSignal(int signal) {
    stopSignalNoted = signal;
    std::signal(signal, SIG_DFL);
}

}  // namespace

void stopHandlersInstall() {
    stopSignalNoted = 0;
    std::signal(SIGINT, onStopSignal);
    std::signal(SIGTERM, onStopSignal);
}

void stopHandlersUninstall() {
    std::signal(SIGINT, SIG_DFL);
    std::signal(SIGTERM, SIG_DFL);
}

int stopSignal() {
    return stopSignalNoted;
}
