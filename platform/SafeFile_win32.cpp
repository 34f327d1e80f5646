// Win32 back-end of the safe file replacement: the final path of the target first (a symbolic
// link or junction is followed, so that the file it points to is replaced and the link stays),
// a temporary file beside it, FlushFileBuffers, then ReplaceFileW, which keeps the replaced
// file's security settings, attributes and creation time; where the file system refuses it,
// RenameReplacing (MoveFileExW with MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH). A file
// that another program holds open without FILE_SHARE_DELETE cannot be replaced; that is
// reported, after brief retries for scanners that hold a fresh file for a moment.
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

// "\\?\C:\dir\file" as "C:\dir\file"; "\\?\UNC\server\share" as "\\server\share".
std::wstring WithoutLongPrefix(const std::wstring& path) {
    if (path.rfind(L"\\\\?\\UNC\\", 0) == 0) return L"\\\\" + path.substr(8);
    if (path.rfind(L"\\\\?\\", 0) == 0) return path.substr(4);
    return path;
}

}  // namespace

std::string FinalPath(const std::string& fileName) {
    const std::wstring wide = Cp1251ToWide(fileName);
    const HANDLE h = ::CreateFileW(wide.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                   OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE) return fileName;
    std::wstring final(MAX_PATH, L'\0');
    DWORD n = ::GetFinalPathNameByHandleW(h, final.data(), static_cast<DWORD>(final.size()), FILE_NAME_NORMALIZED);
    if (n >= final.size()) {
        final.resize(n + 1);
        n = ::GetFinalPathNameByHandleW(h, final.data(), static_cast<DWORD>(final.size()), FILE_NAME_NORMALIZED);
    }
    ::CloseHandle(h);
    if (n == 0 || n >= final.size()) return fileName;
    final.resize(n);
    final = WithoutLongPrefix(final);
    // The same file under its own name: keep the name as given.
    if (::CompareStringOrdinal(final.c_str(), -1, FullPath(wide).c_str(), -1, TRUE) == CSTR_EQUAL) return fileName;
    const std::string resolved = WideToCp1251(final);
    return Cp1251ToWide(resolved) == final ? resolved : fileName;
}

namespace {

TSafeFileReplace replaceMode = TSafeFileReplace::Automatic;

// Wine carries ReplaceFileW out as a delete of the old file followed by a rename of the new
// one: a kill in between would leave no file at all. Its rename is one step, and Wine keeps no
// security settings that ReplaceFileW would carry over.
bool RunsUnderWine() {
    static const bool wine = [] {
        const HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
        return ntdll != nullptr && ::GetProcAddress(ntdll, "wine_get_version") != nullptr;
    }();
    return wine;
}

// The new file takes the old one's place with its security settings, attributes and creation
// time: ReplaceFileW. Sharing errors are retried as RenameReplacing retries them; where the
// file system cannot replace this way (or the old file has just gone), the plain rename, with
// the creation time carried over by hand.
bool ReplaceKeepingIdentity(const std::string& source, const std::string& target) {
    const std::wstring from = Cp1251ToWide(source), to = Cp1251ToWide(target);
    const bool replaceFile = replaceMode == TSafeFileReplace::KeepIdentity ||
                             (replaceMode == TSafeFileReplace::Automatic && !RunsUnderWine());
    if (!replaceFile) {
        WIN32_FILE_ATTRIBUTE_DATA old;
        if (::GetFileAttributesExW(to.c_str(), GetFileExInfoStandard, &old)) {
            const HANDLE h = ::CreateFileW(from.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr);
            if (h != INVALID_HANDLE_VALUE) {
                ::SetFileTime(h, &old.ftCreationTime, nullptr, nullptr);
                ::CloseHandle(h);
            }
        }
        return RenameReplacing(source, target);
    }
    DWORD delay = 1;
    for (int attempt = 1;; ++attempt) {
        if (::ReplaceFileW(to.c_str(), from.c_str(), nullptr, REPLACEFILE_IGNORE_MERGE_ERRORS | REPLACEFILE_IGNORE_ACL_ERRORS,
                           nullptr, nullptr))
            return true;
        const DWORD error = ::GetLastError();
        // The replaced file could not be removed: both files are as they were.
        const bool transient = error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION ||
                               error == ERROR_UNABLE_TO_REMOVE_REPLACED;
        if (!transient && error != ERROR_ACCESS_DENIED) return RenameReplacing(source, target);
        if (attempt == 10) return error == ERROR_ACCESS_DENIED && RenameReplacing(source, target);
        ::Sleep(delay);
        delay *= 2;
    }
}

}  // namespace

std::wstring FullPath(const std::wstring& name) {
    const DWORD n = ::GetFullPathNameW(name.c_str(), 0, nullptr, nullptr);
    if (n == 0) return name;
    std::wstring full(n, L'\0');
    const DWORD m = ::GetFullPathNameW(name.c_str(), n, full.data(), nullptr);
    if (m == 0 || m >= n) return name;
    full.resize(m);
    return full;
}

void SetSafeFileFaultHook(TSafeFileFaultHook hook) { faultHook = hook; }

void SetSafeFileReplace(TSafeFileReplace mode) { replaceMode = mode; }

TSafeFileStream::TSafeFileStream(const std::string& fileName)
    : FileName(fileName), Target(FinalPath(fileName)), Handle(0), TargetLock(0) {
    const DWORD attributes = ::GetFileAttributesW(Cp1251ToWide(Target).c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES &&
        (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY)) != 0)
        throw EFCreateError(fileName);
    if (attributes != INVALID_FILE_ATTRIBUTES) KeptAttributes = attributes & kKeptAttributes;

    HANDLE h = INVALID_HANDLE_VALUE;
    if (!Fails(TSafeFileStep::Create)) {
        for (int attempt = 0; attempt < 100 && h == INVALID_HANDLE_VALUE; ++attempt) {
            Temp = SafeFileTempName(Target, ::GetCurrentProcessId(), attempt);
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

    const bool replaced = !Fails(TSafeFileStep::Replace) &&
                          (FileExists(Target) ? ReplaceKeepingIdentity(Temp, Target) : RenameReplacing(Temp, Target));
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
