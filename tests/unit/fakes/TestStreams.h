// Streams that misbehave the ways real files and disks do, for the readers' and writers' tests:
// a size that promises more than the stream gives, reads cut short, writes refused after a
// limit, writes kept piece by piece, and a stream that reports its own destruction.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "platform/Streams.h"

namespace tessara::fakes {

// A memory stream whose Size() claims Extra bytes more than it holds, like a file that was cut
// short after its size was taken.
class TOverstatedStream : public TMemoryStream {
public:
    explicit TOverstatedStream(std::string bytes, int64_t extra = 10)
        : TMemoryStream(std::move(bytes)), Extra(extra) {}
    int64_t Size() const override { return TMemoryStream::Size() + Extra; }

private:
    int64_t Extra;
};

// Says it holds 100 bytes more than it has and gives at most half of what each read asks for.
class THalfReadStream : public TStream {
public:
    explicit THalfReadStream(std::string bytes) : Bytes(std::move(bytes)) {}
    size_t Read(void* buffer, size_t count) override {
        const size_t left = Bytes.size() - Pos;
        const size_t k = count / 2 < left ? count / 2 : left;
        Bytes.copy(static_cast<char*>(buffer), k, Pos);
        Pos += k;
        return k;
    }
    size_t Write(const void*, size_t) override { return 0; }
    int64_t Size() const override { return static_cast<int64_t>(Bytes.size()) + 100; }
    int64_t Position() const override { return static_cast<int64_t>(Pos); }
    void Seek(int64_t position) override { Pos = static_cast<size_t>(position); }

private:
    std::string Bytes;
    size_t Pos = 0;
};

// A memory stream that takes Limit bytes in all and then writes short, like a disk that fills
// up (0: a full disk from the start; the default: no limit).
class TLimitedWriteStream : public TMemoryStream {
public:
    explicit TLimitedWriteStream(size_t limit = SIZE_MAX) : Limit(limit) {}
    size_t Write(const void* buffer, size_t count) override {
        const size_t n = count < Limit ? count : Limit;
        Limit -= n;
        return TMemoryStream::Write(buffer, n);
    }

private:
    size_t Limit;
};

// Keeps every write as its own piece; refuses every write after the first Limit ones.
class TPieceStream : public TStream {
public:
    explicit TPieceStream(size_t limit = SIZE_MAX) : Limit(limit) {}
    size_t Read(void*, size_t) override { return 0; }
    size_t Write(const void* buffer, size_t count) override {
        if (Pieces.size() >= Limit) return 0;
        Pieces.emplace_back(static_cast<const char*>(buffer), count);
        return count;
    }
    int64_t Size() const override { return 0; }
    int64_t Position() const override { return 0; }
    void Seek(int64_t) override {}

    std::string All() const {
        std::string all;
        for (const std::string& p : Pieces) all += p;
        return all;
    }
    std::vector<std::string> Pieces;

private:
    size_t Limit;
};

// A memory stream that sets *Gone when it is destroyed; with Extra, its size overstated too.
class TWatchedStream : public TOverstatedStream {
public:
    TWatchedStream(std::string bytes, bool* gone, int64_t extra = 0)
        : TOverstatedStream(std::move(bytes), extra), Gone(gone) {}
    ~TWatchedStream() override { *Gone = true; }

private:
    bool* Gone;
};

}  // namespace tessara::fakes
