// Win32 back-end of the file stream: the share modes are the system's own.
#include <windows.h>

#include "platform/Charset.h"
#include "platform/Exceptions.h"
#include "platform/Streams.h"

namespace tessara {
namespace {

HANDLE H(intptr_t h) { return reinterpret_cast<HANDLE>(h); }

}  // namespace

TFileStream::TFileStream(const std::string& fileName, TFileMode mode) : Handle(0) {
    HANDLE h;
    if (mode == TFileMode::OpenReadShareDenyWrite) {
        h = ::CreateFileW(Cp1251ToWide(fileName).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                          OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h == INVALID_HANDLE_VALUE) throw EFOpenError(fileName);
    } else {
        h = ::CreateFileW(Cp1251ToWide(fileName).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                          CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h == INVALID_HANDLE_VALUE) throw EFCreateError(fileName);
    }
    Handle = reinterpret_cast<intptr_t>(h);
}

TFileStream::~TFileStream() { ::CloseHandle(H(Handle)); }

size_t TFileStream::Read(void* buffer, size_t count) {
    size_t done = 0;
    while (done < count) {
        const DWORD chunk = static_cast<DWORD>(count - done > 0x40000000 ? 0x40000000 : count - done);
        DWORD n = 0;
        if (!::ReadFile(H(Handle), static_cast<char*>(buffer) + done, chunk, &n, nullptr) || n == 0) break;
        done += n;
    }
    return done;
}

size_t TFileStream::Write(const void* buffer, size_t count) {
    size_t done = 0;
    while (done < count) {
        const DWORD chunk = static_cast<DWORD>(count - done > 0x40000000 ? 0x40000000 : count - done);
        DWORD n = 0;
        if (!::WriteFile(H(Handle), static_cast<const char*>(buffer) + done, chunk, &n, nullptr) || n == 0)
            break;
        done += n;
    }
    return done;
}

int64_t TFileStream::Size() const {
    LARGE_INTEGER size{};
    return ::GetFileSizeEx(H(Handle), &size) ? size.QuadPart : 0;
}

int64_t TFileStream::Position() const {
    LARGE_INTEGER zero{}, pos{};
    return ::SetFilePointerEx(H(Handle), zero, &pos, FILE_CURRENT) ? pos.QuadPart : 0;
}

void TFileStream::Seek(int64_t position) {
    LARGE_INTEGER to{};
    to.QuadPart = position;
    ::SetFilePointerEx(H(Handle), to, nullptr, FILE_BEGIN);
}

bool TFileStream::Flush() { return ::FlushFileBuffers(H(Handle)) != 0; }

bool FileExists(const std::string& fileName) {
    const DWORD a = ::GetFileAttributesW(Cp1251ToWide(fileName).c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool FileStampOf(const std::string& fileName, int64_t& size, int64_t& writeTime) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!::GetFileAttributesExW(Cp1251ToWide(fileName).c_str(), GetFileExInfoStandard, &data) ||
        (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
        return false;
    size = static_cast<int64_t>((uint64_t{data.nFileSizeHigh} << 32) | data.nFileSizeLow);
    writeTime = static_cast<int64_t>((uint64_t{data.ftLastWriteTime.dwHighDateTime} << 32) |
                                     data.ftLastWriteTime.dwLowDateTime);
    return true;
}

bool PathExists(const std::string& name) {
    return ::GetFileAttributesW(Cp1251ToWide(name).c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool RenameReplacing(const std::string& source, const std::string& target) {
    const std::wstring from = Cp1251ToWide(source), to = Cp1251ToWide(target);
    DWORD delay = 1;
    for (int attempt = 1;; ++attempt) {
        if (::MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
            return true;
        const DWORD error = ::GetLastError();
        const bool transient =
            error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION || error == ERROR_ACCESS_DENIED;
        // Ten attempts, 1 ms to 256 ms apart: about half a second before giving up.
        if (!transient || attempt == 10) return false;
        ::Sleep(delay);
        delay *= 2;
    }
}

bool RemoveFile(const std::string& fileName) { return ::DeleteFileW(Cp1251ToWide(fileName).c_str()) != 0; }

}  // namespace tessara
