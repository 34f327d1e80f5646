// One writer per repository file: the kernel object's name as Windows compares paths, and a
// second start on the same file asking the first one's window to come forward.
#ifdef _WIN32
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "app/win32/WinOneWriter.h"

namespace tessara::win32 {
namespace {

TEST(OneWriter, ObjectNameComparesPathsAsWindowsDoes) {
    wchar_t dir[MAX_PATH];
    ::GetCurrentDirectoryW(MAX_PATH, dir);
    const std::wstring here = WriterObjectName(L"1CDialogControls.xml");
    EXPECT_EQ(here.rfind(L"Local\\Tessara.Repository.", 0), 0u);
    const struct {
        std::wstring Name;
        bool Same;
    } cases[] = {
        {L".\\1cdialogcontrols.XML", true},
        {L"sub\\..\\1CDialogControls.xml", true},
        {std::wstring(dir) + L"\\1CDialogControls.xml", true},
        {std::wstring(dir) + L"/1CDIALOGCONTROLS.xml", true},
        {L"sub\\1CDialogControls.xml", false},
        {L"1CDialogControls.xml.bad", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(WriterObjectName(c.Name) == here, c.Same) << std::string(c.Name.begin(), c.Name.end());
    // Cyrillic folder names compare without regard to case too.
    EXPECT_EQ(WriterObjectName(L"\u043f\u0430\u043f\u043a\u0430\\r.xml"), WriterObjectName(L"\u041f\u0410\u041f\u041a\u0410\\R.XML"));
    EXPECT_NE(WriterObjectName(L"\u043f\u0430\u043f\u043a\u0430\\r.xml"), WriterObjectName(L"\u043f\u0430\u043f\u043a\u0438\\r.xml"));
}

int anotherStarts = 0;

LRESULT CALLBACK CountingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == AnotherStartMessage()) ++anotherStarts;
    return ::DefWindowProcW(window, message, wParam, lParam);
}

TEST(OneWriter, SecondStartOnTheSameFileAsksTheFirstWindowForwardAndEnds) {
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = CountingProc;
    windowClass.hInstance = ::GetModuleHandleW(nullptr);
    windowClass.lpszClassName = L"OneWriterTestWindow";
    ::RegisterClassW(&windowClass);
    const HWND window = ::CreateWindowW(L"OneWriterTestWindow", L"", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr,
                                        windowClass.hInstance, nullptr);
    if (window == nullptr) GTEST_SKIP() << "no window system";
    // A name of this test's own, so that no running program shares it.
    const std::wstring file = L"one-writer-test-" + std::to_wstring(::GetCurrentProcessId()) + L".xml";
    anotherStarts = 0;
    {
        TWinOneWriter first;
        ASSERT_TRUE(first.Acquire(file));
        first.Publish(window);
        TWinOneWriter other;
        EXPECT_TRUE(other.Acquire(L"elsewhere\\" + file));  // another file: side by side
        TWinOneWriter second;
        EXPECT_FALSE(second.Acquire(file));
        MSG message;
        while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) ::DispatchMessageW(&message);
        EXPECT_EQ(anotherStarts, 1);
    }
    // The first one ended: the next start is the writer.
    TWinOneWriter next;
    EXPECT_TRUE(next.Acquire(file));
    ::DestroyWindow(window);
}

}  // namespace
}  // namespace tessara::win32
#endif
