// Deterministic repository files for the benchmark: the same size always gives the same bytes.
#pragma once

#include <cstdint>
#include <string>

namespace tessara::bench {

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
