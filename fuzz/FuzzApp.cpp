// The main window's handlers, driven by a byte string read as a sequence of user actions and
// of other programs' actions, against the in-memory ports of the unit tests.
//
// Input: one flags byte (bit 0: a repository file exists at start, followed by two bytes of
// length and that many bytes of file content; bit 1: saves can succeed; bits 2, 4 and 5 all
// set: real files in a directory instead of files kept in memory; bit 3, in memory: backup
// copies fail), then operations (among them, in memory, another program writing or deleting
// the file, and the window's activation), one byte each, some followed by an argument (a string: one
// length byte, then the bytes; or an index byte). Files in memory keep most runs off the file
// system, which costs more than the handlers; the real files (one flags byte in eight) run the
// same checks through the safe save, the backup copy and the directory.
//
// Each error a handler raises goes to the standard error box, as in the message loop; any
// other exception (a port misused, std::logic_error from the fakes) escapes and is a finding.
// After every operation the target checks:
//  - the template list is the root element's element children, in order, and each entry's
//    text is the template's name where the template's first attribute is "name";
//  - the clipboard is closed and no list update is left open;
//  - after a copy, the clipboard holds exactly the template's controls bytes and its module
//    text with one zero byte: filled in with the fields' first values or as it is, as the
//    placeholder dialog is answered (one byte), or what it held before when it is cancelled;
//  - after a successful close, the file holds exactly the document's XML text and nothing but
//    the file and its backups is left in the directory; a restart then loads it without an
//    error and lists the templates by the same names;
//  - a backup holds exactly the bytes the file had at start or that another program wrote;
//    the history folder holds only dated copies of the file;
//  - at the end, undoing every recorded change gives the document as it was when its history
//    began (the start, or the last time the file was read again), byte for byte, and redoing
//    every one gives the final document.
#include <dirent.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <algorithm>
#include <fstream>
#include <functional>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "app/ClipUnit.h"
#include "fakes/FakePorts.h"
#include "fakes/FakeRepositoryFiles.h"
#include "FuzzCheck.h"
#include "platform/Charset.h"
#include "platform/Exceptions.h"
#include "xml/XXmlDom.h"

using namespace tessara;
using namespace tessara::fakes;

namespace {


class TInput {
public:
    TInput(const uint8_t* data, size_t size) : Data(data), Size(size) {}
    bool AtEnd() const { return Pos >= Size; }
    uint8_t Byte() { return Pos < Size ? Data[Pos++] : 0; }
    std::string Bytes(size_t n) {
        n = std::min(n, Size - std::min(Pos, Size));
        std::string s(reinterpret_cast<const char*>(Data + Pos), n);
        Pos += n;
        return s;
    }
    std::string String() { return Bytes(Byte() % 48); }

private:
    const uint8_t* Data;
    size_t Size;
    size_t Pos = 0;
};

const std::string& WorkDir() {
    static const std::string dir = [] {
        char pattern[] = "/dev/shm/tessara-fuzz-app-XXXXXX";
        char* made = ::mkdtemp(pattern);
        if (made == nullptr) __builtin_trap();
        return std::string(made);
    }();
    return dir;
}

std::vector<std::string> DirEntries() {
    std::vector<std::string> names;
    if (DIR* d = ::opendir(WorkDir().c_str())) {
        while (dirent* e = ::readdir(d)) {
            const std::string name = e->d_name;
            if (name != "." && name != "..") names.push_back(name);
        }
        ::closedir(d);
    }
    return names;
}

void ClearDir() {
    const std::string history = WorkDir() + "/1CDialogControls.history";
    if (DIR* d = ::opendir(history.c_str())) {
        while (dirent* e = ::readdir(d)) ::unlink((history + "/" + e->d_name).c_str());
        ::closedir(d);
        ::rmdir(history.c_str());
    }
    for (const std::string& name : DirEntries()) ::unlink((WorkDir() + "/" + name).c_str());
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

struct TSession {
    FakeWindowSystem Ports;
    FakeRepositoryFiles Memory;
    bool RealFiles = false;
    std::unique_ptr<TmForm> Form;
    std::string FileName = "1CDialogControls.xml";
    std::string OriginalFile;  // the bytes the repository file had at the first start
    bool HadFile = false;
    std::set<std::string> Outside;  // and those other programs wrote over it since
    bool AnswerOk = true;
    std::string Baseline;  // the document when its undo history began
    bool BaselineKnown = true;  // false: the history began again inside a change (a file read
                                // again before it), whose document was not seen

    void Start() {
        Form = std::make_unique<TmForm>(Ports.Ports());
        Form->Now = [] { return TDateTime{2024, 3, 5, 7, 8, 9}; };
        Form->RepositoryFileName = FileName;
        Run([&] { Form->FormCreate(); });
        Run([&] { Form->FormShow(); });
        FUZZ_CHECK(Form->Repository != nullptr && Form->RootElement != nullptr);
    }

    // The message loop: a handler's error goes to the standard error box.
    bool Run(const std::function<void()>& handler) {
        Ports.Boxes.Answers.assign(4, AnswerOk);
        const size_t errors = Ports.Boxes.Errors.size();
        const uint64_t clears = Form->History.Clears();
        try {
            handler();
        } catch (const Exception& e) {
            Form->ShowException(e);
        }
        Ports.Boxes.Answers.clear();
        Check();
        if (Form->Repository != nullptr && Form->History.Changes() == 0) {
            Baseline = Form->Repository->GetXml();
            BaselineKnown = true;
        } else if (Form->History.Clears() != clears) {
            BaselineKnown = false;
        }
        return Ports.Boxes.Errors.size() == errors;
    }

    void Check() {
        FUZZ_CHECK(!Ports.Clipboard.IsOpen);
        // The fakes report some misuse (a clipboard closed twice) as a GoogleTest failure.
        FUZZ_CHECK(!::testing::UnitTest::GetInstance()->ad_hoc_test_result().Failed());
        FUZZ_CHECK(Ports.DlgForms.UpdateDepth == 0);
        if (Form->RootElement == nullptr) return;
        FUZZ_CHECK(Form->RootElement->ParentNode() == Form->Repository);
        size_t i = 0;
        for (TXmlDNode* c = Form->RootElement->FirstChild(); c; c = c->NextSibling()) {
            if (c->NodeType() != ntElement) continue;
            FUZZ_CHECK(i < Ports.DlgForms.Size());
            const int entry = static_cast<int>(i++);
            FUZZ_CHECK(Ports.DlgForms.ItemObject(entry) == c);
            const std::string text = Ports.DlgForms.ItemText(entry);
            TXmlDNamedNodeMap* attributes = c->Attributes();
            if (attributes->Count() == 0)
                FUZZ_CHECK(text.empty());
            else if (attributes->Item(0)->NodeName() == "name")
                FUZZ_CHECK(text == attributes->Item(0)->GetNodeValue());
        }
        FUZZ_CHECK(i == Ports.DlgForms.Size());
    }

    // The bytes of a file in the repository's directory.
    std::string FileBytes(const std::string& name) {
        if (RealFiles) return ReadFile(WorkDir() + "/" + name);
        const auto file = Memory.Files.find(name);
        FUZZ_CHECK(file != Memory.Files.end());
        return file->second;
    }

    void CheckDirectory() {
        std::vector<std::string> names;
        if (RealFiles)
            names = DirEntries();
        else
            for (const auto& file : Memory.Files) names.push_back(file.first);
        for (const std::string& name : names) {
            if (name == "1CDialogControls.xml") continue;
            if (name.rfind("1CDialogControls.history", 0) == 0) {
                if (RealFiles) FUZZ_CHECK(name == "1CDialogControls.history");
                else FUZZ_CHECK(name.rfind("1CDialogControls.history/1CDialogControls 2", 0) == 0);
                continue;
            }
            // Anything else is a backup of the original file, byte for byte.
            FUZZ_CHECK(name.rfind("1CDialogControls.xml.bad", 0) == 0);
            const std::string bytes = FileBytes(name);
            FUZZ_CHECK((HadFile && bytes == OriginalFile) || Outside.count(bytes) != 0);
        }
    }

    // Closes the window; true when the file was written.
    bool Close() {
        if (!Run([&] { Form->FormClose(); })) return false;
        FUZZ_CHECK(FileBytes("1CDialogControls.xml") == Form->Repository->GetXml());
        CheckDirectory();
        return true;
    }

    void Restart() {
        if (!Close()) return;
        // A restart lists each template by its "name" attribute, which is what the list shows
        // unless a rename changed a first attribute of another name.
        std::vector<std::string> names;
        for (TXmlDNode* c = Form->RootElement->FirstChild(); c; c = c->NextSibling())
            if (c->NodeType() == ntElement)
                names.push_back(static_cast<TXmlDElement*>(c)->GetAttribute("name", std::string()));
        Run([&] { Form->FormDestroy(); });
        Form.reset();  // empties the list: its entries point into the form's document
        FUZZ_CHECK(Ports.DlgForms.Count() == 0);
        Ports.DlgForms.Selected = -1;
        const size_t errors = Ports.Boxes.Errors.size();
        Start();
        FUZZ_CHECK(Ports.Boxes.Errors.size() == errors);
        FUZZ_CHECK(Ports.DlgForms.Texts() == names);
    }

    // Every recorded change undone, then made again, on the document alone.
    void CheckUndoRedo() {
        const std::string final = Form->Repository->GetXml();
        size_t undone = 0;
        while (Form->History.Undo() != nullptr) ++undone;
        FUZZ_CHECK(!BaselineKnown || Form->Repository->GetXml() == Baseline);
        // As many made again as were undone (changes the user undid stay undone).
        for (; undone != 0; --undone) FUZZ_CHECK(Form->History.Redo() != nullptr);
        FUZZ_CHECK(Form->Repository->GetXml() == final);
        Check();
    }

    void Copy(TPlaceholderAnswer answer) {
        const int index = Ports.DlgForms.Selected;
        const std::string before = Ports.Clipboard.Bytes(kCfText);
        Ports.PlaceholderDialog.Replies.assign(1, TPlaceholderReply{answer, {}});
        Ports.PlaceholderDialog.Asks.clear();
        const bool ran = Run([&] { Form->DlgFormsDblClick(); });
        const bool asked = !Ports.PlaceholderDialog.Asks.empty();
        Ports.PlaceholderDialog.Replies.clear();
        if (!ran) return;
        FUZZ_CHECK(index >= 0);
        TXmlDElement* templ = Ports.DlgForms.ItemObject(index);
        TXmlDNode* controls = templ->FirstChild();
        while (controls->NodeType() != ntElement) controls = controls->NextSibling();
        TXmlDNode* module = controls->NextSibling();
        while (module->NodeType() != ntElement) module = module->NextSibling();
        std::string text = module->GetText();
        FUZZ_CHECK(asked == HasPlaceholders(text));
        if (asked && answer == TPlaceholderAnswer::Cancel) {
            FUZZ_CHECK(Ports.Clipboard.Bytes(kCfText) == before);
            return;
        }
        if (asked && answer == TPlaceholderAnswer::Fill) {
            const std::vector<TModulePart> parts = ParseModuleText(text);
            text = FillPlaceholders(text, parts, PlaceholderFields(parts, Form->Now()), {});
        }
        FUZZ_CHECK(Ports.Clipboard.Bytes(Form->DialogEditorFormat) == controls->GetText());
        FUZZ_CHECK(Ports.Clipboard.Bytes(kCfText) == text + std::string(1, '\0'));
        // The Unicode text is the same text exactly: converted back, it gives the same bytes.
        const std::string& unicode = Ports.Clipboard.Bytes(kCfUnicodeText);
        FUZZ_CHECK(unicode.size() == 2 * (text.size() + 1));
        std::u16string wide;
        for (size_t i = 0; i + 3 < unicode.size(); i += 2)
            wide += static_cast<char16_t>(static_cast<unsigned char>(unicode[i]) |
                                          static_cast<unsigned char>(unicode[i + 1]) << 8);
        FUZZ_CHECK(Utf16ToCp1251(wide) == text);
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    TInput in(data, size);
    TSession s;
    const uint8_t flags = in.Byte();
    s.RealFiles = (flags & 0x34) == 0x34;
    // Without a file and without bit 1 every save fails with "Cannot create file": on real
    // files the repository lives in a directory that does not exist.
    const bool savesFail = !(flags & 3);
    if (s.RealFiles) {
        ClearDir();
        s.FileName = WorkDir() + (savesFail ? "/missing/" : "/") + "1CDialogControls.xml";
    } else {
        s.Memory.FailSaves = savesFail;
        s.Memory.FailBackups = (flags & 8) != 0;
        s.Ports.Files = &s.Memory;
    }
    if (flags & 1) {
        const size_t length = in.Byte() | (in.Byte() << 8);
        s.OriginalFile = in.Bytes(length);
        s.HadFile = true;
        if (s.RealFiles)
            std::ofstream(s.FileName, std::ios::binary) << s.OriginalFile;
        else
            s.Memory.Files[s.FileName] = s.OriginalFile;
    }
    s.Start();

    FakeClipboard& clip = s.Ports.Clipboard;
    for (int step = 0; step < 64 && !in.AtEnd(); ++step) {
        TmForm& f = *s.Form;
        switch (in.Byte() % 29) {
            case 0: {  // the user selects an entry (or none)
                const int count = s.Ports.DlgForms.Count();
                s.Ports.DlgForms.Selected = static_cast<int>(in.Byte() % (count + 1)) - 1;
                s.Run([&] { f.DlgFormsClick(); });
                break;
            }
            case 1: s.Ports.edtName.Value = in.String(); break;
            case 2: s.Run([&] { f.Button1Click(); }); break;
            case 3: s.Run([&] { f.Button2Click(); }); break;
            case 4: s.Run([&] { f.Button3Click(); }); break;
            case 5: s.Copy(static_cast<TPlaceholderAnswer>(in.Byte() % 3)); break;
            case 6: s.Run([&] { f.Button4Click(); }); break;
            case 7: s.Run([&] { f.DlgFormsContextMenu(10, 20); }); break;
            case 8: s.Run([&] { f.insContronClick(); }); break;
            case 9: s.Run([&] { f.insModuleClick(); }); break;
            case 10: clip.PutFromOutside(f.DialogEditorFormat, in.String()); break;
            case 11: clip.PutFromOutside(kCfText, in.String() + std::string(1, '\0')); break;
            case 12: clip.Blocks.clear(); clip.AnnouncedWithoutData.clear(); break;
            case 13: clip.Busy = !clip.Busy; break;
            case 14: s.AnswerOk = !s.AnswerOk; break;
            case 15: s.Close(); break;
            case 16: s.Restart(); break;
            case 17: s.Run([&] { f.MemoOfHintsShowOrHide(); }); break;
            case 18: s.Run([&] { f.TrayIconMessage(static_cast<TTrayEvent>(in.Byte() % 4)); }); break;
            case 19: s.Run([&] { f.FormEndSession(true); }); break;
            case 20:  // a delayed-rendering owner announces text it cannot give
                clip.Blocks.erase(kCfText);
                clip.AnnouncedWithoutData.insert(kCfText);
                break;
            case 21: clip.FailSetData = !clip.FailSetData; break;
            case 22: clip.PutFromOutside(kCfUnicodeText, in.String()); break;  // any bytes, odd too
            case 23: clip.FailAllocate = !clip.FailAllocate; break;
            case 24: s.Run([&] { f.FormActivate(); }); break;
            case 25:  // another program writes the file (in memory only: real files would need
                      // a clock finer than the file system's to tell each write)
                if (!s.RealFiles) {
                    const std::string bytes = in.String();
                    s.Outside.insert(bytes);
                    s.Memory.WriteOutside(s.FileName, bytes);
                }
                break;
            case 26:
                if (!s.RealFiles) s.Memory.Files.erase(s.FileName);
                break;
            case 27: s.Run([&] { f.Undo(); }); break;
            case 28: s.Run([&] { f.Redo(); }); break;
        }
        FUZZ_CHECK(clip.LiveBlocks == 0);
    }
    s.CheckUndoRedo();
    s.Run([&] { s.Form->FormDestroy(); });
    s.CheckDirectory();
    s.Form.reset();
    return 0;
}
