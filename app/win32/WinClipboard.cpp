#include "app/win32/WinClipboard.h"

#include <cstring>

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

void TWinClipboard::SetData(unsigned format, std::string_view block, unsigned allocFlags) {
    TGlobalBlock data(allocFlags, block.data(), block.size());
    if (data.PutAs(format)) return;
    // Windows takes a zero-length block; Wine refuses one. Then the empty data goes as one
    // zero byte: every reader stops at the first zero byte, so it still reads as empty.
    if (block.empty()) {
        const char zero = '\0';
        TGlobalBlock zeroByte(allocFlags, &zero, 1);
        if (zeroByte.PutAs(format)) return;
    }
    throw Exception("Cannot set clipboard data");
}

std::optional<std::string> TWinClipboard::GetData(unsigned format) {
    const HANDLE block = ::GetClipboardData(format);
    if (block == nullptr) return std::nullopt;
    return BytesOfBlock(block);
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
