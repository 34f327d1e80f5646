#include "app/win32/WinDropFiles.h"

#include "app/win32/WinText.h"

namespace tessara::win32 {

std::vector<std::string> TakeDroppedFileNames(HDROP drop) {
    std::vector<std::string> names;
    const UINT count = ::DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
    for (UINT i = 0; i < count; ++i) {
        const UINT length = ::DragQueryFileW(drop, i, nullptr, 0);
        if (length == 0) continue;
        std::wstring name(static_cast<size_t>(length) + 1, L'\0');
        name.resize(::DragQueryFileW(drop, i, name.data(), length + 1));
        // A name with characters outside 1251 cannot be opened through the 1251 names: the
        // reader then says it cannot open it, in the standard error box.
        names.push_back(Narrow(name));
    }
    ::DragFinish(drop);
    return names;
}

}  // namespace tessara::win32
