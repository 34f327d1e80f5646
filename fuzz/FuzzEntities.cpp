// The entity functions and the buffered byte reader over arbitrary bytes.
//  - EscapeXml and UnescapeXml, which work in one pass, equal the five replace-all passes
//    by which the file format is defined (escaping "&" first, unescaping "&amp;" last);
//  - unescaping an escaped text gives the text back;
//  - TTextReader, with a buffer size taken from the first two bytes, delivers the stream's
//    bytes exactly, both through ReadChar and through the run interface, and Eof is exact.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "FivePassEntities.h"
#include "FuzzCheck.h"
#include "platform/Streams.h"
#include "xml/XUtils.h"

using namespace tessara;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);

    const std::string escaped = EscapeXml(text);
    FUZZ_CHECK(escaped == reference::FivePassEscape(text));
    FUZZ_CHECK(UnescapeXml(escaped) == text);
    const std::string unescaped = UnescapeXml(text);
    FUZZ_CHECK(unescaped == reference::FivePassUnescape(text));
    std::string appended = "prefix";
    AppendUnescapedXml(appended, text);
    FUZZ_CHECK(appended == "prefix" + unescaped);

    if (size < 2) return 0;
    const uint16_t bufferSize = static_cast<uint16_t>(1 + (data[0] | (data[1] << 8)) % 300);
    {
        TMemoryStream stream(text);
        TTextReader reader(&stream, bufferSize);
        for (size_t i = 0; i < size; ++i) {
            FUZZ_CHECK(!reader.Eof());
            FUZZ_CHECK(reader.ReadChar() == text[i]);
        }
        FUZZ_CHECK(reader.Eof());
        FUZZ_CHECK(reader.ReadChar() == 0);
    }
    {
        // Runs of varying length, as the token reader's scanners consume them.
        TMemoryStream stream(text);
        TTextReader reader(&stream, bufferSize);
        std::string got;
        size_t step = 0;
        while (!reader.Eof()) {
            const size_t avail = static_cast<size_t>(reader.End() - reader.Cursor());
            FUZZ_CHECK(avail > 0 && avail <= bufferSize);
            const size_t n = std::min(avail, 1 + static_cast<size_t>(data[step++ % size]) % 64);
            got.append(reader.Cursor(), n);
            reader.Advance(n);
        }
        FUZZ_CHECK(got == text);
    }
    return 0;
}
