#include "platform/stop.h"

volatile std::sig_atomic_t stopSignalNoted = 0;

namespace {

extern "C" void onStopSignal(int signal) {
    stopSignalNoted = signal;
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
