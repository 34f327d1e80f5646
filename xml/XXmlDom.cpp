// The node tree: links, acceptance rules, the two node lists, the node kinds and their XML
// rendering. Loading and saving live in XXmlDomIO.cpp.
#include "xml/XXmlDom.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "platform/Charset.h"
#include "platform/Exceptions.h"

namespace tessara {

namespace {

const std::string kKindNames[12] = {
    "element", "attribute", "text", "cdatasection", "entityreference", "entity",
    "processinginstruction", "comment", "document", "documenttype", "documentfragment",
    "notation",
};
const std::string kUnknownKind = "unknown";

// The names of the kinds that have no name of their own: shared by every node of the kind.
const std::string kTextName = "#text";
const std::string kCDATAName = "#cdata-section";
const std::string kCommentName = "#comment";
const std::string kDocumentName = "#document";

constexpr uint16_t Bit(TXmlDNodeType kind) { return static_cast<uint16_t>(1u << kind); }

constexpr uint16_t kAllKinds = 0x0FFF;
constexpr uint16_t kElementContent = Bit(ntElement) | Bit(ntText) | Bit(ntCDATASection) |
                                     Bit(ntEntityReference) | Bit(ntProcessingInstruction) |
                                     Bit(ntComment) | Bit(ntDocumentFragment);
constexpr uint16_t kDocumentContent = Bit(ntElement) | Bit(ntProcessingInstruction) |
                                      Bit(ntComment) | Bit(ntDocumentType) |
                                      Bit(ntDocumentFragment);

// Which child kinds each container kind accepts; 0 = holds no children at all.
constexpr uint16_t kAccepted[12] = {
    kElementContent,   // element
    0,                 // attribute
    0,                 // text
    0,                 // cdatasection
    kAllKinds,         // entityreference
    kAllKinds,         // entity
    0,                 // processinginstruction
    0,                 // comment
    kDocumentContent,  // document
    kAllKinds,         // documenttype
    kElementContent,   // documentfragment
    0,                 // notation
};

std::string Quoted(const std::string& name) { return "\"" + name + "\""; }

[[noreturn]] void RaiseRefused(TXmlDNodeType container, TXmlDNodeType child) {
    if (container < 12 && kAccepted[container] == 0)
        throw Exception(Cp1251("XML: узел ") + Quoted(NodeTypeName(container)) +
                        Cp1251(" не может содержать подузлы"));
    throw Exception(Cp1251("XML: узел ") + Quoted(NodeTypeName(container)) +
                    Cp1251(" не может содержать подузел ") + Quoted(NodeTypeName(child)));
}

void CheckAccepts(TXmlDNodeType container, TXmlDNodeType child) {
    if (container >= 12 || child >= 12 || (kAccepted[container] & Bit(child)) == 0)
        RaiseRefused(container, child);
}

[[noreturn]] void RaiseNotFound() {
    throw Exception(Cp1251("XML: Не найден подузел для удаления"));
}
[[noreturn]] void RaiseNodeInTwoLists() {
    throw Exception(Cp1251("XML: Нельзя добавлять узел в два списка"));
}
[[noreturn]] void RaiseSubnodeInTwoLists() {
    throw Exception(Cp1251("XML: Нельзя добавлять подузел в два списка"));
}
[[noreturn]] void RaiseCycle() {
    throw Exception(Cp1251("XML: Нельзя добавить узел в самого себя или в свой подузел"));
}
[[noreturn]] void RaiseOrphanList() {
    throw Exception(Cp1251("XML: Нельзя добавлять узел в список удалённого узла"));
}
[[noreturn]] void RaiseValue(TXmlDNodeType kind) {
    throw Exception(Cp1251("XML: Нельзя изменять значение узла ") + Quoted(NodeTypeName(kind)));
}
[[noreturn]] void RaiseText(TXmlDNodeType kind) {
    throw Exception(Cp1251("XML: Нельзя изменять текст узла ") + Quoted(NodeTypeName(kind)));
}

// Strings that live in a node are kept at their exact size: a tree of a million texts must
// not carry the slack of the buffers they were built in. Slack below one allocation granule
// costs nothing and is left alone.
constexpr size_t kStringSlack = 16;

void FitString(std::string& s) {
    if (s.capacity() - s.size() >= kStringSlack) s.shrink_to_fit();
}

void AssignExact(std::string& target, const std::string& value) {
    if (&target == &value) return;
    if (target.capacity() >= value.size() && target.capacity() - value.size() < kStringSlack)
        target.assign(value);
    else
        target = std::string(value);  // a copy is allocated at exactly its size
}

// A buffer that rendered text is written into needs kWriteSlack bytes of room after its last
// byte: the escaping stores whole 8-byte pieces.
constexpr size_t kWriteSlack = 8;
// The largest number of bytes one character becomes.
constexpr size_t kLongestEntity = [] {
    size_t longest = 0;
    for (const uint8_t length : kXmlEscape.Length) longest = length > longest ? length : longest;
    return longest;
}();

// A writer that ended elsewhere than its part was measured has written past the room it was
// given: the heap can no longer be trusted, so the process stops here.
[[noreturn]] void RenderOverrun() noexcept {
    std::fputs("XML: rendered markup does not match its measured length\n", stderr);
    std::abort();
}

}  // namespace

// --- TXmlDSmallBlocks ---

#if defined(__SANITIZE_ADDRESS__)
#define TESSARA_PLAIN_HEAP 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define TESSARA_PLAIN_HEAP 1
#endif
#endif

#ifndef TESSARA_PLAIN_HEAP

namespace {

// Blocks of one size are carved from 64 KB slabs and recycled through a free list per size
// (in steps of 8 bytes, up to 256). Freed blocks stay in their list for the next tree, and
// slabs are kept for the life of the process, linked from a plain global so that they stay
// reachable.
constexpr size_t kGranule = 8;
constexpr size_t kLargestBlock = 256;
constexpr size_t kSlabSize = 64 * 1024;
constexpr size_t kSlabHeader = 16;

struct TFreeBlock {
    TFreeBlock* Next;
};
struct TSlab {
    TSlab* Next;
};

TFreeBlock* freeBlocks[kLargestBlock / kGranule + 1] = {};
TSlab* slabs = nullptr;
char* slabCursor = nullptr;
char* slabLimit = nullptr;

constexpr size_t SizeClass(size_t size) { return (size + kGranule - 1) / kGranule; }

}  // namespace

void* TXmlDSmallBlocks::Allocate(size_t size) {
    if (size > kLargestBlock) return ::operator new(size);
    const size_t sizeClass = SizeClass(size);
    if (TFreeBlock* block = freeBlocks[sizeClass]; block != nullptr) {
        freeBlocks[sizeClass] = block->Next;
        return block;
    }
    const size_t bytes = sizeClass * kGranule;
    if (static_cast<size_t>(slabLimit - slabCursor) < bytes) {
        auto* slab = static_cast<TSlab*>(::operator new(kSlabSize));
        slab->Next = slabs;
        slabs = slab;
        slabCursor = reinterpret_cast<char*>(slab) + kSlabHeader;
        slabLimit = reinterpret_cast<char*>(slab) + kSlabSize;
    }
    void* block = slabCursor;
    slabCursor += bytes;
    return block;
}

void TXmlDSmallBlocks::Free(void* block, size_t size) noexcept {
    if (block == nullptr) return;
    if (size > kLargestBlock) {
        ::operator delete(block);
        return;
    }
    auto* freed = static_cast<TFreeBlock*>(block);
    const size_t sizeClass = SizeClass(size);
    freed->Next = freeBlocks[sizeClass];
    freeBlocks[sizeClass] = freed;
}

#else

// Under AddressSanitizer every block comes from the general heap, so that the sanitizer sees
// the lifetime of each node and list.
void* TXmlDSmallBlocks::Allocate(size_t size) { return ::operator new(size); }
void TXmlDSmallBlocks::Free(void* block, size_t) noexcept { ::operator delete(block); }

#endif

const std::string& NodeTypeName(TXmlDNodeType kind) {
    return kind < 12 ? kKindNames[kind] : kUnknownKind;
}

// --- TXmlDNode ---

TXmlDNode::~TXmlDNode() {
    // Attributes first, children second; the members of both are detached and released (a
    // release during a destruction is queued, so a tree of any depth goes without recursion).
    if (AttributeMap != nullptr) {
        AttributeMap->Orphan();
        ReleaseRef(AttributeMap);
    }
    if (Children != nullptr) {
        Children->Orphan();
        ReleaseRef(Children);
    }
}

const std::string& TXmlDNode::NodeName() const noexcept {
    switch (Kind) {
        case ntText: return kTextName;
        case ntCDATASection: return kCDATAName;
        case ntComment: return kCommentName;
        case ntDocument: return kDocumentName;
        default: return Name;
    }
}

void TXmlDNode::SetStoredName(const std::string& name) { AssignExact(Name, name); }

TXmlDNodeList* TXmlDNode::ChildNodes() {
    if (Children == nullptr) InitRef(Children, new TXmlDNodeList(this));
    return Children;
}

TXmlDNamedNodeMap* TXmlDNode::Attributes() {
    if (AttributeMap == nullptr) InitRef(AttributeMap, new TXmlDNamedNodeMap(this));
    return AttributeMap;
}

TXmlDNode* TXmlDNode::LastChild() const noexcept {
    return Children != nullptr && Children->Count() > 0 ? Children->At(Children->Count() - 1)
                                                        : nullptr;
}

bool TXmlDNode::HasChildNodes() const noexcept {
    return Children != nullptr && Children->Count() > 0;
}

bool TXmlDNode::HasMembers() const noexcept {
    if (HasChildNodes()) return true;
    if (AttributeMap != nullptr && AttributeMap->Count() > 0) return true;
    if (Kind == ntDocumentType) {
        const auto* type = static_cast<const TXmlDDocumentType*>(this);
        return type->Entities()->Count() > 0 || type->Notations()->Count() > 0;
    }
    return false;
}

bool TXmlDNode::IsSelfOrAncestor(const TXmlDNode* node, const TXmlDNode* container) noexcept {
    if (node == container) return true;
    // A node that holds nothing has no descendants: the common case (a new node) costs no walk.
    if (!node->HasMembers()) return false;
    for (const TXmlDNode* p = container->Parent; p != nullptr; p = p->Parent)
        if (p == node) return true;
    return false;
}

int TXmlDNode::InsertChild(TXmlDNode* node, int index) {
    CheckAccepts(Kind, node->Kind);
    if (IsSelfOrAncestor(node, this)) RaiseCycle();
    // The index is tested against the list as it will be after the node left its old place,
    // before anything is changed.
    if (index != -1) {
        int count = Children != nullptr ? Children->Count() : 0;
        if (node->Parent == this && Children != nullptr && Children->IndexOf(node) >= 0) --count;
        if (index < 0 || index > count) throw EListError(index);
    }
    TRef<TXmlDNode> hold(node);  // detaching must not destroy it
    if (node->Parent != nullptr) node->Parent->RemoveChild(node);
    TXmlDNodeList* list = ChildNodes();
    if (index == -1) index = list->Count();
    list->Link(node, index);
    return index;
}

int TXmlDNode::RemoveChild(TXmlDNode* node) {
    const int index = Children != nullptr ? Children->IndexOf(node) : -1;
    if (index < 0) RaiseNotFound();
    Children->Delete(index);
    return index;
}

void TXmlDNode::ClearChildNodes() {
    if (Children != nullptr) Children->Clear();
}

void TXmlDNode::ClearAttributes() {
    if (AttributeMap != nullptr) AttributeMap->Clear();
}

std::string TXmlDNode::GetXml() const {
    std::string out;
    AppendXml(out);
    return out;
}

// Measures or writes the pieces of one part of markup, as RenderStart and RenderEnd describe
// them: one description gives both the size and the bytes.
class TXmlMarkup {
public:
    // Counts the bytes.
    TXmlMarkup() noexcept : Measuring(true) {}
    // Writes them at P, which has room for them and kWriteSlack bytes more.
    explicit TXmlMarkup(char* p) noexcept : Measuring(false), Cursor(p) {}

    template <size_t N>
    void Literal(const char (&text)[N]) {
        Bytes(text, N - 1);
    }
    void Raw(const std::string& text) { Bytes(text.data(), text.size()); }
    void Escaped(const std::string& text) {
        if (Measuring)
            Length += EscapedXmlLength(text);
        else
            Cursor = EscapeXmlInto(Cursor, text);
    }
    // A whole subtree, for nodes that render other nodes (an element its attributes).
    void Subtree(const TXmlDNode* root) {
        if (Measuring)
            Length += TXmlDNode::SubtreeXmlLength(root);
        else
            Cursor = TXmlDNode::WriteSubtreeXml(root, Cursor);
    }

    size_t Measured() const noexcept { return Length; }
    char* End() const noexcept { return Cursor; }

private:
    void Bytes(const char* p, size_t n) {
        if (Measuring) {
            Length += n;
        } else {
            std::memcpy(Cursor, p, n);
            Cursor += n;
        }
    }

    bool Measuring;
    size_t Length = 0;
    char* Cursor = nullptr;
};

namespace {

// Sinks for RenderSubtree. Reserve(N, Exact) gives room for N bytes, which are the exact size
// of the part (Exact) or an upper bound of it, and Commit(End) takes what was written up to End
// and checks that it ends where the reservation said (or within it, for a bound). A sink that
// measures is given the exact size of every part, except for a text whose largest size (every
// byte an entity) fits in its Room(); one that does not measure has room for everything already.

// Counts the bytes.
struct TLengthSink {
    static constexpr bool kMeasures = true;
    static constexpr bool kWrites = false;
    size_t Length = 0;
    size_t Room() const noexcept { return 0; }
    char* Reserve(size_t n, bool) {
        Length += n;
        return nullptr;
    }
    void Commit(char*) {}
};

// Writes into a buffer that is known to be large enough; its owner checks the end.
struct TBufferSink {
    static constexpr bool kMeasures = false;
    static constexpr bool kWrites = true;
    char* Cursor;
    char* Reserve(size_t, bool) { return Cursor; }
    void Commit(char* end) { Cursor = end; }
};

// Collects the text in a block and writes each full block to a stream; a part larger than the
// largest block gets a buffer of its own. Both buffers keep kWriteSlack bytes beyond the room
// they offer. The block starts small and doubles each time it fills, up to kBlockSize, so a
// small document is not given (and the allocator not asked for) the large block.
class TStreamSink {
public:
    static constexpr bool kMeasures = true;
    static constexpr bool kWrites = true;
    static constexpr size_t kFirstBlockSize = 4 * 1024;
    static constexpr size_t kBlockSize = 256 * 1024;

    explicit TStreamSink(TStream* stream) : Stream(stream), Block(NewBlock(kFirstBlockSize)) {}

    size_t Room() const noexcept { return Capacity - Used; }
    char* Reserve(size_t n, bool exact) {
        Exact = exact;
        if (n > Room()) {
            Flush();
            // A full block is a sign of a large document: give it a larger one.
            if (Capacity < kBlockSize) {
                size_t grown = Capacity * 2;
                while (grown < n && grown < kBlockSize) grown *= 2;
                Block = NewBlock(grown);
                Capacity = grown;
            }
            if (n > Capacity) {
                Large.resize(n + kWriteSlack);
                LargeUsed = true;
                Limit = Large.data() + n;
                return Large.data();
            }
        }
        Limit = Block.get() + Used + n;
        return Block.get() + Used;
    }
    void Commit(char* end) {
        if (Exact ? end != Limit : end > Limit) RenderOverrun();
        if (LargeUsed) {
            LargeUsed = false;
            Stream->WriteBuffer(Large.data(), static_cast<size_t>(end - Large.data()));
            std::string().swap(Large);
            return;
        }
        Used = static_cast<size_t>(end - Block.get());
    }
    void Flush() {
        if (Used > 0) Stream->WriteBuffer(Block.get(), Used);
        Used = 0;
    }

private:
    static std::unique_ptr<char[]> NewBlock(size_t size) {
        return std::make_unique_for_overwrite<char[]>(size + kWriteSlack);
    }

    TStream* Stream;
    size_t Capacity = kFirstBlockSize;
    std::unique_ptr<char[]> Block;
    size_t Used = 0;
    std::string Large;
    bool LargeUsed = false;
    char* Limit = nullptr;  // where the reserved room ends
    bool Exact = false;     // whether the writer must end exactly at Limit
};

// Hands one part of Node's markup to Sink: measured first when the sink needs its size (unless
// a free bound fits the room the sink has), then written.
template <class TSink, class TRender>
void RenderPart(TSink& sink, size_t bound, TRender render) {
    size_t length = 0;
    bool exact = true;
    if constexpr (TSink::kMeasures) {
        if (bound <= sink.Room()) {
            length = bound;
            exact = false;
        } else {
            TXmlMarkup measure;
            render(measure);
            length = measure.Measured();
        }
    }
    char* p = sink.Reserve(length, exact);
    if constexpr (TSink::kWrites) {
        TXmlMarkup write(p);
        render(write);
        sink.Commit(write.End());
    }
}

}  // namespace

// Depth-first over the links: down to the first child, on to the next sibling, up to the
// parent when a list ends. No recursion and no stack: any depth renders.
template <class TSink>
void TXmlDNode::RenderSubtree(const TXmlDNode* root, TSink& sink) {
    const TXmlDNode* node = root;
    for (;;) {
        const TXmlDNode* first = node->FirstChild();
        const bool hasChildren = first != nullptr;
        RenderPart(sink, node->XmlStartLengthBound(),
                   [node, hasChildren](TXmlMarkup& out) { node->RenderStart(out, hasChildren); });
        if (hasChildren) {
            node = first;
            continue;
        }
        for (bool afterChildren = false;; afterChildren = true) {
            RenderPart(sink, SIZE_MAX,
                       [node, afterChildren](TXmlMarkup& out) { node->RenderEnd(out, afterChildren); });
            if (node == root) return;
            if (node->Next != nullptr) {
                node = node->Next;
                break;
            }
            node = node->Parent;
        }
    }
}

size_t TXmlDNode::SubtreeXmlLength(const TXmlDNode* root) {
    TLengthSink sink;
    RenderSubtree(root, sink);
    return sink.Length;
}

char* TXmlDNode::WriteSubtreeXml(const TXmlDNode* root, char* p) {
    TBufferSink sink{p};
    RenderSubtree(root, sink);
    return sink.Cursor;
}

void TXmlDNode::AppendXml(std::string& out) const {
    const size_t length = SubtreeXmlLength(this);
    const size_t start = out.size();
    out.resize(start + length + kWriteSlack);
    if (WriteSubtreeXml(this, out.data() + start) != out.data() + start + length) RenderOverrun();
    out.resize(start + length);
}

void TXmlDNode::WriteXmlToStream(TStream* stream) const {
    TStreamSink sink(stream);
    RenderSubtree(this, sink);
    sink.Flush();
}

void TXmlDNode::RenderEnd(TXmlMarkup&, bool) const {}
size_t TXmlDNode::XmlStartLengthBound() const { return SIZE_MAX; }

void TXmlDNode::AppendText(std::string& out) const {
    if (Kind == ntElement || Kind == ntDocument)
        AppendChildrenText(out);
    else
        out += GetText();
}

void TXmlDNode::AppendChildrenText(std::string& out) const {
    const TXmlDNode* node = FirstChild();
    if (node == nullptr) return;
    for (;;) {
        switch (node->Kind) {
            case ntElement:
                if (const TXmlDNode* first = node->FirstChild(); first != nullptr) {
                    node = first;
                    continue;
                }
                break;
            case ntText:
            case ntCDATASection:
                node->AppendText(out);
                break;
            default:
                break;  // comments and processing instructions add nothing
        }
        for (;;) {
            if (node->Next != nullptr) {
                node = node->Next;
                break;
            }
            node = node->Parent;
            if (node == this) return;
        }
    }
}

// --- TXmlDNodeList ---

TXmlDNodeList::~TXmlDNodeList() { Clear(); }

TXmlDNode* TXmlDNodeList::Item(int index) const { return At(index); }

int TXmlDNodeList::CheckInsert(const TXmlDNode* node, int index) const {
    if (node->Parent != nullptr) RaiseNodeInTwoLists();
    if (ListOwner == nullptr) RaiseOrphanList();
    if (index == -1) index = Count();
    if (index < 0 || index > Count()) throw EListError(index);
    if (TXmlDNode::IsSelfOrAncestor(node, ListOwner)) RaiseCycle();
    return index;
}

void TXmlDNodeList::Link(TXmlDNode* node, int index) {
    Items.InsertItem(index, node);
    node->Parent = ListOwner;
    node->Previous = nullptr;
    node->Next = nullptr;
    if (index > 0) {
        TXmlDNode* previous = At(index - 1);
        previous->Next = node;
        node->Previous = previous;
    }
    if (index < Count() - 1) {
        TXmlDNode* next = At(index + 1);
        next->Previous = node;
        node->Next = next;
    }
}

int TXmlDNodeList::Insert(TXmlDNode* node, int index) {
    index = CheckInsert(node, index);
    Link(node, index);
    return index;
}

void TXmlDNodeList::Delete(int index) {
    TRef<TXmlDNode> hold(At(index));
    TXmlDNode* node = hold.Get();
    TXmlDNode* previous = node->Previous;
    TXmlDNode* next = node->Next;
    Items.ExtractItem(index);
    node->Parent = nullptr;
    node->Previous = nullptr;
    node->Next = nullptr;
    if (previous != nullptr) previous->Next = next;
    if (next != nullptr) next->Previous = previous;
}

void TXmlDNodeList::Clear() {
    while (Items.Count() > 0) {
        const int last = Items.Count() - 1;
        TXmlDNode* node = At(last);
        node->Parent = nullptr;
        node->Previous = nullptr;
        node->Next = nullptr;
        if (last > 0) At(last - 1)->Next = nullptr;
        Items.ExtractItem(last);  // may destroy the node
    }
    Items.Clear();
}

void TXmlDNodeList::Orphan() noexcept {
    Clear();
    ListOwner = nullptr;
}

// --- TXmlDNamedNodeMap ---

TXmlDNode* TXmlDNamedNodeMap::FindNamedItem(std::string_view name, int& index) const {
    const int count = Count();
    for (int i = 0; i < count; ++i) {
        TXmlDNode* node = At(i);
        if (node->NodeName() == name) {
            index = i;
            return node;
        }
    }
    index = -1;
    return nullptr;
}

TXmlDNode* TXmlDNamedNodeMap::GetNamedItem(std::string_view name) const {
    int index;
    return FindNamedItem(name, index);
}

int TXmlDNamedNodeMap::SetNamedItem(TXmlDNode* node) {
    int index;
    if (FindNamedItem(node->NodeName(), index) == nullptr) return Insert(node, -1);
    return ReplaceItem(node, index);
}

int TXmlDNamedNodeMap::ReplaceItem(TXmlDNode* node, int index) {
    if (node->Parent != nullptr) RaiseSubnodeInTwoLists();
    if (Owner() == nullptr) RaiseOrphanList();
    if (index < 0 || index >= Count()) throw EListError(index);
    if (TXmlDNode::IsSelfOrAncestor(node, Owner())) RaiseCycle();
    TRef<TXmlDNode> hold(node);
    Delete(index);
    Link(node, index);
    return index;
}

// --- TXmlDDocument ---

TXmlDDocument::TXmlDDocument() : TXmlDNode(ntDocument) {}

TXmlDElement* TXmlDDocument::DocumentElement() const noexcept {
    for (TXmlDNode* node = FirstChild(); node != nullptr; node = node->NextSibling())
        if (node->NodeType() == ntElement) return static_cast<TXmlDElement*>(node);
    return nullptr;
}

std::string TXmlDDocument::GetNodeName() const { return kDocumentName; }
std::string TXmlDDocument::GetNodeValue() const { return std::string(); }
void TXmlDDocument::SetNodeValue(const std::string&) { RaiseValue(ntDocument); }

std::string TXmlDDocument::GetText() const {
    std::string out;
    AppendChildrenText(out);
    return out;
}

void TXmlDDocument::SetText(const std::string&) { RaiseText(ntDocument); }

TXmlDNode* TXmlDDocument::CloneNode() const {
    auto* copy = new TXmlDDocument();
    copy->PreserveWhiteSpace = PreserveWhiteSpace;
    return copy;
}

void TXmlDDocument::RenderStart(TXmlMarkup&, bool) const {}

// --- TXmlDDocumentType ---

TXmlDDocumentType::TXmlDDocumentType(const std::string& name) : TXmlDNode(ntDocumentType) {
    InitRef(EntityMap, new TXmlDNamedNodeMap(this));
    InitRef(NotationMap, new TXmlDNamedNodeMap(this));
    SetName(name);
}

TXmlDDocumentType::~TXmlDDocumentType() {
    NotationMap->Orphan();
    ReleaseRef(NotationMap);
    EntityMap->Orphan();
    ReleaseRef(EntityMap);
}

void TXmlDDocumentType::SetName(const std::string& name) { SetStoredName(name); }
std::string TXmlDDocumentType::GetNodeName() const { return NodeName(); }
std::string TXmlDDocumentType::GetNodeValue() const { return std::string(); }
void TXmlDDocumentType::SetNodeValue(const std::string&) { RaiseValue(ntDocumentType); }
std::string TXmlDDocumentType::GetText() const { return std::string(); }
void TXmlDDocumentType::SetText(const std::string&) { RaiseText(ntDocumentType); }
TXmlDNode* TXmlDDocumentType::CloneNode() const { return new TXmlDDocumentType(NodeName()); }

void TXmlDDocumentType::RenderStart(TXmlMarkup& out, bool) const {
    out.Literal("<!DOCTYPE ");
    out.Raw(NodeName());
    out.Literal(" [");
}

void TXmlDDocumentType::RenderEnd(TXmlMarkup& out, bool) const { out.Literal("]>"); }

// --- TXmlDElement ---

TXmlDElement::TXmlDElement(const std::string& tagName) : TXmlDNode(ntElement) {
    SetTagName(tagName);
}

void TXmlDElement::SetTagName(const std::string& tagName) { SetStoredName(tagName); }

TXmlDAttribute* TXmlDElement::GetAttributeNode(std::string_view name) {
    TXmlDNamedNodeMap* map = AttributesIfAny();
    if (map == nullptr) return nullptr;
    TXmlDNode* node = map->GetNamedItem(name);
    if (node == nullptr) return nullptr;
    if (node->NodeType() != ntAttribute) throw EInvalidCast();
    return static_cast<TXmlDAttribute*>(node);
}

std::string TXmlDElement::GetAttribute(std::string_view name, const std::string& defaultValue) {
    const TXmlDAttribute* attribute = GetAttributeNode(name);
    return attribute != nullptr ? attribute->Value : defaultValue;
}

void TXmlDElement::SetAttribute(const std::string& name, std::string value) {
    FitString(value);
    if (TXmlDAttribute* attribute = GetAttributeNode(name); attribute != nullptr) {
        attribute->Value = std::move(value);
        return;
    }
    TRef<TXmlDAttribute> attribute(new TXmlDAttribute(name));
    attribute->Value = std::move(value);
    Attributes()->Insert(attribute.Get(), -1);
}

int TXmlDElement::SetAttributeNode(TXmlDAttribute* attribute) {
    return Attributes()->SetNamedItem(attribute);
}

std::string TXmlDElement::GetNodeName() const { return NodeName(); }
std::string TXmlDElement::GetNodeValue() const { return std::string(); }
void TXmlDElement::SetNodeValue(const std::string&) { RaiseValue(ntElement); }

std::optional<std::string_view> TXmlDElement::TextView() const noexcept {
    const TXmlDNode* only = FirstChild();
    if (only == nullptr) return std::string_view();
    if (only->NextSibling() != nullptr) return std::nullopt;
    if (only->NodeType() != ntText && only->NodeType() != ntCDATASection) return std::nullopt;
    return static_cast<const TXmlDCharacterData*>(only)->Data;
}

std::string_view TextOf(const TXmlDNode* node, std::string& storage) {
    if (node->NodeType() == ntElement)
        if (const std::optional<std::string_view> text = static_cast<const TXmlDElement*>(node)->TextView())
            return *text;
    storage = node->GetText();
    return storage;
}

std::string TXmlDElement::GetText() const {
    // The usual element holds one text: copy its data once.
    if (const std::optional<std::string_view> text = TextView()) return std::string(*text);
    std::string out;
    AppendChildrenText(out);
    return out;
}

void TXmlDElement::SetText(const std::string& value) {
    TRef<TXmlDText> text(new TXmlDText(value));
    ClearChildNodes();
    AppendChild(text.Get());
}

TXmlDNode* TXmlDElement::CloneNode() const { return new TXmlDElement(NodeName()); }

namespace {

// A name that begins with "!" or "?" (the reader takes "< !x>" as the element "!x") would turn
// "<" + name into a comment, CDATA section, document type or processing instruction: such a
// name is written after a space, which the reader skips, so that it reads back as written.
bool NeedsSpaceAfterLt(const std::string& name) {
    return !name.empty() && (name[0] == '!' || name[0] == '?');
}

}  // namespace

// "<name" + attributes + ">" ... "</name>", or "<name" + attributes + "/>".
void TXmlDElement::RenderStart(TXmlMarkup& out, bool hasChildren) const {
    out.Literal("<");
    if (NeedsSpaceAfterLt(NodeName())) out.Literal(" ");
    out.Raw(NodeName());
    if (const TXmlDNamedNodeMap* map = AttributesIfAny(); map != nullptr) {
        const int count = map->Count();
        for (int i = 0; i < count; ++i) {
            out.Literal(" ");
            out.Subtree(map->Item(i));
        }
    }
    if (hasChildren)
        out.Literal(">");
    else
        out.Literal("/>");
}

void TXmlDElement::RenderEnd(TXmlMarkup& out, bool hasChildren) const {
    if (!hasChildren) return;
    out.Literal("</");
    out.Raw(NodeName());
    out.Literal(">");
}

// --- TXmlDAttribute ---

TXmlDAttribute::TXmlDAttribute(const std::string& name) : TXmlDNode(ntAttribute) {
    SetName(name);
}

void TXmlDAttribute::SetName(const std::string& name) { SetStoredName(name); }
std::string TXmlDAttribute::GetNodeName() const { return NodeName(); }
std::string TXmlDAttribute::GetNodeValue() const { return Value; }
void TXmlDAttribute::SetNodeValue(const std::string& value) { AssignExact(Value, value); }
std::string TXmlDAttribute::GetText() const { return GetNodeValue(); }
void TXmlDAttribute::SetText(const std::string& value) { SetNodeValue(value); }
void TXmlDAttribute::AppendText(std::string& out) const { out += Value; }

TXmlDNode* TXmlDAttribute::CloneNode() const {
    auto* copy = new TXmlDAttribute(NodeName());
    copy->Value = Value;
    return copy;
}

void TXmlDAttribute::RenderStart(TXmlMarkup& out, bool) const {
    out.Raw(NodeName());
    out.Literal("=\"");
    out.Escaped(Value);
    out.Literal("\"");
}

// --- Character data ---

TXmlDCharacterData::TXmlDCharacterData(TXmlDNodeType kind, std::string data)
    : TXmlDNode(kind), Data(std::move(data)) {
    FitString(Data);
}

std::string TXmlDCharacterData::GetNodeValue() const { return Data; }
void TXmlDCharacterData::SetNodeValue(const std::string& value) { AssignExact(Data, value); }
std::string TXmlDCharacterData::GetText() const { return GetNodeValue(); }
void TXmlDCharacterData::SetText(const std::string& value) { SetNodeValue(value); }
void TXmlDCharacterData::AppendText(std::string& out) const { out += Data; }

TXmlDComment::TXmlDComment(std::string data) : TXmlDCharacterData(ntComment, std::move(data)) {}
std::string TXmlDComment::GetNodeName() const { return kCommentName; }
TXmlDNode* TXmlDComment::CloneNode() const { return new TXmlDComment(Data); }

void TXmlDComment::RenderStart(TXmlMarkup& out, bool) const {
    out.Literal("<!--");
    out.Raw(Data);
    out.Literal("-->");
}

TXmlDText::TXmlDText(std::string data) : TXmlDCharacterData(ntText, std::move(data)) {}
TXmlDText::TXmlDText(TXmlDNodeType kind, std::string data)
    : TXmlDCharacterData(kind, std::move(data)) {}
std::string TXmlDText::GetNodeName() const { return kTextName; }
TXmlDNode* TXmlDText::CloneNode() const { return new TXmlDText(Data); }
void TXmlDText::RenderStart(TXmlMarkup& out, bool) const { out.Escaped(Data); }
size_t TXmlDText::XmlStartLengthBound() const {
    return Data.size() <= SIZE_MAX / kLongestEntity ? Data.size() * kLongestEntity : SIZE_MAX;
}

TXmlDCDATASection::TXmlDCDATASection(std::string data)
    : TXmlDText(ntCDATASection, std::move(data)) {}
std::string TXmlDCDATASection::GetNodeName() const { return kCDATAName; }
TXmlDNode* TXmlDCDATASection::CloneNode() const { return new TXmlDCDATASection(Data); }

void TXmlDCDATASection::RenderStart(TXmlMarkup& out, bool) const {
    out.Literal("<![CDATA[");
    out.Raw(Data);
    out.Literal("]]>");
}

// Measuring copies no bytes: the exact size is the bound.
size_t TXmlDCDATASection::XmlStartLengthBound() const {
    TXmlMarkup measure;
    RenderStart(measure, false);
    return measure.Measured();
}

// --- TXmlDProcessingInstruction ---

TXmlDProcessingInstruction::TXmlDProcessingInstruction(const std::string& target,
                                                       std::string data)
    : TXmlDNode(ntProcessingInstruction), Data(std::move(data)) {
    FitString(Data);
    SetTarget(target);
}

void TXmlDProcessingInstruction::SetTarget(const std::string& target) { SetStoredName(target); }
std::string TXmlDProcessingInstruction::GetNodeName() const { return NodeName(); }
std::string TXmlDProcessingInstruction::GetNodeValue() const { return Data; }

void TXmlDProcessingInstruction::SetNodeValue(const std::string& value) {
    AssignExact(Data, value);
}

std::string TXmlDProcessingInstruction::GetText() const { return GetNodeValue(); }
void TXmlDProcessingInstruction::SetText(const std::string& value) { SetNodeValue(value); }

TXmlDNode* TXmlDProcessingInstruction::CloneNode() const {
    return new TXmlDProcessingInstruction(NodeName(), Data);
}

void TXmlDProcessingInstruction::RenderStart(TXmlMarkup& out, bool) const {
    out.Literal("<?");
    out.Raw(NodeName());
    out.Literal(" ");
    out.Raw(Data);
    out.Literal("?>");
}

}  // namespace tessara
