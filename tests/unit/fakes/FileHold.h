// Another program holding a file open: reading it (others may read, not write) or alone.
#pragma once

#include <string>

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>
#endif

namespace tessara::fakes {

class FileHold {
public:
    enum Mode { Reading, Exclusive };

    FileHold(const std::string& fileName, Mode mode) {
#ifdef _WIN32
        Handle = CreateFileA(fileName.c_str(), GENERIC_READ, mode == Reading ? FILE_SHARE_READ : 0,
                             nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        Held = Handle != INVALID_HANDLE_VALUE;
#else
        Fd = ::open(fileName.c_str(), O_RDONLY | O_CLOEXEC);
        Held = Fd >= 0 && ::flock(Fd, mode == Reading ? LOCK_SH : LOCK_EX) == 0;
#endif
    }
    ~FileHold() { Release(); }
    FileHold(const FileHold&) = delete;
    FileHold& operator=(const FileHold&) = delete;

    bool IsHeld() const { return Held; }
    void Release() {
#ifdef _WIN32
        if (Handle != INVALID_HANDLE_VALUE) CloseHandle(Handle);
        Handle = INVALID_HANDLE_VALUE;
#else
        if (Fd >= 0) ::close(Fd);
        Fd = -1;
#endif
        Held = false;
    }

private:
    bool Held = false;
#ifdef _WIN32
    HANDLE Handle = INVALID_HANDLE_VALUE;
#else
    int Fd = -1;
#endif
};

}  // namespace tessara::fakes
