// In-memory implementations of the main window's ports. Each records what the handlers asked
// of it and checks the rules an implementation relies on (indexes in range, clipboard calls
// only while it is open, every open closed).
#pragma once

#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "app/ListEntries.h"
#include "app/Ports.h"
#include "app/RepositoryFiles.h"
#include "platform/Exceptions.h"

namespace tessara::fakes {

// The entries are kept as the window's list keeps them (TListEntries): links to the template
// elements, whose names are their texts, so that a handler that changes a name before it reads
// the entry's text reads the new one here too.
class FakeListBox : public IListBox {
public:
    TListEntries Entries;
    int Selected = -1;
    int UpdateDepth = 0;
    int Updates = 0;

    int Count() const override { return Entries.Count(); }
    size_t Size() const { return static_cast<size_t>(Count()); }
    std::string ItemText(int index) const override {
        At(index);
        return std::string(Entries.Text(index));
    }
    TXmlDElement* ItemObject(int index) const override {
        At(index);
        return Entries.Object(index);
    }
    int ItemIndex() const override { return Selected; }
    void SetItemIndex(int index) override {
        if (index < -1 || index >= Count()) throw std::logic_error("SetItemIndex out of range");
        Selected = index;
    }
    void Add(std::string_view text, TXmlDElement* object) override { Entries.Add(text, object); }
    void Clear() override {
        Entries.Clear();
        Selected = -1;
    }
    void Delete(int index) override {
        At(index);
        Entries.Delete(index);
        // A list box loses its selection when the selected item goes, and keeps pointing at
        // the same item otherwise.
        if (Selected == index) Selected = -1;
        else if (Selected > index) --Selected;
    }
    void SetItemText(int index, const std::string& text) override {
        At(index);
        Entries.SetText(index, text);
        // The handlers select the entry again after a text change; a list may drop it.
        if (Selected == index) Selected = -1;
    }
    void BeginUpdate() override {
        ++UpdateDepth;
        ++Updates;
    }
    void EndUpdate() override {
        if (UpdateDepth == 0) throw std::logic_error("EndUpdate without BeginUpdate");
        --UpdateDepth;
    }

    // Items 13 pixels high, from the list's top-left corner at (100, 200).
    TScreenPoint ItemScreenPoint(int index) const override {
        if (index < -1 || index >= Count()) throw std::logic_error("ItemScreenPoint out of range");
        return index < 0 ? TScreenPoint{100, 200} : TScreenPoint{100, 200 + 13 * (index + 1)};
    }

    std::vector<std::string> Texts() const {
        std::vector<std::string> texts;
        for (int i = 0; i < Count(); ++i) texts.push_back(ItemText(i));
        return texts;
    }

private:
    void At(int index) const {
        if (index < 0 || index >= Count()) throw std::logic_error("list index out of range");
    }
};

class FakeEditBox : public IEditBox {
public:
    std::string Value;
    bool AllSelected = false;
    std::string Text() const override { return Value; }
    void SetText(const std::string& text) override {
        Value = text;
        AllSelected = false;
    }
    void SelectAll() override { AllSelected = true; }
};

class FakeButton : public IButton {
public:
    explicit FakeButton(bool enabled = true) : Enabled(enabled) {}
    bool Enabled;
    std::string Caption;
    std::string Hint;
    void SetEnabled(bool enabled) override { Enabled = enabled; }
    void SetCaption(const std::string& caption) override { Caption = caption; }
    void SetHint(const std::string& hint) override { Hint = hint; }
};

class FakeStatusBar : public IStatusBar {
public:
    std::string Text;
    int Sets = 0;
    void SetText(const std::string& text) override {
        Text = text;
        ++Sets;
    }
};

class FakeMainWindow : public IMainWindow {
public:
    int OuterWidth = 618 + 6;
    int NameBoxFocused = 0;
    std::string CaptionText = "Tessara";
    void SetOuterWidth(int width) override { OuterWidth = width; }
    void FocusNameBox() override { ++NameBoxFocused; }
    std::string Caption() const override { return CaptionText; }
};

class FakePasteMenu : public IPasteMenu {
public:
    std::optional<bool> InsControlsEnabled;
    std::optional<bool> InsModuleEnabled;
    std::optional<bool> EditModuleEnabled;
    std::vector<std::string> Popups;  // "button" or "x,y"
    TPasteItem Choice = TPasteItem::None;  // what the user chooses in every popup
    void SetInsControlsEnabled(bool enabled) override { InsControlsEnabled = enabled; }
    void SetInsModuleEnabled(bool enabled) override { InsModuleEnabled = enabled; }
    void SetEditModuleEnabled(bool enabled) override { EditModuleEnabled = enabled; }
    TPasteItem PopupAt(int x, int y) override {
        Popups.push_back(std::to_string(x) + "," + std::to_string(y));
        return Choice;
    }
    TPasteItem PopupAtPasteButton() override {
        Popups.push_back("button");
        return Choice;
    }
};

class FakeMessageBoxes : public IMessageBoxes {
public:
    struct Box {
        std::string Text;
        std::string Title;
    };
    std::vector<Box> Questions;
    std::vector<Box> Errors;
    std::deque<bool> Answers;  // the user's answers, in order; asking with none left fails
    // Runs while a question is on screen (the window activated by the box's own loop).
    std::function<void()> WhileAsking;

    bool AskOkCancel(const std::string& text, const std::string& title) override {
        Questions.push_back({text, title});
        if (WhileAsking) WhileAsking();
        if (Answers.empty()) throw std::logic_error("unexpected question");
        const bool answer = Answers.front();
        Answers.pop_front();
        return answer;
    }
    void ShowError(const std::string& text, const std::string& title) override {
        Errors.push_back({text, title});
    }
};

class FakeClipboard : public IClipboard {
public:
    struct Block {
        std::string Bytes;
    };
    std::map<unsigned, Block> Blocks;
    // Formats announced but whose owner gives no data (delayed rendering that fails).
    std::set<unsigned> AnnouncedWithoutData;
    std::map<std::string, unsigned> Registered;
    std::vector<std::string> Log;  // "open", "empty", "set <fmt>", "close", ...
    bool Busy = false;             // another program holds it
    bool FailSetData = false;
    bool FailAllocate = false;
    int LiveBlocks = 0;            // blocks allocated and not freed yet (a put block is copied and freed)
    bool IsOpen = false;
    int Opens = 0;

    unsigned RegisterFormat(const std::string& name) override {
        auto it = Registered.find(name);
        if (it != Registered.end()) return it->second;
        const unsigned id = 0xC000 + static_cast<unsigned>(Registered.size());
        Registered[name] = id;
        return id;
    }
    void Open() override {
        if (IsOpen) throw std::logic_error("clipboard opened twice");
        if (Busy) throw EClipboardException();
        IsOpen = true;
        ++Opens;
        Log.push_back("open");
    }
    void Empty() override {
        RequireOpen();
        Blocks.clear();
        AnnouncedWithoutData.clear();
        Log.push_back("empty");
    }
    struct FakeBlock final : IClipboardBlock {
        FakeBlock(Block b, int& live) : Data(std::move(b)), Live(live) { ++Live; }
        ~FakeBlock() override { --Live; }
        Block Data;
        int& Live;
    };
    TClipboardBlock Allocate(std::string_view block) override {
        if (FailAllocate) throw Exception("Out of memory");
        return std::make_unique<FakeBlock>(Block{std::string(block)}, LiveBlocks);
    }
    void SetData(unsigned format, TClipboardBlock block) override {
        RequireOpen();
        if (FailSetData) throw Exception("SetClipboardData failed");
        Blocks[format] = static_cast<FakeBlock&>(*block).Data;
        Log.push_back("set " + std::to_string(format));
    }
    std::optional<std::u16string> GetUnicodeText() override {
        RequireOpen();
        Log.push_back("get " + std::to_string(kCfUnicodeText));
        auto it = Blocks.find(kCfUnicodeText);
        if (it == Blocks.end()) return std::nullopt;
        const std::string& bytes = it->second.Bytes;
        std::u16string text;
        for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
            const auto c = static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                                 static_cast<unsigned char>(bytes[i + 1]) << 8);
            if (c == 0) break;
            text += c;
        }
        return text;
    }
    std::optional<std::string> GetData(unsigned format) override {
        RequireOpen();
        Log.push_back("get " + std::to_string(format));
        auto it = Blocks.find(format);
        if (it == Blocks.end()) return std::nullopt;
        const std::string& bytes = it->second.Bytes;
        return bytes.substr(0, bytes.find('\0'));
    }
    bool HasData(unsigned format) override {
        RequireOpen();
        return Blocks.count(format) != 0;
    }
    bool IsFormatAvailable(unsigned format) override {
        return Blocks.count(format) != 0 || AnnouncedWithoutData.count(format) != 0;
    }
    void Close() override {
        if (!IsOpen) ADD_FAILURE() << "clipboard closed while not open";
        IsOpen = false;
        Log.push_back("close");
    }

    // What another program (the Configurator) puts on the clipboard.
    void PutFromOutside(unsigned format, const std::string& bytes) {
        Blocks.clear();
        AnnouncedWithoutData.clear();
        Blocks[format] = {bytes};
    }
    std::string Bytes(unsigned format) const {
        auto it = Blocks.find(format);
        return it == Blocks.end() ? std::string("<none>") : it->second.Bytes;
    }

private:
    void RequireOpen() const {
        if (!IsOpen) throw std::logic_error("clipboard used while not open");
    }
};

class FakeShell : public IShell {
public:
    std::vector<std::string> Links;
    void OpenLink(const std::string& link) override { Links.push_back(link); }
};

class FakeTrayIcon : public ITrayIcon {
public:
    std::vector<TTrayIconData> Added;
    std::vector<TTrayIconData> Deleted;
    bool DeleteRaises = false;
    bool Present = false;
    void Add(const TTrayIconData& data) override {
        Added.push_back(data);
        Present = true;
    }
    void Delete(const TTrayIconData& data) override {
        Deleted.push_back(data);
        if (DeleteRaises) throw Exception("Shell_NotifyIcon failed");
        Present = false;
    }
};

class FakeApplication : public IApplication {
public:
    bool Minimized = false;
    bool TaskbarButton = true;
    int Restores = 0;
    int BroughtToFront = 0;
    bool Terminated = false;
    std::vector<std::string> Log;
    void HideTaskbarButton() override {
        TaskbarButton = false;
        Log.push_back("hide");
    }
    bool IsMinimized() const override { return Minimized; }
    std::string Title() const override { return ApplicationTitle; }
    std::string ApplicationTitle = "Tessara";
    void Restore() override {
        Minimized = false;
        TaskbarButton = true;
        ++Restores;
        Log.push_back("restore");
    }
    void BringMainWindowToFront() override {
        ++BroughtToFront;
        Log.push_back("front");
    }
    void Terminate() override { Terminated = true; }
};

// The placeholder dialog: records what each copy asked and answers as the user would.
class FakePlaceholderDialog : public IPlaceholderDialog {
public:
    struct Asked {
        std::vector<TPlaceholderField> Fields;
        TDialogOwner Owner;
        std::string Title;
    };
    std::vector<Asked> Asks;
    std::deque<TPlaceholderReply> Replies;  // the user's answers, in order; asking with none left fails
    // Runs while the dialog is on screen (its message loop runs the program's other events).
    std::function<void()> WhileAsking;

    TPlaceholderReply Ask(const std::vector<TPlaceholderField>& fields, TDialogOwner owner,
                          const std::string& title) override {
        Asks.push_back({fields, owner, title});
        if (WhileAsking) WhileAsking();
        if (Replies.empty()) throw std::logic_error("unexpected placeholder dialog");
        TPlaceholderReply reply = std::move(Replies.front());
        Replies.pop_front();
        return reply;
    }
};

// The module editors: records the templates asked for, and hands them on to the real editors
// when a test has set some.
class FakeModuleEditors : public IModuleEditors {
public:
    std::vector<TXmlDElement*> Edited;
    IModuleEditors* Target = nullptr;
    void Edit(TXmlDElement* templ) override {
        Edited.push_back(templ);
        if (Target != nullptr) Target->Edit(templ);
    }
};

// All ports of one main window.
struct FakeWindowSystem {
    FakeListBox DlgForms;
    FakeEditBox edtName;
    FakeButton Button2{false};
    FakeButton Button3{false};
    FakeButton ButtonMore;
    FakeStatusBar StatusBar1;
    FakeMainWindow Window;
    FakePasteMenu PopupMenu;
    FakeMessageBoxes Boxes;
    FakeClipboard Clipboard;
    FakeShell Shell;
    FakeTrayIcon TrayIcon;
    FakeApplication Application;
    FakePlaceholderDialog PlaceholderDialog;
    // The repository file: real files unless Files points at another implementation.
    TRepositoryFiles RealFiles;
    IRepositoryFiles* Files = nullptr;
    FakeModuleEditors Editors;

    TFormPorts Ports() {
        return TFormPorts{.DlgForms = DlgForms,
                          .edtName = edtName,
                          .Button2 = Button2,
                          .Button3 = Button3,
                          .ButtonMore = ButtonMore,
                          .StatusBar1 = StatusBar1,
                          .Window = Window,
                          .PopupMenu = PopupMenu,
                          .Boxes = Boxes,
                          .Clipboard = Clipboard,
                          .Shell = Shell,
                          .TrayIcon = TrayIcon,
                          .Application = Application,
                          .Files = Files != nullptr ? *Files : RealFiles,
                          .PlaceholderDialog = PlaceholderDialog,
                          .Editors = Editors};
    }
};

}  // namespace tessara::fakes
