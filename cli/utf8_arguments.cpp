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
    // a console shows them as UTF-8.
    SetConsoleOutputCP(CP_UTF8);
    std::fflush(stdout);
    std::fflush(stderr);
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
}

#else

Utf8Arguments::Utf8Arguments(int&, char**&) {}

#endif

}  // namespace vs::cli
