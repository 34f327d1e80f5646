// POSIX back-end of the file stream. Share modes are approximated by advisory flock() locks.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "platform/Exceptions.h"
#include "platform/Streams.h"

namespace tessara {

TFileStream::TFileStream(const std::string& fileName, TFileMode mode) : Handle(-1) {
    int fd;
    if (mode == TFileMode::OpenReadShareDenyWrite) {
        fd = ::open(fileName.c_str(), O_RDONLY | O_CLOEXEC);
        struct stat st {};
        if (fd >= 0 && (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) ||
                        ::flock(fd, LOCK_SH | LOCK_NB) != 0)) {
            ::close(fd);
            fd = -1;
        }
        if (fd < 0) throw EFOpenError(fileName);
    } else {
        // Lock before truncating, so that a file another program holds is left as it is.
        fd = ::open(fileName.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
        if (fd >= 0 && (::flock(fd, LOCK_EX | LOCK_NB) != 0 || ::ftruncate(fd, 0) != 0)) {
            ::close(fd);
            fd = -1;
        }
        if (fd < 0) throw EFCreateError(fileName);
    }
    Handle = fd;
}

TFileStream::~TFileStream() { ::close(static_cast<int>(Handle)); }

size_t TFileStream::Read(void* buffer, size_t count) {
    size_t done = 0;
    while (done < count) {
        const ssize_t n = ::read(static_cast<int>(Handle), static_cast<char*>(buffer) + done, count - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += static_cast<size_t>(n);
    }
    return done;
}

size_t TFileStream::Write(const void* buffer, size_t count) {
    size_t done = 0;
    while (done < count) {
        const ssize_t n =
            ::write(static_cast<int>(Handle), static_cast<const char*>(buffer) + done, count - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += static_cast<size_t>(n);
    }
    return done;
}

int64_t TFileStream::Size() const {
    struct stat st {};
    return ::fstat(static_cast<int>(Handle), &st) == 0 ? static_cast<int64_t>(st.st_size) : 0;
}

int64_t TFileStream::Position() const {
    return static_cast<int64_t>(::lseek(static_cast<int>(Handle), 0, SEEK_CUR));
}

void TFileStream::Seek(int64_t position) {
    ::lseek(static_cast<int>(Handle), static_cast<off_t>(position), SEEK_SET);
}

bool TFileStream::Flush() { return ::fsync(static_cast<int>(Handle)) == 0; }

bool FileExists(const std::string& fileName) {
    struct stat st {};
    return ::stat(fileName.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool FileStampOf(const std::string& fileName, int64_t& size, int64_t& writeTime) {
    struct stat st {};
    if (::stat(fileName.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
    size = static_cast<int64_t>(st.st_size);
    writeTime = static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    return true;
}

bool PathExists(const std::string& name) {
    struct stat st {};
    return ::lstat(name.c_str(), &st) == 0;
}

bool RenameReplacing(const std::string& source, const std::string& target) {
    // rename() ignores locks: take the writer's lock on the old file first, so that a stream
    // that holds it keeps it, as on Windows.
    const int held = ::open(target.c_str(), O_RDONLY | O_CLOEXEC);
    if (held >= 0 && ::flock(held, LOCK_EX | LOCK_NB) != 0) {
        ::close(held);
        return false;
    }
    const bool done = ::rename(source.c_str(), target.c_str()) == 0;
    if (held >= 0) ::close(held);
    if (done) {
        // Make the new directory entry durable too.
        const size_t slash = target.rfind('/');
        const std::string dir = slash == std::string::npos ? "." : slash == 0 ? "/" : target.substr(0, slash);
        const int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd >= 0) {
            ::fsync(fd);
            ::close(fd);
        }
    }
    return done;
}

bool RemoveFile(const std::string& fileName) { return ::unlink(fileName.c_str()) == 0; }

}  // namespace tessara
