#include "cli/utf8_arguments.h"

#ifdef _WIN32
#include <windows.h>
#include <shellapi.h>
#include <fcntl.h>
#include <io.h>

#include <cstdio>

#include "platform/cp1252.h"
#endif

namespace vs::cli {

#ifdef _WIN32

namespace {

// 0 when the program has no console.
UINT g_inputCodePage = 0;
UINT g_outputCodePage = 0;

void RestoreCodePages() {
    if (g_outputCodePage) SetConsoleOutputCP(g_outputCodePage);
    if (g_inputCodePage) SetConsoleCP(g_inputCodePage);
}

// Handlers run newest first: this one restores and lets the next one (the
// removal of temporary files, which ends the program) run.
BOOL WINAPI RestoreOnConsoleEvent(DWORD) {
    RestoreCodePages();
    return FALSE;
}

}  // namespace

Utf8Arguments::~Utf8Arguments() {
    std::fflush(stdout);
    std::fflush(stderr);
    RestoreCodePages();
}

Utf8Arguments::Utf8Arguments(int& argc, char**& argv) {
    int count = 0;
    if (wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count)) {
        for (int i = 0; i < count; ++i) {
            const std::wstring_view w(wide[i]);
            arguments_.push_back(Utf16ToUtf8(std::u16string_view(reinterpret_cast<const char16_t*>(w.data()), w.size())));
        }
        LocalFree(wide);
        for (std::string& a : arguments_) pointers_.push_back(a.data());
        pointers_.push_back(nullptr);
        argc = count;
        argv = pointers_.data();
    }
    // Bytes go out as they are: UTF-8 text and "\n" line ends, as on Linux;
    // a console shows them as UTF-8. The console belongs to the user's shell,
    // so its code pages are put back however the program ends.
    g_inputCodePage = GetConsoleCP();
    g_outputCodePage = GetConsoleOutputCP();
    SetConsoleCtrlHandler(RestoreOnConsoleEvent, TRUE);
    SetConsoleOutputCP(CP_UTF8);
    std::fflush(stdout);
    std::fflush(stderr);
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
}

#else

Utf8Arguments::Utf8Arguments(int&, char**&) {}
Utf8Arguments::~Utf8Arguments() = default;

#endif

}  // namespace vs::cli
