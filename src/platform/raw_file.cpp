#include "platform/raw_file.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>

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

}  // namespace

int rawCreate(const char* name, int& error) {
    const int handle =
        _open(name, _O_WRONLY | _O_CREAT | _O_TRUNC | _O_BINARY, _S_IREAD | _S_IWRITE);
    if (handle < 0) error = folderAware(name, errno);
    return handle;
}

int rawOpenRead(const char* name, int& error) {
    const int handle = _open(name, _O_RDONLY | _O_BINARY);
    if (handle < 0) error = folderAware(name, errno);
    return handle;
}

bool rawWrite(int handle, const void* data, size_t size, int& error) {
    const char* at = static_cast<const char*>(data);
    while (size > 0) {
        const unsigned chunk = size > 0x40000000 ? 0x40000000u : static_cast<unsigned>(size);
        const int written = _write(handle, at, chunk);
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
        const unsigned chunk =
            size - got > 0x40000000 ? 0x40000000u : static_cast<unsigned>(size - got);
        const int count = _read(handle, at + got, chunk);
        if (count < 0) error = errno;
        if (count <= 0) break;
        got += static_cast<size_t>(count);
    }
    return got;
}

bool rawClose(int handle, int& error) {
    if (_close(handle) == 0) return true;
    error = errno;
    return false;
}

#else
#include <unistd.h>

int rawCreate(const char* name, int& error) {
    const int handle = open(name, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (handle < 0) error = errno;
    return handle;
}

int rawOpenRead(const char* name, int& error) {
    const int handle = open(name, O_RDONLY | O_CLOEXEC);
    if (handle < 0) error = errno;
    return handle;
}

bool rawWrite(int handle, const void* data, size_t size, int& error) {
    const char* at = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t written = write(handle, at, size);
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
        const ssize_t count = read(handle, at + got, size - got);
        if (count < 0 && errno == EINTR) continue;
        if (count < 0) error = errno;
        if (count <= 0) break;
        got += static_cast<size_t>(count);
    }
    return got;
}

bool rawClose(int handle, int& error) {
    if (close(handle) == 0) return true;
    error = errno;
    return false;
}

#endif
