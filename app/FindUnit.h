// Finding templates by what the user types: the letters folded as Windows-1251 folds them,
// the words of the search matched against each template's name and module text.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Charset.h"

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
    // Per item, Words numbers: for each word of the search, where in the item's module text
    // it was first found, or 0xFFFFFFFF when it was found in the name. A longer word that
    // begins with it cannot be found before that place (nor in the name when it was not).
    std::vector<uint32_t> Found;
    size_t Words = 0;

    // The same positions in repository order (the two groups merged).
    std::vector<uint32_t> InRepositoryOrder() const;
};

// The templates of a repository, with their names and module texts folded once, so that a
// keystroke's search only compares bytes. Holds plain links to the template elements: it is
// built again after every change of the document, and until then its links are not followed.
class TFindIndex {
public:
    // The element children of Root, in order; a null root gives an empty index. What an
    // earlier build folded is taken over for every template whose name and module text are
    // those of one it had (by their hash), so that after a change only the changed templates
    // are folded again.
    void Build(const TXmlDElement* root);
    void Clear();
    // How often each byte occurs in the folded texts of the templates (each template's own).
    const std::array<uint64_t, 256>& ByteCounts() const noexcept { return Counts; }

    size_t Count() const noexcept { return Entries.size(); }
    TXmlDElement* Template(size_t position) const { return Entries.at(position).Template; }

    // An empty search (or one of blanks only) finds every template, all in the name group.
    TFindResult Match(std::string_view search) const;
    // The same, looking only at Candidates (positions in ascending order).
    TFindResult Match(std::string_view search, const std::vector<uint32_t>& candidates) const;
    // The same, looking only at what Previous found, for a search that begins with the text
    // of the previous one: its first words begin with the previous words, so each is looked
    // for from where that one was found.
    TFindResult Narrow(std::string_view search, const TFindResult& previous) const;

private:
    struct TEntry {
        TXmlDElement* Template;
        size_t NameBegin, ModuleBegin, End;  // in Folded
        uint64_t Source;                     // the hash of the name and module text it was folded from
    };
    struct TCandidate {
        uint32_t Position;
        const uint32_t* Found;  // the previous search's places for it, or null
    };
    // Extended: how many first words extend the words whose places the candidates carry.
    TFindResult MatchAt(std::string_view search, const std::vector<TCandidate>& candidates,
                        size_t extended) const;

    // A build from nothing; the one that takes over what it can calls it when the folded
    // texts no longer used outweigh the ones used.
    void BuildAfresh(const TXmlDElement* root);
    // Folds a template's texts onto Folded and makes its signature there.
    TEntry Fold(TXmlDElement* templ, std::string_view name, std::string_view module, uint64_t source,
                uint64_t* signature);
    // The folded name and module text of an entry, one after the other.
    std::string_view FoldedTexts(const TEntry& entry) const;

    std::vector<TEntry> Entries;
    // Every name and module text, folded, one after another; after a build that took some
    // over, also texts no template uses any more (Unused bytes of them).
    std::string Folded;
    size_t Unused = 0;
    // Per template, kSignatureWords words of bits: which bytes its name and module text hold,
    // and (hashed) which pairs of adjacent bytes. A word whose bytes or pairs are missing is
    // not looked for in its texts at all.
    std::vector<uint64_t> Signatures;
    std::array<uint64_t, 256> Counts{};  // how often each byte occurs in the entries' texts
};

// The search as the user types it. A text that extends the previous one is looked for only
// among what that one found, each word from where its beginning was found; the results of
// the shorter texts typed on the way are kept, so that erasing back to one of them costs
// nothing.
class TFindSearch {
public:
    // The index of Root's templates, and every template found (the empty search).
    void Build(const TXmlDElement* root);
    // Drops the results after a change of the document. The index keeps what it folded for
    // the next Build; until then its links are not followed.
    void Forget();
    const TFindResult& Update(const std::string& search);

    const TFindIndex& Index() const noexcept { return Templates; }
    const TFindResult& Found() const noexcept { return Steps.back().Result; }
    const std::string& Search() const noexcept { return Steps.back().Text; }

private:
    struct TStep {
        std::string Text;
        TFindResult Result;
    };
    static constexpr size_t kKeptSteps = 32;
    TFindIndex Templates;
    // Each text begins with the one before it; the last is the current search.
    std::vector<TStep> Steps{TStep{}};
};

}  // namespace tessara
