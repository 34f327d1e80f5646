// The streamed save (SaveToStream, WriteXmlToStream): the text goes out in pieces as it
// renders; the bytes must be GetXml's exactly, across block boundaries and for parts larger
// than a block, and a stream that stops taking them (short or refused writes) must stop the
// save with its error.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/Exceptions.h"
#include "platform/Streams.h"
#include "xml/XXmlDom.h"

#include "fakes/TestStreams.h"

using namespace tessara;

namespace {

// Many templates with texts full of the characters that get escaped.
TRef<TXmlDDocument> WideDocument(int templates) {
    TRef<TXmlDDocument> doc(new TXmlDDocument());
    auto* root = new TXmlDElement("Document");
    doc->AppendChild(root);
    root->SetAttribute("desctiption", "a&b");
    for (int i = 0; i < templates; ++i) {
        auto* t = new TXmlDElement("Groops");
        root->AppendChild(t);
        std::string name = "\"";
        name += std::to_string(i);
        name += '\'';
        t->SetAttribute("name", name);
        auto* controls = new TXmlDElement("Controls");
        auto* module = new TXmlDElement("Module");
        t->AppendChild(controls);
        t->AppendChild(module);
        if (i % 7 != 0) controls->SetText(std::string(300, '"') + "{<&>}");
        module->SetText("\r\n\tx = a < b & c > d;" + std::string(i % 500, 'z'));
    }
    return doc;
}

// A chain nested this deep, ending in one text.
TRef<TXmlDDocument> DeepDocument(int depth) {
    TRef<TXmlDDocument> doc(new TXmlDDocument());
    TXmlDNode* parent = doc.Get();
    for (int i = 0; i < depth; ++i) {
        auto* e = new TXmlDElement("level");
        parent->AppendChild(e);
        parent = e;
    }
    parent->AppendChild(new TXmlDText("<end>"));
    return doc;
}

}  // namespace

TEST(XmlDomSave, StreamedPiecesAreExactlyGetXml) {
    struct Case {
        const char* Name;
        TRef<TXmlDDocument> Doc;
        size_t MinPieces;
    };
    const Case cases[] = {
        {"empty", TRef<TXmlDDocument>(new TXmlDDocument()), 0},
        {"small", WideDocument(3), 1},
        {"wide", WideDocument(5000), 4},
        {"deep", DeepDocument(300000), 4},
    };
    for (const Case& c : cases) {
        fakes::TPieceStream stream;
        c.Doc->SaveToStream(&stream);
        const std::string xml = c.Doc->GetXml();
        EXPECT_EQ(stream.All(), xml) << c.Name;
        EXPECT_GE(stream.Pieces.size(), c.MinPieces) << c.Name;
        // No piece runs far past the size the writer hands over at, whatever the shape.
        for (const std::string& p : stream.Pieces) EXPECT_LT(p.size(), 1u << 20) << c.Name;
        if (xml.empty()) {
            EXPECT_TRUE(stream.Pieces.empty());
        }
    }
}

TEST(XmlDomSave, RefusedPieceStopsTheSave) {
    const TRef<TXmlDDocument> doc = WideDocument(5000);
    fakes::TPieceStream stream(1);
    try {
        doc->SaveToStream(&stream);
        FAIL() << "the refused write went unnoticed";
    } catch (const EWriteError& e) {
        EXPECT_STREQ(e.what(), "Stream write error");
    }
    EXPECT_EQ(stream.Pieces.size(), 1u);
}

TEST(XmlDomSave, StreamGetsExactlyTheXml) {
    TXmlDDocument doc;
    TMemoryStream empty;
    doc.SaveToStream(&empty);
    EXPECT_EQ(empty.Size(), 0);

    auto* a = new TXmlDElement("a");
    doc.AppendChild(a);
    a->SetAttribute("x", "&");
    a->AppendChild(new TXmlDText("t"));
    TMemoryStream out;
    doc.SaveToStream(&out);
    EXPECT_EQ(out.GetBytes(), "<a x=\"&amp;\">t</a>");

    fakes::TLimitedWriteStream shortWrite(3);
    EXPECT_THROW(doc.SaveToStream(&shortWrite), EWriteError);
}

TEST(XmlDomSave, StreamBlocksAndShortWrites) {
    // Many small parts across block boundaries, and parts larger than a block.
    TRef<TXmlDElement> e(new TXmlDElement("r"));
    for (int i = 0; i < 20000; ++i) {
        e->AppendChild(new TXmlDText(std::string(i % 7, '"')));
        e->AppendChild(new TXmlDCDATASection(""));
    }
    e->AppendChild(new TXmlDText(std::string(600000, '&')));
    e->AppendChild(new TXmlDComment(std::string(300000, '-')));
    std::string expected = "<r>";
    for (int i = 0; i < 20000; ++i) {
        for (int q = 0; q < i % 7; ++q) expected += "&quot;";
        expected += "<![CDATA[]]>";
    }
    for (int i = 0; i < 600000; ++i) expected += "&amp;";
    expected += "<!--" + std::string(300000, '-') + "--></r>";
    TMemoryStream stream;
    e->WriteXmlToStream(&stream);
    EXPECT_EQ(stream.GetBytes(), expected);
    EXPECT_EQ(e->GetXml(), expected);

    for (size_t limit : {size_t(0), size_t(1000), expected.size() - 1}) {
        fakes::TLimitedWriteStream short_(limit);
        EXPECT_THROW(e->WriteXmlToStream(&short_), EWriteError) << limit;
    }
}
