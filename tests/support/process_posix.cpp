// Runs the voxdump binary through the shell.
#include <sys/wait.h>

#include <cstdlib>

#include "support/test_support.h"

RunResult runVoxdump(const std::filesystem::path& dir, const std::vector<std::string>& args) {
    // VOXDUMP_WRAPPER runs the binary under a checker, e.g. valgrind.
    const char* wrapper = std::getenv("VOXDUMP_WRAPPER");
    std::string command =
        "cd '" + dir.string() + "' && " + (wrapper ? wrapper : "") + " " VOXDUMP_BINARY;
    for (const std::string& arg : args) command += " '" + arg + "'";
    command += " >.stdout 2>.stderr </dev/null";
    const int raw = std::system(command.c_str());
    return collectRun(dir, WIFEXITED(raw) ? WEXITSTATUS(raw) : -1);
}

bool haveUnixFiles() {
    return true;
}
