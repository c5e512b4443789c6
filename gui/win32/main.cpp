// vexelscreen-generator.exe [PROJECT.vsp]
// The generator's native window. A first argument that names an existing
// file is the project to load when the window first shows.
// The model's headers come before the system's, whose macros would take
// some of the model's names.
#include "app/generator_model.h"

#include <windows.h>

#include <commctrl.h>
#include <ole2.h>
#include <shellapi.h>

#include <string>
#include <vector>

#include "gui/win32/generator_window.h"
#include "gui/win32/win32_ports.h"
#include "gui/win32/win32_support.h"
#include "platform/win32.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int showCommand) {
    vs::win32::RestrictLibrarySearchToSystem();
    INITCOMMONCONTROLSEX controls{};
    controls.dwSize = sizeof controls;
    controls.dwICC = ICC_STANDARD_CLASSES | ICC_WIN95_CLASSES | ICC_BAR_CLASSES | ICC_LISTVIEW_CLASSES |
                     ICC_UPDOWN_CLASS | ICC_PROGRESS_CLASS | ICC_TAB_CLASSES;
    InitCommonControlsEx(&controls);
    // The help pages read rich text through the RichEdit control of this library.
    vs::win32::LoadSystemLibrary(L"Msftedit.dll");
    OleInitialize(nullptr);

    std::vector<std::string> arguments;
    int count = 0;
    if (LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &count)) {
        for (int i = 1; i < count; ++i) arguments.push_back(vs::win32::Utf8(argv[i]));
        LocalFree(argv);
    }

    vs::win32::Win32UserInterface ui;
    vs::win32::Win32Shell shell;
    vs::win32::IniSettingsStore store;
    int result = 0;
    // What fails outside every handler (making the window) is reported as
    // well, rather than ending the program without a word.
    try {
        vs::win32::GeneratorWindow window(ui, shell, store, vs::GeneratorPaths::OfThisProgram());
        if (!window.hwnd()) {
            MessageBoxW(nullptr, L"The window could not be created.", vs::win32::kApplicationTitle, MB_ICONERROR | MB_OK);
            return 1;
        }
        window.start(arguments, showCommand);
        MSG msg;
        while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
            if (window.translateAny(msg)) continue;
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        result = static_cast<int>(msg.wParam);
    } catch (const std::exception& failure) {
        vs::win32::ReportFailure(failure);
        result = 1;
    }
    // A preview that was still running when the window closed takes its file
    // with it only when it ends; until then the program stays, without a window.
    vs::win32::WaitForPendingRemovals();
    OleUninitialize();
    return result;
}
