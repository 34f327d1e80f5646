// Finding templates by what the user types: the letters folded as Windows-1251 folds them,
// the words of the search matched against each template's name and module text.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tessara {

class TXmlDElement;

// A 1251 byte as the search compares it: capital letters (Latin, Cyrillic and the other
// letters of the code page) become small, and "ё"/"Ё" become "е", as users type them.
unsigned char FoldLetter(unsigned char c) noexcept;
std::string FoldText(std::string_view text);

// The first line of a template's module text (up to its first line break, at most 255 bytes),
// as a row of the find window shows it; empty when the template has no module element.
std::string ModuleFirstLine(const TXmlDElement* templ);

// The words of a search, folded: split at spaces and tabs, empty ones dropped.
std::vector<std::string> SearchWords(std::string_view search);

// The templates a search finds, as positions in the index: first those whose name holds
// every word, then those that hold every word in the name or the module text, each group in
// repository order.
struct TFindResult {
    std::vector<uint32_t> Items;
    size_t NameMatches = 0;

    // The same positions in repository order (the two groups merged).
    std::vector<uint32_t> InRepositoryOrder() const;
};

// The templates of a repository, with their names and module texts folded once, so that a
// keystroke's search only compares bytes. Holds plain links to the template elements: it is
// built again after every change of the document.
class TFindIndex {
public:
    // The element children of Root, in order; a null root gives an empty index.
    void Build(const TXmlDElement* root);
    void Clear();

    size_t Count() const noexcept { return Entries.size(); }
    TXmlDElement* Template(size_t position) const { return Entries.at(position).Template; }

    // An empty search (or one of blanks only) finds every template, all in the name group.
    TFindResult Match(std::string_view search) const;
    // The same, looking only at Candidates (positions in ascending order): a search that
    // extends the previous one needs to look only at what that one found.
    TFindResult Match(std::string_view search, const std::vector<uint32_t>& candidates) const;

private:
    struct TEntry {
        TXmlDElement* Template;
        size_t NameBegin, ModuleBegin, End;  // in Folded
    };
    template <class Positions>
    TFindResult MatchAt(std::string_view search, const Positions& positions) const;

    std::vector<TEntry> Entries;
    std::string Folded;  // every name and module text, folded, one after another
};

}  // namespace tessara
