// The engine of the Tools folder, cross-compiled by the build, as the build
// steps see it: the icon slot it must have, the other tools beside it, and a
// copy that takes a version resource, a package and an icon.
#include <gtest/gtest.h>

#include <filesystem>
#include <set>

#include "cli_support.h"
#include "engine_projector.h"
#include "exe/exe_image.h"
#include "exe/icon.h"
#include "exe/icon_replace.h"
#include "exe/version_info.h"
#include "package/package_file.h"
#include "package/vexel_projector.h"
#include "platform/stream.h"
#include "support/ico_builder.h"
#include "support/projector_builder.h"
#include "support/swf_builder.h"
#include "support/temp_dir.h"

namespace vs {
namespace {

namespace fs = std::filesystem;

class Engine : public test::TempDirTest {
protected:
    void SetUp() override {
        engine_ = std::string(VS_TOOLS_DIR) + "/VSengine.exe";
        if (!fs::exists(engine_)) GTEST_SKIP() << "the engine was not built (no mingw-w64 cross compiler)";
        TempDirTest::SetUp();
    }
    static std::vector<std::uint8_t> VersionData(const std::string& file) {
        TExeImage image(file);
        TResourceList& root = image.ResourceTree();
        for (int i = 0; i < root.Count(); ++i)
            if (!root.Items(i).IsNamed() && root.Items(i).Id() == 16)
                for (const TResourceLanguage& l : root.Items(i).Children().Items(0).Languages())
                    if (l.language == 1033) return {l.pointer, l.pointer + l.size};
        return {};
    }
    std::string engine_;
};

TEST_F(Engine, HasTheIconSlotTheBuildWritesAndTheOtherTools) {
    TExeImage image(engine_);
    auto slot = FindFirstIconImage(image.ResourceTree());
    ASSERT_TRUE(slot);
    EXPECT_EQ(slot->size, 2216u);
    auto info = ReadIconImageInfo(image.FileBytes().subspan(slot->offset, slot->size));
    ASSERT_TRUE(info);
    EXPECT_EQ(info->width, 32);
    EXPECT_EQ(info->height, 32);
    EXPECT_EQ(info->bitCount, 8);
    EXPECT_FALSE(VersionData(engine_).empty());
    for (const char* tool : {"mhproc.dll", "VSP.exe", "VSE.exe", "VSS.exe", "VSD.exe"})
        EXPECT_TRUE(fs::exists(std::string(VS_TOOLS_DIR) + "/" + tool)) << tool;
}

TEST_F(Engine, TakesVersionPackageAndIconLikeABuild) {
    const std::string exe = Path("target.exe"), movie = Path("movie.exe"), ico = Path("pick.ico");
    test::WriteBytes(movie, std::vector<std::uint8_t>(3000, 'M'));
    s_TVexelProjector settings;
    settings.CaptionText = "Stamped movie";
    test::ProjectorInputs in{engine_, movie, std::string(VS_TOOLS_DIR) + "/mhproc.dll", {}, 3};
    test::ComposeProjector(exe, settings, in);
    const auto packaged = ReadWholeFile(exe);

    // Version and icon after the package, as a build does them, leave the package where it is.
    VersionInfoValues v = DefaultVersionInfoValues();
    v.numbers = {1, 2, 3, 4};
    TVersionInfoRec rec;
    SetVersionInfoRec(rec, v);
    test::WriteBytes(ico, test::IcoFile({test::DibIcon(32, 32, 4, test::StandardPalette16(),
                                                       [](int x, int) { return static_cast<std::uint32_t>(x % 16); })}));
    ASSERT_TRUE(ReplaceExeIcon(exe, LoadIconFile(ico)));
    const auto done = ReadWholeFile(exe);
    ASSERT_EQ(done.size(), packaged.size());
    std::size_t first = done.size(), last = 0;
    for (std::size_t i = 0; i < done.size(); ++i)
        if (done[i] != packaged[i]) first = std::min(first, i), last = i;
    EXPECT_LE(last - first + 1, 2216u);

    s_TVexelProjector back;
    LocatedSettings where = ReadSettingsFile(exe, back);
    EXPECT_EQ(where.source, SettingsSource::Projector);
    EXPECT_EQ(where.offset, static_cast<std::int64_t>(fs::file_size(engine_)));
    EXPECT_EQ(back.CaptionText, "Stamped movie");
    EXPECT_EQ(back.MainFile().Extract(), std::vector<std::uint8_t>(3000, 'M'));
    EXPECT_EQ(back.DLLFile().Extract(), ReadWholeFile(std::string(VS_TOOLS_DIR) + "/mhproc.dll"));
}

// What a build packs, the engine must be able to write: a list with a name
// Windows does not take, or one that clashes with what the engine writes
// itself, is refused before anything is written, naming the file and why.
TEST_F(Engine, BuildRefusesFilesTheProjectorCouldNotWrite) {
    test::SwfBuilder movie;
    movie.fsExec("vexelprint(0,0,0,0)");  // the print tool goes into the tools' folder
    test::WriteProjectorFile(Path("movie.exe"), test::BuildProjector(movie.build()));
    const std::vector<std::uint8_t> earlier(100, 'k');
    test::WriteBytes(Path("out.exe"), earlier);
    struct Case {
        std::string name;
        std::vector<std::string> extra;
        std::string why;
    };
    const std::vector<Case> cases = {
        {"aux.txt", {}, "Windows reserves the name \"aux.txt\" for a device"},
        {"What?.txt", {}, "Windows does not allow \"?\" in a file name"},
        {"a:b.txt", {}, "Windows does not allow \":\" in a file name"},
        {"trailing.", {}, "Windows drops a trailing dot or space from a file name"},
        {"datetime.TXT", {"--set", "HasVarFile=True"}, "writes its date and time file \"datetime.TXT\""},
        {"fscommand", {}, "puts the tools of the movie's commands in a folder of that name"},
    };
    for (const Case& c : cases) {
        fs::create_directories(Path("in"));
        test::WriteBytes(Path("in/" + c.name), std::vector<std::uint8_t>(10, 'x'));
        std::vector<std::string> args = {"build", "--projector", Path("movie.exe"), "--add", Path("in/" + c.name),
                                         "-o", Path("out.exe")};
        args.insert(args.end(), c.extra.begin(), c.extra.end());
        const test::CliResult r = test::RunCli(args);
        EXPECT_EQ(r.exitCode, 1) << c.name << ": " << r.err;
        EXPECT_NE(r.err.find("The file \"" + Path("in/" + c.name) + "\" cannot be packed: "), std::string::npos)
            << c.name << ": " << r.err;
        EXPECT_NE(r.err.find(c.why), std::string::npos) << c.name << ": " << r.err;
        EXPECT_EQ(ReadWholeFile(Path("out.exe")), earlier) << c.name;
        fs::remove_all(Path("in"));
    }
    std::set<std::string> left;
    for (const auto& e : fs::directory_iterator(dir_)) left.insert(e.path().filename().string());
    EXPECT_EQ(left, (std::set<std::string>{"movie.exe", "out.exe"}));
    // The same names in a list the engine can write are built.
    fs::create_directories(Path("in"));
    test::WriteBytes(Path("in/fscommand.txt"), std::vector<std::uint8_t>(10, 'x'));
    EXPECT_EQ(test::RunCli({"build", "--projector", Path("movie.exe"), "--add", Path("in/fscommand.txt"), "-o",
                            Path("out.exe")}).exitCode, 0);
}

}  // namespace
}  // namespace vs
