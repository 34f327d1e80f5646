// Times one start and one close of Tessara from inside Wine, for program_figures.py:
//
//   figures_probe.exe EXE FILE COUNT BYTES TIMEOUT_MS
//
// Starts EXE in the current directory and polls, every millisecond or so, until its main window
// is visible and its template list holds COUNT items (LB_GETCOUNT only: reading every item's
// text, as the end-to-end driver's list command does, would cost more than the fill itself at
// 100,000 items). Then posts WM_CLOSE and polls until FILE has BYTES bytes and a write time
// different from the one it had before the start (or exists at all, when it did not), and
// until the process has exited. Prints one line:
//
//   ok created=MS visible=MS list=MS saved=MS exit=MS
//
// created, visible and list count from the start; saved and exit from the posted WM_CLOSE.
// Every wait is bounded by TIMEOUT_MS; on a timeout or error it prints "fail WHY" and kills the
// process it started.

#ifndef UNICODE
#define UNICODE
#endif
#ifndef _UNICODE
#define _UNICODE
#endif
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <string>

namespace {

constexpr int ListId = 110;

LARGE_INTEGER Frequency;

double Now()
{
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return double(t.QuadPart) * 1000.0 / double(Frequency.QuadPart);
}

struct FindData {
    DWORD Pid;
    HWND Found;
};

BOOL CALLBACK FindMain(HWND h, LPARAM param)
{
    auto* data = reinterpret_cast<FindData*>(param);
    DWORD pid = 0;
    GetWindowThreadProcessId(h, &pid);
    wchar_t cls[32] = {};
    if (pid == data->Pid && GetClassNameW(h, cls, 32) && std::wcscmp(cls, L"TmForm") == 0) {
        data->Found = h;
        return FALSE;
    }
    return TRUE;
}

HWND MainOf(DWORD pid)
{
    FindData data{pid, nullptr};
    EnumWindows(FindMain, LPARAM(&data));
    return data.Found;
}

struct FileState {
    bool Exists = false;
    ULONGLONG Size = 0;
    FILETIME Written{};
};

FileState StateOf(const std::wstring& path)
{
    WIN32_FILE_ATTRIBUTE_DATA a;
    FileState s;
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &a)) return s;
    s.Exists = true;
    s.Size = (ULONGLONG(a.nFileSizeHigh) << 32) | a.nFileSizeLow;
    s.Written = a.ftLastWriteTime;
    return s;
}

std::wstring Wide(const char* s)
{
    int n = MultiByteToWideChar(CP_UTF8, 0, s, -1, nullptr, 0);
    std::wstring w(size_t(n > 0 ? n : 1), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, s, -1, w.data(), n);
    w.resize(std::wcslen(w.c_str()));
    return w;
}

int Fail(HANDLE process, const char* why)
{
    if (process) TerminateProcess(process, 3);
    std::printf("fail %s\n", why);
    return 1;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 6) {
        std::fprintf(stderr, "usage: figures_probe EXE FILE COUNT BYTES TIMEOUT_MS\n");
        return 2;
    }
    QueryPerformanceFrequency(&Frequency);
    std::wstring exe = Wide(argv[1]), file = Wide(argv[2]);
    const LRESULT count = LRESULT(std::strtoll(argv[3], nullptr, 10));
    const ULONGLONG bytes = ULONGLONG(std::strtoull(argv[4], nullptr, 10));
    const double timeout = std::strtod(argv[5], nullptr);
    const FileState before = StateOf(file);

    std::wstring commandLine = L"\"" + exe + L"\"";
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    const double start = Now();
    if (!CreateProcessW(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
        return Fail(nullptr, "CreateProcess failed");
    CloseHandle(pi.hThread);

    double created = -1, visible = -1, listed = -1;
    HWND main = nullptr;
    while (listed < 0) {
        if (Now() - start > timeout) return Fail(pi.hProcess, "the list did not fill in time");
        if (WaitForSingleObject(pi.hProcess, 0) == WAIT_OBJECT_0) return Fail(nullptr, "the program exited");
        if (!main && (main = MainOf(pi.dwProcessId)) != nullptr) created = Now() - start;
        if (main && visible < 0 && IsWindowVisible(main)) visible = Now() - start;
        if (visible >= 0) {
            DWORD_PTR got = 0;
            HWND list = GetDlgItem(main, ListId);
            if (list && SendMessageTimeoutW(list, LB_GETCOUNT, 0, 0, SMTO_NORMAL, DWORD(timeout), &got) &&
                LRESULT(got) == count)
                listed = Now() - start;
        }
        if (listed < 0) Sleep(1);
    }

    const double close = Now();
    if (!PostMessageW(main, WM_CLOSE, 0, 0)) return Fail(pi.hProcess, "PostMessage failed");
    double saved = -1, exited = -1;
    while (saved < 0 || exited < 0) {
        if (Now() - close > timeout) return Fail(pi.hProcess, "the file was not saved in time");
        if (saved < 0) {
            const FileState s = StateOf(file);
            const bool rewritten = !before.Exists || CompareFileTime(&s.Written, &before.Written) != 0;
            if (s.Exists && s.Size == bytes && rewritten) saved = Now() - close;
        }
        if (exited < 0 && WaitForSingleObject(pi.hProcess, 0) == WAIT_OBJECT_0) exited = Now() - close;
        if (saved < 0 || exited < 0) Sleep(1);
    }
    CloseHandle(pi.hProcess);
    std::printf("ok created=%.1f visible=%.1f list=%.1f saved=%.1f exit=%.1f\n", created, visible, listed, saved,
                exited);
    return 0;
}
