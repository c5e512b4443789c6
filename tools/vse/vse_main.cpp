// VSE.exe, the launch tool: opens the file of its first field with the
// parameters of its second. A relative name is looked for beside the built
// projector first, then in the engine's temporary folder.
#include "core/tool_args.h"
#include "win32/win32_util.h"

#include <objbase.h>
#include <shellapi.h>

namespace vs::win32 {
namespace {

bool Open(const std::wstring& file, const std::wstring& params) {
    SHELLEXECUTEINFOW info{};
    info.cbSize = sizeof info;
    info.fMask = SEE_MASK_NOASYNC | SEE_MASK_FLAG_NO_UI;
    info.lpVerb = L"open";
    info.lpFile = file.c_str();
    info.lpParameters = params.empty() ? nullptr : params.c_str();
    std::wstring folder = FolderOf(file);
    info.lpDirectory = folder == L"." ? nullptr : folder.c_str();
    info.nShow = SW_SHOWNORMAL;
    return ShellExecuteExW(&info) != FALSE;
}

int Run() {
    auto fields = engine::ToolFields(Utf8(GetCommandLineW()));
    if (fields.empty() || fields[0].empty()) {
        Tell(L"VexelSCREEN", L"Nothing to launch.", true);
        return 1;
    }
    const std::wstring params = fields.size() > 1 ? Wide(fields[1]) : std::wstring();
    std::wstring temp = EnvVar(kTemporaryDirVar);
    if (temp.empty()) temp = FolderOf(ModulePath(nullptr));
    for (const std::string& c : engine::LaunchCandidates(fields[0], Utf8(EnvVar(kProjectorDirVar)), Utf8(temp))) {
        const std::wstring path = Wide(c);
        if (GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES) continue;
        if (Open(path, params)) return 0;
        Tell(L"VexelSCREEN", L"Cannot open " + path + L".", true);
        return 1;
    }
    // Not a file of ours: a program on the search path, or a document type the shell knows.
    if (Open(Wide(fields[0]), params)) return 0;
    Tell(L"VexelSCREEN", L"Cannot find the file " + Wide(fields[0]) + L".", true);
    return 1;
}

}  // namespace
}  // namespace vs::win32

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    vs::win32::RestrictDllSearch();
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
    return vs::win32::Run();
}
