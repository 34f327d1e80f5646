/* A hidden GUI process that lives for a whole test run. Wine's explorer (which holds the
   desktop, the clipboard and the tray) exits a few seconds after the last GUI process ends and
   takes the clipboard with it; while this window exists, explorer stays. Prints "ready" once
   its window is created, then waits for messages until it is told to close or the Wine server
   goes down. */
#include <stdio.h>
#include <windows.h>

int main(void) {
    HWND hwnd = CreateWindowExW(0, L"STATIC", L"TessaraWineKeepAlive", WS_POPUP, 0, 0, 1, 1,
                                NULL, NULL, GetModuleHandleW(NULL), NULL);
    if (!hwnd) {
        printf("failed %lu\n", GetLastError());
        return 1;
    }
    printf("ready\n");
    fflush(stdout);
    MSG msg;
    while (GetMessageW(&msg, NULL, 0, 0) > 0) {
        if (msg.message == WM_CLOSE && msg.hwnd == hwnd) break;
        DispatchMessageW(&msg);
    }
    return 0;
}
