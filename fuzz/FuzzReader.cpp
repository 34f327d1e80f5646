// The token reader over arbitrary bytes, up to xtEndOfInput or its first EXmlReader.
//
// Besides "no crash, no hang, no out-of-bounds read" (the sanitizers and libFuzzer's timeout
// watch those), every run checks what the loader relies on:
//  - the reader ends: each token but the last consumes input, so there are at most
//    size + 1 tokens, and after xtEndOfInput every further Next returns xtEndOfInput again;
//  - names and data are made of input bytes only: their total length (end tags aside, which
//    repeat their start tag's name) never exceeds the input;
//  - start tags and end tags nest: each xtEndTag names the innermost open start tag, Depth is
//    the number of open tags, xtAttribute follows only a start tag or another attribute;
//  - tag and attribute names are never empty and hold none of their terminators;
//  - the only exception is EXmlReader (anything else escapes and libFuzzer reports it).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "FuzzCheck.h"
#include "platform/Streams.h"
#include "xml/XXml.h"

using namespace tessara;

namespace {

bool HasTerminator(const std::string& name, std::string_view extra) {
    for (unsigned char c : name)
        if ((c != 0 && c <= 32) || extra.find(static_cast<char>(c)) != std::string_view::npos)
            return true;
    return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    TMemoryStream stream(std::string(reinterpret_cast<const char*>(data), size));
    TXmlReader reader;
    reader.Open(&stream, false);

    std::vector<std::string> open;  // the start tags not yet closed, innermost last
    TXmlTokenKind previous = xtEndOfInput;
    size_t tokens = 0;
    size_t produced = 0;
    try {
        for (;;) {
            const TXmlTokenKind kind = reader.Next();
            FUZZ_CHECK(++tokens <= size + 1);
            // An end tag made by "/>" repeats its start tag's name; the stack check covers it.
            if (kind != xtEndTag) produced += reader.Name().size() + reader.Data().size();
            FUZZ_CHECK(produced <= size);
            switch (kind) {
                case xtStartTag:
                    FUZZ_CHECK(!reader.Name().empty());
                    FUZZ_CHECK(!HasTerminator(reader.Name(), "/>"));
                    FUZZ_CHECK(reader.Data().empty());
                    open.push_back(reader.Name());
                    break;
                case xtEndTag:
                    FUZZ_CHECK(!open.empty());
                    FUZZ_CHECK(open.back() == reader.Name());
                    open.pop_back();
                    break;
                case xtAttribute:
                    FUZZ_CHECK(previous == xtStartTag || previous == xtAttribute);
                    FUZZ_CHECK(!reader.Name().empty());
                    FUZZ_CHECK(!HasTerminator(reader.Name(), "=>"));
                    break;
                case xtText:
                    FUZZ_CHECK(!open.empty());
                    FUZZ_CHECK(!reader.Data().empty());
                    FUZZ_CHECK(reader.Data().find('<') == std::string::npos);
                    break;
                case xtComment:
                case xtCDATASection:
                    FUZZ_CHECK(reader.Name().empty());
                    break;
                case xtProcessingInstruction:
                case xtDocumentType:
                    FUZZ_CHECK(!reader.Name().empty());
                    break;
                case xtEndOfInput:
                    FUZZ_CHECK(reader.Name().empty() && reader.Data().empty());
                    break;
                default:
                    FUZZ_CHECK(false);
            }
            FUZZ_CHECK(reader.Depth() == static_cast<int>(open.size()));
            if (kind == xtEndOfInput) break;
            previous = kind;
        }
        FUZZ_CHECK(reader.Next() == xtEndOfInput);
        FUZZ_CHECK(reader.Next() == xtEndOfInput);
    } catch (const EXmlReader&) {
        // The expected way to refuse malformed input.
    }
    return 0;
}
