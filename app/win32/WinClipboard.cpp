#include "app/win32/WinClipboard.h"

#include <cstring>
#include <memory>

#include "platform/Exceptions.h"

namespace tessara::win32 {
namespace {

// A global memory block that is freed unless it was handed to the clipboard.
class TGlobalBlock {
public:
    TGlobalBlock(UINT flags, const void* bytes, size_t size) {
        Handle = ::GlobalAlloc(flags, size);
        if (Handle == nullptr) throw Exception("Out of memory");
        if (size == 0) return;  // a zero-length block cannot be locked and needs no bytes
        void* p = ::GlobalLock(Handle);
        if (p == nullptr) {
            ::GlobalFree(Handle);
            throw Exception("Out of memory");
        }
        std::memcpy(p, bytes, size);
        ::GlobalUnlock(Handle);
    }
    TGlobalBlock(const TGlobalBlock&) = delete;
    TGlobalBlock& operator=(const TGlobalBlock&) = delete;
    ~TGlobalBlock() {
        if (Handle != nullptr) ::GlobalFree(Handle);
    }

    // Once put, the block belongs to the clipboard.
    bool PutAs(UINT format) {
        if (::SetClipboardData(format, Handle) == nullptr) return false;
        Handle = nullptr;
        return true;
    }

private:
    HGLOBAL Handle;
};

// The clipboard port's block. Windows takes a zero-length block; Wine refuses one. So an
// empty block comes with one zero byte to stand in: every reader stops at the first zero
// byte, so it still reads as empty. Both are made at once, before the clipboard is opened.
class TWinClipboardBlock final : public IClipboardBlock {
public:
    TWinClipboardBlock(UINT flags, std::string_view bytes)
        : Block(flags, bytes.data(), bytes.size()),
          ZeroByte(bytes.empty() ? std::make_unique<TGlobalBlock>(flags, "", 1) : nullptr) {}

    bool PutAs(UINT format) {
        return Block.PutAs(format) || (ZeroByte != nullptr && ZeroByte->PutAs(format));
    }

private:
    TGlobalBlock Block;
    std::unique_ptr<TGlobalBlock> ZeroByte;
};

}  // namespace

std::string BytesOfBlock(HGLOBAL block) {
    const SIZE_T size = ::GlobalSize(block);
    if (size == 0) return std::string();
    const void* p = ::GlobalLock(block);
    if (p == nullptr) return std::string();
    const char* bytes = static_cast<const char*>(p);
    const void* zero = std::memchr(bytes, 0, size);
    std::string result(bytes, zero != nullptr ? static_cast<const char*>(zero) - bytes : size);
    ::GlobalUnlock(block);
    return result;
}

unsigned TWinClipboard::RegisterFormat(const std::string& name) {
    return ::RegisterClipboardFormatA(name.c_str());
}

void TWinClipboard::Open() {
    for (int attempt = 0; attempt < kOpenTries; ++attempt) {
        if (attempt > 0) ::Sleep(kOpenPauseMs);
        if (::OpenClipboard(Owner)) {
            IsOpen = true;
            return;
        }
    }
    throw EClipboardException();
}

void TWinClipboard::Empty() { ::EmptyClipboard(); }

TClipboardBlock TWinClipboard::Allocate(std::string_view block) {
    // Moveable, as the clipboard requires of the blocks it takes.
    return std::make_unique<TWinClipboardBlock>(GMEM_MOVEABLE, block);
}

void TWinClipboard::SetData(unsigned format, TClipboardBlock block) {
    // Only blocks made by Allocate above reach here.
    if (static_cast<TWinClipboardBlock&>(*block).PutAs(format)) return;
    throw Exception("Cannot set clipboard data");
}

std::optional<std::string> TWinClipboard::GetData(unsigned format) {
    const HANDLE block = ::GetClipboardData(format);
    if (block == nullptr) return std::nullopt;
    return BytesOfBlock(block);
}

std::optional<std::u16string> TWinClipboard::GetUnicodeText() {
    const HANDLE block = ::GetClipboardData(CF_UNICODETEXT);
    if (block == nullptr) return std::nullopt;
    const SIZE_T units = ::GlobalSize(block) / sizeof(char16_t);
    if (units == 0) return std::u16string();
    const void* p = ::GlobalLock(block);
    if (p == nullptr) return std::u16string();
    const auto* text = static_cast<const char16_t*>(p);
    SIZE_T length = 0;
    while (length < units && text[length] != 0) ++length;
    std::u16string result(text, length);
    ::GlobalUnlock(block);
    return result;
}

bool TWinClipboard::HasData(unsigned format) { return ::GetClipboardData(format) != nullptr; }

bool TWinClipboard::IsFormatAvailable(unsigned format) {
    return ::IsClipboardFormatAvailable(format) != FALSE;
}

void TWinClipboard::Close() {
    if (!IsOpen) return;
    IsOpen = false;
    ::CloseClipboard();
}

}  // namespace tessara::win32
