// VSS.exe, the variable service of a running projector: HTTP on
// 127.0.0.1:5905, started by the engine. It ends when the engine broadcasts
// its "VexelSCREEN_VarStore" message on shutdown, or when the engine is gone.
#include <atomic>
#include <thread>

#include "core/var_service.h"
#include "win32/win32_util.h"

namespace vs::win32 {
namespace {

bool Writable(const std::wstring& folder) {
    const std::wstring probe = folder + L"\\~vexelscreen-" + std::to_wstring(GetCurrentProcessId()) + L".tmp";
    HANDLE h = CreateFileW(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                           FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    CloseHandle(h);
    return true;
}

// Beside the projector, or %APPDATA%\VexelSCREEN\<projector name>.
std::wstring StoreFolder() {
    const std::wstring beside = EnvVar(kProjectorDirVar);
    if (!beside.empty() && Writable(beside)) return beside;
    std::wstring appData = EnvVar(L"APPDATA");
    if (appData.empty()) return {};
    std::wstring name = EnvVar(kProjectorNameVar);
    if (name.empty()) name = L"Projector";
    std::wstring folder = appData + L"\\VexelSCREEN";
    CreateDirectoryW(folder.c_str(), nullptr);
    folder += L"\\" + name;
    CreateDirectoryW(folder.c_str(), nullptr);
    return Writable(folder) ? folder : std::wstring();
}

int Run() {
    const std::wstring folder = StoreFolder();
    if (folder.empty() || !SetCurrentDirectoryW(folder.c_str())) return 2;
    // Store names are plain ASCII, so relative names in the current folder
    // reach the file whatever the folder's own spelling.
    engine::VariableStore store(".");
    engine::VarServer server(store);
    try {
        server.Listen();
    } catch (const std::exception&) {
        return 3;
    }
    std::atomic<bool> stop{false};
    std::thread worker([&] { server.Run(stop); });

    const UINT quitMessage = RegisterWindowMessageW(kVarStoreMessageName);
    WNDCLASSW wc{};
    wc.lpfnWndProc = DefWindowProcW;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"VexelSCREENVarStore";
    RegisterClassW(&wc);
    // A top-level window, so that the broadcast reaches it.
    HWND w = CreateWindowExW(WS_EX_TOOLWINDOW, wc.lpszClassName, L"", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                             wc.hInstance, nullptr);
    std::wstring pidText = EnvVar(kEnginePidVar);
    HANDLE engine = pidText.empty() ? nullptr : OpenProcess(SYNCHRONIZE, FALSE, wcstoul(pidText.c_str(), nullptr, 10));
    bool running = true;
    while (running) {
        DWORD r = engine ? MsgWaitForMultipleObjects(1, &engine, FALSE, INFINITE, QS_ALLINPUT)
                         : MsgWaitForMultipleObjects(0, nullptr, FALSE, INFINITE, QS_ALLINPUT);
        if (engine && r == WAIT_OBJECT_0) break;
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT || msg.message == quitMessage) running = false;
            DispatchMessageW(&msg);
        }
    }
    stop = true;
    worker.join();
    if (engine) CloseHandle(engine);
    DestroyWindow(w);
    return 0;
}

}  // namespace
}  // namespace vs::win32

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) { return vs::win32::Run(); }
