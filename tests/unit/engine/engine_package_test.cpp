// Reading the engine's own package and planning what it writes.
#include <gtest/gtest.h>

#include "core/engine_package.h"
#include "core/file_name_rules.h"
#include "package/package_file.h"
#include "platform/stream.h"
#include "support/ico_builder.h"
#include "support/temp_dir.h"

namespace vs::engine {
namespace {

class EnginePackage : public test::TempDirTest {
protected:
    // An engine stand-in of a few bytes, then the package.
    std::vector<std::uint8_t> Projector(s_TVexelProjector& s) {
        TMemoryStream out;
        out.WriteBuffer(std::vector<std::uint8_t>(64, 'E'));
        AppendPackage(out, s);
        return out.release();
    }
    void Pack(TPackedFile& f, const std::string& name, std::size_t size) {
        test::WriteBytes(Path(name), std::vector<std::uint8_t>(size, 'x'));
        f.SetFilename(Path(name));
    }
};

TEST_F(EnginePackage, NamesMustBePlainFilesOfTheFolder) {
    EXPECT_EQ(ExtractName("C:\\Movies\\intro.exe"), "intro.exe");
    EXPECT_EQ(ExtractName("/home/a/b/caf\xC3\xA9.swf"), "caf\xC3\xA9.swf");
    EXPECT_EQ(ExtractName("..\\..\\evil.dll"), "evil.dll");  // reduced to its file part
    for (const char* bad : {"", "C:\\x\\", "C:\\x\\..", "C:\\x\\.", "C:evil.exe", "C:\\x\\CON", "C:\\x\\nul.txt",
                            "C:\\x\\com1.dat", "C:\\x\\LPT\xC2\xB9", "x\\a?b", "x\\a\"b", "x\\a|b", "x\\a*b",
                            "x\\trail.", "x\\trail ", "x\\ lead", "x\\tab\tname", "x\\\xC3\x28"})
        EXPECT_EQ(ExtractName(bad), "") << bad;
    EXPECT_EQ(ExtractName(std::string(200, 'a')), std::string(200, 'a'));
    EXPECT_EQ(ExtractName(std::string(201, 'a')), "");
    EXPECT_FALSE(IsDeviceName("CONSOLE.txt"));
    EXPECT_TRUE(IsDeviceName("conout$"));
}

TEST_F(EnginePackage, ReadsThePackageAndPlansTheFiles) {
    s_TVexelProjector s;
    Pack(s.MainFile(), "movie.exe", 5000);
    Pack(s.DLLFile(), "mhproc.dll", 300);
    s.Files().AddFile(Path("notes.txt"));  // missing at build time: a name only
    test::WriteBytes(Path("VSP.exe"), std::vector<std::uint8_t>(10, 'p'));
    s.Files().AddFile(Path("VSP.exe"));
    s.CaptionText = "Caf\xC3\xA9";
    TMemoryStream file(Projector(s));

    s_TVexelProjector back;
    EXPECT_EQ(ReadEnginePackage(file, back), 64);
    EXPECT_EQ(back.CaptionText, "Caf\xC3\xA9");
    auto plan = PlanExtraction(back);
    ASSERT_EQ(plan.size(), 3u);
    EXPECT_EQ(plan[0].name, "movie.exe");
    EXPECT_EQ(plan[1].name, "mhproc.dll");
    EXPECT_EQ(plan[2].name, "VSP.exe");
    EXPECT_EQ(plan[0].tool, false);
    EXPECT_EQ(plan[2].tool, true);
    std::vector<std::uint8_t> out;
    InflatePackedFile(*plan[0].file, [&](const std::uint8_t* p, std::size_t n) { out.insert(out.end(), p, p + n); });
    EXPECT_EQ(out, std::vector<std::uint8_t>(5000, 'x'));
}

TEST_F(EnginePackage, RefusesWhatItCannotRunSafely) {
    auto refused = [](s_TVexelProjector& s, const std::string& text) {
        try {
            PlanExtraction(s);
            ADD_FAILURE() << "accepted; expected: " << text;
        } catch (const EPackageError& e) {
            EXPECT_NE(std::string(e.what()).find(text), std::string::npos) << e.what();
        }
    };
    {
        s_TVexelProjector s;
        refused(s, "holds no movie");
    }
    {
        s_TVexelProjector s;
        Pack(s.MainFile(), "movie.exe", 100);
        Pack(s.Files().Add(), "MOVIE.EXE", 10);
        s.Files().Items(0).SetFilename(Path("sub\\MOVIE.EXE"));
        refused(s, "two files named MOVIE.EXE");
    }
    {
        s_TVexelProjector s;
        Pack(s.MainFile(), "movie.exe", 100);
        s.MainFile().Filesize = 0x7FFFFFFF;  // far more than its bytes can hold
        refused(s, "does not fit its data");
    }
    {
        s_TVexelProjector s;
        Pack(s.MainFile(), "movie.exe", 100);
        s.MainFile().SetFilename("D:..");
        refused(s, "cannot be written: \"D:..\"");
    }
    {
        s_TVexelProjector s;
        Pack(s.MainFile(), "movie.exe", 100000);
        s.MainFile().Filesize += 1;
        auto plan = PlanExtraction(s);
        EXPECT_THROW(InflatePackedFile(*plan[0].file, [](const std::uint8_t*, std::size_t) {}), EPackageError);
    }
    // Not a projector at all, and a package cut short.
    TMemoryStream none(std::vector<std::uint8_t>(100, 0));
    s_TVexelProjector s;
    EXPECT_THROW(ReadEnginePackage(none, s), EPackageError);
    Pack(s.MainFile(), "movie.exe", 100);
    auto bytes = Projector(s);
    bytes.erase(bytes.begin() + 64 + 30, bytes.end() - 4);
    TMemoryStream cut(bytes);
    s_TVexelProjector back;
    try {
        ReadEnginePackage(cut, back);
        ADD_FAILURE();
    } catch (const EPackageError& e) {
        EXPECT_NE(std::string(e.what()).find("package is damaged: Stream read error"), std::string::npos) << e.what();
    }
}

}  // namespace
}  // namespace vs::engine
