// Every change to the repository document, recorded as it is made so that it can be reversed
// and made again. A change is a list of steps, each of which knows how to undo and redo one
// edit of the document; the handlers edit the document only through a TChange, so that what
// they did is always what is recorded. A new kind of edit is one new TChangeStep.
#pragma once

#include <cstddef>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "xml/XXmlDom.h"

namespace tessara {

// What a change did, for the status line of its undo and redo.
enum class TChangeKind { Add, Rename, Delete, PasteControls, PasteModule, Move, TakeIn, EditModule };

class TChangeStep {
public:
    virtual ~TChangeStep() = default;
    virtual void Undo() = 0;
    virtual void Redo() = 0;
    // The bytes of text the step keeps that the document does not hold at one of its two ends
    // (a removed template, a replaced text): what the history's size bound counts.
    virtual size_t KeptBytes() const = 0;
};

// One change: its steps in the order they were made, undone in the reverse order.
class TChange {
public:
    TChange(TChangeKind kind, TXmlDElement* templ) : Kind(kind), Template(templ) {}

    // The edits, each carried out at once on the document and recorded.
    // Puts Node (detached) among Parent's children at Index (-1: at the end).
    void Insert(TXmlDNode* parent, TXmlDNode* node, int index = -1);
    // Takes Node out of its parent.
    void Remove(TXmlDNode* node);
    // Moves Node to Index among its parent's children (the index counted before it leaves).
    void Move(TXmlDNode* node, int index);
    // Replaces the element's children with Text (SetText); undone, the old children come back
    // as they were, not as a text made again from them.
    void SetText(TXmlDElement* element, const std::string& text);
    // Sets a node's value (an attribute's).
    void SetValue(TXmlDNode* node, const std::string& value);

    void Undo();
    void Redo();
    bool Empty() const noexcept { return Steps.empty(); }
    size_t KeptBytes() const noexcept { return Bytes; }

    TChangeKind Kind;
    // The template the change concerns: selected after its undo and redo while it is in the
    // document. Held, so that it is never another template made where it was.
    TRef<TXmlDElement> Template;
    // How many templates it took in (TakeIn only).
    int Count = 0;

private:
    void Add(std::unique_ptr<TChangeStep> step);

    std::vector<std::unique_ptr<TChangeStep>> Steps;
    size_t Bytes = 0;
};

// The changes that can be undone and those undone that can be made again. The newest are kept:
// at most MaxChanges, and the oldest go first while all together keep more than MaxBytes (the
// newest change stays, whatever it keeps).
class TUndoHistory {
public:
    static constexpr size_t kMaxChanges = 100;
    static constexpr size_t kMaxBytes = 64u << 20;

    // A change made: it can be undone; the changes undone before it can no longer be redone.
    void Record(TChange change);
    bool CanUndo() const noexcept { return !Done.empty(); }
    bool CanRedo() const noexcept { return !Undone.empty(); }
    // Undoes the newest change and returns it (it stays in the history, to be redone); null
    // when there is none.
    TChange* Undo();
    TChange* Redo();
    // Forgets every change (the document they were made on is gone).
    void Clear();

    size_t Changes() const noexcept { return Done.size() + Undone.size(); }
    // How many times it was emptied: a history that began again.
    uint64_t Clears() const noexcept { return ClearCount; }
    size_t KeptBytes() const noexcept { return Bytes; }

private:
    void Trim();
    static TChange* Shift(std::deque<TChange>& from, std::deque<TChange>& to, void (TChange::*carryOut)());

    std::deque<TChange> Done;
    std::deque<TChange> Undone;
    size_t Bytes = 0;
    uint64_t ClearCount = 0;
};

// The bytes of the texts, CDATA sections and comments in a subtree, measured without rendering
// anything (names and attribute values are small beside them and not counted).
size_t TextBytes(const TXmlDNode* node);

}  // namespace tessara
