#include "win32_engine_platform.h"

#include "platform/file_system.h"

namespace vs::win32 {

std::uint32_t Win32EnginePlatform::RegisterWindowMessage(const std::string& name) {
    return RegisterWindowMessageW(Wide(name).c_str());
}

void Win32EnginePlatform::CloseChildProcess() {
    if (!child.hProcess) return;
    if (childWindow && IsWindow(childWindow)) PostMessageW(childWindow, WM_CLOSE, 0, 0);
    WaitForSingleObject(child.hProcess, INFINITE);
    Sleep(100);
    CloseHandle(child.hThread);
    CloseHandle(child.hProcess);
    child = {};
    childWindow = nullptr;
}

void Win32EnginePlatform::BroadcastMessage(std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam) {
    PostMessageW(HWND_BROADCAST, message, wParam, lParam);
    for (HANDLE h : helpers) {
        if (WaitForSingleObject(h, 5000) == WAIT_TIMEOUT) {
            TerminateProcess(h, 1);
            WaitForSingleObject(h, 2000);
        }
        CloseHandle(h);
    }
    helpers.clear();
}

void Win32EnginePlatform::SetCurrentDirectory(const std::string& dir) { SetCurrentDirectoryW(Wide(dir).c_str()); }

bool Win32EnginePlatform::DeleteFile(const std::string& name) {
    if (KindOfPath(name) == PathKind::Folder) return RemoveDirectoryW(Wide(name).c_str());
    return RemoveFile(name);
}

bool Win32EnginePlatform::RemoveDirectory(const std::string& name) { return RemoveDirectoryW(Wide(name).c_str()); }

void Win32EnginePlatform::SystemParametersInfo(std::uint32_t action, std::uint32_t value) {
    SystemParametersInfoW(action, value, nullptr, 0);
}

void Win32EnginePlatform::Beep() { MessageBeep(MB_OK); }

}  // namespace vs::win32
