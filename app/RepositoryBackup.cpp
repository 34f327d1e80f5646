#include "app/RepositoryBackup.h"

#include <algorithm>
#include <cstring>
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

void TByteHash::Mix(uint64_t word) noexcept {
    State = (State ^ word) * 0x9E3779B97F4A7C15ull;
    State ^= State >> 31;
}

void TByteHash::Add(std::string_view bytes) noexcept {
    if (bytes.empty()) return;
    Length += bytes.size();
    const char* p = bytes.data();
    size_t n = bytes.size();
    if (TailSize != 0) {
        const size_t take = std::min(n, sizeof Tail - TailSize);
        std::memcpy(Tail + TailSize, p, take);
        TailSize += take;
        p += take;
        n -= take;
        if (TailSize < sizeof Tail) return;
        uint64_t word;
        std::memcpy(&word, Tail, 8);
        Mix(word);
        TailSize = 0;
    }
    for (; n >= 8; p += 8, n -= 8) {
        uint64_t word;
        std::memcpy(&word, p, 8);
        Mix(word);
    }
    std::memcpy(Tail, p, n);
    TailSize = n;
}

uint64_t TByteHash::Value() const noexcept {
    TByteHash last = *this;
    uint64_t word = 0;
    std::memcpy(&word, Tail, TailSize);
    last.Mix(word);
    last.Mix(Length);
    return last.State;
}

uint64_t HashBytes(std::string_view bytes) noexcept {
    TByteHash hash;
    hash.Add(bytes);
    return hash.Value();
}

uint64_t HashFile(const std::string& fileName) {
    TFileStream source(fileName, TFileMode::OpenReadShareDenyWrite);
    std::vector<char> buffer(64 * 1024);
    TByteHash hash;
    while (const size_t count = source.Read(buffer.data(), buffer.size()))
        hash.Add(std::string_view(buffer.data(), count));
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
    std::vector<char> buffer(64 * 1024);
    while (hashing.Read(buffer.data(), buffer.size()) != 0) {
    }
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

}  // namespace tessara
