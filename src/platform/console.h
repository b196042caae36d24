// The standard streams carry bytes unchanged: no line-end translation.
#pragma once

void consoleBinaryMode();

// Standard error is a terminal (a person watches it), not a file or a pipe.
bool errorConsoleIsTerminal();
