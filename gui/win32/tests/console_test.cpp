// vexelscreen.exe as a user runs it from a console: what Ctrl+C and
// Ctrl+Break leave behind, what happens to the console's code pages, and a
// build from a read-only Tools folder. The program is started on this test's
// own console, as a shell starts it.
#include <gtest/gtest.h>

#include "exe/exe_image.h"
#include "support/bmp_builder.h"
#include "support/projector_builder.h"
#include "support/swf_builder.h"
#include "support/temp_dir.h"

#include <windows.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

namespace vs {
namespace {

namespace fs = std::filesystem;

// The program under test, with the Tools folder beside it.
fs::path Cli() { return fs::absolute(fs::path(VS_CLI_EXE)).make_preferred(); }

// Gives the test a console of its own (wine starts it with none, or one that
// does not pass events on), once.
void OwnConsole() {
    static const bool made = [] {
        FreeConsole();
        return AllocConsole() != 0;
    }();
    (void)made;
}

std::vector<char> Bytes(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

std::vector<fs::path> Listing(const fs::path& dir) {
    std::vector<fs::path> out;
    for (const auto& e : fs::directory_iterator(dir)) out.push_back(e.path().filename());
    std::sort(out.begin(), out.end());
    return out;
}

bool HasTempFile(const fs::path& dir) {
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(dir, ec))
        if (e.path().extension() == ".tmp") return true;
    return false;
}

class ConsoleRun : public test::TempDirTest {
protected:
    void SetUp() override {
        TempDirTest::SetUp();
        OwnConsole();
        test::WriteProjectorFile(Path("movie.exe"), test::BuildProjector(test::SwfBuilder().build()));
    }

    // Starts vexelscreen.exe (of `cli`) with `args` on this console.
    PROCESS_INFORMATION Start(const std::wstring& args, const fs::path& cli = Cli()) {
        std::wstring line = L"\"" + cli.wstring() + L"\" " + args;
        STARTUPINFOW si{};
        si.cb = sizeof si;
        PROCESS_INFORMATION pi{};
        if (!CreateProcessW(cli.wstring().c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
            return {};
        return pi;
    }
    static DWORD Wait(PROCESS_INFORMATION& pi) {
        WaitForSingleObject(pi.hProcess, INFINITE);
        DWORD code = 0;
        GetExitCodeProcess(pi.hProcess, &code);
        CloseHandle(pi.hThread);
        CloseHandle(pi.hProcess);
        return code;
    }
    DWORD Run(const std::wstring& args, const fs::path& cli = Cli()) {
        PROCESS_INFORMATION pi = Start(args, cli);
        return pi.hProcess ? Wait(pi) : 9999;
    }
    std::wstring Q(const std::string& name) const { return L"\"" + fs::path(Path(name)).wstring() + L"\""; }
};

// A build that a console event ends removes its temporary output, keeps the
// projector built before and ends with 130, as on a POSIX system.
TEST_F(ConsoleRun, CtrlCEndsABuildWithNothingLeftBehind) {
    std::vector<std::uint8_t> noise(16u << 20);
    std::mt19937 random(7);
    for (std::uint8_t& b : noise) b = static_cast<std::uint8_t>(random());
    test::WriteFileBytes(Path("big.bin"), noise);
    ASSERT_EQ(Run(L"build --projector " + Q("movie.exe") + L" -o " + Q("out.exe")), 0u);
    const std::vector<char> before = Bytes(Path("out.exe"));
    const std::vector<fs::path> listed = Listing(dir_);

    // Ctrl+Break takes the same way; wine generates it for no console group.
    for (DWORD event : {DWORD{CTRL_C_EVENT}}) {
        PROCESS_INFORMATION pi = Start(L"build --projector " + Q("movie.exe") + L" --add " + Q("big.bin") +
                                       L" --compression 4 --jobs 1 -o " + Q("out.exe"));
        ASSERT_TRUE(pi.hProcess);
        bool seen = false;
        while (!seen && WaitForSingleObject(pi.hProcess, 0) == WAIT_TIMEOUT) seen = HasTempFile(dir_);
        ASSERT_TRUE(seen) << "the build ended before its temporary output appeared";
        // The event goes to every program of the console; this one lets it pass.
        SetConsoleCtrlHandler(nullptr, TRUE);
        EXPECT_TRUE(GenerateConsoleCtrlEvent(event, 0));
        EXPECT_EQ(Wait(pi), 130u) << "event " << event;
        SetConsoleCtrlHandler(nullptr, FALSE);
        EXPECT_EQ(Listing(dir_), listed) << "event " << event << ": a temporary file stayed";
        EXPECT_EQ(Bytes(Path("out.exe")), before) << "event " << event;
    }
}

// The console belongs to the shell that started the program: the code pages
// the program sets for its UTF-8 output are put back on every way out.
TEST_F(ConsoleRun, TheConsoleCodePagesAreGivenBack) {
    const UINT output = GetConsoleOutputCP(), input = GetConsoleCP();
    if (output == 0 || !SetConsoleOutputCP(output))
        GTEST_SKIP() << "this console has no code pages (wine's console without a terminal)";
    ASSERT_NE(output, static_cast<UINT>(CP_UTF8)) << "the test needs a console that is not in UTF-8 yet";
    const std::vector<std::wstring> runs = {L"--version", L"show " + Q("missing.exe"),
                                           L"build --projector " + Q("movie.exe") + L" -o " + Q("out.exe")};
    for (const std::wstring& args : runs) {
        Run(args);
        EXPECT_EQ(GetConsoleOutputCP(), output) << fs::path(args).string();
        EXPECT_EQ(GetConsoleCP(), input) << fs::path(args).string();
    }
    std::vector<std::uint8_t> noise(16u << 20);
    std::mt19937 random(9);
    for (std::uint8_t& b : noise) b = static_cast<std::uint8_t>(random());
    test::WriteFileBytes(Path("big.bin"), noise);
    PROCESS_INFORMATION pi = Start(L"build --projector " + Q("movie.exe") + L" --add " + Q("big.bin") +
                                   L" --compression 4 --jobs 1 -o " + Q("cut.exe"));
    ASSERT_TRUE(pi.hProcess);
    while (!HasTempFile(dir_) && WaitForSingleObject(pi.hProcess, 0) == WAIT_TIMEOUT) {
    }
    SetConsoleCtrlHandler(nullptr, TRUE);
    GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0);
    EXPECT_EQ(Wait(pi), 130u);
    SetConsoleCtrlHandler(nullptr, FALSE);
    EXPECT_EQ(GetConsoleOutputCP(), output) << "after Ctrl+C";
}

// A Tools folder installed read-only, or copied from a CD, builds like any
// other: the output takes the user's attributes, not the engine's, and can
// be built over again; nothing is left beside it.
TEST_F(ConsoleRun, AReadOnlyToolsFolderBuilds) {
    const fs::path program = fs::path(Path("program"));
    fs::create_directories(program);
    fs::copy_file(Cli(), program / "vexelscreen.exe");
    fs::copy(Cli().parent_path() / "tools", program / "tools", fs::copy_options::recursive);
    for (const auto& e : fs::recursive_directory_iterator(program / "tools"))
        if (e.is_regular_file()) SetFileAttributesW(e.path().wstring().c_str(), FILE_ATTRIBUTE_READONLY);
    fs::create_directories(Path("out"));
    const std::vector<fs::path> listed = Listing(Path("out"));
    for (int run = 0; run < 2; ++run) {
        EXPECT_EQ(Run(L"build --projector " + Q("movie.exe") + L" -o " + Q("out/built.exe"), program / "vexelscreen.exe"), 0u)
            << "run " << run;
        const DWORD attributes = GetFileAttributesW(fs::path(Path("out/built.exe")).wstring().c_str());
        ASSERT_NE(attributes, INVALID_FILE_ATTRIBUTES) << "run " << run;
        EXPECT_FALSE(attributes & FILE_ATTRIBUTE_READONLY) << "run " << run;
        EXPECT_FALSE(HasTempFile(Path("out"))) << "run " << run;
    }
}

// The manifest of a program as the resource reader finds it (type 24), or
// empty when it has none.
std::string ManifestOf(const fs::path& program) {
    TExeImage image(program.string());
    TResourceList& root = image.ResourceTree();
    for (int i = 0; i < root.Count(); ++i) {
        TResourceItem& type = root.Items(i);
        if (type.IsNamed() || type.Id() != 24 || !type.HasChildren()) continue;
        TResourceList& names = type.Children();
        for (int n = 0; n < names.Count(); ++n)
            for (const TResourceLanguage& l : names.Items(n).Languages())
                return std::string(reinterpret_cast<const char*>(l.pointer), l.size);
    }
    return {};
}

// Both programs say what they are to Windows: run as the user who starts
// them, on every Windows from Vista to 11, with long paths and their own
// scaling on every monitor; the window with the common controls of version 6.
TEST(Manifests, BothProgramsCarryTheirManifest) {
    const fs::path generator = fs::absolute(fs::path(VS_GENERATOR_EXE)).make_preferred();
    for (const fs::path& program : {Cli(), generator}) {
        const std::string manifest = ManifestOf(program);
        ASSERT_FALSE(manifest.empty()) << program.string() << " has no manifest";
        for (const char* part : {"level=\"asInvoker\"", "uiAccess=\"false\"",
                                 "{e2011457-1546-43c5-a5fe-008deee3d3f0}", "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}",
                                 "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}", "{1f676c76-80e1-4239-95bb-83d0f6d0da78}",
                                 "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}", ">true/pm</dpiAware>",
                                 ">PerMonitorV2, PerMonitor</dpiAwareness>", ">true</longPathAware>"})
            EXPECT_NE(manifest.find(part), std::string::npos) << program.filename().string() << " lacks " << part;
    }
    EXPECT_NE(ManifestOf(generator).find("name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\""),
              std::string::npos);
}

}  // namespace
}  // namespace vs
