// The Win32 clipboard behind the clipboard port: global memory blocks under a format, the
// clipboard open only between Open and Close, opened with our own window as owner.
#pragma once

#include <windows.h>

#include <optional>
#include <string>

#include "app/Ports.h"

namespace tessara::win32 {

class TWinClipboard final : public IClipboard {
public:
    // With no owner SetClipboardData fails after EmptyClipboard, so the owner is the window.
    explicit TWinClipboard(HWND owner = nullptr) : Owner(owner) {}
    void SetOwner(HWND owner) { Owner = owner; }

    unsigned RegisterFormat(const std::string& name) override;
    void Open() override;
    void Empty() override;
    TClipboardBlock Allocate(std::string_view block) override;
    void SetData(unsigned format, TClipboardBlock block) override;
    std::optional<std::string> GetData(unsigned format) override;
    std::optional<std::u16string> GetUnicodeText() override;
    bool HasData(unsigned format) override;
    bool IsFormatAvailable(unsigned format) override;
    void Close() override;

    // Another program may hold the clipboard for a moment: tries and the pause between them.
    static constexpr int kOpenTries = 10;
    static constexpr DWORD kOpenPauseMs = 10;

private:
    HWND Owner;
    bool IsOpen = false;
};

// The bytes of a global memory block up to its first zero byte, or all of it.
std::string BytesOfBlock(HGLOBAL block);

}  // namespace tessara::win32
