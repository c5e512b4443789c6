// The stand-in projector engine. It reads the package that a build appended
// to it (the last 4 bytes give the offset of the settings stream) with the
// same code that wrote it, and reports what it found: the settings and the
// packed files. Running the packaged projector is not its job.
//
//   VSengine.exe           shows the report in a message box
//   VSengine.exe --dump    writes it to standard output
#include <cstdio>
#include <string>
#include <vector>

#include "package/describe.h"
#include "package/package_file.h"
#include "package/vexel_projector.h"
#include "platform/errors.h"

// Last: its macros (TIME_MS, DeleteFile, ...) would rename members of the headers above.
#include <windows.h>

namespace {

std::string OwnPath() {
    std::vector<char> buf(MAX_PATH);
    while (true) {
        DWORD n = GetModuleFileNameA(nullptr, buf.data(), static_cast<DWORD>(buf.size()));
        if (n == 0) return {};
        if (n < buf.size()) return std::string(buf.data(), n);
        buf.resize(buf.size() * 2);
    }
}

std::wstring Wide(const std::string& utf8) {
    int n = MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, nullptr, 0);
    std::wstring out(n > 0 ? static_cast<std::size_t>(n) : 1, L'\0');
    if (n > 0) MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, out.data(), n);
    return out;
}

// A program of the window subsystem has no standard output of its own when
// started from a console; borrow the parent's console then.
void AttachStandardOutput() {
    HANDLE h = GetStdHandle(STD_OUTPUT_HANDLE);
    if (h == nullptr || h == INVALID_HANDLE_VALUE) {
        if (AttachConsole(ATTACH_PARENT_PROCESS)) std::freopen("CONOUT$", "w", stdout);
    }
}

}  // namespace

int main(int argc, char** argv) {
    bool dump = false;
    for (int i = 1; i < argc; ++i)
        if (std::string(argv[i]) == "--dump") dump = true;

    std::string report;
    int code = 0;
    const std::string self = OwnPath();
    try {
        vs::RegisterProjectorClasses();
        vs::s_TVexelProjector settings;
        vs::LocatedSettings where = vs::ReadSettingsFile(self, settings);
        if (where.source != vs::SettingsSource::Projector) throw vs::EReadError(vs::msg::InvalidStreamFormat);
        report = "VexelSCREEN projector engine (stand-in)\nPackage: settings stream at offset " +
                 std::to_string(where.offset) + "\n\n" + vs::DescribeSettings(settings);
    } catch (const std::exception& e) {
        report = "VexelSCREEN projector engine (stand-in)\nNo package found in " + self + ": " + e.what() + "\n";
        code = 1;
    }

    if (dump) {
        AttachStandardOutput();
        std::fwrite(report.data(), 1, report.size(), stdout);
        std::fflush(stdout);
    } else {
        MessageBoxW(nullptr, Wide(report).c_str(), L"VexelSCREEN engine", MB_OK | (code ? MB_ICONWARNING : MB_ICONINFORMATION));
    }
    return code;
}
