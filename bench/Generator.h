// Deterministic repository files for the benchmark: the same size always gives the same bytes.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

namespace tessara::bench {

// splitmix64: small, fast and the same everywhere, so that generated texts are too.
class TRandom {
public:
    explicit TRandom(uint64_t seed) : State(seed) {}
    uint64_t Next() {
        uint64_t z = (State += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    // Uniform in [low, high], and in [0, n).
    uint64_t Range(uint64_t low, uint64_t high) { return low + Next() % (high - low + 1); }
    size_t Below(size_t n) { return static_cast<size_t>(Next() % n); }
    template <class T>
    const T& Pick(const std::vector<T>& items) { return items[Next() % items.size()]; }

private:
    uint64_t State;
};

// UTF-8 words as Windows-1251 strings.
std::vector<std::string> Words(std::initializer_list<const char*> utf8);

struct TGeneratedFile {
    uint64_t Bytes = 0;       // size of the file
    uint64_t Templates = 0;   // template elements under the root
    // Sum of the decoded lengths of every template's name, controls text and module text:
    // what a walk over the loaded tree must see.
    uint64_t TextBytes = 0;
    // Carriage returns among those bytes (a parser that normalises line ends drops them).
    uint64_t CarriageReturns = 0;
};

// Writes a repository of `templates` template elements to `path`, exactly as the library's
// writer renders such a document (one line but for the line breaks inside the texts, the five
// entities escaped everywhere), so that loading and saving it must give the same bytes back.
TGeneratedFile GenerateRepository(const std::string& path, uint64_t templates);

// The five-entity escaping the writer applies, written here independently of the library so
// that the round trip checks the library against something it did not produce itself.
void AppendEscaped(std::string& out, const std::string& text);

}  // namespace tessara::bench
