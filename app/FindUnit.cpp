#include "app/FindUnit.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <deque>
#include <functional>

#include "app/Texts.h"
#include "xml/XXmlDom.h"

namespace tessara {
namespace {

using TFoldTable = std::array<unsigned char, 256>;

TFoldTable MakeFoldTable() {
    TFoldTable table{};
    for (int c = 0; c < 256; ++c) table[static_cast<size_t>(c)] = static_cast<unsigned char>(c);
    auto pair = [&](int capital, int small) { table[static_cast<size_t>(capital)] = static_cast<unsigned char>(small); };
    for (int c = 'A'; c <= 'Z'; ++c) pair(c, c + 0x20);
    for (int c = 0xC0; c <= 0xDF; ++c) pair(c, c + 0x20);  // А..Я
    // The other letters of the code page, capital and small, as CharLower pairs them.
    const int others[][2] = {{0x80, 0x90}, {0x81, 0x83}, {0x8A, 0x9A}, {0x8C, 0x9C},
                             {0x8D, 0x9D}, {0x8E, 0x9E}, {0x8F, 0x9F}, {0xA1, 0xA2},
                             {0xA3, 0xBC}, {0xA5, 0xB4}, {0xAA, 0xBA}, {0xAF, 0xBF},
                             {0xB2, 0xB3}, {0xBD, 0xBE}};
    for (const auto& p : others) pair(p[0], p[1]);
    // "Ё" and "ё" are typed as "е" as often as not.
    pair(0xA8, 0xE5);
    pair(0xB8, 0xE5);
    return table;
}

const TFoldTable& FoldTable() {
    static const TFoldTable table = MakeFoldTable();
    return table;
}

void AppendFolded(std::string& out, std::string_view text) {
    const TFoldTable& table = FoldTable();
    const size_t start = out.size();
    out.resize(start + text.size());
    char* to = out.data() + start;
    for (const char c : text) *to++ = static_cast<char>(table[static_cast<unsigned char>(c)]);
}

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// The module text's element: the template's second element child (the first holds the
// controls), or null.
const TXmlDNode* ModuleElement(const TXmlDElement* templ) {
    int elements = 0;
    for (const TXmlDNode* child = templ->FirstChild(); child != nullptr; child = child->NextSibling())
        if (child->NodeType() == ntElement && ++elements == 2) return child;
    return nullptr;
}

// One word of a search, ready to be looked for in many texts.
class TWord {
public:
    explicit TWord(const std::string& word)
        : Word(word), Searcher(Word.begin(), Word.end()) {}
    // The searcher points into Word.
    TWord(const TWord&) = delete;
    TWord& operator=(const TWord&) = delete;

    bool In(const char* begin, const char* end) const {
        if (static_cast<size_t>(end - begin) < Word.size()) return false;
        if (Word.size() == 1)
            return std::memchr(begin, Word[0], static_cast<size_t>(end - begin)) != nullptr;
        return Searcher(begin, end).first != end;
    }

private:
    std::string Word;
    std::boyer_moore_horspool_searcher<std::string::const_iterator> Searcher;
};

// Positions 0 .. N-1 without a vector of them.
struct TAllPositions {
    uint32_t N;
    struct Iterator {
        uint32_t I;
        uint32_t operator*() const { return I; }
        Iterator& operator++() { ++I; return *this; }
        bool operator!=(const Iterator& other) const { return I != other.I; }
    };
    Iterator begin() const { return {0}; }
    Iterator end() const { return {N}; }
};

}  // namespace

unsigned char FoldLetter(unsigned char c) noexcept { return FoldTable()[c]; }

std::string FoldText(std::string_view text) {
    std::string out;
    AppendFolded(out, text);
    return out;
}

std::string ModuleFirstLine(const TXmlDElement* templ) {
    const TXmlDNode* module = ModuleElement(templ);
    if (module == nullptr) return std::string();
    std::string text;
    module->AppendText(text);
    const size_t end = std::min<size_t>(text.find_first_of("\r\n"), 255);
    text.resize(std::min(end, text.size()));
    return text;
}

std::vector<std::string> SearchWords(std::string_view search) {
    std::vector<std::string> words;
    size_t i = 0;
    while (i < search.size()) {
        while (i < search.size() && IsBlank(search[i])) ++i;
        const size_t start = i;
        while (i < search.size() && !IsBlank(search[i])) ++i;
        if (i > start) words.push_back(FoldText(search.substr(start, i - start)));
    }
    return words;
}

std::vector<uint32_t> TFindResult::InRepositoryOrder() const {
    std::vector<uint32_t> out(Items.size());
    const auto middle = Items.begin() + static_cast<std::ptrdiff_t>(NameMatches);
    std::merge(Items.begin(), middle, middle, Items.end(), out.begin());
    return out;
}

void TFindIndex::Clear() {
    Entries.clear();
    Folded.clear();
}

void TFindIndex::Build(const TXmlDElement* root) {
    Clear();
    if (root == nullptr) return;
    const std::string& nameAttribute = Texts().NameAttribute;
    std::string text;
    for (TXmlDNode* child = root->FirstChild(); child != nullptr; child = child->NextSibling()) {
        if (child->NodeType() != ntElement) continue;
        auto* templ = static_cast<TXmlDElement*>(child);
        TEntry entry{templ, Folded.size(), 0, 0};
        AppendFolded(Folded, templ->GetAttribute(nameAttribute, std::string()));
        entry.ModuleBegin = Folded.size();
        if (const TXmlDNode* module = ModuleElement(templ)) {
            text.clear();
            module->AppendText(text);
            AppendFolded(Folded, text);
        }
        entry.End = Folded.size();
        Entries.push_back(entry);
    }
}

TFindResult TFindIndex::Match(std::string_view search) const {
    return MatchAt(search, TAllPositions{static_cast<uint32_t>(Entries.size())});
}

TFindResult TFindIndex::Match(std::string_view search, const std::vector<uint32_t>& candidates) const {
    return MatchAt(search, candidates);
}

template <class Positions>
TFindResult TFindIndex::MatchAt(std::string_view search, const Positions& positions) const {
    std::deque<TWord> words;  // never moved once made
    for (const std::string& word : SearchWords(search)) words.emplace_back(word);
    TFindResult result;
    std::vector<uint32_t> inModule;
    const char* folded = Folded.data();
    for (const uint32_t position : positions) {
        if (position >= Entries.size()) continue;
        const TEntry& e = Entries[position];
        bool allInName = true, all = true;
        for (const TWord& word : words) {
            if (word.In(folded + e.NameBegin, folded + e.ModuleBegin)) continue;
            allInName = false;
            if (!word.In(folded + e.ModuleBegin, folded + e.End)) {
                all = false;
                break;
            }
        }
        if (allInName) result.Items.push_back(position);
        else if (all) inModule.push_back(position);
    }
    result.NameMatches = result.Items.size();
    result.Items.insert(result.Items.end(), inModule.begin(), inModule.end());
    return result;
}

}  // namespace tessara
