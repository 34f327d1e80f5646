#include "app/PlaceholderCopy.h"

#include <utility>
#include <vector>

#include "app/Texts.h"
#include "platform/Charset.h"

namespace tessara {

std::optional<TModuleCopy> ModuleToCopy(IPlaceholderDialog& dialog, std::string module, TDialogOwner owner,
                                        const std::string& templateName,
                                        const std::function<TDateTime()>& now) {
    if (!HasPlaceholders(module)) return TModuleCopy{std::move(module), 0};
    const TTexts& t = Texts();
    const std::vector<TModulePart> parts = ParseModuleText(module);
    const std::vector<TPlaceholderField> fields = PlaceholderFields(parts, now());
    const TPlaceholderReply reply =
        dialog.Ask(fields, owner, t.PlaceholderTitle + t.QuoteOpen + templateName + t.QuoteClose);
    switch (reply.Answer) {
    case TPlaceholderAnswer::Cancel: return std::nullopt;
    case TPlaceholderAnswer::AsIs: return TModuleCopy{std::move(module), 0};
    case TPlaceholderAnswer::Fill: break;
    }
    TModuleCopy copy;
    std::vector<TFieldValue> values;
    values.reserve(reply.Values.size());
    for (const TTypedValue& typed : reply.Values) {
        size_t replaced = 0;
        values.push_back({Utf16ToCp1251(typed.Text, &replaced), typed.Choice});
        copy.Replaced += replaced;
    }
    copy.Text = FillPlaceholders(module, parts, fields, values);
    return copy;
}

std::string WithPlaceholderPrompts(std::string preview, std::string_view module) {
    const std::string prompts = PlaceholderPrompts(module);
    if (prompts.empty()) return preview;
    if (!preview.empty()) preview += "\r\n";
    return preview + Texts().PreviewPlaceholders + prompts;
}

}  // namespace tessara
