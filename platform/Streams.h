// Byte streams: the abstract stream, a memory stream and a file stream, plus the file
// system helpers the program needs. File names are Windows-1251 byte strings.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace tessara {

class TStream {
public:
    TStream() = default;
    TStream(const TStream&) = delete;
    TStream& operator=(const TStream&) = delete;
    virtual ~TStream() = default;

    // Each moves the position by the number of bytes transferred and returns that number.
    virtual size_t Read(void* buffer, size_t count) = 0;
    virtual size_t Write(const void* buffer, size_t count) = 0;
    virtual int64_t Size() const = 0;
    virtual int64_t Position() const = 0;
    virtual void Seek(int64_t position) = 0;

    // Transfer exactly count bytes or raise EReadError / EWriteError.
    void ReadBuffer(void* buffer, size_t count);
    void WriteBuffer(const void* buffer, size_t count);
};

// A stream over a growable block of memory.
class TMemoryStream : public TStream {
public:
    TMemoryStream() = default;
    explicit TMemoryStream(std::string bytes) : Bytes(std::move(bytes)) {}

    size_t Read(void* buffer, size_t count) override;
    size_t Write(const void* buffer, size_t count) override;
    int64_t Size() const override { return static_cast<int64_t>(Bytes.size()); }
    int64_t Position() const override { return static_cast<int64_t>(Pos); }
    void Seek(int64_t position) override;

    const std::string& GetBytes() const noexcept { return Bytes; }

private:
    std::string Bytes;
    size_t Pos = 0;
};

enum class TFileMode {
    // Open an existing file for reading; others may read it but not write it.
    OpenReadShareDenyWrite,
    // Create the file, or truncate it when it exists, for reading and writing without sharing.
    CreateExclusive,
};

// A stream over an open file. Construction raises EFOpenError or EFCreateError with the name
// as passed.
//
// On Windows the share modes are the system's: a file open for reading lets other readers in
// and keeps every writer out, also in other processes, and a file created for writing keeps
// everyone out until it is closed.
//
// POSIX systems have no mandatory share modes. The stream takes an advisory flock() lock
// instead, shared for reading and exclusive for writing, and takes it before it truncates, so
// that two streams, in this process or in any other that locks the same way, exclude each other
// as the Windows modes do. What it cannot enforce: a program that does not lock (an editor, a
// shell redirection) still reads, writes, truncates, renames or deletes the file, and on some
// network file systems flock() is local to one machine or not supported at all.
class TFileStream : public TStream {
public:
    TFileStream(const std::string& fileName, TFileMode mode);
    ~TFileStream() override;

    size_t Read(void* buffer, size_t count) override;
    size_t Write(const void* buffer, size_t count) override;
    int64_t Size() const override;
    int64_t Position() const override;
    void Seek(int64_t position) override;

    // Pushes what was written through to the disk; false when the system reports a failure.
    bool Flush();

private:
    intptr_t Handle;
};

// True when a file (not a directory) of this name exists.
bool FileExists(const std::string& fileName);
// The size and the last write time (in the system's own units) of a file, from one attribute
// query that neither opens nor reads it; false when no file (a directory neither) has the name.
bool FileStampOf(const std::string& fileName, int64_t& size, int64_t& writeTime);
// True when anything of this name exists: a file, a directory or another kind of entry.
bool PathExists(const std::string& name);

// Puts the file source (closed) in the place of target in one step: target, when it exists, is replaced
// whole, so that a reader sees either the old file or the new one. Both names should be in the
// same directory. While another stream holds target open (see the share modes above) the
// replace fails; on Windows sharing and access errors are retried for a short while first,
// since scanners and indexers hold fresh files open for a moment. Returns false on failure, and
// source is then left where it was.
bool RenameReplacing(const std::string& source, const std::string& target);

// Deletes a file; false when it cannot (also when it does not exist).
bool RemoveFile(const std::string& fileName);

}  // namespace tessara
