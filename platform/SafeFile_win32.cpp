// Win32 back-end of the safe file replacement: a temporary file beside the target,
// FlushFileBuffers, then RenameReplacing (MoveFileExW with MOVEFILE_REPLACE_EXISTING |
// MOVEFILE_WRITE_THROUGH), which replaces the file in one rename. A file that another program
// holds open without FILE_SHARE_DELETE cannot be replaced; that is reported, after brief
// retries for scanners that hold a fresh file for a moment.
#include <windows.h>

#include <vector>

#include "platform/Charset.h"
#include "platform/Exceptions.h"
#include "platform/SafeFile.h"

namespace tessara {
namespace {

TSafeFileFaultHook faultHook = nullptr;

bool Fails(TSafeFileStep step) { return faultHook != nullptr && faultHook(step); }

constexpr size_t kWriteChunk = size_t{1} << 20;

// Attributes the new file takes over from the one it replaces.
constexpr DWORD kKeptAttributes =
    FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

HANDLE H(intptr_t h) { return reinterpret_cast<HANDLE>(h); }

}  // namespace

void SetSafeFileFaultHook(TSafeFileFaultHook hook) { faultHook = hook; }

TSafeFileStream::TSafeFileStream(const std::string& fileName)
    : FileName(fileName), Target(fileName), Handle(0), TargetLock(0) {
    const DWORD attributes = ::GetFileAttributesW(Cp1251ToWide(fileName).c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES &&
        (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY)) != 0)
        throw EFCreateError(fileName);
    if (attributes != INVALID_FILE_ATTRIBUTES) KeptAttributes = attributes & kKeptAttributes;

    HANDLE h = INVALID_HANDLE_VALUE;
    if (!Fails(TSafeFileStep::Create)) {
        for (int attempt = 0; attempt < 100 && h == INVALID_HANDLE_VALUE; ++attempt) {
            Temp = SafeFileTempName(fileName, ::GetCurrentProcessId(), attempt);
            h = ::CreateFileW(Cp1251ToWide(Temp).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
            if (h == INVALID_HANDLE_VALUE && ::GetLastError() != ERROR_FILE_EXISTS &&
                ::GetLastError() != ERROR_ALREADY_EXISTS)
                break;
        }
    }
    if (h == INVALID_HANDLE_VALUE) {
        Temp.clear();
        throw EFCreateError(fileName);
    }
    Handle = reinterpret_cast<intptr_t>(h);
}

TSafeFileStream::~TSafeFileStream() {
    if (!Committed) Discard();
}

void TSafeFileStream::Discard() noexcept {
    if (Handle != 0) ::CloseHandle(H(Handle));
    Handle = 0;
    if (!Temp.empty()) RemoveFile(Temp);
    Temp.clear();
}

size_t TSafeFileStream::Read(void*, size_t) { return 0; }

void TSafeFileStream::Seek(int64_t) {}

size_t TSafeFileStream::Write(const void* buffer, size_t count) {
    if (Handle == 0) return 0;
    size_t done = 0;
    while (done < count) {
        const DWORD chunk = static_cast<DWORD>(count - done < kWriteChunk ? count - done : kWriteChunk);
        if (Fails(TSafeFileStep::Write)) break;
        DWORD n = 0;
        if (!::WriteFile(H(Handle), static_cast<const char*>(buffer) + done, chunk, &n, nullptr) || n == 0)
            break;
        done += n;
    }
    Written += static_cast<int64_t>(done);
    return done;
}

void TSafeFileStream::Commit() {
    if (Handle == 0 || Committed) return;
    if (Fails(TSafeFileStep::Flush) || !::FlushFileBuffers(H(Handle))) {
        Discard();
        throw EWriteError();
    }
    const BOOL closed = ::CloseHandle(H(Handle));
    Handle = 0;
    if (!closed) {
        Discard();
        throw EWriteError();
    }
    const std::wstring temp = Cp1251ToWide(Temp);
    if (KeptAttributes != 0) ::SetFileAttributesW(temp.c_str(), KeptAttributes);

    const bool replaced = !Fails(TSafeFileStep::Replace) && RenameReplacing(Temp, Target);
    if (!replaced) {
        Discard();
        throw EFCreateError(FileName);
    }
    Temp.clear();
    Committed = true;
    RemoveStaleSafeFileTemps(Target);
}

namespace {

// False only when the system says there is no such process, or that it has ended.
bool ProcessMayRun(DWORD pid) {
    HANDLE process = ::OpenProcess(SYNCHRONIZE, FALSE, pid);
    if (process == nullptr) return ::GetLastError() != ERROR_INVALID_PARAMETER;
    const bool running = ::WaitForSingleObject(process, 0) == WAIT_TIMEOUT;
    ::CloseHandle(process);
    return running;
}

}  // namespace

std::vector<std::string> StaleSafeFileTemps(const std::string& target) {
    const size_t slash = target.find_last_of("\\/:");
    const std::string dir = slash == std::string::npos ? std::string() : target.substr(0, slash + 1);
    const std::string targetName = target.substr(dir.size());
    std::vector<std::string> stale;
    WIN32_FIND_DATAW found;
    HANDLE search = ::FindFirstFileW(Cp1251ToWide(target + ".~*.tmp").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return stale;
    do {
        uint32_t pid = 0;
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) continue;
        const std::string name = WideToCp1251(found.cFileName);
        if (ParseSafeFileTempName(name, targetName, pid) && !ProcessMayRun(pid)) stale.push_back(dir + name);
    } while (::FindNextFileW(search, &found));
    ::FindClose(search);
    return stale;
}

}  // namespace tessara
