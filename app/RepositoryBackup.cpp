#include "app/RepositoryBackup.h"

#include <vector>

#include "platform/Exceptions.h"
#include "platform/SafeFile.h"
#include "platform/Streams.h"
#include "xml/XXmlDom.h"

namespace tessara {

std::string FreeBackupName(const std::string& fileName) {
    const std::string base = fileName + ".bad";
    if (!PathExists(base)) return base;
    for (int n = 1;; ++n) {
        std::string name = base + std::to_string(n);
        if (!PathExists(name)) return name;
    }
}

std::string BackupRepositoryFile(const std::string& fileName) {
    TFileStream source(fileName, TFileMode::OpenReadShareDenyWrite);
    const std::string backupName = FreeBackupName(fileName);
    // Written as a save is, so that a copy cut off by a crash never stands under the name.
    TSafeFileStream target(backupName);
    std::vector<char> buffer(64 * 1024);
    for (;;) {
        const size_t count = source.Read(buffer.data(), buffer.size());
        if (count == 0) break;
        target.WriteBuffer(buffer.data(), count);
    }
    target.Commit();
    return backupName;
}

bool TRepositoryFiles::Exists(const std::string& fileName) { return FileExists(fileName); }

void TRepositoryFiles::Load(TXmlDDocument& document, const std::string& fileName) {
    document.LoadFromFile(fileName);
}

void TRepositoryFiles::Save(const TXmlDDocument& document, const std::string& fileName) {
    document.SaveToFile(fileName);
}

std::string TRepositoryFiles::Backup(const std::string& fileName) { return BackupRepositoryFile(fileName); }

}  // namespace tessara
