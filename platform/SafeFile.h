// Replacing a file without ever destroying it: the new bytes go to a temporary file in the same
// directory, are flushed to the disk, and only then take the old file's place in one step. Until
// that step the old file is untouched; when anything fails it stays as it was and the temporary
// file is removed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Streams.h"

namespace tessara {

// The steps at which saving can fail, for tests.
enum class TSafeFileStep { Create, Write, Flush, Replace };

// Test hook: consulted before each step (before every system write call for Write); returning
// true makes the step fail as if the system had refused it. Null (the default) in the program.
using TSafeFileFaultHook = bool (*)(TSafeFileStep step);
void SetSafeFileFaultHook(TSafeFileFaultHook hook);

// How Windows replaces an existing file: ReplaceFileW, which keeps the old file's security
// settings, attributes and creation time, or the rename that keeps the attributes and the
// creation time only. Automatic (the program's): ReplaceFileW, except under Wine, whose
// ReplaceFileW is no single step. For tests; POSIX systems always rename.
enum class TSafeFileReplace { Automatic, KeepIdentity, Rename };
void SetSafeFileReplace(TSafeFileReplace mode);

// The name of the temporary file that process Pid's Attempt-th try uses for Target:
// Target + ".~<pid>-<attempt>.tmp".
std::string SafeFileTempName(const std::string& target, uint32_t pid, int attempt);
// When Name (a name within Target's directory, without the directory) is one of Target's
// temporary files, true and the process that made it in Pid.
bool ParseSafeFileTempName(std::string_view name, std::string_view targetName, uint32_t& pid);

// Removes the temporary files that saves of Target left behind in processes that no longer
// run: a save cut off by a crash, a kill or a power cut leaves its temporary file beside the
// file it did not replace. A file whose process still runs (or whose process cannot be told)
// is left alone, and so is everything else. Best effort: returns how many it removed.
// Commit calls it after each successful replace.
int RemoveStaleSafeFileTemps(const std::string& target) noexcept;
// The names of those files, as RemoveStaleSafeFileTemps finds them (each system lists its
// directories and tells a running process in its own way).
std::vector<std::string> StaleSafeFileTemps(const std::string& target);

// A write-only stream whose bytes replace FileName at Commit.
//
// Construction creates the temporary file; it raises EFCreateError(FileName) when that fails or
// when FileName cannot be replaced at all (read-only, a directory, or - on POSIX - locked by
// another program through the advisory locks that our file streams take).
// Write transfers what it can; WriteBuffer turns a short write into EWriteError.
// Commit flushes (EWriteError when the system reports a failure) and replaces the file
// (EFCreateError, also when another program holds the file open so that it cannot be
// replaced; sharing and access errors are retried briefly first).
// Destruction without a successful Commit removes the temporary file.
//
// The replaced file keeps its name and, where the system allows, its permissions (POSIX) or
// attributes, creation time and security settings (Windows). Links are followed: the file
// that the name finally names is replaced, its temporary file is made beside it, and the links
// stay links.
class TSafeFileStream : public TStream {
public:
    explicit TSafeFileStream(const std::string& fileName);
    ~TSafeFileStream() override;

    size_t Read(void* buffer, size_t count) override;
    size_t Write(const void* buffer, size_t count) override;
    int64_t Size() const override { return Written; }
    int64_t Position() const override { return Written; }
    void Seek(int64_t position) override;

    void Commit();

    // The temporary file's name while it exists (for tests).
    const std::string& TempName() const noexcept { return Temp; }

private:
    void Discard() noexcept;

    std::string FileName;  // as passed, for the messages
    std::string Target;    // the file that is replaced
    std::string Temp;
    intptr_t Handle;
    intptr_t TargetLock;          // POSIX: the lock held on the replaced file until it is replaced
    [[maybe_unused]] uint32_t KeptAttributes = 0;  // Windows: attributes the new file takes over
    int64_t Written = 0;
    bool Committed = false;
};

#ifdef _WIN32
// The full path of a file name (GetFullPathNameW), or the name itself when it has none.
std::wstring FullPath(const std::wstring& name);
// The file that FileName finally names, after every link on the way; FileName itself when it
// names no existing file, names it directly, or the final path has no Windows-1251 spelling.
std::string FinalPath(const std::string& fileName);
#endif

}  // namespace tessara
