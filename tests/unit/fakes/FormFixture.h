// A main window over fake ports, its repository file in a fresh directory, and the message
// loop's rule: whatever a handler raises goes to the standard error box.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>

#include "app/ClipUnit.h"
#include "app/Texts.h"
#include "fakes/FakePorts.h"
#include "fakes/TempDir.h"
#include "platform/Charset.h"

namespace tessara::fakes {

inline std::string C(std::string_view utf8) { return Cp1251(utf8); }

class FormFixture : public ::testing::Test {
protected:
    TempDir Dir;
    FakeWindowSystem W;
    std::unique_ptr<TmForm> Form;
    std::string FileName = Dir.File("1CDialogControls.xml");

    // Creates and shows the window, with the repository file holding Bytes, or without one.
    void Start(const std::optional<std::string>& bytes = std::nullopt) {
        if (bytes) WriteWholeFile(FileName, *bytes);
        Restart();
    }
    // A new run of the program over whatever the directory holds now.
    void Restart() {
        Form.reset();
        IRepositoryFiles* files = W.Files;  // files kept in memory stay across runs
        W = FakeWindowSystem();
        W.Files = files;
        Form = std::make_unique<TmForm>(W.Ports());
        Form->RepositoryFileName = FileName;
        Run([&] { Form->FormCreate(); });
        Run([&] { Form->FormShow(); });
    }

    // One message of the loop: a handler, and the error box for what escapes it.
    template <class Handler>
    void Run(Handler handler) {
        try {
            handler();
        } catch (const std::exception& error) {
            Form->ShowException(error);
        }
    }

    std::string Xml() const { return Form->Repository->GetXml(); }
    std::string SavedFile() const { return ReadWholeFile(FileName); }
    std::string LastError() const { return W.Boxes.Errors.empty() ? "<none>" : W.Boxes.Errors.back().Text; }

    // The user selecting an entry (-1: none) in the list.
    void Select(int index) {
        W.DlgForms.Selected = index;
        Run([&] { Form->DlgFormsClick(); });
    }
    void Add(const std::string& name) {
        W.edtName.Value = name;
        Run([&] { Form->Button1Click(); });
    }
    void Rename(int index, const std::string& name) {
        Select(index);
        W.edtName.Value = name;
        Run([&] { Form->Button2Click(); });
    }
    void Copy() { Run([&] { Form->DlgFormsDblClick(); }); }
    void PasteControls() { Run([&] { Form->insContronClick(); }); }
    void PasteModule() { Run([&] { Form->insModuleClick(); }); }
    void Close() { Run([&] { Form->FormClose(); }); }

    unsigned DialogFormat() const { return Form->DialogEditorFormat; }

    // The two texts of the template element of an entry.
    std::string ControlsOf(int index) const {
        return W.DlgForms.ItemObject(index)->FirstChild()->GetText();
    }
    std::string ModuleOf(int index) const {
        return W.DlgForms.ItemObject(index)->FirstChild()->NextSibling()->GetText();
    }

    static std::string NewRepositoryXml() {
        return "<Document desctiption=\"" + C("Список контролов Тессар") + "\"/>";
    }
};

}  // namespace tessara::fakes
