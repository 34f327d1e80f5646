#include "app/win32/WinOneWriter.h"

#include <cstdint>
#include <cstring>
#include <string_view>

#include "app/ByteHash.h"
#include "platform/SafeFile.h"

namespace tessara::win32 {
namespace {

// What the first program shares with later starts: its main window, once it has one.
struct TWriterRecord {
    uint64_t MainWindow;  // an HWND, as wide in a 32-bit program as in a 64-bit one
    uint32_t ProcessId;
};

}  // namespace

std::wstring ComparablePath(const std::wstring& fileName) {
    std::wstring path = FullPath(fileName);
    if (path.empty()) return path;
    const int n = ::LCMapStringEx(LOCALE_NAME_INVARIANT, LCMAP_UPPERCASE, path.c_str(), static_cast<int>(path.size()),
                                  nullptr, 0, nullptr, nullptr, 0);
    if (n <= 0) {
        ::CharUpperBuffW(path.data(), static_cast<DWORD>(path.size()));
        return path;
    }
    std::wstring upper(static_cast<size_t>(n), L'\0');
    ::LCMapStringEx(LOCALE_NAME_INVARIANT, LCMAP_UPPERCASE, path.c_str(), static_cast<int>(path.size()), upper.data(), n,
                    nullptr, nullptr, 0);
    return upper;
}

std::wstring WriterObjectName(const std::wstring& fileName) {
    const std::wstring path = ComparablePath(fileName);
    uint64_t hash = HashBytes(std::string_view(reinterpret_cast<const char*>(path.data()), path.size() * sizeof(wchar_t)));
    wchar_t hex[17];
    for (int i = 15; i >= 0; --i, hash >>= 4) hex[i] = L"0123456789ABCDEF"[hash & 15];
    hex[16] = L'\0';
    return std::wstring(L"Local\\Tessara.Repository.") + hex;
}

UINT AnotherStartMessage() {
    static const UINT message = ::RegisterWindowMessageW(L"Tessara.AnotherStart");
    return message;
}

TWinOneWriter::~TWinOneWriter() {
    if (View != nullptr) ::UnmapViewOfFile(View);
    if (Mapping != nullptr) ::CloseHandle(Mapping);
}

bool TWinOneWriter::Acquire(const std::wstring& fileName) {
    const std::wstring name = WriterObjectName(fileName);
    // 100 tries 50 ms apart: the other program may still be making its window, or ending.
    for (int attempt = 0; attempt < 100; ++attempt) {
        const HANDLE mapping = ::CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                                    sizeof(TWriterRecord), name.c_str());
        if (mapping == nullptr) return true;  // no object to share: run, as before there was one
        const bool first = ::GetLastError() != ERROR_ALREADY_EXISTS;
        void* view = ::MapViewOfFile(mapping, FILE_MAP_READ | FILE_MAP_WRITE, 0, 0, sizeof(TWriterRecord));
        if (first) {
            Mapping = mapping;
            View = view;
            return true;
        }
        if (view != nullptr) {
            const TWriterRecord record = *static_cast<const TWriterRecord*>(view);
            ::UnmapViewOfFile(view);
            const HWND window = reinterpret_cast<HWND>(static_cast<uintptr_t>(record.MainWindow));
            if (window != nullptr && ::IsWindow(window)) {
                // We were started by the user and may hand the foreground on.
                ::AllowSetForegroundWindow(record.ProcessId);
                ::PostMessageW(window, AnotherStartMessage(), 0, 0);
                ::CloseHandle(mapping);
                return false;
            }
        }
        ::CloseHandle(mapping);
        ::Sleep(50);
    }
    return false;  // another program holds the file and shows no window: leave it to it
}

void TWinOneWriter::Publish(HWND mainWindow) {
    if (View == nullptr) return;
    auto* record = static_cast<TWriterRecord*>(View);
    record->ProcessId = ::GetCurrentProcessId();
    record->MainWindow = static_cast<uint64_t>(reinterpret_cast<uintptr_t>(mainWindow));
}

}  // namespace tessara::win32
