#include "app/FindUnit.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <deque>
#include <utility>

#include "app/ByteHash.h"
#include "app/Template.h"

namespace tessara {
namespace {

using TFoldTable = std::array<unsigned char, 256>;

// The code page's small letters, and "Ё" and "ё" made "е": they are typed as "е" as often as not.
const TFoldTable& FoldTable() {
    static const TFoldTable table = [] {
        TFoldTable folded{};
        for (size_t c = 0; c < 256; ++c) folded[c] = SmallLetter(static_cast<unsigned char>(c));
        folded[0xA8] = folded[0xB8] = 0xE5;
        return folded;
    }();
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

// A template's signature: 256 bits for the bytes it holds, then kPairBits bits for the
// hashed pairs of adjacent bytes.
constexpr size_t kByteWords = 256 / 64;
constexpr size_t kPairBits = 2048;
constexpr size_t kSignatureWords = kByteWords + kPairBits / 64;

size_t PairBit(unsigned char first, unsigned char second) {
    const uint32_t pair = (static_cast<uint32_t>(first) << 8) | second;
    return kByteWords * 64 + ((pair * 2654435761u) >> 21);  // the top 11 bits: 0 .. 2047
}

void SetBit(uint64_t* signature, size_t bit) { signature[bit / 64] |= uint64_t{1} << (bit % 64); }

void AddToSignature(uint64_t* signature, std::string_view folded) {
    // The bytes are marked one to a byte and packed into their 256 bits at the end: set in
    // place, the bit of each byte would wait on the bit set just before it, since most bytes
    // of a text fall in one of the four words (every small Cyrillic letter in the last). The
    // pairs spread over many words and are set in place.
    const size_t n = folded.size();
    if (n == 0) return;
    const auto* p = reinterpret_cast<const unsigned char*>(folded.data());
    uint8_t seen[256] = {};
    for (size_t i = 0; i + 1 < n; ++i) {
        seen[p[i]] = 1;
        SetBit(signature, PairBit(p[i], p[i + 1]));
    }
    seen[p[n - 1]] = 1;
    for (size_t word = 0; word < kByteWords; ++word) {
        uint64_t bits = 0;
        for (size_t k = 0; k < 8; ++k) {
            // Eight marks, one to a byte from the lowest up (one load where the processor is
            // little-endian); the multiplication gathers them into the top byte.
            const uint8_t* m = seen + word * 64 + k * 8;
            uint64_t eight = 0;
            for (size_t b = 0; b < 8; ++b) eight |= uint64_t{m[b]} << (8 * b);
            bits |= ((eight * 0x0102040810204080u) >> 56) << (k * 8);
        }
        signature[word] |= bits;
    }
}

// In TFindResult::Found: the word was found in the name.
constexpr uint32_t kInName = 0xFFFFFFFF;

// How many candidates ahead their texts are asked for.
constexpr size_t kPrefetchAhead = 8;

inline void Prefetch(const void* p) {
#if defined(__GNUC__)
    __builtin_prefetch(p);
#else
    (void)p;
#endif
}

// One word of a search, ready to be looked for in many texts.
class TWord {
public:
    // Counts: how often each byte occurs in the index's texts.
    TWord(const std::string& word, const std::array<uint64_t, 256>& counts) : Word(word) {
        // The word is looked for by its rarest byte, which memchr finds many bytes a step.
        for (size_t i = 1; i < Word.size(); ++i)
            if (counts[static_cast<unsigned char>(Word[i])] < counts[static_cast<unsigned char>(Word[Rare])])
                Rare = i;
        Needed = Bits(Word);
        NeededByEnd = Bits(std::string_view(Word).substr(Word.size() < 2 ? 0 : Word.size() - 2));
    }
    TWord(const TWord&) = delete;
    TWord& operator=(const TWord&) = delete;

    // False when the template cannot hold the word: a byte or a pair of it is missing. A
    // word that extends one found in the template needs only its last pair looked at.
    bool MayBeIn(const uint64_t* signature, bool extendsFound) const {
        for (const auto& [index, bits] : extendsFound ? NeededByEnd : Needed)
            if ((signature[index] & bits) != bits) return false;
        return true;
    }

    // The word's first place in [Begin, End), or null.
    const char* Find(const char* begin, const char* end) const {
        const size_t n = Word.size();
        if (static_cast<size_t>(end - begin) < n) return nullptr;
        // Where a word that this one extends was found, this one mostly is too.
        if (At(begin)) return begin;
        const char rare = Word[Rare];
        const char* last = end - n;  // the last place the word can start
        for (const char* p = begin + 1 + Rare; p <= last + Rare; ++p) {
            p = static_cast<const char*>(std::memchr(p, rare, static_cast<size_t>(last + Rare - p) + 1));
            if (p == nullptr) return nullptr;
            if (At(p - Rare)) return p - Rare;
        }
        return nullptr;
    }

    // The word at P (which has its length of bytes), compared in line: most places differ
    // at the first or second byte.
    bool At(const char* p) const {
        for (size_t i = 0; i < Word.size(); ++i)
            if (p[i] != Word[i]) return false;
        return true;
    }

private:
    std::string Word;
    size_t Rare = 0;  // the index of the word's rarest byte
    using TBits = std::vector<std::pair<size_t, uint64_t>>;  // signature words and their bits
    static TBits Bits(std::string_view text) {
        uint64_t bits[kSignatureWords] = {};
        AddToSignature(bits, text);
        TBits out;
        for (size_t i = 0; i < kSignatureWords; ++i)
            if (bits[i] != 0) out.push_back({i, bits[i]});
        return out;
    }
    TBits Needed, NeededByEnd;
};

}  // namespace

unsigned char FoldLetter(unsigned char c) noexcept { return FoldTable()[c]; }

std::string FoldText(std::string_view text) {
    std::string out;
    AppendFolded(out, text);
    return out;
}

std::string ModuleFirstLine(const TXmlDElement* templ) {
    const TXmlDNode* module = TemplateModule(templ);
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

namespace {

// The indexes into Items of a result's two groups merged, in repository order.
std::vector<uint32_t> MergedOrder(const TFindResult& result) {
    std::vector<uint32_t> order;
    order.reserve(result.Items.size());
    size_t name = 0, module = result.NameMatches;
    while (name < result.NameMatches || module < result.Items.size()) {
        const bool takeName = module == result.Items.size() ||
                              (name < result.NameMatches && result.Items[name] < result.Items[module]);
        order.push_back(static_cast<uint32_t>(takeName ? name++ : module++));
    }
    return order;
}

}  // namespace

std::vector<uint32_t> TFindResult::InRepositoryOrder() const {
    std::vector<uint32_t> out;
    out.reserve(Items.size());
    for (const uint32_t k : MergedOrder(*this)) out.push_back(Items[k]);
    return out;
}

void TFindIndex::Clear() {
    Entries.clear();
    Folded.clear();
    Unused = 0;
    Signatures.clear();
    Counts.fill(0);
}

namespace {

// The texts of a template as the index takes them: its name, and its module text (read where
// it is stored, or put together in Storage).
struct TTemplateTexts {
    std::string_view Name, Module;
    uint64_t Source;  // a hash of both (each hash takes in its text's length)
};

// The module text where it is stored, or put together in Storage; empty without a module.
std::string_view ModuleText(const TXmlDElement* templ, std::string& storage) {
    return PartText(TemplateModule(templ), storage);
}

TTemplateTexts TextsOf(TXmlDElement* templ, std::string& storage) {
    TTemplateTexts texts{TemplateName(templ), ModuleText(templ, storage), 0};
    texts.Source = HashBytes(texts.Name) * 0x9E3779B97F4A7C15u ^ HashBytes(texts.Module);
    return texts;
}

}  // namespace

TFindIndex::TEntry TFindIndex::Fold(TXmlDElement* templ, std::string_view name, std::string_view module,
                                    uint64_t source, uint64_t* signature) {
    TEntry entry{templ, Folded.size(), 0, 0, source};
    AppendFolded(Folded, name);
    entry.ModuleBegin = Folded.size();
    AppendFolded(Folded, module);
    entry.End = Folded.size();
    const std::string_view all(Folded);
    AddToSignature(signature, all.substr(entry.NameBegin, entry.ModuleBegin - entry.NameBegin));
    AddToSignature(signature, all.substr(entry.ModuleBegin, entry.End - entry.ModuleBegin));
    return entry;
}

namespace {

// How often each byte occurs in some folded texts: four tables in turn, so that a run of one
// byte does not wait on its own count.
struct TByteTally {
    std::array<std::array<uint64_t, 256>, 4> Tables{};

    void Add(std::string_view text) {
        const auto* p = reinterpret_cast<const unsigned char*>(text.data());
        size_t i = 0;
        for (; i + 4 <= text.size(); i += 4) {
            ++Tables[0][p[i]];
            ++Tables[1][p[i + 1]];
            ++Tables[2][p[i + 2]];
            ++Tables[3][p[i + 3]];
        }
        for (; i < text.size(); ++i) ++Tables[0][p[i]];
    }
    uint64_t Of(size_t c) const { return Tables[0][c] + Tables[1][c] + Tables[2][c] + Tables[3][c]; }
};

}  // namespace

std::string_view TFindIndex::FoldedTexts(const TEntry& entry) const {
    return std::string_view(Folded).substr(entry.NameBegin, entry.End - entry.NameBegin);
}

void TFindIndex::BuildAfresh(const TXmlDElement* root) {
    Clear();
    if (root == nullptr) return;
    // The folded copy is made at its final size: a first pass measures, so that a large
    // repository is not grown by reallocation.
    std::string storage;  // a text that is not stored in one piece
    size_t templates = 0, bytes = 0;
    for (TXmlDElement* templ : Templates(root)) {
        ++templates;
        bytes += TemplateName(templ).size() + ModuleText(templ, storage).size();
    }
    Entries.reserve(templates);
    Signatures.reserve(templates * kSignatureWords);
    Folded.reserve(bytes);
    for (TXmlDElement* templ : Templates(root)) {
        const TTemplateTexts texts = TextsOf(templ, storage);
        Signatures.resize(Signatures.size() + kSignatureWords);
        Entries.push_back(Fold(templ, texts.Name, texts.Module, texts.Source,
                               Signatures.data() + Signatures.size() - kSignatureWords));
    }
    TByteTally tally;
    tally.Add(Folded);
    for (size_t c = 0; c < 256; ++c) Counts[c] = tally.Of(c);
}

void TFindIndex::Build(const TXmlDElement* root) {
    if (Entries.empty() || root == nullptr) {
        BuildAfresh(root);
        return;
    }
    // The earlier entries by the hash of their texts; each is taken over at most once.
    std::vector<std::pair<uint64_t, size_t>> earlier(Entries.size());
    for (size_t i = 0; i < Entries.size(); ++i) earlier[i] = {Entries[i].Source, i};
    std::sort(earlier.begin(), earlier.end());
    std::vector<TEntry> entries;
    entries.reserve(Entries.size() + 1);
    std::vector<uint64_t> signatures;
    signatures.reserve(Signatures.size() + kSignatureWords);
    std::vector<bool> taken(Entries.size(), false);
    TByteTally added, removed;
    std::string storage;
    for (TXmlDElement* templ : Templates(root)) {
        const TTemplateTexts texts = TextsOf(templ, storage);
        const uint64_t* from = nullptr;
        auto it = std::lower_bound(earlier.begin(), earlier.end(), std::pair<uint64_t, size_t>{texts.Source, 0});
        for (; it != earlier.end() && it->first == texts.Source; ++it) {
            if (taken[it->second]) continue;
            taken[it->second] = true;
            TEntry entry = Entries[it->second];
            entry.Template = templ;
            entries.push_back(entry);
            from = Signatures.data() + it->second * kSignatureWords;
            break;
        }
        if (from != nullptr) {
            signatures.insert(signatures.end(), from, from + kSignatureWords);
            continue;
        }
        signatures.resize(signatures.size() + kSignatureWords);
        entries.push_back(Fold(templ, texts.Name, texts.Module, texts.Source,
                               signatures.data() + signatures.size() - kSignatureWords));
        added.Add(FoldedTexts(entries.back()));
    }
    // The texts of the templates that are gone, or changed, are no longer counted.
    for (size_t i = 0; i < Entries.size(); ++i) {
        if (taken[i]) continue;
        removed.Add(FoldedTexts(Entries[i]));
        Unused += Entries[i].End - Entries[i].NameBegin;
    }
    for (size_t c = 0; c < 256; ++c) Counts[c] += added.Of(c) - removed.Of(c);
    Entries.swap(entries);
    Signatures.swap(signatures);
    if (Unused > Folded.size() / 2) BuildAfresh(root);
}

TFindResult TFindIndex::Match(std::string_view search) const {
    std::vector<TCandidate> all(Entries.size());
    for (size_t i = 0; i < all.size(); ++i) all[i] = {static_cast<uint32_t>(i), nullptr};
    return MatchAt(search, all, 0);
}

TFindResult TFindIndex::Match(std::string_view search, const std::vector<uint32_t>& candidates) const {
    std::vector<TCandidate> list;
    list.reserve(candidates.size());
    for (const uint32_t position : candidates) list.push_back({position, nullptr});
    return MatchAt(search, list, 0);
}

TFindResult TFindIndex::Narrow(std::string_view search, const TFindResult& previous) const {
    std::vector<TCandidate> list;
    list.reserve(previous.Items.size());
    for (const uint32_t k : MergedOrder(previous))
        list.push_back({previous.Items[k], previous.Found.data() + size_t{k} * previous.Words});
    return MatchAt(search, list, previous.Words);
}

TFindResult TFindIndex::MatchAt(std::string_view search, const std::vector<TCandidate>& candidates,
                                size_t extended) const {
    std::deque<TWord> words;  // never moved once made
    for (const std::string& word : SearchWords(search)) words.emplace_back(word, Counts);
    TFindResult result;
    result.Words = words.size();
    std::vector<uint32_t> inModule, inModuleFound, found(words.size());
    const char* folded = Folded.data();
    for (size_t c = 0; c < candidates.size(); ++c) {
        const TCandidate& candidate = candidates[c];
        if (candidate.Position >= Entries.size()) continue;
        // Each template's texts lie on pages of their own: what a later candidate will read is
        // asked for now, so that the memory works while this one is compared.
        if (c + kPrefetchAhead < candidates.size() && candidates[c + kPrefetchAhead].Position < Entries.size()) {
            const TCandidate& ahead = candidates[c + kPrefetchAhead];
            const TEntry& a = Entries[ahead.Position];
            Prefetch(folded + a.NameBegin);
            const uint32_t at = ahead.Found != nullptr && extended > 0 ? ahead.Found[0] : 0;
            Prefetch(folded + a.ModuleBegin + (at != kInName ? at : 0));
            Prefetch(Signatures.data() + size_t{ahead.Position} * kSignatureWords + kByteWords);
        }
        const TEntry& e = Entries[candidate.Position];
        const uint64_t* signature = Signatures.data() + size_t{candidate.Position} * kSignatureWords;
        const char* module = folded + e.ModuleBegin;
        const char* moduleEnd = folded + e.End;
        bool allInName = true, all = true;
        for (size_t j = 0; j < words.size() && all; ++j) {
            const TWord& word = words[j];
            // Where the word that this one extends was found: this one cannot be earlier, and
            // not in the name when that one was not.
            const bool known = candidate.Found != nullptr && j < extended;
            const uint32_t before = known ? candidate.Found[j] : kInName;
            found[j] = kInName;
            if (!word.MayBeIn(signature, known)) {
                all = false;
            } else if (before != kInName || word.Find(folded + e.NameBegin, module) == nullptr) {
                allInName = false;
                const char* at = word.Find(module + (before != kInName ? before : 0), moduleEnd);
                if (at == nullptr) all = false;
                else found[j] = static_cast<uint32_t>(at - module);
            }
        }
        if (!all) continue;
        if (allInName) {
            result.Items.push_back(candidate.Position);
            result.Found.insert(result.Found.end(), found.begin(), found.end());
        } else {
            inModule.push_back(candidate.Position);
            inModuleFound.insert(inModuleFound.end(), found.begin(), found.end());
        }
    }
    result.NameMatches = result.Items.size();
    result.Items.insert(result.Items.end(), inModule.begin(), inModule.end());
    result.Found.insert(result.Found.end(), inModuleFound.begin(), inModuleFound.end());
    return result;
}

void TFindSearch::Build(const TXmlDElement* root) {
    Templates.Build(root);
    Steps.assign(1, TStep{std::string(), Templates.Match(std::string())});
}

void TFindSearch::Forget() { Steps.assign(1, TStep{}); }

const TFindResult& TFindSearch::Update(const std::string& search) {
    // Back to the longest text typed on the way that this one begins with.
    while (Steps.size() > 1 && Steps.back().Text.compare(0, std::string::npos, search, 0,
                                                         Steps.back().Text.size()) != 0)
        Steps.pop_back();
    const TStep& base = Steps.back();
    if (base.Text == search) return base.Result;
    if (base.Text.empty()) {
        Steps.push_back(TStep{search, Templates.Match(search)});
        return Steps.back().Result;
    }
    TStep step{search, Templates.Narrow(search, base.Result)};
    // A text pasted over the base, or a long search: only so many steps are kept.
    if (Steps.size() >= kKeptSteps) Steps.erase(Steps.begin() + 1);
    Steps.push_back(std::move(step));
    return Steps.back().Result;
}

}  // namespace tessara
