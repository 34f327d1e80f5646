// POSIX back-end of the safe file replacement: a temporary file beside the target, fsync, then
// RenameReplacing (rename(2), which replaces the directory entry atomically, and an fsync of
// the directory).
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <vector>

#include "platform/Exceptions.h"
#include "platform/SafeFile.h"

namespace tessara {
namespace {

TSafeFileFaultHook faultHook = nullptr;

bool Fails(TSafeFileStep step) { return faultHook != nullptr && faultHook(step); }

// Bytes handed to one write call; a long text is written in several, each a point of failure.
constexpr size_t kWriteChunk = size_t{1} << 20;

// The file a symbolic link finally names: realpath(3); for a link to a file that does not
// exist yet, the links followed one by one (at most 40, as the kernel does).
std::string FinalPath(const std::string& link) {
    char resolved[PATH_MAX];
    if (::realpath(link.c_str(), resolved) != nullptr) return resolved;
    std::string name = link;
    for (int hop = 0; hop < 40; ++hop) {
        struct stat st {};
        if (::lstat(name.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return name;
        char to[PATH_MAX];
        const ssize_t n = ::readlink(name.c_str(), to, sizeof to - 1);
        if (n <= 0) return name;
        const std::string next(to, static_cast<size_t>(n));
        const size_t slash = name.rfind('/');
        name = next[0] == '/' || slash == std::string::npos ? next : name.substr(0, slash + 1) + next;
    }
    return link;
}

}  // namespace

void SetSafeFileFaultHook(TSafeFileFaultHook hook) { faultHook = hook; }

void SetSafeFileReplace(TSafeFileReplace) {}

TSafeFileStream::TSafeFileStream(const std::string& fileName)
    : FileName(fileName), Target(fileName), Handle(-1), TargetLock(-1) {
    struct stat st {};
    bool exists = false;
    if (::lstat(fileName.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) Target = FinalPath(fileName);
    if (::stat(Target.c_str(), &st) == 0) {
        exists = true;
        if (!S_ISREG(st.st_mode)) throw EFCreateError(fileName);
        // The file must be writable by us and not locked by another program, as when it was
        // truncated in place; the lock is held until it has been replaced.
        const int lock = ::open(Target.c_str(), O_RDWR | O_CLOEXEC);
        if (lock < 0) throw EFCreateError(fileName);
        if (::flock(lock, LOCK_EX | LOCK_NB) != 0) {
            ::close(lock);
            throw EFCreateError(fileName);
        }
        TargetLock = lock;
    } else if (errno != ENOENT) {
        throw EFCreateError(fileName);
    }

    int fd = -1;
    if (!Fails(TSafeFileStep::Create)) {
        for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
            Temp = SafeFileTempName(Target, static_cast<uint32_t>(::getpid()), attempt);
            fd = ::open(Temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
            if (fd < 0 && errno != EEXIST) break;
        }
    }
    if (fd < 0) {
        Temp.clear();
        Discard();
        throw EFCreateError(fileName);
    }
    Handle = fd;
    if (exists) {
        // Keep who may read and write the file; ownership only where we are allowed to.
        (void)::fchmod(fd, st.st_mode & 07777);
        if (st.st_uid != ::geteuid() || st.st_gid != ::getegid()) (void)::fchown(fd, st.st_uid, st.st_gid);
    }
}

TSafeFileStream::~TSafeFileStream() {
    if (!Committed) Discard();
}

void TSafeFileStream::Discard() noexcept {
    if (Handle >= 0) ::close(static_cast<int>(Handle));
    Handle = -1;
    if (!Temp.empty()) RemoveFile(Temp);
    Temp.clear();
    if (TargetLock >= 0) ::close(static_cast<int>(TargetLock));
    TargetLock = -1;
}

size_t TSafeFileStream::Read(void*, size_t) { return 0; }

void TSafeFileStream::Seek(int64_t) {}

size_t TSafeFileStream::Write(const void* buffer, size_t count) {
    if (Handle < 0) return 0;
    size_t done = 0;
    while (done < count) {
        const size_t chunk = count - done < kWriteChunk ? count - done : kWriteChunk;
        if (Fails(TSafeFileStep::Write)) break;
        const ssize_t n = ::write(static_cast<int>(Handle), static_cast<const char*>(buffer) + done, chunk);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += static_cast<size_t>(n);
    }
    Written += static_cast<int64_t>(done);
    return done;
}

void TSafeFileStream::Commit() {
    if (Handle < 0 || Committed) return;
    if (Fails(TSafeFileStep::Flush) || ::fsync(static_cast<int>(Handle)) != 0) {
        Discard();
        throw EWriteError();
    }
    const int closed = ::close(static_cast<int>(Handle));
    Handle = -1;
    if (closed != 0) {
        Discard();
        throw EWriteError();
    }
    // RenameReplacing takes the writer's lock on the old file itself.
    if (TargetLock >= 0) ::close(static_cast<int>(TargetLock));
    TargetLock = -1;
    if (Fails(TSafeFileStep::Replace) || !RenameReplacing(Temp, Target)) {
        Discard();
        throw EFCreateError(FileName);
    }
    Temp.clear();
    Committed = true;
    Discard();
    RemoveStaleSafeFileTemps(Target);
}

std::vector<std::string> StaleSafeFileTemps(const std::string& target) {
    const size_t slash = target.rfind('/');
    const std::string dir = slash == std::string::npos ? "." : target.substr(0, slash + 1);
    const std::string_view targetName =
        slash == std::string::npos ? std::string_view(target) : std::string_view(target).substr(slash + 1);
    std::vector<std::string> stale;
    DIR* d = ::opendir(dir.c_str());
    if (d == nullptr) return stale;
    while (const dirent* e = ::readdir(d)) {
        uint32_t pid = 0;
        if (!ParseSafeFileTempName(e->d_name, targetName, pid) || pid > INT_MAX) continue;
        // EPERM: the process runs under another user.
        if (::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM) continue;
        stale.push_back((slash == std::string::npos ? std::string() : dir) + e->d_name);
    }
    ::closedir(d);
    return stale;
}

}  // namespace tessara
