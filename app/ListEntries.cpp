#include "app/ListEntries.h"

#include "app/Template.h"
#include "platform/Charset.h"

namespace tessara {

TXmlDElement* TListEntries::Object(int index) const {
    if (index < 0 || index >= Count()) return nullptr;
    return Entries[static_cast<size_t>(index)].Object;
}

std::string_view TListEntries::Text(int index) const {
    const TEntry& entry = Entries[static_cast<size_t>(index)];
    return entry.OwnText != nullptr ? std::string_view(*entry.OwnText) : TemplateName(entry.Object);
}

void TListEntries::Add(std::string_view text, TXmlDElement* object) {
    Entries.push_back({object, nullptr});
    SetText(Count() - 1, text);
}

void TListEntries::Delete(int index) {
    if (index < 0 || index >= Count()) return;
    Entries.erase(Entries.begin() + index);
}

void TListEntries::SetText(int index, std::string_view text) {
    TEntry& entry = Entries[static_cast<size_t>(index)];
    if (text == TemplateName(entry.Object)) entry.OwnText.reset();
    else entry.OwnText = std::make_unique<std::string>(text);
}

int TListEntries::NextStartingWith(unsigned char letter, int focused) const {
    const int count = Count();
    if (count == 0) return -1;
    const unsigned char small = SmallLetter(letter);
    auto startsWith = [small](std::string_view text, size_t at) {
        return at < text.size() && SmallLetter(static_cast<unsigned char>(text[at])) == small;
    };
    int index = focused < 0 || focused >= count - 1 ? 0 : focused + 1;
    for (int i = 0; i < count; ++i, index = index + 1 == count ? 0 : index + 1) {
        const std::string_view text = Text(index);
        if (startsWith(text, 0)) return index;
        if (!text.empty() && text[0] == '[' &&
            (startsWith(text, 1) || (text.size() > 1 && text[1] == '-' && startsWith(text, 2))))
            return index;
    }
    return -1;
}

}  // namespace tessara
