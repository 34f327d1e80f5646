#include "app/ByteHash.h"

#include <algorithm>
#include <cstring>

namespace tessara {
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
    Length += bytes.size();
    const char* p = bytes.data();
    size_t n = bytes.size();
    if (TailSize != 0) {
        const size_t take = std::min(n, kStep - TailSize);
        std::memcpy(Tail + TailSize, p, take);
        TailSize += take;
        p += take;
        n -= take;
        if (TailSize < kStep) return;
        State = Mixed(State, Word(Tail));
        TailSize = 0;
    }
    uint64_t state = State;
    for (; n >= kStep; p += kStep, n -= kStep) state = Mixed(state, Word(p));
    State = state;
    if (n != 0) std::memcpy(Tail, p, n);
    TailSize = n;
}

uint64_t TByteHash::Value() const noexcept {
    char last[kStep] = {};
    std::memcpy(last, Tail, TailSize);
    return Mixed(Mixed(State, Word(last)), Length);
}

uint64_t HashBytes(std::string_view bytes) noexcept {
    TByteHash hash;
    hash.Add(bytes);
    return hash.Value();
}

}  // namespace tessara
