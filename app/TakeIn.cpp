#include "app/TakeIn.h"

#include <memory>

#include "app/ClipUnit.h"
#include "app/FormHelpers.h"
#include "app/Texts.h"
#include "platform/Exceptions.h"

namespace tessara {
namespace {

TXmlDNode* ElementAfter(TXmlDNode* node) {
    for (; node != nullptr; node = node->NextSibling())
        if (node->NodeType() == ntElement) return node;
    return nullptr;
}

}  // namespace

TTemplateContent ContentOf(TXmlDElement& templ) {
    TTemplateContent content;
    content.Name = templ.GetAttribute(Texts().NameAttribute, std::string());
    // The same elements the copy takes: the first element inside, and the element after it.
    TXmlDNode* controls = ElementAfter(templ.FirstChild());
    if (controls == nullptr) return content;
    content.Controls = controls->GetText();
    if (TXmlDNode* module = ElementAfter(controls->NextSibling())) content.Module = module->GetText();
    return content;
}

void TmForm::FilesDropped(const std::vector<std::string>& fileNames) {
    if (Repository == nullptr || fileNames.empty()) return;
    if (!FileReadyForChange(false)) return;
    const TTexts& t = Texts();
    std::vector<TTemplateContent> known;
    for (TXmlDNode* child = ElementAfter(RootElement->FirstChild()); child != nullptr;
         child = ElementAfter(child->NextSibling()))
        known.push_back(ContentOf(*static_cast<TXmlDElement*>(child)));

    int added = 0, passedOver = 0;
    std::string notes;
    for (const std::string& fileName : fileNames) {
        TRef<TXmlDDocument> dropped(new TXmlDDocument());
        try {
            Ports.Files.Load(*dropped.Get(), fileName);
        } catch (const std::exception& error) {
            // Nothing of a file that does not load whole is taken.
            const TAsking asking(Asking);
            ShowException(error);
            continue;
        }
        TXmlDElement* root = dropped->DocumentElement();
        std::vector<TTemplateContent> found;
        if (root != nullptr)
            for (TXmlDNode* child = ElementAfter(root->FirstChild()); child != nullptr;
                 child = ElementAfter(child->NextSibling()))
                found.push_back(ContentOf(*static_cast<TXmlDElement*>(child)));
        if (found.empty()) {
            const size_t slash = fileName.find_last_of("\\/");
            notes += t.StatusDropNoTemplatesIn + t.QuoteOpen +
                     fileName.substr(slash == std::string::npos ? 0 : slash + 1) + t.QuoteClose +
                     t.StatusDropNoTemplates;
            continue;
        }
        for (const TTemplateContent& content : found) {
            bool same = false;
            for (const TTemplateContent& have : known) same = same || have == content;
            if (same) {
                ++passedOver;
                continue;
            }
            AppendTemplate(content);
            known.push_back(content);
            ++added;
        }
    }
    if (added > 0) ListTemplates();
    Ports.StatusBar1.SetText(t.StatusDropAdded + std::to_string(added) + t.StatusDropPassedOver +
                             std::to_string(passedOver) + '.' + notes);
    if (added > 0) {
        SaveAfterChange();
        DocumentChanged();
    }
}

}  // namespace tessara
