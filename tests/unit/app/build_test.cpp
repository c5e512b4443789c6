// Building and previewing projectors through the model: the package layout,
// the packed files and their order, the build number, the version resource
// and icon, the run question, and failures that leave no half-built output.
#include <gtest/gtest.h>

#include <algorithm>
#include <sys/stat.h>

#include <filesystem>
#include <functional>
#include <optional>

#include "app/projector_inspection.h"
#include "exe/exe_image.h"
#include "exe/executable_kind.h"
#include "exe/icon_replace.h"
#include "exe/version_info.h"
#include "model_fixture.h"
#include "package/package_file.h"

namespace vs {
namespace {

namespace fs = std::filesystem;
using test::ModelTest;

class BuildTest : public ModelTest {
protected:
    TfVexelSCREENModel& Ready() {
        TfVexelSCREENModel& m = Started();
        m.DragDropPorjectorFileDropped(Projector("movie.exe", true, true, true));
        m.OutputProjector.fileName = Path("out.exe");
        return m;
    }
    static std::unique_ptr<s_TVexelProjector> Package(const std::string& exe) {
        auto s = std::make_unique<s_TVexelProjector>();
        ReadSettingsFile(exe, *s);
        return s;
    }
    static VersionFixedInfo FixedVersion(const std::string& exe) {
        TExeImage image(exe);
        TResourceList& root = image.ResourceTree();
        for (int i = 0; i < root.Count(); ++i) {
            TResourceItem& type = root.Items(i);
            if (type.IsNamed() || type.Id() != RT_VERSION_ID) continue;
            auto data = type.Children().Items(0).RawData();
            return ReadVersionBlock(data).fixed.value();
        }
        throw VsError("no version resource");
    }
};

TEST_F(BuildTest, PackageLayoutFilesAndTheirOrder) {
    TfVexelSCREENModel& m = Ready();
    const std::string extra = Text(Path("readme.txt"), "read me");
    m.paAddFilesFileDropped(extra);
    m.rbInsDesktop.setChecked(true);
    m.tbCompression.setPosition(2);
    const BuildReport report = m.BuildProjector(Path("out.exe"));

    const auto bytes = Slurp(Path("out.exe"));
    std::uint32_t offset;
    std::memcpy(&offset, bytes.data() + bytes.size() - 4, 4);
    EXPECT_EQ(offset, report.packageOffset);
    EXPECT_EQ(std::string(bytes.begin() + offset, bytes.begin() + offset + 4), "TPF0");
    EXPECT_EQ(report.size, bytes.size());
    EXPECT_TRUE(report.versionWritten && report.iconWritten);

    auto s = Package(Path("out.exe"));
    EXPECT_FALSE(s->Preview);
    EXPECT_EQ(s->MainFile().Filename(), Path("movie.exe"));
    EXPECT_EQ(s->MainFile().CompressMode, 2);
    EXPECT_EQ(s->DLLFile().Filename(), Gen("tools/mhproc.dll"));
    std::vector<std::string> names;
    for (int i = 0; i < s->Files().Count(); ++i) {
        names.push_back(s->Files().Items(i).Filename());
        EXPECT_EQ(s->Files().Items(i).CompressMode, 2);
    }
    EXPECT_EQ(names, (std::vector<std::string>{extra, Gen("tools/VSP.exe"), Gen("tools/VSE.exe"), Gen("tools/VSS.exe"),
                                               Gen("tools/VSD.exe")}));
    EXPECT_EQ(s->Files().Items(0).Extract(), (std::vector<std::uint8_t>{'r', 'e', 'a', 'd', ' ', 'm', 'e'}));
}

TEST_F(BuildTest, OnlyTheExactYesPacksATool) {
    TfVexelSCREENModel& m = Started();
    // Without a projector the inspection leaves the grid alone, so the rule
    // shows on its own; the build goes on without a movie.
    m.pgMovieInfo.value(6) = "yes";
    m.pgMovieInfo.value(7) = "Yes";
    m.BuildProjector(Path("out.exe"));
    auto s = Package(Path("out.exe"));
    EXPECT_TRUE(s->MainFile().Filename().empty());
    ASSERT_EQ(s->Files().Count(), 1);
    EXPECT_EQ(s->Files().Items(0).Filename(), Gen("tools/VSE.exe"));
}

TEST_F(BuildTest, BuildNumberVersionAndIcon) {
    TfVexelSCREENModel& m = Ready();
    m.seVI_1.setValue(2);
    m.seVI_2.setValue(5);
    m.seVI_3.setValue(1);
    m.seVI_4.setValue(300);
    m.BuildProjector(Path("a.exe"));
    m.BuildProjector(Path("b.exe"));
    EXPECT_EQ(m.seVI_4.value(), 302);
    const VersionFixedInfo a = FixedVersion(Path("a.exe")), b = FixedVersion(Path("b.exe"));
    EXPECT_EQ(a.fileVersionMS, 0x00020005u);
    EXPECT_EQ(a.fileVersionLS, 0x0001012Cu);
    EXPECT_EQ(b.fileVersionLS, 0x0001012Du);
    EXPECT_EQ(a.productVersionMS, 0x00010000u);
    // The two files differ only in the build number of their version resources.
    const auto fa = Slurp(Path("a.exe")), fb = Slurp(Path("b.exe"));
    ASSERT_EQ(fa.size(), fb.size());
    std::size_t differing = 0;
    for (std::size_t i = 0; i < fa.size(); ++i) differing += fa[i] != fb[i];
    EXPECT_EQ(differing, 1u);

    // 65535 goes on to 65536, which the record stores as 0.
    m.seVI_4.setValue(65535);
    m.BuildProjector(Path("c.exe"));
    EXPECT_EQ(m.seVI_4.value(), 65536);
    m.BuildProjector(Path("d.exe"));
    EXPECT_EQ(FixedVersion(Path("d.exe")).fileVersionLS, 0x00010000u);

    // The icon of imIcon is written over the engine's first icon image.
    TExeImage image(Path("a.exe"));
    const std::optional<IconSlot> slot = FindFirstIconImage(image.ResourceTree());
    ASSERT_TRUE(slot);
    EXPECT_EQ(slot->size, 2216u);
    const auto engine = Slurp(Gen("tools/VSengine.exe"));
    EXPECT_NE(std::vector<std::uint8_t>(fa.begin() + slot->offset, fa.begin() + slot->offset + 2216),
              std::vector<std::uint8_t>(engine.begin() + slot->offset, engine.begin() + slot->offset + 2216));
}

TEST_F(BuildTest, FailuresLeaveNoHalfBuiltOutput) {
    TfVexelSCREENModel& m = Ready();
    const std::string out = Path("out.exe");
    const std::string previous = "a good projector";
    Text(out, previous);
    // An empty additional file ends the build; the old output stays.
    m.paAddFilesFileDropped(Text(Path("empty.dat"), ""));
    ASSERT_EQ(m.lvAddFiles.items.size(), 1u);
    try {
        m.BuildProjector(out);
        FAIL();
    } catch (const VsError& e) {
        EXPECT_STREQ(e.what(), "Input file is empty");
    }
    EXPECT_EQ(Slurp(out), std::vector<std::uint8_t>(previous.begin(), previous.end()));
    EXPECT_EQ(m.seVI_4.value(), 0) << "the build number moves only after a build";
    for (const auto& entry : fs::directory_iterator(dir_)) EXPECT_EQ(entry.path().string().find(".tmp"), std::string::npos);

    // A missing engine: the message names it, and the output stays.
    m.lvAddFiles.items.clear();
    fs::remove(Gen("tools/VSengine.exe"));
    try {
        m.BuildProjector(out);
        FAIL();
    } catch (const EFOpenError& e) {
        EXPECT_EQ(std::string(e.what()), "The projector engine " + Gen("tools/VSengine.exe") + " is missing");
    }
    EXPECT_EQ(Slurp(out), std::vector<std::uint8_t>(previous.begin(), previous.end()));
}

TEST_F(BuildTest, AnEngineThatIsNoProgramOfItsKindIsNamed) {
    TfVexelSCREENModel& m = Ready();
    const std::string engine = Gen("tools/VSengine.exe");
    auto refusal = [&] {
        try {
            m.BuildProjector(Path("out.exe"));
        } catch (const VsError& e) {
            return std::string(e.what());
        }
        return std::string("built");
    };
    // A project saved over it (text), a 64-bit engine in the 32-bit place, a DLL.
    Text(engine, "TPF0 a project, not a program");
    EXPECT_EQ(refusal(), "The projector engine " + engine + " is not a 32-bit (i386) Windows program "
                         "(unrecognized file format); reinstall the generator's Tools folder.");
    Engine(true).Write(engine);
    EXPECT_EQ(refusal(), "The projector engine " + engine + " is not a 32-bit (i386) Windows program; reinstall the "
                         "generator's Tools folder.");
    Engine(false).Write(engine);
    std::vector<std::uint8_t> dll = Slurp(engine);
    test::PutLe16(dll, dll[0x3C] + 4 + 18, 0x2102);  // IMAGE_FILE_DLL among the characteristics
    test::WriteFileBytes(engine, dll);
    EXPECT_NE(refusal().find("is not a 32-bit (i386) Windows program"), std::string::npos);
    EXPECT_FALSE(fs::exists(Path("out.exe")));
    Engine(false).Write(engine);
    EXPECT_EQ(refusal(), "built");
}

TEST_F(BuildTest, AReadOnlyEngineGivesAnOutputOfTheUsersPermissions) {
#ifdef _WIN32
    GTEST_SKIP() << "POSIX permissions";
#else
    TfVexelSCREENModel& m = Ready();
    fs::permissions(Gen("tools/VSengine.exe"), fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    m.BuildProjector(Path("out.exe"));  // the stamp writes into the copy: it must be writable
    const mode_t mask = ::umask(022);
    ::umask(mask);
    EXPECT_EQ(static_cast<mode_t>(fs::status(Path("out.exe")).permissions()), 0777 & ~mask);
    // Also over an earlier output that was read-only.
    fs::permissions(Path("out.exe"), fs::perms::owner_read);
    m.BuildProjector(Path("out.exe"));
    EXPECT_EQ(static_cast<mode_t>(fs::status(Path("out.exe")).permissions()), 0777 & ~mask);
#endif
}

TEST_F(BuildTest, BuildFollowsTheOutputNameAndAnEmptyOneIsRefused) {
    TfVexelSCREENModel& m = Ready();
    m.SetControls();
    ASSERT_TRUE(m.qbtBuild.enabled);
    m.OutputProjectorEdited("");
    EXPECT_FALSE(m.qbtBuild.enabled) << "at once, not at the next click elsewhere";
    m.OutputProjectorEdited("o");
    EXPECT_TRUE(m.qbtBuild.enabled);
    m.OutputProjectorEdited("");
    m.Run([&] { m.qbtBuildClick(); });
    EXPECT_EQ(ui.texts("error"), std::vector<std::string>{"The field \"New projector filename and path:\" is empty. "
                                                          "Choose the file that the projector is to be built into."});
    EXPECT_EQ(m.seVI_4.value(), 0);
}

TEST_F(BuildTest, CancelStopsABuildWithinAFile) {
    TfVexelSCREENModel& m = Ready();
    // A file large enough that its compression takes many chunks.
    std::string big(16 << 20, '\0');
    for (std::size_t i = 0; i < big.size(); i += 7) big[i] = static_cast<char>(i * 2654435761u >> 24);
    m.paAddFilesFileDropped(Text(Path("big.dat"), big));
    m.jobs = 1;
    int looks = 0;
    ui.whilePending = [&] {
        EXPECT_TRUE(m.btCancel.visible && m.btCancel.enabled);
        if (m.pages.activePage() == "pageBuilding" && ++looks == 2) m.btCancelClick();
    };
    m.Run([&] { m.qbtBuildClick(); });
    ui.whilePending = nullptr;
    EXPECT_TRUE(ui.texts("error").empty()) << "a cancel ends quietly";
    EXPECT_TRUE(ui.texts("confirm").empty());
    EXPECT_FALSE(fs::exists(Path("out.exe")));
    EXPECT_EQ(m.seVI_4.value(), 0);
    EXPECT_FALSE(m.Settings().Files().Items(0).PendingInBatch());
    // The next build is not cancelled by the click of the last one.
    m.lvAddFiles.items.clear();
    m.Run([&] { m.qbtBuildClick(); });
    EXPECT_TRUE(fs::exists(Path("out.exe")));
}

TEST_F(BuildTest, BuildButtonAndItsRunQuestion) {
    TfVexelSCREENModel& m = Ready();
    m.btAppearanceClick();
    m.Run([&] { m.qbtBuildClick(); });
    EXPECT_EQ(ui.texts("confirm"), std::vector<std::string>{"Would you like to run the projector you have just build?"});
    EXPECT_EQ(m.pages.activePage(), "pageAppearance") << "No: back on the page of before";
    EXPECT_TRUE(shell.started.empty());
    EXPECT_EQ(m.lbBusyLabel.caption, "Please hold while your projector is being constructed...");
    EXPECT_GT(ui.pendingMessageCalls, 0);
    EXPECT_FALSE(ui.progressLog.empty()) << "progress per packed file";

    ui.answers.push_back(true);
    host.log.clear();
    m.Run([&] { m.qbtBuildClick(); });
    EXPECT_EQ(shell.started, std::vector<std::string>{Path("out.exe")});
    EXPECT_EQ(host.log, (std::vector<std::string>{"hide", "show", "show"}));

    shell.canStart = false;
    ui.answers.push_back(true);
    m.Run([&] { m.qbtBuildClick(); });
    EXPECT_EQ(ui.texts("error"), std::vector<std::string>{"Couldnt start"});
    EXPECT_EQ(m.seVI_4.value(), 3);
}

TEST_F(BuildTest, SigningAsksForThePasswordOfEachBuildAndKeepsItNowhere) {
    TfVexelSCREENModel& m = Ready();
    // What the build is to sign with, seen once the settings are mapped; the
    // build stops there, so nothing is signed here.
    std::vector<std::optional<SigningRequest>> seen;
    bool stop = true;
    m.afterMapping = [&](s_TVexelProjector&) {
        seen.push_back(m.signing);
        if (stop) throw EOperationCancelled();
    };
    const std::string certificate = Text(Path("signer.p12"), "certificate");
    m.edSignCertificate.fileName = certificate;
    m.edSignDescription.text = "Demo";
    m.edSignTimestamp.text = "http://timestamp.example";
    ui.passwordAnswers = {std::string("s3cret")};
    m.Run([&] { m.qbtBuildClick(); });
    EXPECT_EQ(ui.passwordPrompts,
              std::vector<std::string>{"Password of " + certificate + " (leave it empty if it has none):"});
    ASSERT_EQ(seen.size(), 1u);
    ASSERT_TRUE(seen[0].has_value());
    EXPECT_EQ(seen[0]->certificate, certificate);
    EXPECT_EQ(seen[0]->key, "");
    EXPECT_EQ(seen[0]->password, "s3cret");
    EXPECT_EQ(seen[0]->description, "Demo");
    EXPECT_EQ(seen[0]->timestampUrl, "http://timestamp.example");
    EXPECT_FALSE(m.signing) << "the request ends with its build, also a stopped one";
    EXPECT_EQ(m.pages.activePage(), "pageFiles");

    // A cancelled password: no build at all, not even the busy page.
    ui.passwordAnswers = {std::nullopt};
    int looks = 0;
    ui.whilePending = [&] { ++looks; };
    m.Run([&] { m.qbtBuildClick(); });
    ui.whilePending = nullptr;
    EXPECT_EQ(ui.passwordPrompts.size(), 2u);
    EXPECT_EQ(seen.size(), 1u);
    EXPECT_EQ(looks, 0);
    EXPECT_FALSE(m.signing);
    EXPECT_FALSE(fs::exists(Path("out.exe")));
    EXPECT_TRUE(ui.texts("error").empty());

    // Without a certificate nobody is asked, and the build is not signed.
    m.edSignCertificate.fileName.clear();
    stop = false;
    m.Run([&] { m.qbtBuildClick(); });
    EXPECT_EQ(ui.passwordPrompts.size(), 2u);
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_FALSE(seen[1]);
    EXPECT_TRUE(fs::exists(Path("out.exe")));
    EXPECT_TRUE(ui.texts("error").empty());

    // A preview never signs, a certificate chosen or not.
    m.edSignCertificate.fileName = certificate;
    m.Run([&] { m.qbtPreviewClick(); });
    EXPECT_EQ(ui.passwordPrompts.size(), 2u);
    ASSERT_EQ(seen.size(), 3u);
    EXPECT_FALSE(seen[2]);

    // The certificate's name is remembered; no password is.
    m.FormClose();
    EXPECT_EQ(store.values["edSignCertificate.FileName"], certificate);
    for (const auto& [key, value] : store.values) EXPECT_EQ(value.find("s3cret"), std::string::npos) << key;
    MakeModel();
    EXPECT_EQ(Started().edSignCertificate.fileName, certificate);
}

TEST_F(BuildTest, PreviewStoresFilesAndCleansUp) {
    TfVexelSCREENModel& m = Ready();
    m.btBuildClick();
    shell.runningPolls = 3;
    m.Run([&] { m.qbtPreviewClick(); });
    ASSERT_EQ(shell.started.size(), 1u);
    const std::string preview = shell.started[0];
    EXPECT_EQ(preview.rfind((dir_ / "tmp").string() + "/VexelSCREEN Preview Projector - ", 0), 0u) << preview;
    const std::string digits = preview.substr(preview.rfind(" - ") + 3, preview.size() - preview.rfind(" - ") - 7);
    EXPECT_TRUE(digits.size() == 8 || digits.size() == 9) << digits;  // at least 8, zero-padded
    EXPECT_EQ(digits.find_first_not_of("0123456789"), std::string::npos);
    EXPECT_EQ(preview.substr(preview.size() - 4), ".exe");
    EXPECT_FALSE(fs::exists(preview)) << "the preview is removed once it has ended";
    EXPECT_EQ(m.tbCompression.position, 3);
    EXPECT_EQ(m.pages.activePage(), "pageBuild");
    EXPECT_EQ(m.seVI_4.value(), 1) << "a preview advances the build number too";
    EXPECT_EQ(m.Settings().MainFile().CompressMode, 1) << "packed without compression";
    EXPECT_TRUE(ui.texts("confirm").empty());

    // A preview cut short while its projector runs still removes its file.
    shell.whileRunning = [] { throw EOperationCancelled(); };
    m.Run([&] { m.qbtPreviewClick(); });
    shell.whileRunning = nullptr;
    ASSERT_EQ(shell.started.size(), 2u);
    EXPECT_FALSE(fs::exists(shell.started[1]));
    EXPECT_EQ(m.tbCompression.position, 3);

    // A preview whose build fails leaves nothing in the temporary folder.
    m.paAddFilesFileDropped(Text(Path("empty.dat"), ""));
    m.Run([&] { m.qbtPreviewClick(); });
    EXPECT_EQ(ui.texts("error"), std::vector<std::string>{"Input file is empty."});
    EXPECT_TRUE(fs::is_empty(dir_ / "tmp"));
    EXPECT_EQ(m.tbCompression.position, 3);
}

// The names and contents of a package's hook library and tools.
std::vector<std::pair<std::string, std::string>> ToolEntries(const s_TVexelProjector& s) {
    auto text = [](const TPackedFile& f) {
        const std::vector<std::uint8_t> bytes = f.Extract();
        return std::string(bytes.begin(), bytes.end());
    };
    std::vector<std::pair<std::string, std::string>> entries{{s.DLLFile().Filename(), text(s.DLLFile())}};
    for (int i = 0; i < s.Files().Count(); ++i) entries.emplace_back(s.Files().Items(i).Filename(), text(s.Files().Items(i)));
    return entries;
}

TEST_F(BuildTest, EachPlayerGetsTheEngineFamilyOfItsKind) {
    TfVexelSCREENModel& m = Started();
    m.rbInsDesktop.setChecked(true);
    const auto contains = [](const std::vector<std::uint8_t>& bytes, const std::string& text) {
        return std::search(bytes.begin(), bytes.end(), text.begin(), text.end()) != bytes.end();
    };

    // A 64-bit player: the engine, the hook library and the tools of tools/x64.
    m.DragDropPorjectorFileDropped(Projector64("movie64.exe", true, true, true));
    ASSERT_EQ(m.edFlashProjector.fileName, Path("movie64.exe"));
    const BuildReport report = m.BuildProjector(Path("out64.exe"));
    EXPECT_TRUE(report.versionWritten && report.iconWritten) << report.versionRefusal;
    const auto out64 = Slurp(Path("out64.exe"));
    EXPECT_TRUE(contains(out64, EngineMark(true)));
    EXPECT_FALSE(contains(out64, EngineMark(false)));
    EXPECT_EQ(ExecutableKindOfFile(Path("out64.exe")), ExecutableKind::Bits64);
    auto s = Package(Path("out64.exe"));
    EXPECT_EQ(s->MainFile().Filename(), Path("movie64.exe"));
    using Entries = std::vector<std::pair<std::string, std::string>>;
    EXPECT_EQ(ToolEntries(*s), (Entries{{Gen("tools/x64/mhproc.dll"), "x64 tool mhproc.dll"},
                                        {Gen("tools/x64/VSP.exe"), "x64 tool VSP.exe"},
                                        {Gen("tools/x64/VSE.exe"), "x64 tool VSE.exe"},
                                        {Gen("tools/x64/VSS.exe"), "x64 tool VSS.exe"},
                                        {Gen("tools/x64/VSD.exe"), "x64 tool VSD.exe"}}));

    // A 32-bit player in the same window afterwards: today's engine, names and
    // bytes, nothing left of the 64-bit build.
    m.DragDropPorjectorFileDropped(Projector("movie.exe", true, true, true));
    m.BuildProjector(Path("out32.exe"));
    const auto out32 = Slurp(Path("out32.exe"));
    EXPECT_TRUE(contains(out32, EngineMark(false)));
    EXPECT_FALSE(contains(out32, EngineMark(true)));
    EXPECT_EQ(ExecutableKindOfFile(Path("out32.exe")), ExecutableKind::Bits32);
    EXPECT_EQ(ToolEntries(*Package(Path("out32.exe"))), (Entries{{Gen("tools/mhproc.dll"), "tool mhproc.dll"},
                                                                 {Gen("tools/VSP.exe"), "tool VSP.exe"},
                                                                 {Gen("tools/VSE.exe"), "tool VSE.exe"},
                                                                 {Gen("tools/VSS.exe"), "tool VSS.exe"},
                                                                 {Gen("tools/VSD.exe"), "tool VSD.exe"}}));

    // Whether the 64-bit family is installed makes no difference to it.
    fs::remove_all(Gen("tools/x64"));
    m.seVI_4.setValue(1);
    m.BuildProjector(Path("again32.exe"));
    EXPECT_EQ(Slurp(Path("again32.exe")), out32);

    // Without it a 64-bit player cannot be built; the 32-bit engine is no
    // stand-in.
    m.DragDropPorjectorFileDropped(Projector64("movie64.exe"));
    try {
        m.BuildProjector(Path("none.exe"));
        FAIL();
    } catch (const EFOpenError& e) {
        EXPECT_EQ(std::string(e.what()), "The projector engine " + Gen("tools/x64/VSengine.exe") + " is missing");
    }
    EXPECT_FALSE(fs::exists(Path("none.exe")));
}

TEST_F(BuildTest, APlayerWithDamagedHeadersIsBuiltAs32Bit) {
    TfVexelSCREENModel& m = Started();
    // An AMD64 player whose section table would run past the end of the file.
    const std::string player = Projector64("damaged.exe");
    std::vector<std::uint8_t> bytes = Slurp(player);
    test::PutLe16(bytes, 0x86, 0xFFFF);
    test::WriteFileBytes(player, bytes);
    m.DragDropPorjectorFileDropped(player);
    EXPECT_EQ(m.edFlashProjector.fileName, player);
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_EQ(m.pgMovieInfo.value(kPlayerRow), "32-bit");
    m.BuildProjector(Path("out.exe"));
    EXPECT_EQ(Package(Path("out.exe"))->DLLFile().Filename(), Gen("tools/mhproc.dll"));
}

TEST_F(BuildTest, NoOutputGoesOverAProgramOfEitherFamily) {
    TfVexelSCREENModel& m = Started();
    std::vector<std::string> targets = {Gen("tools/x64/VSengine.exe"), Gen("tools/x64/../x64/mhproc.dll"),
                                        Gen("tools/VSS.exe")};
    // A link to a Tools program is that program too (where the system makes links).
    std::error_code noLinks;
    fs::create_symlink(Gen("tools/VSengine.exe"), Path("engine-link.exe"), noLinks);
    if (!noLinks) targets.push_back(Path("engine-link.exe"));
    for (const std::string& player : {Projector64("movie64.exe"), Projector("movie.exe")}) {
        m.DragDropPorjectorFileDropped(player);
        for (const std::string& target : targets) {
            const auto before = Slurp(target);
            // A build, a project save, a sample date/time file.
            const std::vector<std::function<void()>> outputs = {[&] { m.BuildProjector(target); },
                                                                [&] { m.SaveProject(target); },
                                                                [&] { m.CreateVarFile(target, false); }};
            for (const auto& write : outputs) {
                try {
                    write();
                    ADD_FAILURE() << target << " was not refused";
                } catch (const VsError& e) {
                    EXPECT_NE(std::string(e.what()).find("is the same file as a program of the Tools folder"),
                              std::string::npos)
                        << e.what();
                }
            }
            EXPECT_EQ(Slurp(target), before) << target;
        }
    }
    EXPECT_EQ(m.seVI_4.value(), 0);
}

TEST_F(BuildTest, OneThreadAndAllCoresGiveTheSameBytes) {
    TfVexelSCREENModel& m = Ready();
    for (int i = 0; i < 5; ++i) m.paAddFilesFileDropped(Text(Path("f" + std::to_string(i) + ".txt"), std::string(20000 + i, 'a' + i)));
    m.jobs = 1;
    m.BuildProjector(Path("one.exe"));
    m.seVI_4.setValue(0);
    m.jobs = 0;
    m.BuildProjector(Path("all.exe"));
    EXPECT_EQ(Slurp(Path("one.exe")), Slurp(Path("all.exe")));
}

}  // namespace
}  // namespace vs
