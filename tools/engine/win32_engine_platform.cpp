#include "win32_engine_platform.h"

#include "platform/file_system.h"
#include "win32/var_service_link.h"

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

bool FolderHoldsOnly(const std::wstring& folder, const std::wstring& name) {
    WIN32_FIND_DATAW fd;
    HANDLE h = FindFirstFileW((folder + L"\\*").c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE) return false;
    bool only = true;
    do {
        const std::wstring entry = fd.cFileName;
        if (entry != L"." && entry != L".." &&
            CompareStringOrdinal(entry.c_str(), -1, name.c_str(), -1, TRUE) != CSTR_EQUAL)
            only = false;
    } while (only && FindNextFileW(h, &fd));
    FindClose(h);
    return only;
}

namespace {

// Removes the variable service's folder once its program has ended: the
// program, the lock file and the folder, and only a folder of ours. A
// program that cannot be removed leaves the lock in place.
void RemoveServiceFolder(const std::wstring& program) {
    const std::size_t cut = program.find_last_of(L'\\');
    if (cut == std::wstring::npos) return;
    const std::wstring folder = program.substr(0, cut);
    const std::wstring part = FilePartOf(folder), prefix = kFolderPrefix;
    if (part.size() < prefix.size() || part.compare(0, prefix.size(), prefix) != 0) return;
    DeleteFileW(program.c_str());
    if (!FolderHoldsOnly(folder, kLockName)) return;
    DeleteFileW((folder + L"\\" + kLockName).c_str());
    RemoveDirectoryW(folder.c_str());
}

}  // namespace

// The variable service serves every running projector: the message tells it
// that this one leaves. It answers 1 when no projector is left and it ends;
// the engine that was last then waits for it and removes its folder.
void Win32EnginePlatform::BroadcastMessage(std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam) {
    HWND service = FindWindowW(kVarServiceClass, nullptr);
    if (!service) return;
    DWORD servicePid = 0;
    GetWindowThreadProcessId(service, &servicePid);
    HANDLE process = OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, servicePid);
    DWORD_PTR last = 0;
    const bool answered = SendMessageTimeoutW(service, message, wParam ? wParam : GetCurrentProcessId(), lParam,
                                              SMTO_ABORTIFHUNG, 5000, &last);
    if (process && answered && last == 1) {
        wchar_t path[MAX_PATH * 2];
        DWORD size = MAX_PATH * 2;
        const bool named = QueryFullProcessImageNameW(process, 0, path, &size);
        if (WaitForSingleObject(process, 5000) == WAIT_TIMEOUT) {
            TerminateProcess(process, 1);
            WaitForSingleObject(process, 2000);
        }
        if (named) RemoveServiceFolder(std::wstring(path, size));
    }
    if (process) CloseHandle(process);
}

void Win32EnginePlatform::SetCurrentDirectory(const std::string& dir) { SetCurrentDirectoryW(Wide(dir).c_str()); }

bool Win32EnginePlatform::DeleteFile(const std::string& name) {
    if (name == lockPath) {
        if (lock != INVALID_HANDLE_VALUE) CloseHandle(lock);
        lock = INVALID_HANDLE_VALUE;
        const std::wstring path = Wide(name);
        if (!FolderHoldsOnly(FolderOf(path), FilePartOf(path))) return false;
    }
    if (KindOfPath(name) == PathKind::Folder) return RemoveDirectoryW(Wide(name).c_str());
    return RemoveFile(name);
}

bool Win32EnginePlatform::RemoveDirectory(const std::string& name) { return RemoveDirectoryW(Wide(name).c_str()); }

void Win32EnginePlatform::SystemParametersInfo(std::uint32_t action, std::uint32_t value) {
    SystemParametersInfoW(action, value, nullptr, 0);
}

void Win32EnginePlatform::Beep() { MessageBeep(MB_OK); }

}  // namespace vs::win32
