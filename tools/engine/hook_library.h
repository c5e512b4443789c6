#pragma once
// mhproc.dll as the hook link sees it: its shared data block and the three
// entry points that Unhook calls.
#include <memory>
#include <string>

#include "package/mouse_hook.h"
#include "win32/win32_util.h"

namespace vs::win32 {

class Win32HookLibrary : public HookLibrary {
public:
    // Nothing when the library or one of its entry points is missing.
    static std::unique_ptr<Win32HookLibrary> Load(const std::wstring& path);
    ~Win32HookLibrary() override;

    bool Install(HWND engine, HWND projector, DWORD flags);
    bool InstallCursor(DWORD projectorThread);

    void CallEntry(int index) override;
    const std::uint8_t* SharedData() const override;
    std::size_t SharedDataSize() const override;

private:
    explicit Win32HookLibrary(HMODULE module) : module_(module) {}
    HMODULE module_;
    FARPROC data_ = nullptr, install_ = nullptr, installCursor_ = nullptr;
    FARPROC entries_[3] = {};
};

}  // namespace vs::win32
