#pragma once
// The Win32 pieces of the platform layer that the generator, the native
// window, the engine and the tools share: UTF-8 texts as the UTF-16 that the
// system's calls take and back, the program's own path, and starting a
// program. Windows only.
#ifdef _WIN32

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <string>
#include <string_view>

namespace vs::win32 {

std::wstring Wide(std::string_view utf8);
std::string Utf8(std::wstring_view wide);

// The full name of a module's file (null: the program's own).
std::wstring ModulePath(HMODULE module);

// Makes the system folder the only place where the program's libraries are
// looked for by name, so that a library planted beside a portable copy of the
// program, or in the current folder, is never loaded in place of the
// system's. Called first thing in every program.
void RestrictLibrarySearchToSystem();

// Loads a library of the system folder by its bare name ("Msftedit.dll").
HMODULE LoadSystemLibrary(const wchar_t* name);

// Starts `exe` with the command line "exe" args in `folder` (empty: the
// current one), with the creation flags `flags` (CREATE_SUSPENDED, ...). The
// process and thread handles belong to the caller; both are null when the
// program cannot be started.
PROCESS_INFORMATION StartProcess(const std::wstring& exe, const std::wstring& args, const std::wstring& folder,
                                 DWORD flags = 0);

}  // namespace vs::win32

#endif  // _WIN32
