// The platform's pointer list and string list.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "platform/Exceptions.h"

namespace tessara {

// The root of the class tree: anything a plain owning list may destroy.
class TObject {
public:
    virtual ~TObject() = default;
};

// An ordered list of untyped pointers; entries may be null. Index errors raise EListError.
class TList {
public:
    TList() = default;
    TList(const TList&) = delete;
    TList& operator=(const TList&) = delete;
    virtual ~TList() = default;

    int Count() const noexcept { return static_cast<int>(Items.size()); }
    int Capacity() const noexcept { return static_cast<int>(Items.capacity()); }

    void* Get(int index) const {
        CheckIndex(index, Count() - 1);
        return Items[static_cast<size_t>(index)];
    }
    void Put(int index, void* item) {
        CheckIndex(index, Count() - 1);
        Items[static_cast<size_t>(index)] = item;
    }
    int Add(void* item) {
        Items.push_back(item);
        return Count() - 1;
    }
    void Insert(int index, void* item) {
        CheckIndex(index, Count());
        Items.insert(Items.begin() + index, item);
    }
    void Delete(int index) {
        CheckIndex(index, Count() - 1);
        Items.erase(Items.begin() + index);
    }
    int IndexOf(const void* item) const noexcept {
        for (size_t i = 0; i < Items.size(); ++i)
            if (Items[i] == item) return static_cast<int>(i);
        return -1;
    }
    void* Last() const { return Get(Count() - 1); }
    // Leaves count and capacity at 0.
    virtual void Clear() {
        Items.clear();
        Items.shrink_to_fit();
    }

private:
    static void CheckIndex(int index, int highest) {
        if (index < 0 || index > highest) throw EListError(index);
    }
    std::vector<void*> Items;
};

// An unsorted list of byte strings, duplicates allowed.
class TStringList {
public:
    int Count() const noexcept { return static_cast<int>(Strings.size()); }
    const std::string& Get(int index) const {
        if (index < 0 || index >= Count()) throw EListError(index);
        return Strings[static_cast<size_t>(index)];
    }
    void Add(std::string s) { Strings.push_back(std::move(s)); }
    void Delete(int index) {
        if (index < 0 || index >= Count()) throw EListError(index);
        Strings.erase(Strings.begin() + index);
    }
    void Clear() noexcept { Strings.clear(); }

private:
    std::vector<std::string> Strings;
};

}  // namespace tessara
