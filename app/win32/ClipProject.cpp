// Tessara.exe: the program entry. Builds the Win32 implementations of the form's ports,
// creates the application's and the main window, runs the form's creation, shows the window
// and runs its first show, and then the message loop until the main window is destroyed.
#include <windows.h>
#include <commctrl.h>
#include <objbase.h>

#include <memory>

#include "app/ClipUnit.h"
#include "app/EditorForm.h"
#include "app/FindForm.h"
#include "app/RepositoryFiles.h"
#include "app/Texts.h"
#include "app/win32/Resource.h"
#include "app/win32/WinApplication.h"
#include "app/win32/WinClipboard.h"
#include "app/win32/WinDialogs.h"
#include "app/win32/WinDpi.h"
#include "app/win32/WinEditorWindow.h"
#include "app/win32/WinFindWindow.h"
#include "app/win32/WinMainWindow.h"
#include "app/win32/WinOneWriter.h"
#include "app/win32/WinPlaceholderDialog.h"
#include "app/win32/WinText.h"
#include "app/win32/WinTrayIcon.h"

using namespace tessara;
using namespace tessara::win32;

namespace {

// The shell may hand a "mailto:" link to a COM extension: the thread is an apartment first.
class TComApartment {
public:
    TComApartment()
        : Initialized(SUCCEEDED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED |
                                                             COINIT_DISABLE_OLE1DDE))) {}
    TComApartment(const TComApartment&) = delete;
    TComApartment& operator=(const TComApartment&) = delete;
    ~TComApartment() {
        if (Initialized) ::CoUninitialize();
    }

private:
    bool Initialized;
};

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    // Before any window and any size the system reports: they then come at the display's DPI.
    DeclareDpiAwareness();
    // One writer per repository file: a start on a file that another run of the program has
    // open brings that run's window forward and ends, before it reads or writes anything.
    TWinOneWriter writer;
    if (!writer.Acquire(Wide(Texts().RepositoryFileName))) return 0;
    TComApartment com;
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_WIN95_CLASSES | ICC_BAR_CLASSES};
    ::InitCommonControlsEx(&controls);
    const HICON icon = ::LoadIconW(instance, MAKEINTRESOURCEW(IDI_TESSARA));
    // The notification area shows the small image at the system's DPI; the shell would
    // otherwise shrink the large.
    HICON smallIcon = static_cast<HICON>(::LoadImageW(
        instance, MAKEINTRESOURCEW(IDI_TESSARA), IMAGE_ICON, ::GetSystemMetrics(SM_CXSMICON),
        ::GetSystemMetrics(SM_CYSMICON), LR_DEFAULTCOLOR));
    if (smallIcon == nullptr) smallIcon = icon;

    TWinApplication application;
    TWinMainWindow window;
    TWinClipboard clipboard;
    TWinMessageBoxes boxes;
    TWinShell shell;
    TWinTrayIcon trayIcon;
    TRepositoryFiles files;
    TWinFindWindow findWindow;
    TWinMessageBoxes findBoxes;
    TWinPlaceholderDialog placeholderDialog;
    try {
        application.Create(instance, icon, Wide(Texts().MainCaption));
        window.Create(instance, icon, application);
        findWindow.Create(instance, icon);
    } catch (const std::exception& error) {
        ::MessageBoxW(nullptr, Wide(error.what()).c_str(), L"Tessara", MB_OK | MB_ICONERROR);
        return 1;
    }
    const HWND main = window.Handle();
    writer.Publish(main);
    application.SetMainWindow(main);
    clipboard.SetOwner(main);
    boxes.SetOwner(main);
    shell.SetOwner(main);
    trayIcon.SetWindow(main, smallIcon);
    findBoxes.SetOwner(findWindow.Handle());
    placeholderDialog.SetOwners(instance, main, findWindow.Handle());

    // The module editors: a window of their own each, owned by the main window.
    TEditorForms editors([&](TEditorForm& editor) {
        return std::make_unique<TWinEditorWindow>(instance, icon, main, editor);
    });
    TmForm form(TFormPorts{.DlgForms = window.DlgForms,
                           .edtName = window.edtName,
                           .Button2 = window.Button2,
                           .Button3 = window.Button3,
                           .ButtonMore = window.ButtonMore,
                           .StatusBar1 = window.StatusBar1,
                           .Window = window,
                           .PopupMenu = window.PopupMenu,
                           .Boxes = boxes,
                           .Clipboard = clipboard,
                           .Shell = shell,
                           .TrayIcon = trayIcon,
                           .Application = application,
                           .Files = files,
                           .PlaceholderDialog = placeholderDialog,
                           .Editors = editors});
    window.SetForm(&form);
    editors.SetMain(&form);
    window.CloseEditors = [&] { return editors.CloseAll(); };
    TFindForm find(TFindPorts{findWindow, findBoxes, window.StatusBar1, application}, form);
    form.OnDocumentChanged = [&] {
        find.DocumentChanged();
        editors.DocumentChanged();
    };
    findWindow.SetForm(&find, [&](const std::exception& error) {
        ShowStandardError(findBoxes, error, application.Title());
    });
    application.SetMessageObserver([&](const MSG& message) { window.ControlHints().Relay(message); });
    application.SetKeyHandler([&](const MSG& message) { return window.KeyDown(message); });
    application.SetMinimizeHandler([&] { window.Guard([&] { form.ApplicationMinimize(); }); });

    window.Guard([&] { form.FormCreate(); });
    window.CenterOnScreen();
    // The window appears before the repository is read: a large file is then read behind a
    // painted window with the wait cursor, not before any window at all. Input that comes
    // meanwhile waits in the queue for the filled list.
    ::ShowWindow(main, SW_SHOW);
    ::UpdateWindow(main);
    ::SetForegroundWindow(main);
    {
        const HCURSOR before = ::SetCursor(::LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_WAIT)));
        window.Guard([&] { form.FormShow(); });
        ::SetCursor(before);
    }
    // The find window's hotkey, from any program; without it the program works on.
    if (!findWindow.RegisterHotkey()) window.Guard([&] { find.HotkeyUnavailable(); });

    const int exitCode = application.Run();
    findWindow.UnregisterHotkey();
    findWindow.SetForm(nullptr, nullptr);
    form.OnDocumentChanged = nullptr;
    window.CloseEditors = nullptr;
    // Their windows went with the main window; the templates they hold go before the document.
    editors.Drop();
    window.SetForm(nullptr);
    return exitCode;
}
