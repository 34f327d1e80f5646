// Loading a document from XML text through the token reader, and saving its XML text.
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/Charset.h"
#include "platform/Exceptions.h"
#include "platform/SafeFile.h"
#include "xml/XXml.h"
#include "xml/XXmlDom.h"

namespace tessara {
namespace {

[[noreturn]] void FailMisplaced() { throw Exception(Cp1251("XML: неправильная конструкция в XML-документе")); }

// Whitespace between tags that spans a line break is layout, not text.
bool KeepsText(const std::string& text, bool preserveWhiteSpace) {
    if (preserveWhiteSpace) return true;
    bool lineBreak = false;
    for (const char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        if (c > 32) return true;
        if (c == 10 || c == 13) lineBreak = true;
    }
    return !lineBreak;
}

// The decoded text at its exact size. Raw is the reader's buffer, decoded where it is.
std::string Unescaped(std::string& raw) {
    return std::string(raw.data(), UnescapeXmlInPlace(raw.data(), raw.size()));
}

// Sets the attributes of one start tag as SetAttribute does (a repeated name overwrites the
// earlier value in place, a new one goes to the end), but finds names through an index once a
// tag has many, so that a tag with a huge number of attributes loads in linear time.
class TAttributeSetter {
public:
    void Set(TXmlDElement* element, const std::string& name, std::string value) {
        if (element != Owner) {
            Owner = element;
            Index.clear();
        }
        TXmlDNamedNodeMap* map = element->Attributes();
        if (map->Count() < kIndexFrom) {
            element->SetAttribute(name, std::move(value));
            return;
        }
        if (Index.empty())
            for (int i = 0; i < map->Count(); ++i) {
                auto* attribute = static_cast<TXmlDAttribute*>(map->Item(i));
                Index.emplace(attribute->Name(), attribute);  // the first of a name wins, as in lookups
            }
        const auto found = Index.find(name);
        if (found != Index.end()) {
            found->second->Value = std::move(value);
            return;
        }
        TRef<TXmlDAttribute> attribute(new TXmlDAttribute(name));
        map->Insert(attribute.Get(), -1);
        attribute->Value = std::move(value);
        Index.emplace(attribute->Name(), attribute.Get());
    }

    // A new start tag: its element is another one.
    void Forget() noexcept {
        Owner = nullptr;
        Index.clear();
    }

private:
    static constexpr int kIndexFrom = 16;
    TXmlDElement* Owner = nullptr;
    // Keys view the attributes' own names, which live as long as the attributes.
    std::unordered_map<std::string_view, TXmlDAttribute*> Index;
};

}  // namespace

// The chain of open elements is an explicit stack, so nesting of any depth loads.
void TXmlDDocument::LoadFromStream(TStream* stream) {
    ClearChildNodes();
    ClearAttributes();
    TXmlReader reader;
    reader.Open(stream, false);
    std::vector<TXmlDElement*> open;  // innermost last; the tree owns them
    TAttributeSetter attributes;
    for (TXmlTokenKind kind = reader.Next(); kind != xtEndOfInput; kind = reader.Next()) {
        TXmlDNode* container = open.empty() ? static_cast<TXmlDNode*>(this) : open.back();
        switch (kind) {
            case xtProcessingInstruction: {
                TRef<TXmlDNode> node(new TXmlDProcessingInstruction(reader.Name(), reader.Data()));
                container->AppendChild(node.Get());
                break;
            }
            case xtDocumentType: {
                TRef<TXmlDNode> node(new TXmlDDocumentType(reader.Name()));
                container->AppendChild(node.Get());
                break;
            }
            case xtComment: {
                TRef<TXmlDNode> node(new TXmlDComment(reader.Data()));
                container->AppendChild(node.Get());
                break;
            }
            case xtCDATASection: {
                if (open.empty()) FailMisplaced();
                TRef<TXmlDNode> node(new TXmlDCDATASection(reader.Data()));
                container->AppendChild(node.Get());
                break;
            }
            case xtStartTag: {
                TRef<TXmlDElement> element(new TXmlDElement(reader.Name()));
                container->AppendChild(element.Get());
                open.push_back(element.Get());
                attributes.Forget();
                break;
            }
            case xtAttribute:
                if (open.empty()) FailMisplaced();
                attributes.Set(open.back(), reader.Name(), Unescaped(reader.DataBuffer()));
                break;
            case xtText: {
                if (open.empty()) FailMisplaced();
                std::string& raw = reader.DataBuffer();
                if (!KeepsText(raw, PreserveWhiteSpace)) break;
                TRef<TXmlDNode> node(new TXmlDText(Unescaped(raw)));
                container->AppendChild(node.Get());
                break;
            }
            case xtEndTag:
                if (open.empty()) FailMisplaced();
                if (reader.Name() != open.back()->TagName())
                    throw Exception(Cp1251("XML: Имена открывающего и закрывающего тэгов не совпадают"));
                open.pop_back();
                break;
            case xtEndOfInput:
                break;
        }
    }
}

void TXmlDDocument::LoadFromFile(const std::string& fileName) {
    // Opened before LoadFromStream empties the document: a file that cannot be opened leaves it
    // as it was.
    TFileStream file(fileName, TFileMode::OpenReadShareDenyWrite);
    LoadFromStream(&file);
}

void TXmlDDocument::SaveToStream(TStream* stream) const {
    // The text goes out in blocks as it is rendered: the same bytes as GetXml, without holding
    // all of them at once.
    WriteXmlToStream(stream);
}

void TXmlDDocument::SaveToFile(const std::string& fileName) const {
    TSafeFileStream file(fileName);
    SaveToStream(&file);
    file.Commit();
}

}  // namespace tessara
