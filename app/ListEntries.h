// The template list's entries as the list control shows them, without a copy of the names:
// each entry is a link to its template element, and its text is read from the element's name
// whenever it is drawn or asked for. Only an entry whose text is not its element's name (a
// rename that changed another first attribute) keeps a text of its own.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace tessara {

class TXmlDElement;

class TListEntries {
public:
    int Count() const { return static_cast<int>(Entries.size()); }
    // Null outside the list.
    TXmlDElement* Object(int index) const;
    // The entry's text: its own where it has one, otherwise its element's name. Index is in
    // [0, Count()).
    std::string_view Text(int index) const;
    // Appends an entry; it keeps Text only where that is not the element's name.
    void Add(std::string_view text, TXmlDElement* object);
    // Removes the entry at Index (in the list); the entries below move up one place.
    void Delete(int index);
    void Clear() noexcept { Entries.clear(); }
    void SetText(int index, std::string_view text);

    // The entry the list's first-letter jump selects for a typed 1251 byte: the next one after
    // Focused (-1: none) whose text starts with it in either case, from the top again after
    // the last, Focused itself last. As in a directory listing, a text that starts with "["
    // or "[-" is matched at the letter after them. -1 when no entry starts with it.
    int NextStartingWith(unsigned char letter, int focused) const;

private:
    struct TEntry {
        TXmlDElement* Object;
        std::unique_ptr<std::string> OwnText;  // null: the element's name
    };
    std::vector<TEntry> Entries;
};

}  // namespace tessara
