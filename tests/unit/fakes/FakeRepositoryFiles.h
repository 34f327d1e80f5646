// The repository file kept in memory: the same loading and rendering as the real files, without
// the file system, so that a fuzz run can save after every change cheaply. Failures are set by
// hand and raise the errors the real files raise.
#pragma once

#include <map>
#include <set>
#include <string>

#include "app/Ports.h"
#include "app/ByteHash.h"
#include "app/RepositoryCopies.h"
#include "app/RepositoryFiles.h"
#include "platform/Exceptions.h"
#include "platform/Streams.h"
#include "xml/XXmlDom.h"

namespace tessara::fakes {

class FakeRepositoryFiles : public IRepositoryFiles {
public:
    std::map<std::string, std::string> Files;  // name -> bytes
    bool FailSaves = false;                     // every save raises "Cannot create file <name>"
    bool FailBackups = false;                   // every backup raises it for the backup's name
    std::set<std::string> Unreadable;           // held by another program: cannot be opened
    int Saves = 0;
    int Hashes = 0;                             // reads for a hash

    // Another program writes a file: its stamp changes as a real file's would.
    void WriteOutside(const std::string& fileName, const std::string& bytes) { Put(fileName, bytes); }

    bool Exists(const std::string& fileName) override { return Files.count(fileName) != 0; }

    TFileStamp Stamp(const std::string& fileName) override {
        const auto file = Files.find(fileName);
        if (file == Files.end()) return TFileStamp{};
        return TFileStamp{true, static_cast<int64_t>(file->second.size()), Times[fileName]};
    }

    uint64_t Hash(const std::string& fileName) override {
        ++Hashes;
        return HashBytes(Readable(fileName));
    }

    uint64_t Load(TXmlDDocument& document, const std::string& fileName) override {
        const std::string& bytes = Readable(fileName);
        TMemoryStream stream(bytes);
        document.LoadFromStream(&stream);
        return HashBytes(bytes);
    }

    uint64_t Save(const TXmlDDocument& document, const std::string& fileName) override {
        if (FailSaves) throw EFCreateError(fileName);
        TMemoryStream stream;
        document.SaveToStream(&stream);
        Put(fileName, stream.GetBytes());
        ++Saves;
        return HashBytes(stream.GetBytes());
    }

    std::string Backup(const std::string& fileName) override {
        const std::string bytes = Readable(fileName);
        std::string name = fileName + ".bad";
        for (int n = 1; Files.count(name) != 0; ++n) name = fileName + ".bad" + std::to_string(n);
        if (FailBackups) throw EFCreateError(name);
        Put(name, bytes);
        return name;
    }

    bool FailKeepCopy = false;  // every kept copy raises "Cannot create file <name>"
    void KeepCopy(const std::string& fileName, const std::string& copyName) override {
        const std::string bytes = Readable(fileName);
        if (FailKeepCopy) throw EFCreateError(copyName);
        Put(copyName, bytes);
    }
    std::vector<std::pair<std::string, int64_t>> FilesIn(const std::string& folder) override {
        std::vector<std::pair<std::string, int64_t>> files;
        const std::string prefix = folder + '/';
        for (const auto& [name, bytes] : Files)
            if (name.compare(0, prefix.size(), prefix) == 0 && name.find('/', prefix.size()) == std::string::npos)
                files.emplace_back(name.substr(prefix.size()), static_cast<int64_t>(bytes.size()));
        return files;
    }
    bool Remove(const std::string& fileName) override { return Files.erase(fileName) != 0; }
    char PathSeparator() const override { return '/'; }

private:
    std::map<std::string, int64_t> Times;
    int64_t Clock = 0;

    void Put(const std::string& fileName, const std::string& bytes) {
        Files[fileName] = bytes;
        Times[fileName] = ++Clock;
    }

    const std::string& Readable(const std::string& fileName) const {
        const auto file = Files.find(fileName);
        if (file == Files.end() || Unreadable.count(fileName) != 0) throw EFOpenError(fileName);
        return file->second;
    }
};

}  // namespace tessara::fakes
