// Saving streams the text in pieces as it renders: the bytes must be GetXml's exactly, and a
// stream that stops taking them must stop the save with its error.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/Exceptions.h"
#include "platform/Streams.h"
#include "xml/XXmlDom.h"

using namespace tessara;

namespace {

// Keeps every write separately; refuses all writes after the first Limit ones.
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
    size_t Limit;
};

// Many templates with texts full of the characters that get escaped.
TRef<TXmlDDocument> WideDocument(int templates) {
    TRef<TXmlDDocument> doc(new TXmlDDocument());
    auto* root = new TXmlDElement("Document");
    doc->AppendChild(root);
    root->SetAttribute("desctiption", "a&b");
    for (int i = 0; i < templates; ++i) {
        auto* t = new TXmlDElement("Groops");
        root->AppendChild(t);
        t->SetAttribute("name", "\"" + std::to_string(i) + "'");
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
        TPieceStream stream;
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
    TPieceStream stream(1);
    try {
        doc->SaveToStream(&stream);
        FAIL() << "the refused write went unnoticed";
    } catch (const EWriteError& e) {
        EXPECT_STREQ(e.what(), "Stream write error");
    }
    EXPECT_EQ(stream.Pieces.size(), 1u);
}
