// Reading the engine's own package and planning what it writes.
#include <gtest/gtest.h>

#include <algorithm>

#include "core/engine_package.h"
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

TEST_F(EnginePackage, EveryPackedFileIsCheckedToItsEnd) {
    // Compression mode 1 stores the bytes as they are: only the stream's
    // check value shows a changed byte.
    s_TVexelProjector s;
    test::WriteBytes(Path("movie.exe"), std::vector<std::uint8_t>(3000, 'm'));
    s.MainFile().CompressMode = 1;
    s.MainFile().SetFilename(Path("movie.exe"));
    const std::vector<std::uint8_t> good = s.MainFile().FileData();
    auto outcome = [&](std::vector<std::uint8_t> data, std::int32_t size) -> std::string {
        s.MainFile().SetData(std::move(data));
        s.MainFile().Filesize = size;
        std::size_t seen = 0;
        try {
            InflatePackedFile(s.MainFile(), [&](const std::uint8_t*, std::size_t n) { seen += n; }, 1000);
        } catch (const EPackageError& e) {
            return e.what();
        }
        return seen == static_cast<std::size_t>(size) ? "ok" : "short";
    };
    EXPECT_EQ(outcome(good, 3000), "ok");
    auto changed = good;
    changed[1500] ^= 1;
    EXPECT_EQ(outcome(changed, 3000), "The projector's package is damaged: bad packed data");
    auto badCheck = good;
    badCheck.back() ^= 0x80;
    EXPECT_EQ(outcome(badCheck, 3000), "The projector's package is damaged: bad packed data");
    EXPECT_EQ(outcome(good, 2999), "The projector's package is damaged: a packed file is longer than its size");
    EXPECT_EQ(outcome(good, 3001), "The projector's package is damaged: a packed file ends early");
    EXPECT_EQ(outcome({good.begin(), good.end() - 3}, 3000), "The projector's package is damaged: a packed file ends early");
    auto trailing = good;
    trailing.push_back(0);
    EXPECT_EQ(outcome(trailing, 3000), "The projector's package is damaged: a packed file carries bytes after its end");
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
    {
        // A damaged name length: the message shows the name's length, not
        // 200 bytes of whatever follows it.
        s_TVexelProjector named;
        Pack(named.MainFile(), "movie.exe", 100);
        named.CaptionText = "Caption";
        auto bytes = Projector(named);
        const std::string key = "CaptionText";
        auto at = std::search(bytes.begin(), bytes.end(), key.begin(), key.end());
        ASSERT_NE(at, bytes.end());
        *(at - 1) = 200;
        TMemoryStream damaged(bytes);
        s_TVexelProjector back;
        try {
            ReadEnginePackage(damaged, back);
            ADD_FAILURE();
        } catch (const EPackageError& e) {
            const std::string said = e.what();
            EXPECT_NE(said.find("<a name of 200 bytes>"), std::string::npos) << said;
            EXPECT_TRUE(std::all_of(said.begin(), said.end(), [](char c) { return c >= 0x20 && c <= 0x7E; })) << said;
        }
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
