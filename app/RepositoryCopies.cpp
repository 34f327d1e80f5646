#include "app/RepositoryCopies.h"

#include "app/RepositoryFiles.h"
#include "platform/SafeFile.h"
#include "platform/Streams.h"

namespace tessara {

std::string FreeBackupName(const std::string& fileName) {
    const std::string base = fileName + ".bad";
    if (!PathExists(base)) return base;
    for (int n = 1;; ++n) {
        std::string name = base + std::to_string(n);
        if (!PathExists(name)) return name;
    }
}

void CopyRepositoryFile(const std::string& fileName, const std::string& copyName) {
    TFileStream source(fileName, TFileMode::OpenReadShareDenyWrite);
    // Written as a save is, so that a copy cut off by a crash never stands under the name.
    TSafeFileStream target(copyName);
    ReadBlocks(source, [&](std::string_view block) { target.WriteBuffer(block.data(), block.size()); });
    target.Commit();
}

std::string BackupRepositoryFile(const std::string& fileName) {
    const std::string backupName = FreeBackupName(fileName);
    CopyRepositoryFile(fileName, backupName);
    return backupName;
}

}  // namespace tessara
