#include "app/Changes.h"

#include <utility>

namespace tessara {
namespace {

int IndexAmongSiblings(const TXmlDNode* node) {
    TXmlDNode* parent = node->ParentNode();
    return parent != nullptr ? parent->ChildNodes()->IndexOf(node) : -1;
}

size_t TextBytesOf(const std::vector<TRef<TXmlDNode>>& nodes) {
    size_t bytes = 0;
    for (const TRef<TXmlDNode>& node : nodes) bytes += TextBytes(node.Get());
    return bytes;
}

// Nodes taken out of a parent's children at one place and others put in there instead.
class TSpliceStep final : public TChangeStep {
public:
    TSpliceStep(TXmlDNode* parent, int index, std::vector<TRef<TXmlDNode>> removed,
                std::vector<TRef<TXmlDNode>> inserted)
        : Parent(parent), Index(index), Removed(std::move(removed)), Inserted(std::move(inserted)) {}
    void Undo() override { Swap(Inserted, Removed); }
    void Redo() override { Swap(Removed, Inserted); }
    // Only one side is out of the document at a time; the larger bounds both.
    size_t KeptBytes() const override { return std::max(TextBytesOf(Removed), TextBytesOf(Inserted)); }

private:
    void Swap(const std::vector<TRef<TXmlDNode>>& out, const std::vector<TRef<TXmlDNode>>& in) {
        for (const TRef<TXmlDNode>& node : out) Parent->RemoveChild(node.Get());
        int at = Index;
        for (const TRef<TXmlDNode>& node : in) Parent->InsertChild(node.Get(), at++);
    }

    TRef<TXmlDNode> Parent;
    int Index;
    std::vector<TRef<TXmlDNode>> Removed, Inserted;
};

// A node moved among its siblings.
class TMoveStep final : public TChangeStep {
public:
    TMoveStep(TXmlDNode* node, int from, int to) : Node(node), From(from), To(to) {}
    void Undo() override { Node->ParentNode()->InsertChild(Node.Get(), From); }
    void Redo() override { Node->ParentNode()->InsertChild(Node.Get(), To); }
    size_t KeptBytes() const override { return 0; }

private:
    TRef<TXmlDNode> Node;
    int From, To;
};

// A node's value replaced.
class TValueStep final : public TChangeStep {
public:
    TValueStep(TXmlDNode* node, std::string before, std::string after)
        : Node(node), Before(std::move(before)), After(std::move(after)) {}
    void Undo() override { Node->SetNodeValue(Before); }
    void Redo() override { Node->SetNodeValue(After); }
    size_t KeptBytes() const override { return Before.size() + After.size(); }

private:
    TRef<TXmlDNode> Node;
    std::string Before, After;
};

std::vector<TRef<TXmlDNode>> ChildrenOf(const TXmlDNode* node) {
    std::vector<TRef<TXmlDNode>> children;
    for (TXmlDNode* child = node->FirstChild(); child != nullptr; child = child->NextSibling())
        children.emplace_back(child);
    return children;
}

}  // namespace

size_t TextBytes(const TXmlDNode* root) {
    // Depth first over the links, without recursion: any depth is measured.
    size_t bytes = 0;
    const TXmlDNode* node = root;
    while (node != nullptr) {
        switch (node->NodeType()) {
        case ntText:
        case ntCDATASection:
        case ntComment:
            bytes += static_cast<const TXmlDCharacterData*>(node)->Data.size();
            break;
        default:
            break;
        }
        if (const TXmlDNode* child = node->FirstChild()) {
            node = child;
            continue;
        }
        while (node != root && node->NextSibling() == nullptr) node = node->ParentNode();
        node = node != root ? node->NextSibling() : nullptr;
    }
    return bytes;
}

void TChange::Add(std::unique_ptr<TChangeStep> step) {
    Bytes += step->KeptBytes();
    Steps.push_back(std::move(step));
}

void TChange::Insert(TXmlDNode* parent, TXmlDNode* node, int index) {
    const TRef<TXmlDNode> hold(node);
    const int at = parent->InsertChild(node, index);
    Add(std::make_unique<TSpliceStep>(parent, at, std::vector<TRef<TXmlDNode>>{},
                                      std::vector<TRef<TXmlDNode>>{hold}));
}

void TChange::Remove(TXmlDNode* node) {
    const TRef<TXmlDNode> hold(node);
    TXmlDNode* parent = node->ParentNode();
    const int at = parent->RemoveChild(node);
    Add(std::make_unique<TSpliceStep>(parent, at, std::vector<TRef<TXmlDNode>>{hold},
                                      std::vector<TRef<TXmlDNode>>{}));
}

void TChange::Move(TXmlDNode* node, int index) {
    const int from = IndexAmongSiblings(node);
    const int to = node->ParentNode()->InsertChild(node, index);
    Add(std::make_unique<TMoveStep>(node, from, to));
}

void TChange::SetText(TXmlDElement* element, const std::string& text) {
    std::vector<TRef<TXmlDNode>> before = ChildrenOf(element);
    element->SetText(text);
    Add(std::make_unique<TSpliceStep>(element, 0, std::move(before), ChildrenOf(element)));
}

void TChange::SetValue(TXmlDNode* node, const std::string& value) {
    std::string before = node->GetNodeValue();
    node->SetNodeValue(value);
    Add(std::make_unique<TValueStep>(node, std::move(before), value));
}

void TChange::Undo() {
    for (auto step = Steps.rbegin(); step != Steps.rend(); ++step) (*step)->Undo();
}

void TChange::Redo() {
    for (const std::unique_ptr<TChangeStep>& step : Steps) step->Redo();
}

void TUndoHistory::Record(TChange change) {
    for (const TChange& undone : Undone) Bytes -= undone.KeptBytes();
    Undone.clear();
    Bytes += change.KeptBytes();
    Done.push_back(std::move(change));
    Trim();
}

// The newest change of From carried out (undone or made again) and moved over to To.
TChange* TUndoHistory::Shift(std::deque<TChange>& from, std::deque<TChange>& to, void (TChange::*carryOut)()) {
    if (from.empty()) return nullptr;
    (from.back().*carryOut)();
    to.push_back(std::move(from.back()));
    from.pop_back();
    return &to.back();
}

TChange* TUndoHistory::Undo() { return Shift(Done, Undone, &TChange::Undo); }

TChange* TUndoHistory::Redo() { return Shift(Undone, Done, &TChange::Redo); }

void TUndoHistory::Clear() {
    ++ClearCount;
    Done.clear();
    Undone.clear();
    Bytes = 0;
}

void TUndoHistory::Trim() {
    while (Done.size() > 1 && (Done.size() > kMaxChanges || Bytes > kMaxBytes)) {
        Bytes -= Done.front().KeptBytes();
        Done.pop_front();
    }
}

}  // namespace tessara
