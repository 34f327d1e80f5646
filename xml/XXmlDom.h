// The document object model: a tree of counted nodes, its XML rendering, loading and saving.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/Streams.h"
#include "xml/XUtils.h"

namespace tessara {

enum TXmlDNodeType : uint8_t {
    ntElement = 0,
    ntAttribute = 1,
    ntText = 2,
    ntCDATASection = 3,
    ntEntityReference = 4,
    ntEntity = 5,
    ntProcessingInstruction = 6,
    ntComment = 7,
    ntDocument = 8,
    ntDocumentType = 9,
    ntDocumentFragment = 10,
    ntNotation = 11,
};

// "element", "attribute", ... as the messages name the kinds.
const std::string& NodeTypeName(TXmlDNodeType kind);

class TXmlDNodeList;
class TXmlDNamedNodeMap;
class TXmlDElement;
class TXmlDAttribute;
class TXmlMarkup;

// Nodes and lists come from a pool of small blocks: a large tree is built and freed without a
// trip through the general heap for each of its objects.
struct TXmlDSmallBlocks {
    static void* Allocate(size_t size);
    static void Free(void* block, size_t size) noexcept;
};

class TXmlDNode : public TRefObject {
public:
    ~TXmlDNode() override;

    static void* operator new(size_t size) { return TXmlDSmallBlocks::Allocate(size); }
    static void operator delete(void* block, size_t size) noexcept {
        TXmlDSmallBlocks::Free(block, size);
    }

    TXmlDNodeType NodeType() const noexcept { return Kind; }
    // The stored name: the tag name, attribute name, target or document type name, or the
    // fixed "#text", "#comment", "#cdata-section", "#document" (shared, not stored per node).
    // Lookups by name compare against it.
    const std::string& NodeName() const noexcept;
    const std::string& NodeTypeName() const { return tessara::NodeTypeName(Kind); }

    // The two lists exist from the node's point of view for its whole life; they are made
    // when first asked for, so that text nodes do not pay for them.
    TXmlDNodeList* ChildNodes();
    TXmlDNamedNodeMap* Attributes();

    TXmlDNode* ParentNode() const noexcept { return Parent; }
    TXmlDNode* PreviousSibling() const noexcept { return Previous; }
    TXmlDNode* NextSibling() const noexcept { return Next; }
    TXmlDNode* FirstChild() const noexcept;
    TXmlDNode* LastChild() const noexcept;
    bool HasChildNodes() const noexcept;

    int InsertChild(TXmlDNode* node, int index);
    void AppendChild(TXmlDNode* node) { InsertChild(node, -1); }
    int RemoveChild(TXmlDNode* node);
    void ClearChildNodes();
    void ClearAttributes();

    virtual std::string GetNodeName() const = 0;
    virtual std::string GetNodeValue() const = 0;
    virtual void SetNodeValue(const std::string& value) = 0;
    virtual std::string GetText() const = 0;
    virtual void SetText(const std::string& value) = 0;
    // The node and everything under it as XML text; rendered into one buffer, without
    // recursion, so any depth renders.
    virtual std::string GetXml() const;
    // A new node of the same class with the same name and value, detached, without children
    // or attributes, with RefCount 0.
    virtual TXmlDNode* CloneNode() const = 0;

    // Appends GetXml() to Out.
    void AppendXml(std::string& out) const;
    // Writes the bytes of GetXml() to Stream in blocks, without building the whole text in
    // memory; a short write raises the stream's error.
    void WriteXmlToStream(TStream* stream) const;
    // Appends GetText() to Out (the children's text for documents and elements).
    virtual void AppendText(std::string& out) const;

protected:
    explicit TXmlDNode(TXmlDNodeType kind) noexcept : Kind(kind) {}

    // Renaming: stores the name at its exact size. Only the kinds that carry a name of their
    // own call it (element, attribute, processing instruction, document type).
    void SetStoredName(const std::string& name);

    // The lists when they exist, without creating them.
    TXmlDNodeList* ChildrenIfAny() const noexcept { return Children; }
    TXmlDNamedNodeMap* AttributesIfAny() const noexcept { return AttributeMap; }

    // Appends the text of the children (elements' text, text and CDATA data, in document
    // order) without recursion.
    void AppendChildrenText(std::string& out) const;

    // Rendering hooks. A node's markup is a part before its children and a part after them.
    // Each hook describes its part once, piece by piece, to Out, which either measures it or
    // writes it: the exact size of a part and its bytes come from the same code, so that the
    // text goes straight into buffers of known size. HasChildren tells an element whether to
    // write "/>".
    virtual void RenderStart(TXmlMarkup& out, bool hasChildren) const = 0;
    virtual void RenderEnd(TXmlMarkup& out, bool hasChildren) const;
    // An upper bound of the start part's size that costs nothing to find, for parts that are
    // costly to measure (escaped text); SIZE_MAX when there is none.
    virtual size_t XmlStartLengthBound() const;

    // The length and the writing of a whole subtree, for nodes that render other nodes (an
    // element its attributes).
    static size_t SubtreeXmlLength(const TXmlDNode* root);
    static char* WriteSubtreeXml(const TXmlDNode* root, char* p);

private:
    friend class TXmlDNodeList;
    friend class TXmlDNamedNodeMap;
    friend class TXmlMarkup;

    // Walks the subtree depth-first and hands each part of markup to Sink.
    template <class TSink>
    static void RenderSubtree(const TXmlDNode* root, TSink& sink);

    // True when Node is Container itself or one of its ancestors.
    static bool IsSelfOrAncestor(const TXmlDNode* node, const TXmlDNode* container) noexcept;
    bool HasMembers() const noexcept;

    TXmlDNodeType Kind;
    std::string Name;  // the stored NodeName of the kinds that carry a name
    TXmlDNodeList* Children = nullptr;
    TXmlDNamedNodeMap* AttributeMap = nullptr;
    TXmlDNode* Parent = nullptr;
    TXmlDNode* Previous = nullptr;
    TXmlDNode* Next = nullptr;
};

class TXmlDNodeList : public TRefObject {
public:
    explicit TXmlDNodeList(TXmlDNode* owner) noexcept : ListOwner(owner) {}
    ~TXmlDNodeList() override;

    static void* operator new(size_t size) { return TXmlDSmallBlocks::Allocate(size); }
    static void operator delete(void* block, size_t size) noexcept {
        TXmlDSmallBlocks::Free(block, size);
    }

    TXmlDNode* Owner() const noexcept { return ListOwner; }
    TXmlDNode* Item(int index) const;
    int Count() const noexcept { return Items.Count(); }
    int IndexOf(const TXmlDNode* node) const noexcept { return Items.IndexOf(node); }
    int Insert(TXmlDNode* node, int index);
    void Delete(int index);
    void Clear();

protected:
    // Checks that Node may go into this list at Index (-1 = at the end) and returns the index
    // to use; raises with nothing changed otherwise.
    int CheckInsert(const TXmlDNode* node, int index) const;
    // Puts a detached node at a valid index and links it to its neighbours.
    void Link(TXmlDNode* node, int index);
    TXmlDNode* At(int index) const {
        return static_cast<TXmlDNode*>(Items.Item(index));
    }

private:
    friend class TXmlDNode;
    friend class TXmlDDocumentType;

    // Called when the owner dies: empties the list and forgets the owner, so that a list
    // still held elsewhere never points at a dead node.
    void Orphan() noexcept;

    TXmlDNode* ListOwner;
    TRefObjectList Items;
};

// Inline: the walks over a tree (rendering, the program's listing) ask for it at every node.
inline TXmlDNode* TXmlDNode::FirstChild() const noexcept {
    return Children != nullptr && Children->Count() > 0 ? Children->At(0) : nullptr;
}

class TXmlDNamedNodeMap : public TXmlDNodeList {
public:
    using TXmlDNodeList::TXmlDNodeList;

    TXmlDNode* FindNamedItem(std::string_view name, int& index) const;
    TXmlDNode* GetNamedItem(std::string_view name) const;
    int SetNamedItem(TXmlDNode* node);
    int ReplaceItem(TXmlDNode* node, int index);
};

class TXmlDDocumentType;

class TXmlDDocument : public TXmlDNode {
public:
    TXmlDDocument();

    bool PreserveWhiteSpace = false;

    TXmlDElement* DocumentElement() const noexcept;

    // Empties the document, then builds the tree from the stream's XML text.
    void LoadFromStream(TStream* stream);
    // Opens the file for reading (others may read, not write); the document is untouched when
    // it cannot be opened ("Cannot open file %s").
    void LoadFromFile(const std::string& fileName);
    // Writes GetXml() in one write ("Stream write error" on a short write).
    void SaveToStream(TStream* stream) const;
    // Replaces the file with GetXml() without ever destroying the old file: the text goes to a
    // temporary file beside it, is flushed, and takes the old file's place in one step. Raises
    // "Cannot create file %s" or "Stream write error"; the old file is then as it was.
    void SaveToFile(const std::string& fileName) const;

    std::string GetNodeName() const override;
    std::string GetNodeValue() const override;
    void SetNodeValue(const std::string& value) override;
    std::string GetText() const override;
    void SetText(const std::string& value) override;
    TXmlDNode* CloneNode() const override;

protected:
    void RenderStart(TXmlMarkup& out, bool hasChildren) const override;
};

class TXmlDDocumentType : public TXmlDNode {
public:
    explicit TXmlDDocumentType(const std::string& name);
    ~TXmlDDocumentType() override;

    const std::string& Name() const noexcept { return NodeName(); }
    void SetName(const std::string& name);
    TXmlDNamedNodeMap* Entities() const noexcept { return EntityMap; }
    TXmlDNamedNodeMap* Notations() const noexcept { return NotationMap; }

    std::string GetNodeName() const override;
    std::string GetNodeValue() const override;
    void SetNodeValue(const std::string& value) override;
    std::string GetText() const override;
    void SetText(const std::string& value) override;
    TXmlDNode* CloneNode() const override;

protected:
    void RenderStart(TXmlMarkup& out, bool hasChildren) const override;
    void RenderEnd(TXmlMarkup& out, bool hasChildren) const override;

private:
    TXmlDNamedNodeMap* EntityMap = nullptr;
    TXmlDNamedNodeMap* NotationMap = nullptr;
};

class TXmlDElement : public TXmlDNode {
public:
    explicit TXmlDElement(const std::string& tagName);

    const std::string& TagName() const noexcept { return NodeName(); }
    void SetTagName(const std::string& tagName);

    TXmlDAttribute* GetAttributeNode(std::string_view name);
    std::string GetAttribute(std::string_view name, const std::string& defaultValue);
    void SetAttribute(const std::string& name, std::string value);
    int SetAttributeNode(TXmlDAttribute* attribute);

    std::string GetNodeName() const override;
    std::string GetNodeValue() const override;
    void SetNodeValue(const std::string& value) override;
    std::string GetText() const override;
    void SetText(const std::string& value) override;
    TXmlDNode* CloneNode() const override;

    // The element's text without a copy, where it is stored in one piece: the data of its only
    // child when that is a text or CDATA section (the usual case), or empty when it has no
    // children. Otherwise nothing, and GetText() assembles the text. The view lasts until the
    // child is changed or removed.
    std::optional<std::string_view> TextView() const noexcept;

protected:
    void RenderStart(TXmlMarkup& out, bool hasChildren) const override;
    void RenderEnd(TXmlMarkup& out, bool hasChildren) const override;
};

// A node's text for reading: the element's TextView() where there is one, otherwise GetText()
// kept in Storage. The view lasts as long as both the node's text and Storage.
std::string_view TextOf(const TXmlDNode* node, std::string& storage);

class TXmlDAttribute : public TXmlDNode {
public:
    explicit TXmlDAttribute(const std::string& name);

    const std::string& Name() const noexcept { return NodeName(); }
    void SetName(const std::string& name);
    std::string Value;

    std::string GetNodeName() const override;
    std::string GetNodeValue() const override;
    void SetNodeValue(const std::string& value) override;
    std::string GetText() const override;
    void SetText(const std::string& value) override;
    TXmlDNode* CloneNode() const override;
    void AppendText(std::string& out) const override;

protected:
    void RenderStart(TXmlMarkup& out, bool hasChildren) const override;
};

class TXmlDCharacterData : public TXmlDNode {
public:
    std::string Data;

    std::string GetNodeValue() const override;
    void SetNodeValue(const std::string& value) override;
    std::string GetText() const override;
    void SetText(const std::string& value) override;
    void AppendText(std::string& out) const override;

protected:
    TXmlDCharacterData(TXmlDNodeType kind, std::string data);
};

class TXmlDComment : public TXmlDCharacterData {
public:
    explicit TXmlDComment(std::string data);
    std::string GetNodeName() const override;
    TXmlDNode* CloneNode() const override;

protected:
    void RenderStart(TXmlMarkup& out, bool hasChildren) const override;
};

class TXmlDText : public TXmlDCharacterData {
public:
    explicit TXmlDText(std::string data);
    std::string GetNodeName() const override;
    TXmlDNode* CloneNode() const override;

protected:
    TXmlDText(TXmlDNodeType kind, std::string data);
    void RenderStart(TXmlMarkup& out, bool hasChildren) const override;
    size_t XmlStartLengthBound() const override;
};

class TXmlDCDATASection : public TXmlDText {
public:
    explicit TXmlDCDATASection(std::string data);
    std::string GetNodeName() const override;
    TXmlDNode* CloneNode() const override;

protected:
    void RenderStart(TXmlMarkup& out, bool hasChildren) const override;
    size_t XmlStartLengthBound() const override;
};

class TXmlDProcessingInstruction : public TXmlDNode {
public:
    TXmlDProcessingInstruction(const std::string& target, std::string data);

    const std::string& Target() const noexcept { return NodeName(); }
    void SetTarget(const std::string& target);
    std::string Data;

    std::string GetNodeName() const override;
    std::string GetNodeValue() const override;
    void SetNodeValue(const std::string& value) override;
    std::string GetText() const override;
    void SetText(const std::string& value) override;
    TXmlDNode* CloneNode() const override;

protected:
    void RenderStart(TXmlMarkup& out, bool hasChildren) const override;
};

}  // namespace tessara
