// The repository on real files, and keeping a file that could not be read in full: a
// byte-for-byte copy beside it, under a name that never replaces an earlier copy.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "app/Ports.h"

namespace tessara {

// The first of FileName + ".bad", ".bad1", ".bad2", ... that is not taken yet by a file, a
// directory or anything else.
std::string FreeBackupName(const std::string& fileName);

// Copies the file's bytes to FreeBackupName(FileName) and returns that name. The copy appears
// complete or not at all. Raises the stream errors (EFOpenError, EFCreateError, EReadError,
// EWriteError) when it cannot.
std::string BackupRepositoryFile(const std::string& fileName);

// What tells the repository file's bytes from others: a 64-bit hash taken 32 bytes a step in
// four independent lanes, so that hashing a large file costs little beside reading or writing
// it (a single lane waits for each multiplication before the next: half the speed). The value
// depends only on the bytes, not on how they were split between calls of Add. It is compared
// within a run and never stored, nor shared with another program.
class TByteHash {
public:
    void Add(std::string_view bytes) noexcept;
    uint64_t Value() const noexcept;

private:
    static constexpr size_t kStep = 32;

    uint64_t Lanes[4] = {0x243F6A8885A308D3ull, 0x13198A2E03707344ull, 0xA4093822299F31D0ull, 0x082EFA98EC4E6C89ull};
    uint64_t Length = 0;
    char Tail[kStep] = {};
    size_t TailSize = 0;
};
uint64_t HashBytes(std::string_view bytes) noexcept;
// HashBytes of a file's bytes, read in blocks; raises EFOpenError when it cannot be opened.
uint64_t HashFile(const std::string& fileName);

// The repository on real files: LoadFromFile, the safe SaveToFile, BackupRepositoryFile, the
// file's attributes and the hash of its bytes.
class TRepositoryFiles : public IRepositoryFiles {
public:
    bool Exists(const std::string& fileName) override;
    TFileStamp Stamp(const std::string& fileName) override;
    uint64_t Hash(const std::string& fileName) override;
    uint64_t Load(TXmlDDocument& document, const std::string& fileName) override;
    uint64_t Save(const TXmlDDocument& document, const std::string& fileName) override;
    std::string Backup(const std::string& fileName) override;
};

}  // namespace tessara
