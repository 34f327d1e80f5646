// Files dropped on the window: their templates taken in, identical ones passed over.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "MessageOf.h"
#include "app/TakeIn.h"
#include "fakes/FormFixture.h"

namespace tessara {
namespace {

using fakes::C;
using Names = std::vector<std::string>;

std::string Templ(const std::string& name, const std::string& controls, const std::string& module) {
    return "<Groops name=\"" + name + "\"><Controls>" + controls + "</Controls><Module>" + module +
           "</Module></Groops>";
}
std::string Doc(const std::string& templates) { return "<Document desctiption=\"d\">" + templates + "</Document>"; }

class TakeInTest : public fakes::FormFixture {
protected:
    std::string Dropped(const std::string& name, const std::string& bytes) {
        const std::string file = Dir.File(name);
        fakes::WriteWholeFile(file, bytes);
        return file;
    }
    void Drop(const std::vector<std::string>& files) { Run([&] { Form->FilesDropped(files); }); }
};

TEST_F(TakeInTest, IdenticalMeansSameNameControlsAndModule) {
    struct Case {
        const char* Xml;
        bool Same;
    } cases[] = {
        {"<Groops name=\"A\"><Controls>c</Controls><Module>m</Module></Groops>", true},
        {"<Groops name=\"B\"><Controls>c</Controls><Module>m</Module></Groops>", false},
        {"<Groops name=\"A\"><Controls>x</Controls><Module>m</Module></Groops>", false},
        {"<Groops name=\"A\"><Controls>c</Controls><Module>x</Module></Groops>", false},
        {"<Groops name=\"A\"><Controls>c</Controls></Groops>", false},
        // Written differently, holding the same: still the same template.
        {"<Groops name=\"A\">\n <!--c--><Controls><![CDATA[c]]></Controls>\n <Module>m</Module></Groops>", true},
    };
    auto contentOf = [&](const std::string& xml) {
        TRef<TXmlDDocument> document(new TXmlDDocument());
        document->LoadFromFile(Dropped("t.xml", xml));
        return ContentOf(*document->DocumentElement());
    };
    const TTemplateContent have = contentOf(cases[0].Xml);
    EXPECT_EQ(have, (TTemplateContent{"A", "c", "m"}));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Xml);
        EXPECT_EQ(contentOf(c.Xml) == have, c.Same);
    }
}

TEST_F(TakeInTest, DroppedFilesAppendTheirTemplatesInOrderPassingOverIdenticalOnes) {
    Start(Doc(Templ("A", "ca", "ma") + Templ("B", "cb", "mb")));
    Select(1);
    const std::string first = Dropped("first.xml", Doc(Templ("C", "cc", "mc") + Templ("A", "ca", "ma") +
                                                       Templ("B", "other", "mb") + Templ("D", "", "")));
    // The second file repeats C from the first: passed over as well.
    const std::string second = Dropped("second.xml", Doc(Templ("C", "cc", "mc") + Templ("E", "ce", "")));
    Drop({first, second});
    EXPECT_EQ(W.DlgForms.Texts(), (Names{"A", "B", "C", "B", "D", "E"}));
    EXPECT_EQ(W.DlgForms.Selected, 1);
    EXPECT_EQ(W.StatusBar1.Text, C("Добавлено шаблонов: 4, пропущено одинаковых: 2."));
    EXPECT_EQ(SavedFile(), Doc(Templ("A", "ca", "ma") + Templ("B", "cb", "mb") + Templ("C", "cc", "mc") +
                               Templ("B", "other", "mb") + "<Groops name=\"D\"><Controls/><Module/></Groops>" +
                               "<Groops name=\"E\"><Controls>ce</Controls><Module/></Groops>"));
    EXPECT_TRUE(W.Boxes.Errors.empty()) << LastError();

    // Everything again: nothing added, nothing written.
    const std::string saved = SavedFile();
    Drop({second});
    EXPECT_EQ(W.StatusBar1.Text, C("Добавлено шаблонов: 0, пропущено одинаковых: 2."));
    EXPECT_EQ(SavedFile(), saved);
}

TEST_F(TakeInTest, BrokenFileAddsNothingAndShowsTheReadersMessage) {
    Start(Doc(Templ("A", "", "")));
    const std::string brokenBytes = Doc(Templ("X", "", "")).substr(0, 40);
    const std::string broken = Dropped("broken.xml", brokenBytes);
    const std::string empty = Dropped("empty.xml", "<Document desctiption=\"d\"><!--none--></Document>");
    const std::string good = Dropped("good.xml", Doc(Templ("G", "", "")));
    TRef<TXmlDDocument> probe(new TXmlDDocument());
    const std::string readerMessage = MessageOf([&] { probe->LoadFromFile(broken); });
    ASSERT_NE(readerMessage, "");

    Drop({broken, empty, good, Dir.File("missing.xml")});
    ASSERT_EQ(W.Boxes.Errors.size(), 2u);
    EXPECT_EQ(W.Boxes.Errors[0].Text, StandardErrorText(readerMessage));
    EXPECT_EQ(W.Boxes.Errors[0].Title, "Tessara");
    EXPECT_NE(W.Boxes.Errors[1].Text.find("missing.xml"), std::string::npos) << W.Boxes.Errors[1].Text;
    EXPECT_EQ(W.DlgForms.Texts(), (Names{"A", "G"}));
    EXPECT_EQ(W.StatusBar1.Text,
              C("Добавлено шаблонов: 1, пропущено одинаковых: 0. В файле «empty.xml» нет шаблонов."));
    EXPECT_EQ(SavedFile(), Doc("<Groops name=\"A\"><Controls/><Module/></Groops><Groops name=\"G\"><Controls/><Module/></Groops>"));
}

}  // namespace
}  // namespace tessara
