// One writer per repository file: the first program that starts on a file holds a named
// kernel object made from the file's full path, as Windows compares paths; a later start on
// the same file finds it, brings the first program's window forward and ends without having
// read or written anything.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <string_view>

namespace tessara::win32 {

// The path as Windows compares paths: the full path, upper-cased without regard to the
// language. (Two folders that link to one file are two paths; what one program writes there
// the other reads again before its next change.)
std::wstring ComparablePath(const std::wstring& fileName);
// The kernel object's name for a repository file: "Local\Tessara.Repository." and the
// HashBytes of ComparablePath's UTF-16 bytes in hexadecimal.
std::wstring WriterObjectName(const std::wstring& fileName);

// Registered window message, posted to the first program's main window by a later start:
// it comes forward as the tray icon's double click brings it.
UINT AnotherStartMessage();

class TWinOneWriter {
public:
    TWinOneWriter() = default;
    TWinOneWriter(const TWinOneWriter&) = delete;
    TWinOneWriter& operator=(const TWinOneWriter&) = delete;
    ~TWinOneWriter();

    // True when this program is the file's writer from now on. False when another program
    // is: its window has been asked to come forward (or it is still starting, or ending) and
    // this one must end without touching the file. Waits at most about five seconds for a
    // window that is still being made.
    bool Acquire(const std::wstring& fileName);
    // Makes the main window known to later starts.
    void Publish(HWND mainWindow);

private:
    HANDLE Mapping = nullptr;
    void* View = nullptr;
};

}  // namespace tessara::win32
