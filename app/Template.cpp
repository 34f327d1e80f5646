#include "app/Template.h"

#include "app/Texts.h"

namespace tessara {
namespace {

TXmlDElement* ElementFrom(TXmlDNode* node) noexcept {
    for (; node != nullptr; node = node->NextSibling())
        if (node->NodeType() == ntElement) return static_cast<TXmlDElement*>(node);
    return nullptr;
}

}  // namespace

TXmlDElement* FirstTemplate(const TXmlDNode* root) noexcept {
    return root != nullptr ? ElementFrom(root->FirstChild()) : nullptr;
}

TXmlDElement* NextTemplate(const TXmlDNode* templ) noexcept { return ElementFrom(templ->NextSibling()); }

std::string_view TemplateName(TXmlDElement* templ) {
    const TXmlDAttribute* name = templ != nullptr ? templ->GetAttributeNode(Texts().NameAttribute) : nullptr;
    return name != nullptr ? std::string_view(name->Value) : std::string_view();
}

TXmlDElement* TemplateControls(const TXmlDElement* templ) noexcept {
    return templ != nullptr ? ElementFrom(templ->FirstChild()) : nullptr;
}

TXmlDElement* TemplateModule(const TXmlDElement* templ) noexcept {
    TXmlDElement* controls = TemplateControls(templ);
    return controls != nullptr ? ElementFrom(controls->NextSibling()) : nullptr;
}

std::string_view PartText(const TXmlDElement* part, std::string& storage) {
    return part != nullptr ? TextOf(part, storage) : std::string_view();
}

TTemplateContent ContentOf(TXmlDElement& templ) {
    TTemplateContent content;
    content.Name = TemplateName(&templ);
    if (TXmlDElement* controls = TemplateControls(&templ)) content.Controls = controls->GetText();
    if (TXmlDElement* module = TemplateModule(&templ)) content.Module = module->GetText();
    return content;
}

TRef<TXmlDElement> NewTemplate(const TTemplateContent& content) {
    const TTexts& t = Texts();
    TRef<TXmlDElement> templ(new TXmlDElement(t.TemplateTag));
    TRef<TXmlDAttribute> name(new TXmlDAttribute(t.NameAttribute));
    name->Value = content.Name;
    templ->SetAttributeNode(name.Get());
    TRef<TXmlDElement> controls(new TXmlDElement(t.ControlsTag));
    templ->AppendChild(controls.Get());
    if (!content.Controls.empty()) controls->SetText(content.Controls);
    TRef<TXmlDElement> module(new TXmlDElement(t.ModuleTag));
    templ->AppendChild(module.Get());
    if (!content.Module.empty()) module->SetText(content.Module);
    return templ;
}

}  // namespace tessara
