// Runs voxdump.exe as a Windows process, its standard streams on files.
#include <windows.h>

#include "support/test_support.h"

namespace {

// The binary's path as the build wrote it; under Wine a Unix path is found
// on drive Z:.
std::string binaryPath() {
    std::string path = VOXDUMP_BINARY;
    if (!path.empty() && path[0] == '/') path = "Z:" + path;
    for (char& c : path) {
        if (c == '/') c = '\\';
    }
    return path;
}

// One argument as the C runtime reads it back: in quotes, with the
// backslashes before a quote doubled and the quote escaped.
std::string quoted(const std::string& arg) {
    std::string out = "\"";
    size_t backslashes = 0;
    for (char c : arg) {
        if (c == '\\') {
            ++backslashes;
            continue;
        }
        out.append(c == '"' ? 2 * backslashes + 1 : backslashes, '\\');
        backslashes = 0;
        out += c;
    }
    out.append(2 * backslashes, '\\');
    return out + "\"";
}

HANDLE inheritable(const std::filesystem::path& path, DWORD access, DWORD disposition) {
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    return CreateFileA(path.string().c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                       disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
}

}  // namespace

RunResult runVoxdump(const std::filesystem::path& dir, const std::vector<std::string>& args) {
    std::string command = quoted(binaryPath());
    for (const std::string& arg : args) {
        command += ' ';
        command += quoted(arg);
    }
    HANDLE out = inheritable(dir / ".stdout", GENERIC_WRITE, CREATE_ALWAYS);
    HANDLE err = inheritable(dir / ".stderr", GENERIC_WRITE, CREATE_ALWAYS);
    HANDLE in = inheritable("NUL", GENERIC_READ, OPEN_EXISTING);
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = in;
    startup.hStdOutput = out;
    startup.hStdError = err;
    PROCESS_INFORMATION process{};
    DWORD status = static_cast<DWORD>(-1);
    if (CreateProcessA(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr,
                       dir.string().c_str(), &startup, &process)) {
        WaitForSingleObject(process.hProcess, INFINITE);
        GetExitCodeProcess(process.hProcess, &status);
        CloseHandle(process.hProcess);
        CloseHandle(process.hThread);
    }
    CloseHandle(out);
    CloseHandle(err);
    CloseHandle(in);
    return collectRun(dir, static_cast<int>(status));
}

bool haveUnixFiles() {
    return false;
}
