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

// FNV-1a, 64 bits, continued from Hash: what tells the repository file's bytes from others.
inline constexpr uint64_t kHashStart = 14695981039346656037ull;
uint64_t HashBytes(std::string_view bytes, uint64_t hash = kHashStart) noexcept;
// HashBytes of a file's bytes, read in blocks; raises EFOpenError when it cannot be opened.
uint64_t HashFile(const std::string& fileName);

// The repository on real files: LoadFromFile, the safe SaveToFile, BackupRepositoryFile, the
// file's attributes and the hash of its bytes.
class TRepositoryFiles : public IRepositoryFiles {
public:
    bool Exists(const std::string& fileName) override;
    TFileStamp Stamp(const std::string& fileName) override;
    uint64_t Hash(const std::string& fileName) override;
    void Load(TXmlDDocument& document, const std::string& fileName) override;
    uint64_t Save(const TXmlDDocument& document, const std::string& fileName) override;
    std::string Backup(const std::string& fileName) override;
};

}  // namespace tessara
