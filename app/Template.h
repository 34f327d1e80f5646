// What a template is in the repository document: an element child of the root element
// (whatever its tag), named by its name attribute, holding the controls data in its first
// element child and the module text in the element after that. Comments, processing
// instructions and texts between the templates or their parts belong to no template; they
// stay in the document and are written back.
#pragma once

#include <string>
#include <string_view>

#include "xml/XXmlDom.h"

namespace tessara {

// A template's name, controls data and module text; a part the element lacks is empty.
struct TTemplateContent {
    std::string Name;
    std::string Controls;
    std::string Module;
    friend bool operator==(const TTemplateContent&, const TTemplateContent&) = default;
};

// The first template under Root, or null; null Root has none.
TXmlDElement* FirstTemplate(const TXmlDNode* root) noexcept;
// The template after Templ among its siblings, or null.
TXmlDElement* NextTemplate(const TXmlDNode* templ) noexcept;

// The templates under a root, for a range-for: for (TXmlDElement* templ : Templates(root)).
class Templates {
public:
    explicit Templates(const TXmlDNode* root) noexcept : Root(root) {}
    class iterator {
    public:
        explicit iterator(TXmlDElement* at) noexcept : At(at) {}
        TXmlDElement* operator*() const noexcept { return At; }
        iterator& operator++() noexcept {
            At = NextTemplate(At);
            return *this;
        }
        bool operator!=(const iterator& other) const noexcept { return At != other.At; }

    private:
        TXmlDElement* At;
    };
    iterator begin() const noexcept { return iterator(FirstTemplate(Root)); }
    iterator end() const noexcept { return iterator(nullptr); }

private:
    const TXmlDNode* Root;
};

// The name attribute's value without a copy; empty when it has none (or for null).
std::string_view TemplateName(TXmlDElement* templ);
// The element that holds the controls data, and the one that holds the module text; null
// when the template lacks it.
TXmlDElement* TemplateControls(const TXmlDElement* templ) noexcept;
TXmlDElement* TemplateModule(const TXmlDElement* templ) noexcept;
// The text of a part where it is stored, or put together in Storage; empty for null.
std::string_view PartText(const TXmlDElement* part, std::string& storage);

TTemplateContent ContentOf(TXmlDElement& templ);
// A new detached template holding Content, with its name attribute and both parts (a part
// with an empty text has no children).
TRef<TXmlDElement> NewTemplate(const TTemplateContent& content);

}  // namespace tessara
