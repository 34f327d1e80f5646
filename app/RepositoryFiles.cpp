#include "app/RepositoryFiles.h"

#include <vector>

#include "app/ByteHash.h"
#include "app/RepositoryCopies.h"
#include "platform/Exceptions.h"
#include "platform/Folders.h"
#include "platform/SafeFile.h"
#include "platform/Streams.h"
#include "xml/XXmlDom.h"

namespace tessara {

void ReadBlocks(TStream& source, const std::function<void(std::string_view)>& take) {
    std::vector<char> buffer(64 * 1024);
    while (const size_t count = source.Read(buffer.data(), buffer.size())) take(std::string_view(buffer.data(), count));
}

uint64_t HashFile(const std::string& fileName) {
    TFileStream source(fileName, TFileMode::OpenReadShareDenyWrite);
    TByteHash hash;
    ReadBlocks(source, [&](std::string_view block) { hash.Add(block); });
    return hash.Value();
}

namespace {

// Hands every read and write on to the target and hashes the bytes it gave or took.
class THashingStream : public TStream {
public:
    explicit THashingStream(TStream& target) : Target(target) {}
    size_t Read(void* buffer, size_t count) override {
        const size_t done = Target.Read(buffer, count);
        Hash.Add(std::string_view(static_cast<const char*>(buffer), done));
        return done;
    }
    size_t Write(const void* buffer, size_t count) override {
        const size_t done = Target.Write(buffer, count);
        Hash.Add(std::string_view(static_cast<const char*>(buffer), done));
        return done;
    }
    int64_t Size() const override { return Target.Size(); }
    int64_t Position() const override { return Target.Position(); }
    void Seek(int64_t) override {}

    TByteHash Hash;

private:
    TStream& Target;
};

}  // namespace

bool TRepositoryFiles::Exists(const std::string& fileName) { return FileExists(fileName); }

TFileStamp TRepositoryFiles::Stamp(const std::string& fileName) {
    TFileStamp stamp;
    stamp.Exists = FileStampOf(fileName, stamp.Size, stamp.WriteTime);
    return stamp;
}

uint64_t TRepositoryFiles::Hash(const std::string& fileName) { return HashFile(fileName); }

uint64_t TRepositoryFiles::Load(TXmlDDocument& document, const std::string& fileName) {
    // Opened first, as LoadFromFile does: a file that cannot be opened leaves the document.
    TFileStream file(fileName, TFileMode::OpenReadShareDenyWrite);
    THashingStream hashing(file);
    document.LoadFromStream(&hashing);
    // A successful load has read to the end of the text; what follows the last byte the reader
    // asked for (nothing, for a file read to its end) is hashed too.
    ReadBlocks(hashing, [](std::string_view) {});
    return hashing.Hash.Value();
}

uint64_t TRepositoryFiles::Save(const TXmlDDocument& document, const std::string& fileName) {
    // SaveToFile, with the bytes hashed on their way out.
    TSafeFileStream file(fileName);
    THashingStream hashing(file);
    document.SaveToStream(&hashing);
    file.Commit();
    return hashing.Hash.Value();
}

std::string TRepositoryFiles::Backup(const std::string& fileName) { return BackupRepositoryFile(fileName); }

void TRepositoryFiles::KeepCopy(const std::string& fileName, const std::string& copyName) {
    const size_t slash = copyName.find_last_of(kPathSeparator);
    if (slash != std::string::npos && !MakeFolder(copyName.substr(0, slash))) throw EFCreateError(copyName);
    // A link costs nothing: the safe save puts a new file in the name's place and leaves the
    // old one to the link. A file system without links gets a copy.
    if (LinkFile(fileName, copyName)) return;
    CopyRepositoryFile(fileName, copyName);
}

std::vector<std::pair<std::string, int64_t>> TRepositoryFiles::FilesIn(const std::string& folder) {
    std::vector<std::pair<std::string, int64_t>> files;
    for (const TFolderFile& file : tessara::FilesIn(folder)) files.emplace_back(file.Name, file.Size);
    return files;
}

bool TRepositoryFiles::Remove(const std::string& fileName) { return RemoveFile(fileName); }

char TRepositoryFiles::PathSeparator() const { return kPathSeparator; }

}  // namespace tessara
