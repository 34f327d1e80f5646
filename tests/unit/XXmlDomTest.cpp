// The node tree: links, acceptance, the two lists, node kinds, rendering, ownership.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "platform/Charset.h"
#include "platform/Exceptions.h"
#include "platform/Streams.h"
#include "xml/XXmlDom.h"

#include "MessageOf.h"

using namespace tessara;

namespace {

// A text node that counts how many of its kind are alive, to see what a release destroys.
struct CountedText : TXmlDText {
    explicit CountedText(std::string data) : TXmlDText(std::move(data)) { ++Alive; }
    ~CountedText() override { --Alive; }
    static int Alive;
};
int CountedText::Alive = 0;

TXmlDNode* MakeNode(TXmlDNodeType kind) {
    switch (kind) {
        case ntElement: return new TXmlDElement("e");
        case ntAttribute: return new TXmlDAttribute("a");
        case ntText: return new TXmlDText("t");
        case ntCDATASection: return new TXmlDCDATASection("c");
        case ntProcessingInstruction: return new TXmlDProcessingInstruction("p", "d");
        case ntComment: return new TXmlDComment("m");
        case ntDocument: return new TXmlDDocument();
        case ntDocumentType: return new TXmlDDocumentType("dt");
        default: return nullptr;
    }
}

const TXmlDNodeType kClassKinds[] = {ntElement, ntAttribute, ntText, ntCDATASection,
                                     ntProcessingInstruction, ntComment, ntDocument,
                                     ntDocumentType};

// Every link of the children of Parent agrees with the order of its list.
void ExpectLinks(TXmlDNode* parent) {
    TXmlDNodeList* list = parent->ChildNodes();
    const int n = list->Count();
    EXPECT_EQ(parent->HasChildNodes(), n > 0);
    EXPECT_EQ(parent->FirstChild(), n > 0 ? list->Item(0) : nullptr);
    EXPECT_EQ(parent->LastChild(), n > 0 ? list->Item(n - 1) : nullptr);
    for (int i = 0; i < n; ++i) {
        TXmlDNode* node = list->Item(i);
        EXPECT_EQ(node->ParentNode(), parent) << i;
        EXPECT_EQ(node->PreviousSibling(), i > 0 ? list->Item(i - 1) : nullptr) << i;
        EXPECT_EQ(node->NextSibling(), i + 1 < n ? list->Item(i + 1) : nullptr) << i;
        EXPECT_EQ(list->IndexOf(node), i);
    }
}

void ExpectDetached(const TXmlDNode* node) {
    EXPECT_EQ(node->ParentNode(), nullptr);
    EXPECT_EQ(node->PreviousSibling(), nullptr);
    EXPECT_EQ(node->NextSibling(), nullptr);
}

std::string Names(TXmlDNode* parent) {
    std::string out;
    for (TXmlDNode* n = parent->FirstChild(); n != nullptr; n = n->NextSibling())
        out += n->NodeName();
    return out;
}

}  // namespace

// --- links ---

TEST(XmlDomLinks, InsertMoveAndRemove) {
    TRef<TXmlDElement> a(new TXmlDElement("A"));
    TRef<TXmlDElement> b(new TXmlDElement("B"));
    EXPECT_EQ(a->FirstChild(), nullptr);
    EXPECT_EQ(a->LastChild(), nullptr);
    EXPECT_FALSE(a->HasChildNodes());

    TXmlDElement* x = new TXmlDElement("x");
    TXmlDElement* y = new TXmlDElement("y");
    TXmlDElement* z = new TXmlDElement("z");
    a->AppendChild(x);
    a->AppendChild(z);
    EXPECT_EQ(a->InsertChild(y, 1), 1);
    EXPECT_EQ(Names(a.Get()), "xyz");
    ExpectLinks(a.Get());

    TXmlDElement* w = new TXmlDElement("w");
    EXPECT_EQ(a->InsertChild(w, 0), 0);  // a new first child
    EXPECT_EQ(w->PreviousSibling(), nullptr);
    EXPECT_EQ(w->NextSibling(), x);
    EXPECT_EQ(x->PreviousSibling(), w);
    ExpectLinks(a.Get());

    a->AppendChild(x);  // to the end of the same list
    EXPECT_EQ(Names(a.Get()), "wyzx");
    ExpectLinks(a.Get());

    b->AppendChild(y);  // moves to another parent; the old neighbours meet
    EXPECT_EQ(Names(a.Get()), "wzx");
    EXPECT_EQ(Names(b.Get()), "y");
    EXPECT_EQ(w->NextSibling(), z);
    EXPECT_EQ(z->PreviousSibling(), w);
    ExpectLinks(a.Get());
    ExpectLinks(b.Get());

    EXPECT_EQ(a->InsertChild(y, 1), 1);  // and back with an index
    EXPECT_EQ(Names(a.Get()), "wyzx");
    EXPECT_FALSE(b->HasChildNodes());

    TRef<TXmlDNode> keep(z);
    EXPECT_EQ(a->RemoveChild(z), 2);
    ExpectDetached(z);
    EXPECT_EQ(Names(a.Get()), "wyx");
    ExpectLinks(a.Get());
    EXPECT_EQ(keep->RefCount, 1);

    // Moving within the list with an index counts positions after the node has left.
    EXPECT_EQ(a->InsertChild(w, 2), 2);
    EXPECT_EQ(Names(a.Get()), "yxw");
    ExpectLinks(a.Get());
}

TEST(XmlDomLinks, RemoveChildOfAStrangerChangesNothing) {
    TRef<TXmlDElement> a(new TXmlDElement("A"));
    TRef<TXmlDElement> other(new TXmlDElement("O"));
    a->AppendChild(new TXmlDElement("x"));
    TXmlDElement* foreign = new TXmlDElement("f");
    other->AppendChild(foreign);
    a->SetAttribute("k", "v");
    const std::string notFound = Cp1251("XML: Не найден подузел для удаления");
    EXPECT_EQ(MessageOf([&] { a->RemoveChild(foreign); }), notFound);
    // An attribute lives in Attributes, not among the children.
    EXPECT_EQ(MessageOf([&] { a->RemoveChild(a->Attributes()->Item(0)); }), notFound);
    EXPECT_EQ(a->GetXml(), "<A k=\"v\"><x/></A>");
    EXPECT_EQ(foreign->ParentNode(), other.Get());
}

TEST(XmlDomLinks, ClearedChildHeldElsewhereCanBeAppendedAgain) {
    TRef<TXmlDElement> a(new TXmlDElement("A"));
    TRef<TXmlDElement> b(new TXmlDElement("B"));
    const int before = CountedText::Alive;
    TRef<TXmlDNode> held(new CountedText("kept"));
    a->AppendChild(held.Get());
    a->AppendChild(new CountedText("gone"));
    EXPECT_EQ(CountedText::Alive, before + 2);
    a->ClearChildNodes();
    EXPECT_EQ(CountedText::Alive, before + 1);  // the one nobody held went with the list
    EXPECT_EQ(a->ChildNodes()->Count(), 0);
    ExpectDetached(held.Get());
    b->AppendChild(held.Get());
    EXPECT_EQ(b->GetXml(), "<B>kept</B>");
}

// --- acceptance ---

TEST(XmlDomAcceptance, ContainerByChildKinds) {
    // The accepted child kinds per container kind, among the kinds that have classes.
    struct Row {
        TXmlDNodeType container;
        std::vector<TXmlDNodeType> accepted;
    };
    const Row rows[] = {
        {ntElement, {ntElement, ntText, ntCDATASection, ntProcessingInstruction, ntComment}},
        {ntDocument, {ntElement, ntProcessingInstruction, ntComment, ntDocumentType}},
        {ntDocumentType,
         {ntElement, ntAttribute, ntText, ntCDATASection, ntProcessingInstruction, ntComment,
          ntDocument, ntDocumentType}},
        {ntAttribute, {}},
        {ntText, {}},
        {ntCDATASection, {}},
        {ntProcessingInstruction, {}},
        {ntComment, {}},
    };
    for (const Row& row : rows) {
        for (TXmlDNodeType childKind : kClassKinds) {
            TRef<TXmlDNode> container(MakeNode(row.container));
            TRef<TXmlDNode> child(MakeNode(childKind));
            const bool accepted = std::find(row.accepted.begin(), row.accepted.end(),
                                            childKind) != row.accepted.end();
            const std::string message = MessageOf([&] { container->AppendChild(child.Get()); });
            const std::string c = "\"" + NodeTypeName(row.container) + "\"";
            const std::string k = "\"" + NodeTypeName(childKind) + "\"";
            std::string expected;
            if (!accepted)
                expected = row.accepted.empty()
                               ? Cp1251("XML: узел ") + c + Cp1251(" не может содержать подузлы")
                               : Cp1251("XML: узел ") + c +
                                     Cp1251(" не может содержать подузел ") + k;
            EXPECT_EQ(message, expected) << c << " " << k;
            EXPECT_EQ(container->HasChildNodes(), accepted) << c << " " << k;
            EXPECT_EQ(child->ParentNode(), accepted ? container.Get() : nullptr);
        }
    }
}

TEST(XmlDomAcceptance, KindNamesAndDocumentRules) {
    const char* names[] = {"element", "attribute", "text", "cdatasection", "entityreference",
                           "entity", "processinginstruction", "comment", "document",
                           "documenttype", "documentfragment", "notation"};
    for (int i = 0; i < 12; ++i)
        EXPECT_EQ(NodeTypeName(static_cast<TXmlDNodeType>(i)), names[i]);

    TRef<TXmlDDocument> doc(new TXmlDDocument());
    TRef<TXmlDText> text(new TXmlDText("x"));  // a refused node stays with its holder
    EXPECT_EQ(MessageOf([&] { doc->AppendChild(text.Get()); }),
              Cp1251("XML: узел \"document\" не может содержать подузел \"text\""));
    // Neither the number of elements nor the order of the children is checked.
    doc->AppendChild(new TXmlDElement("a"));
    doc->AppendChild(new TXmlDElement("b"));
    doc->AppendChild(new TXmlDDocumentType("d"));
    EXPECT_EQ(doc->GetXml(), "<a/><b/><!DOCTYPE d []>");
}

// --- lists ---

TEST(XmlDomLists, IndexErrorsAndTwoLists) {
    TRef<TXmlDElement> a(new TXmlDElement("A"));
    TXmlDNodeList* list = a->ChildNodes();
    list->Insert(new TXmlDElement("x"), -1);
    list->Insert(new TXmlDElement("y"), 0);
    EXPECT_EQ(Names(a.Get()), "yx");
    ExpectLinks(a.Get());

    struct Case {
        std::function<void()> call;
        std::string message;
    };
    TRef<TXmlDElement> loose(new TXmlDElement("l"));
    const Case cases[] = {
        {[&] { list->Item(2); }, "List index out of bounds (2)"},
        {[&] { list->Item(-1); }, "List index out of bounds (-1)"},
        {[&] { list->Insert(loose.Get(), 3); }, "List index out of bounds (3)"},
        {[&] { list->Delete(5); }, "List index out of bounds (5)"},
        {[&] { a->InsertChild(loose.Get(), -2); }, "List index out of bounds (-2)"},
        {[&] { list->Insert(list->Item(0), 0); },
         Cp1251("XML: Нельзя добавлять узел в два списка")},
    };
    for (const Case& c : cases) {
        bool listError = false;
        try {
            c.call();
        } catch (const EListError& e) {
            listError = true;
            EXPECT_EQ(e.Message(), c.message);
        } catch (const Exception& e) {
            EXPECT_EQ(e.Message(), c.message);
        }
        EXPECT_EQ(listError, c.message.rfind("List", 0) == 0) << c.message;
        EXPECT_EQ(Names(a.Get()), "yx");
        ExpectDetached(loose.Get());
    }

    EXPECT_EQ(list->IndexOf(loose.Get()), -1);
    list->Insert(loose.Get(), 1);
    EXPECT_EQ(Names(a.Get()), "ylx");
    list->Delete(1);
    ExpectDetached(loose.Get());
    EXPECT_EQ(Names(a.Get()), "yx");
    ExpectLinks(a.Get());
    list->Clear();
    EXPECT_EQ(list->Count(), 0);
    EXPECT_EQ(a->FirstChild(), nullptr);
}

TEST(XmlDomLists, NamedMapLookupAndReplace) {
    TRef<TXmlDElement> e(new TXmlDElement("E"));
    e->SetAttribute("name", "1");
    e->SetAttribute("b", "2");
    TXmlDNamedNodeMap* map = e->Attributes();
    int index = 7;
    EXPECT_EQ(map->FindNamedItem("Name", index), nullptr);  // case-sensitive
    EXPECT_EQ(index, -1);
    EXPECT_EQ(map->FindNamedItem("b", index), map->Item(1));
    EXPECT_EQ(index, 1);
    EXPECT_EQ(map->GetNamedItem("name"), map->Item(0));

    TRef<TXmlDNode> old(map->Item(0));
    auto* replacement = new TXmlDAttribute("name");
    replacement->Value = "3";
    EXPECT_EQ(map->SetNamedItem(replacement), 0);  // same position
    EXPECT_EQ(e->GetXml(), "<E name=\"3\" b=\"2\"/>");
    ExpectDetached(old.Get());
    EXPECT_EQ(old->RefCount, 1);  // only the test holds it now
    EXPECT_EQ(replacement->ParentNode(), e.Get());
    EXPECT_EQ(replacement->NextSibling(), map->Item(1));

    // A node that already belongs to a list: the message depends on whether the name is there.
    TRef<TXmlDElement> other(new TXmlDElement("O"));
    other->SetAttribute("c", "x");
    other->SetAttribute("name", "y");
    TXmlDNode* busyNew = other->Attributes()->Item(0);
    TXmlDNode* busyPresent = other->Attributes()->Item(1);
    EXPECT_EQ(MessageOf([&] { map->SetNamedItem(busyNew); }),
              Cp1251("XML: Нельзя добавлять узел в два списка"));
    EXPECT_EQ(MessageOf([&] { map->SetNamedItem(busyPresent); }),
              Cp1251("XML: Нельзя добавлять подузел в два списка"));
    EXPECT_EQ(MessageOf([&] { map->ReplaceItem(map->Item(1), 1); }),
              Cp1251("XML: Нельзя добавлять подузел в два списка"));
    EXPECT_EQ(MessageOf([&] { map->ReplaceItem(old.Get(), 2); }), "List index out of bounds (2)");
    EXPECT_EQ(e->GetXml(), "<E name=\"3\" b=\"2\"/>");
    EXPECT_EQ(other->GetXml(), "<O c=\"x\" name=\"y\"/>");
}

TEST(XmlDomLists, ListOutlivingItsOwnerIsEmptyAndRefusesNodes) {
    TRef<TXmlDNodeList> list;
    const int before = CountedText::Alive;
    {
        TRef<TXmlDElement> e(new TXmlDElement("E"));
        e->AppendChild(new CountedText("x"));
        list.Reset(e->ChildNodes());
    }
    EXPECT_EQ(CountedText::Alive, before);
    EXPECT_EQ(list->Count(), 0);
    EXPECT_EQ(list->Owner(), nullptr);
    TRef<TXmlDText> t(new TXmlDText("y"));
    EXPECT_NE(MessageOf([&] { list->Insert(t.Get(), -1); }), "");
    ExpectDetached(t.Get());
}

// --- cycles and failed inserts ---

TEST(XmlDomCycles, NodeUnderItselfOrItsDescendantIsRefused) {
    TRef<TXmlDDocument> doc(new TXmlDDocument());
    auto* root = new TXmlDElement("r");
    auto* mid = new TXmlDElement("m");
    auto* leaf = new TXmlDElement("l");
    doc->AppendChild(root);
    root->AppendChild(mid);
    mid->AppendChild(leaf);
    TRef<TXmlDElement> loose(new TXmlDElement("x"));
    loose->AppendChild(new TXmlDElement("y"));
    const std::string before = doc->GetXml();
    const std::string cycle = Cp1251("XML: Нельзя добавить узел в самого себя или в свой подузел");

    EXPECT_EQ(MessageOf([&] { leaf->AppendChild(leaf); }), cycle);
    EXPECT_EQ(MessageOf([&] { leaf->AppendChild(root); }), cycle);
    EXPECT_EQ(MessageOf([&] { leaf->InsertChild(mid, 0); }), cycle);
    EXPECT_EQ(MessageOf([&] { loose->FirstChild()->AppendChild(loose.Get()); }), cycle);
    // The list operations refuse the same, also through the attribute map.
    EXPECT_EQ(MessageOf([&] { loose->FirstChild()->ChildNodes()->Insert(loose.Get(), 0); }),
              cycle);
    EXPECT_EQ(MessageOf([&] { loose->FirstChild()->Attributes()->Insert(loose.Get(), 0); }),
              cycle);
    EXPECT_EQ(doc->GetXml(), before);
    EXPECT_EQ(loose->GetXml(), "<x><y/></x>");
    leaf->SetAttribute("a", "1");
    EXPECT_EQ(MessageOf([&] { leaf->Attributes()->ReplaceItem(loose.Get(), 0); }), "");
    EXPECT_EQ(MessageOf([&] { leaf->Attributes()->ReplaceItem(doc.Get(), 0); }), cycle);

    EXPECT_EQ(root->ParentNode(), doc.Get());
    EXPECT_EQ(mid->ParentNode(), root);
    EXPECT_EQ(leaf->ParentNode(), mid);
    EXPECT_EQ(loose->ParentNode(), leaf);
    EXPECT_EQ(doc->GetXml(), "<r><m><l <x><y/></x>/></m></r>");
}

TEST(XmlDomCycles, BadIndexIsFoundBeforeTheNodeLeavesItsParent) {
    TRef<TXmlDElement> a(new TXmlDElement("A"));
    TRef<TXmlDElement> b(new TXmlDElement("B"));
    auto* x = new TXmlDElement("x");
    a->AppendChild(x);
    a->AppendChild(new TXmlDElement("y"));
    b->AppendChild(new TXmlDElement("z"));
    EXPECT_EQ(MessageOf([&] { b->InsertChild(x, 2); }), "List index out of bounds (2)");
    EXPECT_EQ(Names(a.Get()), "xy");
    EXPECT_EQ(x->ParentNode(), a.Get());
    // Within its own parent the node's old place does not count: 2 is past the end there.
    EXPECT_EQ(MessageOf([&] { a->InsertChild(x, 2); }), "List index out of bounds (2)");
    EXPECT_EQ(Names(a.Get()), "xy");
    EXPECT_EQ(a->InsertChild(x, 1), 1);
    EXPECT_EQ(Names(a.Get()), "yx");
    EXPECT_EQ(b->InsertChild(x, 1), 1);
    EXPECT_EQ(Names(b.Get()), "zx");
    EXPECT_EQ(Names(a.Get()), "y");

    // A node the old parent cannot give up (an attribute is no child) stays where it is.
    TRef<TXmlDDocumentType> type(new TXmlDDocumentType("t"));
    a->SetAttribute("k", "v");
    TXmlDNode* attribute = a->Attributes()->Item(0);
    EXPECT_EQ(MessageOf([&] { type->AppendChild(attribute); }),
              Cp1251("XML: Не найден подузел для удаления"));
    EXPECT_EQ(attribute->ParentNode(), a.Get());
    EXPECT_EQ(a->GetXml(), "<A k=\"v\"><y/></A>");
}

// --- node kinds ---

TEST(XmlDomKinds, NamesValuesAndTheirMessages) {
    struct Case {
        TXmlDNodeType kind;
        std::string nodeName;
        std::string value;       // GetNodeValue
        bool valueSettable;
        bool textSettable;
    };
    const Case cases[] = {
        {ntElement, "e", "", false, true},
        {ntAttribute, "a", "", true, true},
        {ntText, "#text", "t", true, true},
        {ntCDATASection, "#cdata-section", "c", true, true},
        {ntProcessingInstruction, "p", "d", true, true},
        {ntComment, "#comment", "m", true, true},
        {ntDocument, "#document", "", false, false},
        {ntDocumentType, "dt", "", false, false},
    };
    for (const Case& c : cases) {
        TRef<TXmlDNode> node(MakeNode(c.kind));
        const std::string kind = "\"" + NodeTypeName(c.kind) + "\"";
        EXPECT_EQ(node->NodeType(), c.kind);
        EXPECT_EQ(node->NodeName(), c.nodeName) << kind;
        EXPECT_EQ(node->GetNodeName(), c.nodeName) << kind;
        EXPECT_EQ(node->GetNodeValue(), c.value) << kind;
        const std::string valueMessage = MessageOf([&] { node->SetNodeValue("v"); });
        EXPECT_EQ(valueMessage,
                  c.valueSettable ? "" : Cp1251("XML: Нельзя изменять значение узла ") + kind);
        if (c.valueSettable) {
            EXPECT_EQ(node->GetNodeValue(), "v");
            EXPECT_EQ(node->GetText(), "v");
        }
        const std::string textMessage = MessageOf([&] { node->SetText("w"); });
        EXPECT_EQ(textMessage,
                  c.textSettable ? "" : Cp1251("XML: Нельзя изменять текст узла ") + kind);
        if (c.textSettable) {
            EXPECT_EQ(node->GetText(), "w") << kind;
        }
    }
}

TEST(XmlDomKinds, RenamingChangesTheLookupName) {
    TRef<TXmlDElement> e(new TXmlDElement("old"));
    e->SetTagName("new");
    EXPECT_EQ(e->TagName(), "new");
    EXPECT_EQ(e->GetXml(), "<new/>");
    auto* a = new TXmlDAttribute("x");
    e->SetAttributeNode(a);
    a->SetName("y");
    EXPECT_EQ(e->GetAttributeNode("x"), nullptr);
    EXPECT_EQ(e->GetAttributeNode("y"), a);
    TRef<TXmlDProcessingInstruction> pi(new TXmlDProcessingInstruction("xml", "version=\"1.0\""));
    pi->SetTarget("php");
    EXPECT_EQ(pi->NodeName(), "php");
    EXPECT_EQ(pi->GetXml(), "<?php version=\"1.0\"?>");
    TRef<TXmlDDocumentType> t(new TXmlDDocumentType("a"));
    t->SetName("b");
    EXPECT_EQ(t->Name(), "b");
    EXPECT_EQ(t->Entities()->Owner(), t.Get());
    EXPECT_EQ(t->Notations()->Count(), 0);
}

TEST(XmlDomKinds, AttributesOfAnElement) {
    TRef<TXmlDElement> e(new TXmlDElement("E"));
    EXPECT_EQ(e->GetAttribute("name", "dflt"), "dflt");
    e->SetAttribute("name", "1");
    e->SetAttribute("other", "2");
    e->SetAttribute("name", "3");  // overwritten in place
    EXPECT_EQ(e->Attributes()->Count(), 2);
    EXPECT_EQ(e->GetAttribute("name", ""), "3");
    EXPECT_EQ(e->GetAttribute("Name", "none"), "none");
    e->GetAttributeNode("other")->SetNodeValue("4");
    EXPECT_EQ(e->GetAttribute("other", ""), "4");

    auto* fresh = new TXmlDAttribute("name");
    fresh->Value = "5";
    EXPECT_EQ(e->SetAttributeNode(fresh), 0);
    auto* added = new TXmlDAttribute("third");
    EXPECT_EQ(e->SetAttributeNode(added), 2);
    EXPECT_EQ(e->GetXml(), "<E name=\"5\" other=\"4\" third=\"\"/>");

    // A map entry that is not an attribute is no attribute node.
    e->Attributes()->Insert(new TXmlDComment("c"), -1);
    EXPECT_THROW(e->GetAttributeNode("#comment"), EInvalidCast);
}

TEST(XmlDomKinds, TextOfElementsAndDocuments) {
    TRef<TXmlDDocument> doc(new TXmlDDocument());
    EXPECT_EQ(doc->DocumentElement(), nullptr);
    doc->AppendChild(new TXmlDComment("before"));
    doc->AppendChild(new TXmlDProcessingInstruction("p", "d"));
    doc->AppendChild(new TXmlDDocumentType("t"));
    auto* root = new TXmlDElement("r");
    doc->AppendChild(root);
    EXPECT_EQ(doc->DocumentElement(), root);

    root->AppendChild(new TXmlDText("a"));
    auto* inner = new TXmlDElement("i");
    root->AppendChild(inner);
    inner->AppendChild(new TXmlDComment("no"));
    inner->AppendChild(new TXmlDCDATASection("b"));
    inner->AppendChild(new TXmlDElement("empty"));
    auto* deeper = new TXmlDElement("d");
    inner->AppendChild(deeper);
    deeper->AppendChild(new TXmlDText("c"));
    root->AppendChild(new TXmlDProcessingInstruction("q", "no"));
    root->AppendChild(new TXmlDText("d"));
    EXPECT_EQ(root->GetText(), "abcd");
    EXPECT_EQ(doc->GetText(), "abcd");
    EXPECT_EQ(inner->GetText(), "bc");
    EXPECT_EQ(deeper->GetText(), "c");

    // SetText replaces every child, elements included, by one text node.
    TRef<TXmlDNode> keptInner(inner);
    root->SetText("new");
    EXPECT_EQ(root->GetText(), "new");
    EXPECT_EQ(root->ChildNodes()->Count(), 1);
    EXPECT_EQ(root->FirstChild()->NodeType(), ntText);
    ExpectDetached(inner);
    root->SetText("");
    EXPECT_EQ(root->ChildNodes()->Count(), 1);
    EXPECT_EQ(root->GetXml(), "<r></r>");
}

TEST(XmlDomKinds, TextViewOnlyWhereTheTextIsOnePiece) {
    // Each element's children, whether TextView gives the stored bytes, and GetText's text.
    struct TCase {
        std::function<void(TXmlDElement*)> Fill;
        bool Viewed;
        std::string Text;
    } cases[] = {
        {[](TXmlDElement*) {}, true, ""},
        {[](TXmlDElement* e) { e->AppendChild(new TXmlDText("a<b")); }, true, "a<b"},
        {[](TXmlDElement* e) { e->AppendChild(new TXmlDCDATASection("c]")); }, true, "c]"},
        {[](TXmlDElement* e) { e->SetText(""); }, true, ""},
        {[](TXmlDElement* e) { e->AppendChild(new TXmlDComment("x")); }, false, ""},
        {[](TXmlDElement* e) { e->AppendChild(new TXmlDElement("i")); }, false, ""},
        {[](TXmlDElement* e) {
             e->AppendChild(new TXmlDText("a"));
             e->AppendChild(new TXmlDText("b"));
         },
         false, "ab"},
        {[](TXmlDElement* e) {
             e->AppendChild(new TXmlDText("a"));
             e->AppendChild(new TXmlDComment("no"));
         },
         false, "a"},
        {[](TXmlDElement* e) {
             auto* inner = new TXmlDElement("i");
             e->AppendChild(inner);
             inner->SetText("deep");
         },
         false, "deep"},
    };
    for (size_t i = 0; i < std::size(cases); ++i) {
        TRef<TXmlDElement> element(new TXmlDElement("e"));
        cases[i].Fill(element.Get());
        const std::optional<std::string_view> view = element->TextView();
        ASSERT_EQ(view.has_value(), cases[i].Viewed) << i;
        EXPECT_EQ(element->GetText(), cases[i].Text) << i;
        if (!view) continue;
        EXPECT_EQ(*view, cases[i].Text) << i;
        // The bytes of the node itself, not a copy of them.
        if (element->FirstChild() != nullptr) {
            EXPECT_EQ(view->data(), static_cast<TXmlDCharacterData*>(element->FirstChild())->Data.data()) << i;
        }
    }
}

TEST(XmlDomKinds, CloneNodeCopiesNameAndValueOnly) {
    TRef<TXmlDElement> e(new TXmlDElement("E"));
    e->SetAttribute("a", "1");
    e->AppendChild(new TXmlDText("t"));
    TRef<TXmlDNode> ce(e->CloneNode());
    EXPECT_EQ(ce->RefCount, 1);
    EXPECT_EQ(ce->GetXml(), "<E/>");
    ExpectDetached(ce.Get());

    TRef<TXmlDDocument> doc(new TXmlDDocument());
    doc->PreserveWhiteSpace = true;
    doc->AppendChild(new TXmlDElement("r"));
    TRef<TXmlDNode> cd(doc->CloneNode());
    EXPECT_EQ(cd->NodeType(), ntDocument);
    EXPECT_TRUE(static_cast<TXmlDDocument*>(cd.Get())->PreserveWhiteSpace);
    EXPECT_FALSE(cd->HasChildNodes());

    auto* attribute = new TXmlDAttribute("n");
    attribute->Value = "v&";
    TRef<TXmlDNode> hold(attribute);
    TXmlDNode* sources[] = {attribute,
                            new TXmlDText("x<"),
                            new TXmlDCDATASection("c"),
                            new TXmlDComment("m"),
                            new TXmlDProcessingInstruction("p", "d"),
                            new TXmlDDocumentType("dt")};
    for (TXmlDNode* source : sources) {
        TRef<TXmlDNode> s(source);
        TRef<TXmlDNode> c(source->CloneNode());
        EXPECT_NE(c.Get(), s.Get());
        EXPECT_EQ(c->NodeType(), s->NodeType());
        EXPECT_EQ(c->NodeName(), s->NodeName());
        EXPECT_EQ(c->GetNodeValue(), s->GetNodeValue());
        EXPECT_EQ(c->GetXml(), s->GetXml());
    }
}

// --- rendering ---

TEST(XmlDomRender, EscapingPerKind) {
    const std::string special = "&<>\"'&amp;";
    const std::string escaped = "&amp;&lt;&gt;&quot;&apos;&amp;amp;";
    struct Case {
        TXmlDNode* node;
        std::string xml;
    };
    auto* attribute = new TXmlDAttribute("n&");
    attribute->Value = special;
    const Case cases[] = {
        {attribute, "n&=\"" + escaped + "\""},
        {new TXmlDText(special), escaped},
        {new TXmlDCDATASection(special), "<![CDATA[" + special + "]]>"},
        {new TXmlDComment("--" + special), "<!--" + std::string("--") + special + "-->"},
        {new TXmlDProcessingInstruction("t", special), "<?t " + special + "?>"},
        {new TXmlDDocumentType("d&"), "<!DOCTYPE d& []>"},
        {new TXmlDElement("e"), "<e/>"},
        {new TXmlDDocument(), ""},
    };
    for (const Case& c : cases) {
        TRef<TXmlDNode> hold(c.node);
        EXPECT_EQ(c.node->GetXml(), c.xml);
        std::string out = "prefix";
        c.node->AppendXml(out);
        EXPECT_EQ(out, "prefix" + c.xml);
    }
}

TEST(XmlDomRender, DocumentTypeWithChildrenAndEmptyText) {
    TRef<TXmlDDocumentType> t(new TXmlDDocumentType("root"));
    t->AppendChild(new TXmlDComment("c"));
    t->AppendChild(new TXmlDProcessingInstruction("p", "q"));
    EXPECT_EQ(t->GetXml(), "<!DOCTYPE root [<!--c--><?p q?>]>");
    TRef<TXmlDElement> e(new TXmlDElement("e"));
    e->AppendChild(new TXmlDText(""));
    EXPECT_EQ(e->GetXml(), "<e></e>");
}

TEST(XmlDomRender, NewRepositoryAndOneTemplate) {
    TRef<TXmlDDocument> repository(new TXmlDDocument());
    auto* root = new TXmlDElement("Document");
    auto* description = new TXmlDAttribute("desctiption");
    description->Value = Cp1251("Список контролов Тессар");
    root->SetAttributeNode(description);
    repository->AppendChild(root);
    EXPECT_EQ(repository->GetXml(),
              Cp1251("<Document desctiption=\"Список контролов Тессар\"/>"));

    auto* groop = new TXmlDElement("Groops");
    groop->SetAttribute("name", Cp1251("Форма"));
    groop->AppendChild(new TXmlDElement("Controls"));
    groop->AppendChild(new TXmlDElement("Module"));
    repository->DocumentElement()->AppendChild(groop);
    groop->FirstChild()->NextSibling()->SetText(Cp1251("Процедура"));
    EXPECT_EQ(repository->GetXml(),
              Cp1251("<Document desctiption=\"Список контролов Тессар\"><Groops name=\"Форма\">"
                     "<Controls/><Module>Процедура</Module></Groops></Document>"));
    EXPECT_EQ(groop->FirstChild()->GetText(), "");
    EXPECT_EQ(groop->FirstChild()->NextSibling()->GetText(), Cp1251("Процедура"));
}

TEST(XmlDomRender, EscapedExampleDocument) {
    TRef<TXmlDDocument> doc(new TXmlDDocument());
    auto* document = new TXmlDElement("Document");
    document->SetAttribute("desctiption", "a&b");
    doc->AppendChild(document);
    auto* groops = new TXmlDElement("Groops");
    groops->SetAttribute("name", "x");
    document->AppendChild(groops);
    groops->AppendChild(new TXmlDElement("Controls"));
    auto* module = new TXmlDElement("Module");
    groops->AppendChild(module);
    module->AppendChild(new TXmlDText("a<b"));
    EXPECT_EQ(doc->GetXml(),
              "<Document desctiption=\"a&amp;b\"><Groops name=\"x\"><Controls/>"
              "<Module>a&lt;b</Module></Groops></Document>");
}

// --- ownership and depth ---

TEST(XmlDomOwnership, ReleasingTheDocumentFreesEveryNode) {
    const int before = CountedText::Alive;
    TRef<TXmlDNode> survivor;
    {
        TRef<TXmlDDocument> doc(new TXmlDDocument());
        auto* root = new TXmlDElement("r");
        doc->AppendChild(root);
        for (int i = 0; i < 100; ++i) {
            auto* e = new TXmlDElement("e");
            root->AppendChild(e);
            e->AppendChild(new CountedText("x"));
        }
        survivor.Reset(root->LastChild()->FirstChild());
        EXPECT_EQ(CountedText::Alive, before + 100);
    }
    EXPECT_EQ(CountedText::Alive, before + 1);
    ExpectDetached(survivor.Get());  // its dead parent is not referenced any more
    survivor.Reset();
    EXPECT_EQ(CountedText::Alive, before);
}

TEST(XmlDomOwnership, MillionDeepTreeRendersAndFrees) {
    constexpr int kDepth = 1000000;
    const int before = CountedText::Alive;
    TRef<TXmlDDocument> doc(new TXmlDDocument());
    TXmlDNode* parent = doc.Get();
    for (int i = 0; i < kDepth; ++i) {
        auto* e = new TXmlDElement("e");
        parent->AppendChild(e);
        if (i == 0) e->SetAttribute("a", "1");
        parent = e;
    }
    parent->AppendChild(new CountedText("&"));

    const std::string xml = doc->GetXml();
    EXPECT_EQ(xml.size(), kDepth * 7u + 6 + 5);  // "<e>" + "</e>" per level, attribute, "&amp;"
    EXPECT_EQ(xml.substr(0, 15), "<e a=\"1\"><e><e>");
    EXPECT_EQ(xml.find("<e>&amp;</e></e>"), 3u * (kDepth - 1) + 6);
    EXPECT_EQ(xml.substr(xml.size() - 8), "</e></e>");
    EXPECT_EQ(doc->GetText(), "&");
    EXPECT_EQ(doc->DocumentElement()->GetText(), "&");

    doc.Reset();
    EXPECT_EQ(CountedText::Alive, before);
}

// --- rendering against a plain reference ---

namespace {

// The rendering rules written the plain way (recursion, concatenation), to check the writer.
std::string ReferenceXml(TXmlDNode* node) {
    std::string children;
    for (TXmlDNode* c = node->FirstChild(); c != nullptr; c = c->NextSibling())
        children += ReferenceXml(c);
    switch (node->NodeType()) {
        case ntDocument: return children;
        case ntDocumentType: return "<!DOCTYPE " + node->NodeName() + " [" + children + "]>";
        case ntAttribute:
            return node->NodeName() + "=\"" + EscapeXml(node->GetNodeValue()) + "\"";
        case ntText: return EscapeXml(node->GetNodeValue());
        case ntCDATASection: return "<![CDATA[" + node->GetNodeValue() + "]]>";
        case ntComment: return "<!--" + node->GetNodeValue() + "-->";
        case ntProcessingInstruction:
            return "<?" + node->NodeName() + " " + node->GetNodeValue() + "?>";
        case ntElement: {
            std::string out = "<" + node->NodeName();
            TXmlDNamedNodeMap* map = node->Attributes();
            for (int i = 0; i < map->Count(); ++i) out += " " + ReferenceXml(map->Item(i));
            if (!node->HasChildNodes()) return out + "/>";
            return out + ">" + children + "</" + node->NodeName() + ">";
        }
        default: return "?";
    }
}

std::string ReferenceText(TXmlDNode* node) {
    std::string out;
    for (TXmlDNode* c = node->FirstChild(); c != nullptr; c = c->NextSibling()) {
        if (c->NodeType() == ntElement) out += ReferenceText(c);
        if (c->NodeType() == ntText || c->NodeType() == ntCDATASection) out += c->GetNodeValue();
    }
    return out;
}

// Texts of every length class, rich in the five special characters and in bytes above 127.
std::string RandomText(std::mt19937& rng) {
    static const char alphabet[] = "&<>\"'ab \r\n\xC0\xFF";
    const unsigned r = rng() % 100;
    const size_t length = r < 10 ? 0 : r < 80 ? rng() % 40 : r < 98 ? rng() % 3000 : 300000;
    std::string s(length, ' ');
    for (char& c : s) c = alphabet[rng() % (sizeof alphabet - 1)];
    return s;
}

TXmlDElement* RandomElement(std::mt19937& rng, int depth) {
    auto* e = new TXmlDElement(depth % 2 ? "Groops" : "e");
    for (unsigned a = rng() % 3; a > 0; --a) {
        std::string name(1, 'a');
        name += std::to_string(a);
        e->SetAttribute(name, RandomText(rng));
    }
    const unsigned children = depth < 6 ? rng() % 6 : 0;
    for (unsigned i = 0; i < children; ++i) {
        switch (rng() % 6) {
            case 0: e->AppendChild(RandomElement(rng, depth + 1)); break;
            case 1: e->AppendChild(new TXmlDCDATASection(RandomText(rng))); break;
            case 2: e->AppendChild(new TXmlDComment(RandomText(rng))); break;
            case 3: e->AppendChild(new TXmlDProcessingInstruction("p", RandomText(rng))); break;
            default: e->AppendChild(new TXmlDText(RandomText(rng))); break;
        }
    }
    return e;
}

}  // namespace

// A document of several megabytes is rendered into fresh room: the same bytes as the stream,
// whole or appended.
TEST(XmlDomRender, LargeDocumentIntoFreshRoom) {
    TRef<TXmlDDocument> doc(new TXmlDDocument());
    auto* root = new TXmlDElement("r");
    doc->AppendChild(root);
    std::string text;
    for (int i = 0; i < 1200000; ++i) text += i % 7 == 0 ? "\"&'<>" : "\xE0" "bc";
    root->AppendChild(new TXmlDText(text));
    TMemoryStream stream;
    doc->WriteXmlToStream(&stream);
    ASSERT_GT(stream.GetBytes().size(), size_t{6} << 20);
    EXPECT_TRUE(doc->GetXml() == stream.GetBytes());
    std::string appended(3, 'h');
    doc->AppendXml(appended);
    EXPECT_TRUE(appended == "hhh" + stream.GetBytes());
}

TEST(XmlDomRender, RandomTreesMatchTheReference) {
    for (unsigned seed = 1; seed <= 12; ++seed) {
        std::mt19937 rng(seed);
        TRef<TXmlDDocument> doc(new TXmlDDocument());
        doc->AppendChild(new TXmlDComment("c"));
        auto* type = new TXmlDDocumentType("t");
        type->AppendChild(new TXmlDProcessingInstruction("x", RandomText(rng)));
        doc->AppendChild(type);
        doc->AppendChild(RandomElement(rng, 0));

        const std::string expected = ReferenceXml(doc.Get());
        EXPECT_EQ(doc->GetXml(), expected) << seed;
        std::string appended = "head";
        doc->AppendXml(appended);
        EXPECT_EQ(appended, "head" + expected) << seed;
        TMemoryStream stream;
        doc->WriteXmlToStream(&stream);
        EXPECT_EQ(stream.GetBytes(), expected) << seed;
        EXPECT_EQ(doc->GetText(), ReferenceText(doc->DocumentElement())) << seed;
        TXmlDNode* inner = doc->DocumentElement()->LastChild();
        if (inner != nullptr) {
            EXPECT_EQ(inner->GetXml(), ReferenceXml(inner)) << seed;
        }
    }
}
