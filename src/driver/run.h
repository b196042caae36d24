// The program's entry: one run from the command line to the exit status.
#pragma once

#include "output/exit_status.h"

int voxdumpMain(int argc, const char* const* argv);
