// LoadFromStream over arbitrary bytes, then the writer, then a second load of our own output.
//
// The property checked, for an input X whose load succeeds (L = load, R = GetXml):
//
//     R(L(R(L(X)))) == R(L(X))      and the load of R(L(X)) succeeds.
//
// A tree that came out of the loader renders to text that loads back to the same tree. The
// documented exceptions to "a saved tree loads back the same" cannot occur for such a tree:
//  - empty texts and whitespace-only texts with line breaks: the loader never makes them
//    (texts are never empty, and with PreserveWhiteSpace false it drops the second kind);
//  - adjacent texts: the reader ends a text only at "<", so two text tokens never follow one
//    another and the loader never makes two adjacent text nodes;
//  - data holding its own closing delimiter: the reader ends a comment at the first "-->",
//    a CDATA section at the first "]]", a processing instruction at the first "?>", so
//    loaded data never holds them (nor can a CDATA section's data end in "]").
// Element names that begin with "!" or "?" (the reader takes "< !x>" as the element "!x") are
// written after a space for the same reason, and are held to the same property.
//
// Odd-length inputs load with PreserveWhiteSpace true, so both text rules are exercised. The
// writer is also checked against SaveToStream: both give the same bytes.
#include <cstddef>
#include <cstdint>
#include <string>

#include "FuzzCheck.h"
#include "platform/Exceptions.h"
#include "platform/Streams.h"
#include "xml/XUtils.h"
#include "xml/XXmlDom.h"

using namespace tessara;

namespace {


// Loads Text into a fresh document; false when the loader refused it.
bool Load(TRef<TXmlDDocument>& doc, const std::string& text, bool preserveWhiteSpace) {
    doc.Reset(new TXmlDDocument());
    doc->PreserveWhiteSpace = preserveWhiteSpace;
    TMemoryStream stream(text);
    try {
        doc->LoadFromStream(&stream);
        return true;
    } catch (const Exception&) {
        return false;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    const bool preserve = (size & 1) != 0;

    TRef<TXmlDDocument> first;
    const bool loaded = Load(first, input, preserve);
    // A failed load keeps what it read; that part must render as well.
    const std::string r1 = first->GetXml();
    {
        TMemoryStream out;
        first->SaveToStream(&out);
        FUZZ_CHECK(out.GetBytes() == r1);
    }
    if (!loaded) return 0;

    TRef<TXmlDDocument> second;
    FUZZ_CHECK(Load(second, r1, preserve));
    FUZZ_CHECK(second->GetXml() == r1);
    return 0;
}
