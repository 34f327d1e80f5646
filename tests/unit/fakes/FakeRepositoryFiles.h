// The repository file kept in memory: the same loading and rendering as the real files, without
// the file system, so that a fuzz run can save after every change cheaply. Failures are set by
// hand and raise the errors the real files raise.
#pragma once

#include <map>
#include <string>

#include "app/Ports.h"
#include "platform/Exceptions.h"
#include "platform/Streams.h"
#include "xml/XXmlDom.h"

namespace tessara::fakes {

class FakeRepositoryFiles : public IRepositoryFiles {
public:
    std::map<std::string, std::string> Files;  // name -> bytes
    bool FailSaves = false;                     // every save raises "Cannot create file <name>"
    bool FailBackups = false;                   // every backup raises it for the backup's name
    int Saves = 0;

    bool Exists(const std::string& fileName) override { return Files.count(fileName) != 0; }

    void Load(TXmlDDocument& document, const std::string& fileName) override {
        const auto file = Files.find(fileName);
        if (file == Files.end()) throw EFOpenError(fileName);
        TMemoryStream stream(file->second);
        document.LoadFromStream(&stream);
    }

    void Save(const TXmlDDocument& document, const std::string& fileName) override {
        if (FailSaves) throw EFCreateError(fileName);
        TMemoryStream stream;
        document.SaveToStream(&stream);
        Files[fileName] = stream.GetBytes();
        ++Saves;
    }

    std::string Backup(const std::string& fileName) override {
        const auto file = Files.find(fileName);
        if (file == Files.end()) throw EFOpenError(fileName);
        std::string name = fileName + ".bad";
        for (int n = 1; Files.count(name) != 0; ++n) name = fileName + ".bad" + std::to_string(n);
        if (FailBackups) throw EFCreateError(name);
        Files[name] = file->second;
        return name;
    }
};

}  // namespace tessara::fakes
