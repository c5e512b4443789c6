#pragma once
// The settings object's shutdown steps on Win32: the started projector, the
// helper programs the engine waits for, files and system parameters.
#include <vector>

#include "package/engine_platform.h"
#include "win32/win32_util.h"

namespace vs::win32 {

// Whether the folder holds nothing but the named entry. A folder's lock file
// is removed only then: a folder that could not be emptied keeps its lock,
// so that a later start finds it abandoned and tries again.
bool FolderHoldsOnly(const std::wstring& folder, const std::wstring& name);

class Win32EnginePlatform : public EnginePlatform {
public:
    std::uint32_t RegisterWindowMessage(const std::string& name) override;
    void CloseChildProcess() override;
    void BroadcastMessage(std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam) override;
    void SetCurrentDirectory(const std::string& dir) override;
    // Removes a file, or an empty folder of ours (the tools' sub-folder).
    bool DeleteFile(const std::string& name) override;
    bool RemoveDirectory(const std::string& name) override;
    void SystemParametersInfo(std::uint32_t action, std::uint32_t value) override;
    void Beep() override;

    // The projector the engine started, and its main window once found.
    PROCESS_INFORMATION child{};
    HWND childWindow = nullptr;
    // The temporary folder's lock file, open while the engine runs; closed
    // when it is removed.
    HANDLE lock = INVALID_HANDLE_VALUE;
    std::string lockPath;
};

}  // namespace vs::win32
