// Counted objects, lists, entities and the buffered reader.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "platform/Exceptions.h"
#include "platform/Streams.h"
#include "xml/XUtils.h"
#include "FivePassEntities.h"
#include "fakes/TestStreams.h"

using namespace tessara;

namespace {

// Records the order of destruction and the count each destructor observes.
struct Probe : TRefObject {
    Probe(std::vector<std::pair<int, int>>* log, int id) : Log(log), Id(id) {}
    ~Probe() override {
        if (Log) Log->push_back({Id, RefCount});
        if (Revive) {
            // Code that briefly holds the dying object must not destroy it again.
            AddRef(this);
            Release(this);
        }
    }
    std::vector<std::pair<int, int>>* Log;
    int Id;
    bool Revive = false;
};

// A node-like object that owns a list of its own, for the deep-chain test; counts its
// destructions.
struct Chain : TRefObject {
    ~Chain() override { ++Destroyed; }
    TRefObjectList Children;
    static inline int Destroyed = 0;
};

}  // namespace

TEST(RefObject, LastReleaseDestroysWithCountOne) {
    std::vector<std::pair<int, int>> log;
    Release(nullptr);
    auto* p = new Probe(&log, 1);
    p->Revive = true;
    TRefObject* ref = nullptr;
    EXPECT_TRUE(InitRef(ref, p));
    ReleaseRef(ref);
    EXPECT_EQ(ref, nullptr);
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0], std::make_pair(1, 1));
    ReleaseRef(ref);  // null stays null
    EXPECT_EQ(ref, nullptr);
}

TEST(RefObject, AssignRefRules) {
    std::vector<std::pair<int, int>> log;
    TRefObjectList owner;  // keeps X alive independently of the variable
    auto* x = new Probe(&log, 1);
    owner.InsertItem(0, x);
    TRefObject* ref = nullptr;
    TRefObject* null = nullptr;
    EXPECT_FALSE(InitRef(ref, null));
    EXPECT_FALSE(AssignRef(ref, null));
    EXPECT_TRUE(AssignRef(ref, x));
    EXPECT_EQ(x->RefCount, 2);
    EXPECT_FALSE(AssignRef(ref, x));
    EXPECT_EQ(x->RefCount, 2);
    auto* y = new Probe(&log, 2);
    EXPECT_TRUE(AssignRef(ref, y));
    EXPECT_EQ(x->RefCount, 1);
    EXPECT_TRUE(AssignRef(ref, null));
    EXPECT_EQ(ref, nullptr);
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0].first, 2);
}

TEST(RefObjectList, HooksCountsAndOrder) {
    std::vector<std::pair<int, int>> log;
    auto* list = new TRefObjectList;
    Probe* kept = new Probe(&log, 9);
    TRef<Probe> hold(kept);
    list->InsertItem(0, new Probe(&log, 1));
    list->InsertItem(1, nullptr);
    list->InsertItem(2, new Probe(&log, 2));
    list->InsertItem(3, kept);
    EXPECT_EQ(kept->RefCount, 2);
    EXPECT_THROW(list->InsertItem(6, nullptr), EListError);
    // ExtractItem returns the item with its count lowered.
    EXPECT_EQ(list->ExtractItem(3), kept);
    EXPECT_EQ(kept->RefCount, 1);
    list->InsertItem(3, kept);
    delete list;  // releases last item first; nulls call no hook
    EXPECT_EQ(kept->RefCount, 1);
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(log[0].first, 2);
    EXPECT_EQ(log[1].first, 1);
}

TEST(RefObjectList, ClearLeavesNoCapacity) {
    TRefObjectList list;
    for (int i = 0; i < 10; ++i) list.InsertItem(i, new Probe(nullptr, i));
    list.Clear();
    EXPECT_EQ(list.Count(), 0);
    EXPECT_EQ(list.Capacity(), 0);
}

TEST(XList, PlainListDestroysItsItems) {
    std::vector<std::pair<int, int>> log;
    {
        TXList list;
        list.InsertItem(0, new Probe(&log, 1));
        list.InsertItem(1, new Probe(&log, 2));
    }
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(log[0].first, 2);
}

TEST(RefObject, MillionDeepChainIsFreedWithoutRecursion) {
    constexpr int kDepth = 1000000;
    Chain::Destroyed = 0;
    TRef<Chain> root(new Chain);
    Chain* tip = root.Get();
    for (int i = 0; i < kDepth; ++i) {
        auto* next = new Chain;
        tip->Children.InsertItem(0, next);
        tip = next;
    }
    EXPECT_EQ(Chain::Destroyed, 0);
    root.Reset();  // would overflow the stack if every level recursed
    EXPECT_EQ(Chain::Destroyed, kDepth + 1);  // every level, the root included
}

TEST(ListError, MessageCarriesIndex) {
    TList list;
    try {
        list.Get(-1);
        FAIL();
    } catch (const EListError& e) {
        EXPECT_STREQ(e.what(), "List index out of bounds (-1)");
    }
}

using reference::FivePassEscape;
using reference::FivePassUnescape;

TEST(Entities, OnePassEqualsFivePassesOnRandomText) {
    const std::vector<std::string> pieces = {"&", "<", ">", "\"", "'", ";", "a", "\xC0", "&amp;",
                                             "&lt;", "&gt;", "&quot;", "&apos;", "amp;", "lt",
                                             "&#60;", "&am", "quot", "\0"};
    std::mt19937 rng(12345);
    for (int round = 0; round < 20000; ++round) {
        std::string s;
        const int n = static_cast<int>(rng() % 12);
        for (int i = 0; i < n; ++i) s += pieces[rng() % pieces.size()];
        ASSERT_EQ(EscapeXml(s), FivePassEscape(s)) << s;
        ASSERT_EQ(UnescapeXml(s), FivePassUnescape(s)) << s;
        ASSERT_EQ(UnescapeXml(EscapeXml(s)), s);
        // The appending forms add exactly the same after what the buffer already holds.
        std::string escaped = "x&", unescaped = "y&";
        AppendEscapedXml(escaped, s);
        AppendUnescapedXml(unescaped, s);
        ASSERT_EQ(escaped, "x&" + FivePassEscape(s)) << s;
        ASSERT_EQ(unescaped, "y&" + FivePassUnescape(s)) << s;
    }
}

TEST(Entities, LongTextsDecodeAlikeInEveryForm) {
    // Long texts take the word-at-a-time paths: entities at every offset within a word, runs
    // without any, and texts that end inside an entity.
    const std::vector<std::string> pieces = {"&quot;", "&amp;", "&lt;", "&gt;", "&apos;", "&",
                                             "&quo", "abcdefgh", "x", "\xE0\xE1", "&amp;quot;",
                                             ";", "&#38;", "\r\n\t"};
    std::mt19937 rng(99);
    for (int round = 0; round < 5000; ++round) {
        std::string s;
        const int n = static_cast<int>(rng() % 80);
        for (int i = 0; i < n; ++i) s += pieces[rng() % pieces.size()];
        const std::string expected = FivePassUnescape(s);
        std::string inPlace = s;
        inPlace.resize(UnescapeXmlInPlace(inPlace.data(), inPlace.size()));
        ASSERT_EQ(inPlace, expected) << s;
        std::string appended = "&";
        AppendUnescapedXml(appended, s);
        ASSERT_EQ(appended, "&" + expected) << s;
        ASSERT_EQ(UnescapeXml(EscapeXml(s)), s);
    }
}

TEST(Entities, Examples) {
    EXPECT_EQ(EscapeXml("a&b<c"), "a&amp;b&lt;c");
    EXPECT_EQ(EscapeXml("&amp;"), "&amp;amp;");
    EXPECT_EQ(UnescapeXml("&#60;&foo;&"), "&#60;&foo;&");
    EXPECT_EQ(UnescapeXml("&amp;lt;"), "&lt;");
    EXPECT_EQ(UnescapeXml("&lt;&gt;&quot;&apos;&amp;"), "<>\"'&");
}

TEST(TextReader, ReadsBlocksAndIsExactAtTheEnd) {
    TMemoryStream empty;
    TTextReader r0(&empty, 4096);
    EXPECT_TRUE(r0.Eof());
    EXPECT_EQ(r0.ReadChar(), 0);

    TMemoryStream s(std::string(4096, 'x') + "");
    TTextReader r(&s, 4096);
    for (int i = 0; i < 4095; ++i) ASSERT_EQ(r.ReadChar(), 'x');
    EXPECT_FALSE(r.Eof());
    EXPECT_EQ(r.ReadChar(), 'x');
    EXPECT_TRUE(r.Eof());

    TMemoryStream t(std::string("ab\0c", 4));
    TTextReader r2(&t, 3);
    EXPECT_EQ(r2.ReadChar(), 'a');
    EXPECT_EQ(r2.ReadChar(), 'b');
    EXPECT_EQ(r2.ReadChar(), 0);
    EXPECT_FALSE(r2.Eof());
    EXPECT_EQ(r2.ReadChar(), 'c');
    EXPECT_TRUE(r2.Eof());
}

TEST(TextReader, ShortStreamRaisesReadError) {
    fakes::TOverstatedStream s("abc");
    try {
        TTextReader r(&s, 4096);
        FAIL();
    } catch (const EReadError& e) {
        EXPECT_STREQ(e.what(), "Stream read error");
    }
}

// Every length up to a few steps of 64, every start offset within a vector, the byte at every
// place or nowhere, with other bytes that differ from it in one bit only; both the search the
// build uses and, where the compiler has it, the vector search the Windows builds use.
TEST(FindByte, AgreesWithAByteLoop) {
    using Find = const char* (*)(const char*, char, size_t) noexcept;
    std::vector<Find> finds{&FindByte};
#if defined(__SSE2__) && defined(__GNUC__)
    finds.push_back(&FindByteSse2);
#endif
    for (const char c : {'<', '\0', '\xFF', '\x80'}) {
        std::vector<char> buffer(300, static_cast<char>(c ^ 1));
        for (size_t start = 0; start < 16; ++start)
            for (size_t n = 0; n <= 200; ++n)
                for (size_t at = 0; at <= n; ++at) {  // at == n: not there
                    char* p = buffer.data() + start;
                    if (at < n) p[at] = c;
                    p[n] = c;  // just past the end: must not be found
                    for (Find find : finds) {
                        const char* hit = find(p, c, n);
                        ASSERT_EQ(hit, at < n ? p + at : nullptr) << "n=" << n << " at=" << at;
                    }
                    p[n] = static_cast<char>(c ^ 1);
                    if (at < n) p[at] = static_cast<char>(c ^ 1);
                }
    }
}
