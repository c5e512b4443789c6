// VSD.exe puts the projector's window behind the desktop icons: into the
// desktop's background window where the shell has one, otherwise at the
// bottom of the window stack.
#include "win32/win32_util.h"

#include <shellapi.h>

namespace vs::win32 {
namespace {

BOOL CALLBACK findBackground(HWND top, LPARAM out) {
    if (FindWindowExW(top, nullptr, L"SHELLDLL_DefView", nullptr)) {
        // The background window is the next "WorkerW" after the one with the icons.
        *reinterpret_cast<HWND*>(out) = FindWindowExW(nullptr, top, L"WorkerW", nullptr);
        return FALSE;
    }
    return TRUE;
}

HWND DesktopBackground() {
    HWND progman = FindWindowW(L"Progman", nullptr);
    if (!progman) return nullptr;
    DWORD_PTR ignored;
    // Asks the shell to make its background window.
    SendMessageTimeoutW(progman, 0x052C, 0, 0, SMTO_NORMAL, 1000, &ignored);
    HWND background = nullptr;
    EnumWindows(findBackground, reinterpret_cast<LPARAM>(&background));
    return background ? background : progman;
}

int Run() {
    std::wstring given;
    int argc = 0;
    if (LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc)) {
        if (argc > 1) given = argv[1];
        LocalFree(argv);
    }
    HWND window = FindProjectorWindow(given);
    if (!window) {
        Tell(L"VexelSCREEN", L"There is no projector window to put on the desktop.", true);
        return 1;
    }
    if (HWND background = DesktopBackground()) {
        SetParent(window, background);
    } else {
        SetWindowPos(window, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    }
    return 0;
}

}  // namespace
}  // namespace vs::win32

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    vs::win32::RestrictDllSearch();
    return vs::win32::Run();
}
