#include "hook_library.h"

#include "mhproc/mhproc.h"

namespace vs::win32 {

std::unique_ptr<Win32HookLibrary> Win32HookLibrary::Load(const std::wstring& path) {
    HMODULE m = LoadLibraryW(path.c_str());
    if (!m) return nullptr;
    std::unique_ptr<Win32HookLibrary> lib(new Win32HookLibrary(m));
    lib->data_ = GetProcAddress(m, VS_HOOK_DATA);
    lib->install_ = GetProcAddress(m, VS_HOOK_INSTALL);
    lib->installCursor_ = GetProcAddress(m, VS_HOOK_INSTALL_CURSOR);
    lib->entries_[0] = GetProcAddress(m, VS_HOOK_STOP);
    lib->entries_[1] = GetProcAddress(m, VS_HOOK_REMOVE_INPUT);
    lib->entries_[2] = GetProcAddress(m, VS_HOOK_REMOVE_CURSOR);
    for (FARPROC p : {lib->data_, lib->install_, lib->installCursor_, lib->entries_[0], lib->entries_[1], lib->entries_[2]})
        if (!p) return nullptr;
    return lib;
}

Win32HookLibrary::~Win32HookLibrary() { FreeLibrary(module_); }

bool Win32HookLibrary::Install(HWND engine, HWND projector, DWORD flags) {
    return reinterpret_cast<VsHookInstallProc>(reinterpret_cast<void*>(install_))(engine, projector, flags);
}

bool Win32HookLibrary::InstallCursor(DWORD thread) {
    return reinterpret_cast<VsHookInstallCursorProc>(reinterpret_cast<void*>(installCursor_))(thread);
}

void Win32HookLibrary::CallEntry(int index) {
    if (index >= 0 && index < 3) reinterpret_cast<VsHookEntryProc>(reinterpret_cast<void*>(entries_[index]))();
}

const std::uint8_t* Win32HookLibrary::SharedData() const {
    return reinterpret_cast<VsHookDataProc>(reinterpret_cast<void*>(data_))();
}

std::size_t Win32HookLibrary::SharedDataSize() const { return VS_HOOK_DATA_SIZE; }

}  // namespace vs::win32
