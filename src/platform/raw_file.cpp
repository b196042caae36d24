#include "platform/raw_file.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>

// The system's calls, one each, behind the same names; the loops below are
// the same for every system.
#ifdef _WIN32
#include <io.h>

namespace {

// Windows refuses to open a folder with "Permission denied"; say what the
// other systems say.
int folderAware(const char* name, int error) {
    struct _stat64 info;
    if (error == EACCES && _stat64(name, &info) == 0 && (info.st_mode & _S_IFDIR)) return EISDIR;
    return error;
}

int openFile(const char* name, bool write, int& error, bool append = false) {
    const int handle =
        write ? _open(name, _O_WRONLY | _O_CREAT | (append ? _O_APPEND : _O_TRUNC) | _O_BINARY,
                      _S_IREAD | _S_IWRITE)
              : _open(name, _O_RDONLY | _O_BINARY);
    if (handle < 0) error = folderAware(name, errno);
    return handle;
}

// At most 1 GiB a call, which an int counts.
unsigned chunk(size_t size) {
    return size > 0x40000000 ? 0x40000000u : static_cast<unsigned>(size);
}

long writeOnce(int handle, const char* data, size_t size) {
    return _write(handle, data, chunk(size));
}

long readOnce(int handle, char* data, size_t size) {
    return _read(handle, data, chunk(size));
}

int closeFile(int handle) {
    return _close(handle);
}

}  // namespace

#else
#include <unistd.h>

namespace {

int openFile(const char* name, bool write, int& error, bool append = false) {
    const int handle =
        write ? open(name, O_WRONLY | O_CREAT | (append ? O_APPEND : O_TRUNC) | O_CLOEXEC, 0666)
              : open(name, O_RDONLY | O_CLOEXEC);
    if (handle < 0) error = errno;
    return handle;
}

long writeOnce(int handle, const char* data, size_t size) {
    return write(handle, data, size);
}

long readOnce(int handle, char* data, size_t size) {
    return read(handle, data, size);
}

int closeFile(int handle) {
    return close(handle);
}

}  // namespace

#endif

int rawCreate(const char* name, int& error) {
    return openFile(name, true, error);
}

int rawAppend(const char* name, int& error) {
    return openFile(name, true, error, true);
}

int rawOpenRead(const char* name, int& error) {
    return openFile(name, false, error);
}

bool rawWrite(int handle, const void* data, size_t size, int& error) {
    const char* at = static_cast<const char*>(data);
    while (size > 0) {
        const long written = writeOnce(handle, at, size);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) {
            error = written < 0 ? errno : ENOSPC;
            return false;
        }
        at += written;
        size -= static_cast<size_t>(written);
    }
    return true;
}

size_t rawRead(int handle, void* data, size_t size, int& error) {
    char* at = static_cast<char*>(data);
    size_t got = 0;
    while (got < size) {
        const long count = readOnce(handle, at + got, size - got);
        if (count < 0 && errno == EINTR) continue;
        if (count < 0) error = errno;
        if (count <= 0) break;
        got += static_cast<size_t>(count);
    }
    return got;
}

bool rawClose(int handle, int& error) {
    if (closeFile(handle) == 0) return true;
    error = errno;
    return false;
}

bool rawReadFile(const char* name, std::vector<uint8_t>& bytes, int& error) {
    const int handle = rawOpenRead(name, error);
    if (handle < 0) return false;
    bytes.clear();
    uint8_t chunk[65536];
    for (;;) {
        const size_t got = rawRead(handle, chunk, sizeof chunk, error);
        bytes.insert(bytes.end(), chunk, chunk + got);
        if (got < sizeof chunk) break;
    }
    int closeError = 0;
    rawClose(handle, closeError);
    return error == 0;
}
