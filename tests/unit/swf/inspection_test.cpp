// The inspection of projector files: refusals, the grid, the flags of the
// settings object, rewriting in the file, and bad input.
#include <gtest/gtest.h>
#include <fcntl.h>
#ifdef __linux__
#include <linux/fs.h>
#include <sys/ioctl.h>
#endif
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "package/vexel_projector.h"
#include "platform/errors.h"
#include "support/projector_builder.h"
#include "support/swf_builder.h"
#include "swf/inspection.h"
#include "support/temp_dir.h"

namespace vs {
namespace {

using test::ByteVec;

class Inspection : public test::TempDirTest {
protected:
    std::string Write(const ByteVec& bytes, const std::string& name = "projector.exe") {
        std::string p = Path(name);
        test::WriteProjectorFile(p, bytes);
        return p;
    }
    bool Inspect(const std::string& path, InspectOptions options = {}) {
        return InspectProjector(path, result, options);
    }
    static ByteVec Projector(test::SwfBuilder b) { return test::BuildProjector(b.build()); }

    InspectionResult result;
};

TEST_F(Inspection, MovieFactsAsTheGridShowsThem) {
    test::SwfBuilder b;
    b.version = 8;
    b.frameRate = 12;
    b.frameRateFraction = 0x80;
    b.frameCount = 250;
    b.storedLength = 0xFFFFFFF0u;  // claims more than the file holds
    std::string p = Write(Projector(b));
    const ByteVec before = test::ReadProjectorFile(p);
    ASSERT_TRUE(Inspect(p));
    const std::array<std::string, 9> want = {"550", "400", "8", "4294967280", "12", "250", "No", "No", "No"};
    EXPECT_EQ(result.grid, want);
    EXPECT_TRUE(result.complete);
    EXPECT_FALSE(result.fileWritten);
    EXPECT_EQ(test::ReadProjectorFile(p), before);
    EXPECT_TRUE(result.scanFailures.empty());
}

TEST_F(Inspection, ThreePrintCommandsAndTheOtherServices) {
    test::SwfBuilder b;
    b.fsExec("vexelprint(1,2,3,4)").showFrame();
    b.fsExec("VexelPrint(5,6,7,8) /fitpage", "fscommand:EXEC").showFrame();
    b.fsExec("vexelprint(9,9,9,9)");
    b.fsExec("vexelexec(notepad.exe, readme.txt)");
    b.getUrl("VexelScreen:LoadVariables(scores.txt)", "");
    std::string p = Write(Projector(b));
    const ByteVec before = test::ReadProjectorFile(p);

    s_TVexelProjector settings;
    ASSERT_TRUE(InspectProjector(p, settings, result));
    EXPECT_TRUE(settings.HasPrint);
    EXPECT_TRUE(settings.HasEXEC);
    EXPECT_TRUE(settings.HasVarStore);
    EXPECT_EQ(result.grid[6], "Yes");
    EXPECT_EQ(result.grid[8], "Yes");
    ASSERT_EQ(result.commands.size(), 5u);
    for (std::size_t i = 0; i + 1 < 3; ++i) EXPECT_LT(result.commands[i].offset, result.commands[i + 1].offset);
    EXPECT_EQ(result.commands[1].newText, "VSP.exe\t5\t6\t7\t8\t~FITPAGE");
    EXPECT_EQ(result.commands[4].newText, "http://127.0.0.1:5905/load/scores.txt");

    const ByteVec after = test::ReadProjectorFile(p);
    ASSERT_EQ(after.size(), before.size());
    // Every changed byte lies inside a rewritten command.
    for (std::size_t i = 0; i < after.size(); ++i) {
        if (after[i] == before[i]) continue;
        bool inside = false;
        for (const CommandRewrite& c : result.commands) inside |= i >= c.offset && i < c.offset + c.newSize;
        ASSERT_TRUE(inside) << i;
    }
    std::string text(after.begin(), after.end());
    EXPECT_NE(text.find(std::string("FSCommand:exec\0VSP.exe\t1\t2\t3\t4\0", 31)), std::string::npos);
    EXPECT_NE(text.find(std::string("VSE.exe\tnotepad.exe\treadme.txt\0\0\0", 33)), std::string::npos);

    // Inspecting twice: nothing more is rewritten; the flags come from the rewritten forms.
    s_TVexelProjector again;
    ASSERT_TRUE(InspectProjector(p, again, result));
    EXPECT_TRUE(result.commands.empty());
    EXPECT_FALSE(result.fileWritten);
    EXPECT_TRUE(again.HasPrint && again.HasEXEC && again.HasVarStore);
    EXPECT_EQ(test::ReadProjectorFile(p), after);
}

TEST_F(Inspection, DryRunReportsButChangesNothing) {
    test::SwfBuilder b;
    b.getUrl("vexelscreen:savevariables(hi)", "_level0");
    std::string p = Write(Projector(b));
    const ByteVec before = test::ReadProjectorFile(p);
    ::chmod(p.c_str(), 0444);  // a dry run needs no write access
    ASSERT_TRUE(Inspect(p, {.dryRun = true}));
    EXPECT_EQ(test::ReadProjectorFile(p), before);
    ASSERT_EQ(result.commands.size(), 1u);
    EXPECT_EQ(result.commands[0].oldText, "vexelscreen:savevariables(hi)");
    EXPECT_EQ(result.commands[0].newText, "http://127.0.0.1:5905/save/hi");
    EXPECT_EQ(result.grid[8], "Yes");
    EXPECT_FALSE(result.fileWritten);
    ::chmod(p.c_str(), 0644);  // Windows removes no read-only file with its folder
}

TEST_F(Inspection, MissingFilesAndNonProjectorsAreRefused) {
    s_TVexelProjector settings;
    settings.HasPrint = true;
    EXPECT_FALSE(InspectProjector(Path("missing.exe"), settings, result));
    EXPECT_TRUE(result.missing);
    EXPECT_FALSE(InspectProjector(dir_.string(), settings, result));  // a folder is no file
    EXPECT_TRUE(result.missing);
    EXPECT_FALSE(InspectProjector(Write(test::BuildPlayerPart()), settings, result));
    EXPECT_TRUE(result.refused);
    EXPECT_FALSE(result.missing);
    EXPECT_TRUE(settings.HasPrint);
}

TEST_F(Inspection, MovieHeaderCutShortIsAReadError) {
    ByteVec movie = test::SwfBuilder().build();
    ByteVec bytes = test::BuildProjector(movie);
    bytes.resize(bytes.size() - movie.size() + 10);
    std::string p = Write(bytes);
    s_TVexelProjector settings;
    settings.HasPrint = true;
    EXPECT_THROW(InspectProjector(p, settings, result), EReadError);
    EXPECT_TRUE(settings.HasPrint);
    EXPECT_EQ(test::ReadProjectorFile(p), bytes);
}

// Makes a file impossible to open for writing, also for a privileged user.
bool MakeUnwritable(const std::string& path) {
    ::chmod(path.c_str(), 0444);
    int probe = ::open(path.c_str(), O_RDWR);
    if (probe < 0) return true;
#ifdef __linux__
    int flags = 0;
    bool ok = ::ioctl(probe, FS_IOC_GETFLAGS, &flags) == 0;
    flags |= FS_IMMUTABLE_FL;
    ok = ok && ::ioctl(probe, FS_IOC_SETFLAGS, &flags) == 0;
    ::close(probe);
    return ok;
#else
    ::close(probe);
    return false;
#endif
}

void MakeWritable(const std::string& path) {
#ifdef __linux__
    int fd = ::open(path.c_str(), O_RDONLY);
    if (fd >= 0) {
        int flags = 0;
        if (::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0 && (flags & FS_IMMUTABLE_FL)) {
            flags &= ~FS_IMMUTABLE_FL;
            ::ioctl(fd, FS_IOC_SETFLAGS, &flags);
        }
        ::close(fd);
    }
#endif
    ::chmod(path.c_str(), 0644);
}

TEST_F(Inspection, ReadOnlyFileCannotBeOpenedAndStaysUnchanged) {
    test::SwfBuilder b;
    b.fsExec("vexelprint(1,2,3,4)");
    std::string p = Write(Projector(b));
    const ByteVec before = test::ReadProjectorFile(p);
    struct Restore {
        std::string path;
        ~Restore() { MakeWritable(path); }
    } restore{p};
    if (!MakeUnwritable(p)) GTEST_SKIP() << "cannot make a file read-only here";
    s_TVexelProjector settings;
    settings.HasPrint = settings.HasEXEC = settings.HasVarStore = true;
    try {
        InspectProjector(p, settings, result);
        ADD_FAILURE() << "no error";
    } catch (const EFOpenError& e) {
        EXPECT_EQ(std::string(e.what()), "Cannot open file " + p);
    }
    EXPECT_EQ(test::ReadProjectorFile(p), before);
    // Flags reset and rows 0 to 5 written; rows 6 to 8 not.
    EXPECT_FALSE(settings.HasPrint || settings.HasEXEC || settings.HasVarStore);
    EXPECT_EQ(result.grid[0], "550");
    EXPECT_EQ(result.grid[6], "");
    EXPECT_FALSE(result.complete);
}

TEST_F(Inspection, CommandsThatDoNotFitLeaveTheMovieIntact) {
    test::SwfBuilder b;
    b.fsExec("vexelprint(3)");
    b.getUrl("vexelscreen:savevariables", "");
    b.fsExec("vexelprint(1,2,3,4)");
    std::string p = Write(Projector(b));
    const ByteVec before = test::ReadProjectorFile(p);
    ASSERT_TRUE(Inspect(p));
    ASSERT_EQ(result.commands.size(), 3u);
    EXPECT_EQ(result.commands[0].outcome, RewriteOutcome::SkippedDoesNotFit);
    EXPECT_EQ(result.commands[1].outcome, RewriteOutcome::Rewritten);
    EXPECT_EQ(result.commands[2].outcome, RewriteOutcome::SkippedDoesNotFit);
    EXPECT_EQ(result.grid[6], "Yes");
    EXPECT_EQ(result.grid[8], "Yes");
    const ByteVec after = test::ReadProjectorFile(p);
    ASSERT_EQ(after.size(), before.size());
    std::size_t changed = 0;
    for (std::size_t i = 0; i < after.size(); ++i) changed += after[i] != before[i];
    EXPECT_GT(changed, 0u);
    EXPECT_LE(changed, result.commands[1].newSize);
}

}  // namespace
}  // namespace vs

namespace vs {
namespace {

TEST_F(Inspection, SeveralHundredMegabytes) {
    // A sparse file: the projector at the start, one command near the end.
    std::string p = Write(Projector(test::SwfBuilder()));
    const std::uint64_t size = 256ull << 20;
    const std::string cmd = std::string("fscommand:exec\0vexelprint(1,2,3,4)\0", 35);
    {
        TFileStream f(p, FileMode::OpenReadWrite);
        f.SetSize(static_cast<std::int64_t>(size));
        f.SetPosition(static_cast<std::int64_t>(size - 100));
        f.WriteBuffer(cmd.data(), cmd.size());
    }
    ASSERT_TRUE(Inspect(p));
    ASSERT_EQ(result.commands.size(), 1u);
    EXPECT_EQ(result.commands[0].offset, size - 100 + 15);
    EXPECT_EQ(std::filesystem::file_size(p), size);
    TFileStream f(p, FileMode::OpenRead);
    f.SetPosition(static_cast<std::int64_t>(size - 100));
    std::string back(35, '\0');
    f.ReadBuffer(back.data(), back.size());
    EXPECT_EQ(back, std::string("fscommand:exec\0VSP.exe\t1\t2\t3\t4\0,4)\0", 35));
}

}  // namespace
}  // namespace vs

namespace vs {
namespace {

// A projector whose movie is stored compressed, as the players' own projector
// command leaves it: player, movie, trailer.
ByteVec WithTrailer(const ByteVec& player, const ByteVec& movie) {
    ByteVec out = player;
    out.insert(out.end(), movie.begin(), movie.end());
    const auto n = static_cast<std::uint32_t>(movie.size());
    for (std::uint32_t v : {0xFA123456u, n})
        for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
    return out;
}

TEST_F(Inspection, ACompressedMovieIsInspectedUnpackedAndTheFileIsNeverWritten) {
    test::SwfBuilder b;
    b.version = 10;
    b.frameCount = 42;
    b.fsExec("vexelprint(1,2,3,4)").getUrl("vexelscreen:savevariables(scores.txt)", "");
    const ByteVec movie = b.build();
    // Letters that would be taken for the movie without the trailer.
    const ByteVec player = test::BuildPlayerPart({.size = 4096, .playerText = "ShockwaveFlash fws"});

    // What the inspection makes of the same movie stored uncompressed.
    const std::string plain = Write(WithTrailer(player, movie), "plain.exe");
    ASSERT_TRUE(Inspect(plain));
    const ByteVec rewritten = test::ReadProjectorFile(plain);
    const InspectionResult uncompressed = result;
    EXPECT_FALSE(result.unpacked);

    for (MovieCompression c : {MovieCompression::Zlib, MovieCompression::Lzma}) {
        SCOPED_TRACE(MovieCompressionName(c));
        const ByteVec original = WithTrailer(player, PackMovie(movie, c));
        const std::string p = Write(original, "packed.exe");
        ASSERT_TRUE(Inspect(p));
        EXPECT_EQ(test::ReadProjectorFile(p), original);
        EXPECT_FALSE(result.fileWritten);
        EXPECT_EQ(result.compression, c);
        ASSERT_TRUE(result.unpacked);
        EXPECT_EQ(*result.unpacked, rewritten);
        EXPECT_EQ(result.grid, uncompressed.grid);
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(result.header.Signature), 3), "FWS");
        EXPECT_TRUE(result.HasPrint);
        EXPECT_TRUE(result.HasVarStore);
    }
    // A compressed movie without its trailer cannot be found, as before.
    const std::string bare = Write(test::BuildProjector(PackMovie(movie, MovieCompression::Zlib)), "bare.exe");
    EXPECT_FALSE(Inspect(bare));
    EXPECT_TRUE(result.refused);
}

TEST_F(Inspection, ADamagedCompressedMovieIsAnErrorNamingTheFile) {
    ByteVec cws = PackMovie(test::SwfBuilder().filler(ByteVec(5000, 7)).build(), MovieCompression::Zlib);
    cws.resize(cws.size() - 20);
    const ByteVec original = WithTrailer(test::BuildPlayerPart(), cws);
    const std::string p = Write(original);
    try {
        Inspect(p);
        ADD_FAILURE() << "no error";
    } catch (const EMovieError& e) {
        EXPECT_EQ(std::string(e.what()).rfind(p + ": The movie is zlib-compressed (CWS) and damaged", 0), 0u) << e.what();
    }
    EXPECT_EQ(test::ReadProjectorFile(p), original);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir_), std::filesystem::directory_iterator()), 1);
}

}  // namespace
}  // namespace vs
