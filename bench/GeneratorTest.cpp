// The generated repositories are what the benchmark measures on: they must be the same every
// time, read the same in both libraries, and come back byte for byte through ours.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <pugixml.hpp>

#include "bench/Generator.h"
#include "xml/XXmlDom.h"

using namespace tessara;
using namespace tessara::bench;

namespace {

class TScratchDir {
public:
    TScratchDir() {
        char pattern[] = "/tmp/tessara_bench_test.XXXXXX";
        if (::mkdtemp(pattern) != nullptr) Path = pattern;
    }
    ~TScratchDir() {
        for (const std::string& f : Files) std::remove(f.c_str());
        if (!Path.empty()) ::rmdir(Path.c_str());
    }
    std::string File(const std::string& name) {
        Files.push_back(Path + "/" + name);
        return Files.back();
    }
    std::string Path;

private:
    std::vector<std::string> Files;
};

std::string Contents(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace

TEST(BenchGenerator, SameBytesEveryTimeAndDifferentPerSize) {
    TScratchDir dir;
    ASSERT_FALSE(dir.Path.empty());
    const TGeneratedFile a = GenerateRepository(dir.File("a.xml"), 300);
    const TGeneratedFile b = GenerateRepository(dir.File("b.xml"), 300);
    GenerateRepository(dir.File("c.xml"), 301);
    EXPECT_EQ(a.Bytes, b.Bytes);
    EXPECT_EQ(Contents(dir.Path + "/a.xml"), Contents(dir.Path + "/b.xml"));
    EXPECT_NE(Contents(dir.Path + "/a.xml"), Contents(dir.Path + "/c.xml"));
    // About 7 KB per template, the five entities dense: the shape the figures assume.
    EXPECT_GT(a.Bytes, 300u * 5000);
    EXPECT_LT(a.Bytes, 300u * 9000);
    const std::string text = Contents(dir.Path + "/a.xml");
    for (const char* entity : {"&amp;", "&lt;", "&gt;", "&quot;", "&apos;", "\r\n", "\t"})
        EXPECT_NE(text.find(entity), std::string::npos) << entity;
}

// Both libraries must see every template with its name and texts, and ours must write the file
// back exactly: the generator writes what our writer writes.
TEST(BenchGenerator, BothLibrariesReadItAndOursWritesItBack) {
    TScratchDir dir;
    ASSERT_FALSE(dir.Path.empty());
    const std::string input = dir.File("in.xml");
    const std::string output = dir.File("out.xml");
    const TGeneratedFile file = GenerateRepository(input, 500);

    TRef<TXmlDDocument> doc(new TXmlDDocument());
    doc->LoadFromFile(input);
    uint64_t templates = 0, walked = 0;
    for (TXmlDNode* node = doc->DocumentElement()->FirstChild(); node != nullptr; node = node->NextSibling()) {
        ++templates;
        walked += static_cast<TXmlDElement*>(node)->GetAttribute("name", "").size();
        walked += node->FirstChild()->GetText().size() + node->FirstChild()->NextSibling()->GetText().size();
    }
    EXPECT_EQ(templates, file.Templates);
    EXPECT_EQ(walked, file.TextBytes);
    doc->SaveToFile(output);
    EXPECT_TRUE(Contents(input) == Contents(output));

    pugi::xml_document pugiDoc;
    ASSERT_TRUE(pugiDoc.load_file(input.c_str(), pugi::parse_default));
    uint64_t pugiTemplates = 0, pugiWalked = 0;
    for (pugi::xml_node node = pugiDoc.document_element().first_child(); node; node = node.next_sibling()) {
        ++pugiTemplates;
        pugiWalked += std::strlen(node.attribute("name").value());
        pugiWalked += std::strlen(node.first_child().child_value());
        pugiWalked += std::strlen(node.first_child().next_sibling().child_value());
    }
    EXPECT_EQ(pugiTemplates, file.Templates);
    EXPECT_EQ(pugiWalked, file.TextBytes - file.CarriageReturns);  // its parse turns CRLF into LF
}
