// The one hash of the program: what tells the repository file's bytes from others, and the
// name of the kernel object that one running copy of the program shares with later starts on
// the same file. Eight bytes a step, then the last ones padded with zeros, then the length
// (which tells trailing zero bytes from none). Every copy of the program that may run beside
// this one must compute the same value for a name, whatever its version: it is never to change.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace tessara {

// The hash of bytes given in any number of pieces: the value depends only on the bytes, not
// on how they were split between calls of Add.
class TByteHash {
public:
    void Add(std::string_view bytes) noexcept;
    uint64_t Value() const noexcept;

private:
    static constexpr size_t kStep = 8;

    uint64_t State = 0x243F6A8885A308D3ull;
    uint64_t Length = 0;
    char Tail[kStep] = {};
    size_t TailSize = 0;
};

uint64_t HashBytes(std::string_view bytes) noexcept;

}  // namespace tessara
