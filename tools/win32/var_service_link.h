#pragma once
// How an engine finds the running variable service and registers its
// projector with it: the service's window class, and a WM_COPYDATA message
// whose text is "engine pid \n player pid \n engine window \n projector
// folder \n projector name" in UTF-16. Only the player (and what it starts)
// is served.
#include <optional>
#include <string>

#include "win32/win32_util.h"

namespace vs::win32 {

inline constexpr const wchar_t* kVarServiceClass = L"VexelSCREENVarStore";
// Held while an engine looks for the service and, finding none, starts it.
inline constexpr const wchar_t* kVarServiceStartMutex = L"VexelSCREEN_VarStoreStart";
inline constexpr ULONG_PTR kRegistrationTag = 0x52535356;  // "VSSR"

// The player's process id, for the service that an engine starts.
inline constexpr const wchar_t* kPlayerPidVar = L"VEXELSCREEN_PLAYER_PID";

struct Registration {
    DWORD enginePid = 0;
    DWORD playerPid = 0;
    HWND engineWindow = nullptr;
    std::wstring projectorDir, projectorName;
};

inline std::optional<Registration> ParseRegistration(const COPYDATASTRUCT* data) {
    if (!data || data->dwData != kRegistrationTag || !data->lpData || data->cbData % sizeof(wchar_t) != 0 ||
        data->cbData > 4 * 32768 * sizeof(wchar_t))
        return std::nullopt;
    std::wstring text(static_cast<const wchar_t*>(data->lpData), data->cbData / sizeof(wchar_t));
    std::wstring field[5];
    std::size_t at = 0;
    for (int i = 0; i < 5; ++i) {
        std::size_t end = i < 4 ? text.find(L'\n', at) : text.size();
        if (end == std::wstring::npos) return std::nullopt;
        field[i] = text.substr(at, end - at);
        at = end + 1;
    }
    Registration r;
    auto pid = [](const std::wstring& text) {
        wchar_t* stop = nullptr;
        const unsigned long v = wcstoul(text.c_str(), &stop, 10);
        return stop && !*stop ? static_cast<DWORD>(v) : 0;
    };
    r.enginePid = pid(field[0]);
    r.playerPid = pid(field[1]);
    if (r.enginePid == 0 || r.playerPid == 0) return std::nullopt;
    r.engineWindow = WindowFromText(field[2]);
    r.projectorDir = field[3];
    r.projectorName = field[4];
    return r;
}

// Registers a projector with the service behind the window; true when the
// service took it.
inline bool RegisterWithService(HWND service, const Registration& r) {
    std::wstring text = std::to_wstring(r.enginePid) + L"\n" + std::to_wstring(r.playerPid) + L"\n" +
                        std::to_wstring(reinterpret_cast<std::uintptr_t>(r.engineWindow)) + L"\n" + r.projectorDir +
                        L"\n" + r.projectorName;
    COPYDATASTRUCT data{kRegistrationTag, static_cast<DWORD>(text.size() * sizeof(wchar_t)), text.data()};
    DWORD_PTR result = 0;
    return SendMessageTimeoutW(service, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&data), SMTO_ABORTIFHUNG, 5000,
                               &result) &&
           result == TRUE;
}

}  // namespace vs::win32
