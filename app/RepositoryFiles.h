// The repository on real files: the port the program's window reads and writes through.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "app/Ports.h"

namespace tessara {

class TStream;

// Reads Source to its end in blocks of 64 KB and hands each to Take.
void ReadBlocks(TStream& source, const std::function<void(std::string_view)>& take);

// HashBytes of a file's bytes, read in blocks; raises EFOpenError when it cannot be opened.
uint64_t HashFile(const std::string& fileName);

// LoadFromFile, the safe SaveToFile, the copy of a file aside, the file's attributes and the
// hash of its bytes, all on real files.
class TRepositoryFiles : public IRepositoryFiles {
public:
    bool Exists(const std::string& fileName) override;
    TFileStamp Stamp(const std::string& fileName) override;
    uint64_t Hash(const std::string& fileName) override;
    uint64_t Load(TXmlDDocument& document, const std::string& fileName) override;
    uint64_t Save(const TXmlDDocument& document, const std::string& fileName) override;
    std::string Backup(const std::string& fileName) override;
    void KeepCopy(const std::string& fileName, const std::string& copyName) override;
    std::vector<std::pair<std::string, int64_t>> FilesIn(const std::string& folder) override;
    bool Remove(const std::string& fileName) override;
    char PathSeparator() const override;
};

}  // namespace tessara
