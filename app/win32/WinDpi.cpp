#include "app/win32/WinDpi.h"

#include "app/Scaling.h"

namespace tessara::win32 {
namespace {

// Windows 7 declares none of these; they are called only where GetProcAddress finds them.
using TSetProcessDpiAwarenessContext = BOOL(WINAPI*)(HANDLE context);
using TSetProcessDpiAwareness = HRESULT(WINAPI*)(int awareness);
using TSetProcessDPIAware = BOOL(WINAPI*)();
using TGetDpiForSystem = UINT(WINAPI*)();
using TGetDpiForWindow = UINT(WINAPI*)(HWND window);
using TSystemParametersInfoForDpi = BOOL(WINAPI*)(UINT action, UINT param, void* data, UINT winIni, UINT dpi);
using TAdjustWindowRectExForDpi = BOOL(WINAPI*)(RECT* rect, DWORD style, BOOL menu, DWORD exStyle,
                                                UINT dpi);

const HANDLE kPerMonitorAwareV2 = reinterpret_cast<HANDLE>(static_cast<INT_PTR>(-4));
const HANDLE kPerMonitorAware = reinterpret_cast<HANDLE>(static_cast<INT_PTR>(-3));
constexpr int kProcessPerMonitorDpiAware = 2;

template <class F>
F User32Function(const char* name) {
    const HMODULE user32 = ::GetModuleHandleW(L"user32.dll");
    return user32 != nullptr ? reinterpret_cast<F>(reinterpret_cast<void*>(::GetProcAddress(user32, name)))
                             : nullptr;
}

}  // namespace

void DeclareDpiAwareness() {
    // Each call fails with "access denied" when the manifest has set the awareness already;
    // then the next, older one is not tried either.
    if (const auto set = User32Function<TSetProcessDpiAwarenessContext>("SetProcessDpiAwarenessContext")) {
        if (set(kPerMonitorAwareV2) || set(kPerMonitorAware)) return;
        if (::GetLastError() == ERROR_ACCESS_DENIED) return;
    }
    if (const HMODULE shcore = ::LoadLibraryW(L"shcore.dll")) {
        const auto set = reinterpret_cast<TSetProcessDpiAwareness>(
            reinterpret_cast<void*>(::GetProcAddress(shcore, "SetProcessDpiAwareness")));
        const HRESULT result = set != nullptr ? set(kProcessPerMonitorDpiAware) : E_NOTIMPL;
        // shcore stays loaded: the awareness it set is the process's from now on.
        if (SUCCEEDED(result) || result == E_ACCESSDENIED) return;
    }
    if (const auto set = User32Function<TSetProcessDPIAware>("SetProcessDPIAware")) set();
}

int SystemDpi() {
    if (const auto get = User32Function<TGetDpiForSystem>("GetDpiForSystem")) {
        if (const UINT dpi = get(); dpi != 0) return static_cast<int>(dpi);
    }
    const HDC screen = ::GetDC(nullptr);
    const int dpi = screen != nullptr ? ::GetDeviceCaps(screen, LOGPIXELSX) : 0;
    if (screen != nullptr) ::ReleaseDC(nullptr, screen);
    return dpi > 0 ? dpi : kLayoutDpi;
}

int WindowDpi(HWND window) {
    if (const auto get = User32Function<TGetDpiForWindow>("GetDpiForWindow")) {
        if (const UINT dpi = get(window); dpi != 0) return static_cast<int>(dpi);
    }
    return SystemDpi();
}

bool NonClientMetricsAtDpi(NONCLIENTMETRICSW& metrics, int dpi) {
    metrics = {};
    metrics.cbSize = sizeof metrics;
    if (const auto get = User32Function<TSystemParametersInfoForDpi>("SystemParametersInfoForDpi")) {
        if (get(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0, static_cast<UINT>(dpi))) return true;
    }
    if (!::SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0)) return false;
    const int system = SystemDpi();
    for (LOGFONTW* font : {&metrics.lfCaptionFont, &metrics.lfSmCaptionFont, &metrics.lfMenuFont,
                           &metrics.lfStatusFont, &metrics.lfMessageFont})
        font->lfHeight = ::MulDiv(font->lfHeight, dpi, system);
    return true;
}

std::optional<SIZE> FrameAtDpi(DWORD style, DWORD exStyle, int dpi) {
    const auto adjust = User32Function<TAdjustWindowRectExForDpi>("AdjustWindowRectExForDpi");
    RECT frame = {0, 0, 0, 0};
    if (adjust == nullptr || !adjust(&frame, style, FALSE, exStyle, static_cast<UINT>(dpi)))
        return std::nullopt;
    return SIZE{frame.right - frame.left, frame.bottom - frame.top};
}

SIZE SystemFrame(DWORD style, DWORD exStyle) {
    RECT frame = {0, 0, 0, 0};
    ::AdjustWindowRectEx(&frame, style, FALSE, exStyle);
    return SIZE{frame.right - frame.left, frame.bottom - frame.top};
}

}  // namespace tessara::win32
