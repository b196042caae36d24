// A request to stop, from the user: SIGINT (Ctrl-C) or SIGTERM. While the
// handlers are installed a signal does not end the process; it is noted, and
// the run ends its work early and tidily (files not finished are removed,
// songs in flight stop), then exits with 128 plus the signal's number. A
// second signal of the same kind ends the process at once.
#pragma once

#include <csignal>

// Installs the handlers, forgetting any signal noted before; `uninstall`
// puts the default handling back.
void stopHandlersInstall();
void stopHandlersUninstall();

// The signal that asked the run to stop, 0 while none did.
int stopSignal();

// The flag itself, for loops that look at it often.
extern volatile std::sig_atomic_t stopSignalNoted;
