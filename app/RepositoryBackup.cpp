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

namespace {

uint64_t Mixed(uint64_t state, uint64_t word) noexcept {
    state = (state ^ word) * 0x9E3779B97F4A7C15ull;
    return state ^ (state >> 31);
}

uint64_t Word(const char* p) noexcept {
    uint64_t word;
    std::memcpy(&word, p, 8);
    return word;
}

}  // namespace

void TByteHash::Add(std::string_view bytes) noexcept {
    if (bytes.empty()) return;
    Length += bytes.size();
    const char* p = bytes.data();
    size_t n = bytes.size();
    uint64_t a = Lanes[0], b = Lanes[1], c = Lanes[2], d = Lanes[3];
    const auto step = [&](const char* at) {
        a = Mixed(a, Word(at));
        b = Mixed(b, Word(at + 8));
        c = Mixed(c, Word(at + 16));
        d = Mixed(d, Word(at + 24));
    };
    if (TailSize != 0) {
        const size_t take = std::min(n, kStep - TailSize);
        std::memcpy(Tail + TailSize, p, take);
        TailSize += take;
        p += take;
        n -= take;
        if (TailSize < kStep) return;
        step(Tail);
        TailSize = 0;
    }
    for (; n >= kStep; p += kStep, n -= kStep) step(p);
    Lanes[0] = a;
    Lanes[1] = b;
    Lanes[2] = c;
    Lanes[3] = d;
    std::memcpy(Tail, p, n);
    TailSize = n;
}

uint64_t TByteHash::Value() const noexcept {
    // The lanes folded into one, then the last bytes (padded with zeros) and the length, which
    // tells trailing zero bytes from none.
    uint64_t value = Mixed(Mixed(Mixed(Lanes[0], Lanes[1]), Lanes[2]), Lanes[3]);
    char tail[kStep] = {};
    std::memcpy(tail, Tail, TailSize);
    for (size_t at = 0; at < TailSize; at += 8) value = Mixed(value, Word(tail + at));
    return Mixed(value, Length);
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
