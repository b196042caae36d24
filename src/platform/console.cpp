#include "platform/console.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>

#include <cstdio>

void consoleBinaryMode() {
    // Text mode would turn every "\n" into "\r\n".
    _setmode(_fileno(stdin), _O_BINARY);
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
}

bool errorConsoleIsTerminal() {
    return _isatty(_fileno(stderr)) != 0;
}

#else

#include <unistd.h>

void consoleBinaryMode() {}  // there is no text mode here

bool errorConsoleIsTerminal() {
    return isatty(2) != 0;
}

#endif
