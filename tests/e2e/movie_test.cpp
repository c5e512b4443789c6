// Real movies through the command line: projectors made of a player and a
// movie, projectors whose movie is compressed as published, and the movie
// taken back out. The movies are those of the npm packages videojs-swf and
// swfobject (scripts/setup.sh fetches them); ZWS forms of them are made with
// xz's own LZMA encoder. Every result is compared with an independent
// decompression: zlib's one-call uncompress, and xz's decoder.
#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "cli_support.h"
#include "support/projector_builder.h"
#include "support/swf_builder.h"
#include "support/temp_dir.h"

namespace vs {
namespace {

namespace fs = std::filesystem;
using test::ByteVec;
using test::RunCli;

ByteVec Read(const fs::path& p) { return test::ReadProjectorFile(p.string()); }
void Write(const fs::path& p, const ByteVec& b) { test::WriteProjectorFile(p.string(), b); }

std::uint32_t U32(const ByteVec& b, std::size_t at) {
    return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<std::uint32_t>(b[at + 3]) << 24;
}
void PutU32(ByteVec& b, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) b.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}
ByteVec Cat(const ByteVec& a, const ByteVec& b) {
    ByteVec out = a;
    out.insert(out.end(), b.begin(), b.end());
    return out;
}
ByteVec WithTrailer(const ByteVec& player, const ByteVec& movie) {
    ByteVec out = Cat(player, movie);
    PutU32(out, 0xFA123456u);
    PutU32(out, static_cast<std::uint32_t>(movie.size()));
    return out;
}

bool HaveXz() { return std::system("xz --version >/dev/null 2>&1") == 0; }

int Shell(const std::string& command) { return std::system(command.c_str()); }

class RealMovies : public test::TempDirTest {
protected:
    void SetUp() override {
        TempDirTest::SetUp();
        player_ = test::BuildPlayerPart({.size = 8192});
        Write(dir_ / "player.exe", player_);
    }

    // The published movies, or a skip that says why there are none.
    std::vector<fs::path> Published() {
        const fs::path root = VS_REAL_MOVIES_DIR;
        std::vector<fs::path> found;
        for (const char* m : {"videojs-swf/package/dist/video-js.swf", "swfobject/package/expressInstall.swf"})
            if (fs::exists(root / m)) found.push_back(root / m);
        return found;
    }

    // zlib's own one-call decompression of a CWS movie.
    static ByteVec Inflated(const ByteVec& cws) {
        ByteVec out(U32(cws, 4));
        std::copy(cws.begin() + 3, cws.begin() + 8, out.begin() + 3);
        out[0] = 'F', out[1] = 'W', out[2] = 'S';
        uLongf size = out.size() - 8;
        EXPECT_EQ(uncompress(out.data() + 8, &size, cws.data() + 8, static_cast<uLong>(cws.size() - 8)), Z_OK);
        EXPECT_EQ(size, out.size() - 8);
        return out;
    }

    // A ZWS movie from xz's LZMA encoder: the .lzma header's properties are
    // kept, its size field dropped.
    ByteVec XzZws(const ByteVec& fws) {
        Write(dir_ / "body", ByteVec(fws.begin() + 8, fws.end()));
        EXPECT_EQ(Shell("xz --format=lzma -c '" + (dir_ / "body").string() + "' > '" + (dir_ / "body.lzma").string() + "'"), 0);
        const ByteVec lzma = Read(dir_ / "body.lzma");
        ByteVec zws = {'Z', 'W', 'S', fws[3]};
        PutU32(zws, U32(fws, 4));
        PutU32(zws, static_cast<std::uint32_t>(lzma.size() - 13));
        zws.insert(zws.end(), lzma.begin(), lzma.begin() + 5);
        zws.insert(zws.end(), lzma.begin() + 13, lzma.end());
        return zws;
    }

    // xz's decoder on a ZWS movie: its body.
    ByteVec XzDecoded(const ByteVec& zws) {
        ByteVec lzma(zws.begin() + 12, zws.begin() + 17);
        PutU32(lzma, U32(zws, 4) - 8);
        PutU32(lzma, 0);
        lzma.insert(lzma.end(), zws.begin() + 17, zws.end());
        Write(dir_ / "x.lzma", lzma);
        EXPECT_EQ(Shell("xz --format=lzma -dc '" + (dir_ / "x.lzma").string() + "' > '" + (dir_ / "x.body").string() + "'"), 0);
        return Read(dir_ / "x.body");
    }

    std::string P(const std::string& name) const { return Path(name); }

    ByteVec player_;
};

TEST_F(RealMovies, EveryFormMakesTheSameProjectorAndTheMovieComesBackOut) {
    const std::vector<fs::path> movies = Published();
    if (movies.size() < 2) GTEST_SKIP() << "the npm movies are not in " << VS_REAL_MOVIES_DIR << " (scripts/setup.sh fetches them)";
    if (!HaveXz()) GTEST_SKIP() << "no xz program to make ZWS movies with";
    for (const fs::path& published : movies) {
        SCOPED_TRACE(published.filename().string());
        const ByteVec cws = Read(published);
        ASSERT_EQ(std::string(cws.begin(), cws.begin() + 3), "CWS");
        const ByteVec fws = Inflated(cws);
        const ByteVec zws = XzZws(fws);
        Write(dir_ / "movie.cws.swf", cws);
        Write(dir_ / "movie.zws.swf", zws);
        Write(dir_ / "movie.fws.swf", fws);
        const ByteVec expected = WithTrailer(player_, fws);

        for (const char* form : {"movie.cws.swf", "movie.zws.swf", "movie.fws.swf"}) {
            SCOPED_TRACE(form);
            const test::CliResult made = RunCli({"projector", "--player", P("player.exe"), P(form), "-o", P("made.exe")});
            ASSERT_EQ(made.exitCode, 0) << made.err;
            EXPECT_EQ(Read(dir_ / "made.exe"), expected);
            // The movie back out, as it was, and packed again.
            ASSERT_EQ(RunCli({"movie", P("made.exe"), "-o", P("out.swf")}).exitCode, 0);
            EXPECT_EQ(Read(dir_ / "out.swf"), fws);
            ASSERT_EQ(RunCli({"movie", P(form), "-o", P("out.zws.swf"), "--compress", "lzma"}).exitCode, 0);
            const ByteVec ours = Read(dir_ / "out.zws.swf");
            EXPECT_EQ(ByteVec(ours.begin(), ours.begin() + 8), ByteVec(zws.begin(), zws.begin() + 8));
            EXPECT_EQ(XzDecoded(ours), ByteVec(fws.begin() + 8, fws.end()));
            ASSERT_EQ(RunCli({"movie", P(form), "-o", P("out.cws.swf"), "--compress", "zlib"}).exitCode, 0);
            EXPECT_EQ(Inflated(Read(dir_ / "out.cws.swf")), fws);
        }

        // A projector as published (compressed movie, trailer) stays as it is;
        // the built projector carries it unpacked with a consistent trailer.
        for (const ByteVec* movie : {&cws, &zws}) {
            const ByteVec original = WithTrailer(player_, *movie);
            Write(dir_ / "published.exe", original);
            const test::CliResult inspected = RunCli({"inspect", P("published.exe")});
            ASSERT_EQ(inspected.exitCode, 0) << inspected.err;
            EXPECT_NE(inspected.out.find("SWF size: " + std::to_string(fws.size())), std::string::npos) << inspected.out;
            const test::CliResult built = RunCli({"build", "--projector", P("published.exe"), "-o", P("built.exe")});
            ASSERT_EQ(built.exitCode, 0) << built.err;
            EXPECT_EQ(Read(dir_ / "published.exe"), original);
            fs::remove_all(dir_ / "x");
            ASSERT_EQ(RunCli({"extract", P("built.exe"), P("x")}).exitCode, 0);
            EXPECT_EQ(Read(dir_ / "x" / "published.exe"), expected);
            ASSERT_EQ(RunCli({"movie", P("built.exe"), "-o", P("back.swf")}).exitCode, 0);
            EXPECT_EQ(Read(dir_ / "back.swf"), fws);
        }

        // One step from a movie and a player; nothing of the step is left.
        const test::CliResult oneStep =
            RunCli({"build", "--movie", P("movie.zws.swf"), "--player", P("player.exe"), "-o", P("one.exe")});
        ASSERT_EQ(oneStep.exitCode, 0) << oneStep.err;
        fs::remove_all(dir_ / "y");
        ASSERT_EQ(RunCli({"extract", P("one.exe"), P("y")}).exitCode, 0);
        EXPECT_EQ(Read(dir_ / "y" / "movie.zws.exe"), expected);
        for (const auto& entry : fs::directory_iterator(fs::temp_directory_path()))
            EXPECT_EQ(entry.path().filename().string().rfind("VS movie projector", 0), std::string::npos) << entry.path();
    }
}

TEST_F(RealMovies, ADamagedMovieIsNamedAndNothingIsWritten) {
    const std::vector<fs::path> movies = Published();
    if (movies.empty()) GTEST_SKIP() << "the npm movies are not in " << VS_REAL_MOVIES_DIR << " (scripts/setup.sh fetches them)";
    ByteVec cws = Read(movies[0]);
    cws.resize(cws.size() / 2);
    Write(dir_ / "cut.swf", cws);
    const ByteVec projector = WithTrailer(player_, cws);
    Write(dir_ / "cut.exe", projector);
    Write(dir_ / "old.exe", {1, 2, 3});
    const auto before = [&] {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(dir_)) names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }();
    const std::vector<std::vector<std::string>> runs = {
        {"inspect", P("cut.exe")},
        {"build", "--projector", P("cut.exe"), "-o", P("old.exe")},
        {"build", "--movie", P("cut.swf"), "--player", P("player.exe"), "-o", P("old.exe")},
        {"projector", "--player", P("player.exe"), P("cut.swf"), "-o", P("old.exe")},
        {"movie", P("cut.exe"), "-o", P("old.exe")},
    };
    for (const auto& args : runs) {
        SCOPED_TRACE(args[0]);
        const test::CliResult r = RunCli(args);
        EXPECT_EQ(r.exitCode, 1);
        EXPECT_NE(r.err.find("The movie is zlib-compressed (CWS) and damaged: its data ends after"), std::string::npos) << r.err;
        EXPECT_NE(r.err.find("cut."), std::string::npos) << r.err;
        EXPECT_EQ(Read(dir_ / "cut.exe"), projector);
        EXPECT_EQ(Read(dir_ / "old.exe"), ByteVec({1, 2, 3}));
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(dir_)) names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        EXPECT_EQ(names, before);
    }
    // A bare movie is not taken for a projector.
    const test::CliResult asProjector = RunCli({"build", "--projector", P("cut.swf"), "-o", P("new.exe")});
    EXPECT_NE(asProjector.err.find("is a Flash movie, not a projector"), std::string::npos) << asProjector.err;
}

}  // namespace
}  // namespace vs
