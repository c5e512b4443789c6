#pragma once
// Small Win32 helpers shared by the engine and the tools, over the platform
// layer's (platform/win32.h: UTF-8 and UTF-16, the program's path, starting a
// program): the environment the engine hands to its children, and how a program tells
// the user something (a message box, or standard error when
// VEXELSCREEN_MESSAGES=stderr, for unattended runs).
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include "platform/win32.h"
// These macros would rename members of the engine's own classes.
#undef DeleteFile
#undef RemoveDirectory
#undef SetCurrentDirectory
#undef SystemParametersInfo
#undef RegisterWindowMessage
#undef TIME_MS

#include <string>
#include <string_view>

#include "platform/cp1252.h"

namespace vs::win32 {

// The variables the engine sets for the programs it starts.
inline constexpr const wchar_t* kProjectorDirVar = L"VEXELSCREEN_PROJECTOR_DIR";
inline constexpr const wchar_t* kProjectorNameVar = L"VEXELSCREEN_PROJECTOR_NAME";
inline constexpr const wchar_t* kTemporaryDirVar = L"VEXELSCREEN_TEMP_DIR";
inline constexpr const wchar_t* kEngineWindowVar = L"VEXELSCREEN_ENGINE_WINDOW";
inline constexpr const wchar_t* kEnginePidVar = L"VEXELSCREEN_ENGINE_PID";
inline constexpr const wchar_t* kMessagesVar = L"VEXELSCREEN_MESSAGES";
inline constexpr const wchar_t* kVarStoreMessageName = L"VexelSCREEN_VarStore";
inline constexpr const wchar_t* kGetDimensionsMessageName = L"VexelSCREEN_GetDimensions";
// The engine's folders in the user's temporary folder, and the lock file that
// a living run (or the variable service) keeps open in each.
inline constexpr const wchar_t* kFolderPrefix = L"VexelSCREEN-";
inline constexpr const wchar_t* kLockName = L"VexelSCREEN.lock";

// DLLs come from the system folder alone: a DLL named like a system one and
// put beside a projector (in a downloads folder, say) is never loaded. Called
// first thing by every program of the family; SetDefaultDllDirectories is
// looked up, as older systems lack it. The hook library is loaded by its
// full path, which this leaves alone.
inline void RestrictDllSearch() {
    constexpr DWORD kSearchSystem32 = 0x00000800;  // LOAD_LIBRARY_SEARCH_SYSTEM32
    using SetDefaultDllDirectoriesProc = BOOL(WINAPI*)(DWORD);
    if (HMODULE kernel = GetModuleHandleW(L"kernel32.dll"))
        if (auto set = reinterpret_cast<SetDefaultDllDirectoriesProc>(
                reinterpret_cast<void*>(GetProcAddress(kernel, "SetDefaultDllDirectories"))))
            set(kSearchSystem32);
    SetDllDirectoryW(L"");
}

inline std::wstring EnvVar(const wchar_t* name) {
    wchar_t buf[32768];
    DWORD n = GetEnvironmentVariableW(name, buf, 32768);
    return n > 0 && n < 32768 ? std::wstring(buf, n) : std::wstring();
}

// A full path as the file functions take it beyond MAX_PATH: "\\?\C:\..."
// for one with a drive, "\\?\UNC\server\share\..." for a network one.
// The path must be normalised already (no "." or ".." parts, no '/'), as
// the engine's own paths are; anything else is returned as it is.
inline std::wstring LongPath(const std::wstring& path) {
    if (path.size() >= 3 && path[1] == L':' && path[2] == L'\\') return L"\\\\?\\" + path;
    if (path.starts_with(L"\\\\") && !path.starts_with(L"\\\\?\\") && !path.starts_with(L"\\\\.\\"))
        return L"\\\\?\\UNC\\" + path.substr(2);
    return path;
}

inline std::wstring FolderOf(const std::wstring& path) {
    std::size_t cut = path.find_last_of(L"\\/");
    return cut == std::wstring::npos ? std::wstring(L".") : path.substr(0, cut);
}

inline std::wstring FilePartOf(const std::wstring& path) {
    std::size_t cut = path.find_last_of(L"\\/");
    return cut == std::wstring::npos ? path : path.substr(cut + 1);
}

// Standard error of the program, or of the console it was started from.
inline HANDLE ErrorOutput() {
    HANDLE h = GetStdHandle(STD_ERROR_HANDLE);
    if (h != nullptr && h != INVALID_HANDLE_VALUE) return h;
    if (AttachConsole(ATTACH_PARENT_PROCESS))
        return CreateFileW(L"CONOUT$", GENERIC_WRITE, FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    return INVALID_HANDLE_VALUE;
}

inline void Tell(const wchar_t* title, const std::wstring& text, bool error) {
    if (EnvVar(kMessagesVar) == L"stderr") {
        std::string line = Utf8(title) + ": " + Utf8(text) + "\n";
        HANDLE h = ErrorOutput();
        DWORD written = 0;
        if (h != INVALID_HANDLE_VALUE) WriteFile(h, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
        return;
    }
    MessageBoxW(nullptr, text.c_str(), title, MB_OK | MB_SETFOREGROUND | (error ? MB_ICONERROR : MB_ICONINFORMATION));
}

// A window handle that the engine passed in decimal.
inline HWND WindowFromText(const std::wstring& text) {
    if (text.empty()) return nullptr;
    wchar_t* end = nullptr;
    unsigned long long v = wcstoull(text.c_str(), &end, 10);
    return end && *end == 0 ? reinterpret_cast<HWND>(static_cast<std::uintptr_t>(v)) : nullptr;
}

// The projector's window: the one a tool was given, or the one the engine
// names when asked with the registered "VexelSCREEN_GetDimensions" message.
inline HWND FindProjectorWindow(const std::wstring& given) {
    if (HWND w = WindowFromText(given); w && IsWindow(w)) return w;
    HWND engine = WindowFromText(EnvVar(kEngineWindowVar));
    if (!engine || !IsWindow(engine)) return nullptr;
    DWORD_PTR result = 0;
    UINT msg = RegisterWindowMessageW(kGetDimensionsMessageName);
    if (!SendMessageTimeoutW(engine, msg, 0, 0, SMTO_ABORTIFHUNG, 5000, &result)) return nullptr;
    HWND w = reinterpret_cast<HWND>(result);
    return w && IsWindow(w) ? w : nullptr;
}

}  // namespace vs::win32
