// The movie of a projector as its trailer places it, compressed movies
// unpacked and packed, and projectors made of a player and a movie.
#include <gtest/gtest.h>
#include <zlib.h>

#include <string>

#include "support/projector_builder.h"
#include "support/swf_builder.h"
#include "swf/projector_movie.h"

namespace vs {
namespace {

using test::ByteVec;

ByteVec Cat(std::initializer_list<ByteVec> parts) {
    ByteVec out;
    for (const ByteVec& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}
ByteVec Text(const std::string& s) { return ByteVec(s.begin(), s.end()); }

// The smallest movie: header, a rectangle of no bits, 12 frames per second,
// one frame, the End tag.
const ByteVec kTiny = {'F', 'W', 'S', 6, 15, 0, 0, 0, 0x00, 0x00, 0x0C, 0x01, 0x00, 0x00, 0x00};

// The same movie as zlib with one stored block: header 78 01, the block of
// 7 bytes, the Adler-32 of the body (a = 14, b = 71).
const ByteVec kTinyCws = {'C', 'W', 'S', 6, 15, 0, 0, 0, 0x78, 0x01, 0x01, 0x07, 0x00, 0xF8, 0xFF,
                          0x00, 0x00, 0x0C, 0x01, 0x00, 0x00, 0x00, 0x00, 0x47, 0x00, 0x0E};

// The same movie as ZWS, its LZMA data as `xz --format=lzma` encodes the body
// (properties 5D, dictionary 8 MiB, with the end marker).
const ByteVec kTinyZws = {'Z',  'W',  'S',  6,    15,   0,    0,    0,    16,   0,    0,    0,    0x5D, 0x00, 0x00,
                          0x80, 0x00, 0x00, 0x00, 0x60, 0x2E, 0x81, 0xD0, 0x48, 0x54, 0x53, 0xDF, 0xFF, 0xFF, 0x84,
                          0x0C, 0x00, 0x00};

const ByteVec kPlayer = Text("MZ player ShockwaveFlash ");

ByteVec Trailer(std::uint32_t length) {
    return {0x56, 0x34, 0x12, 0xFA, static_cast<std::uint8_t>(length), static_cast<std::uint8_t>(length >> 8),
            static_cast<std::uint8_t>(length >> 16), static_cast<std::uint8_t>(length >> 24)};
}

TEST(ProjectorMovie, OnlyAConsistentTrailerPlacesTheMovie) {
    const ByteVec projector = Cat({kPlayer, kTinyCws, Trailer(26)});
    const std::optional<MovieSpan> span = MovieByTrailer(projector);
    ASSERT_TRUE(span);
    EXPECT_EQ(span->offset, kPlayer.size());
    EXPECT_EQ(span->length, 26u);

    EXPECT_FALSE(MovieByTrailer(Cat({kPlayer, kTinyCws, Trailer(25)})));    // no signature there
    EXPECT_FALSE(MovieByTrailer(Cat({kPlayer, kTinyCws, Trailer(1000)})));  // more than the file holds
    ByteVec wrongWord = Cat({kPlayer, kTiny, Trailer(15)});
    wrongWord[wrongWord.size() - 8] = 0x57;
    EXPECT_FALSE(MovieByTrailer(wrongWord));
    EXPECT_FALSE(MovieByTrailer(Trailer(0)));
    EXPECT_FALSE(MovieByTrailer(ByteVec{1, 2, 3}));
    // The signature must be in capitals, as a player writes it.
    ByteVec lower = Cat({kPlayer, kTiny, Trailer(15)});
    lower[kPlayer.size()] = 'f';
    EXPECT_FALSE(MovieByTrailer(lower));
}

TEST(ProjectorMovie, FixedCwsAndZwsBytesUnpackToTheMovie) {
    EXPECT_EQ(UncompressedMovie(kTinyCws), kTiny);
    EXPECT_EQ(UncompressedMovie(kTinyZws), kTiny);
    EXPECT_EQ(UncompressedMovie(kTiny), kTiny);
    ByteVec out = {9, 9};
    AppendUnpackedMovie(kTinyZws, out);
    EXPECT_EQ(out, Cat({{9, 9}, kTiny}));
}

TEST(ProjectorMovie, ADamagedMovieSaysWhatIsWrongAndLeavesTheOutputAsItWas) {
    auto with = [](ByteVec bytes, std::size_t at, std::initializer_list<std::uint8_t> values) {
        for (std::uint8_t v : values) bytes[at++] = v;
        return bytes;
    };
    const ByteVec cwsCut(kTinyCws.begin(), kTinyCws.end() - 6);
    ByteVec zwsCut(kTinyZws.begin(), kTinyZws.end() - 6);
    const ByteVec zwsCutAndSaid = with(zwsCut, 8, {10});
    const struct {
        const char* what;
        ByteVec movie;
        const char* message;
    } cases[] = {
        {"cut inside the header", ByteVec(kTinyCws.begin(), kTinyCws.begin() + 5), "inside its 8-byte header"},
        {"zlib data cut short", cwsCut, "its data ends after 5 of the 7 bytes"},
        {"no zlib header", with(kTinyCws, 8, {0x00}), "its zlib data is not valid"},
        {"wrong check value", with(kTinyCws, 25, {0x0F}), "its zlib data is not valid"},
        {"header gives more", with(kTinyCws, 4, {20}), "its zlib stream ends after 7 of the 12 bytes"},
        {"header gives less", with(kTinyCws, 4, {14}), "unpacks to more than the 6 bytes"},
        {"too short for a movie", with(kTinyCws, 4, {12}), "too few for a movie"},
        {"too long for a projector", with(kTinyCws, 4, {0xFF, 0xFF, 0xFF, 0xFF}), "more than a projector can carry"},
        {"LZMA length beyond the data", zwsCut, "gives 16 bytes of LZMA data, but only 10 follow"},
        {"LZMA data cut short", zwsCutAndSaid, "its data ends after"},
        {"LZMA properties", with(kTinyZws, 12, {0xFF}), "its LZMA properties are not valid"},
        {"ZWS cut inside its header", ByteVec(kTinyZws.begin(), kTinyZws.begin() + 14), "inside its 17-byte header"},
        {"header gives more than LZMA holds", with(kTinyZws, 4, {40}), "ZWS"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ByteVec out = {1, 2, 3};
        try {
            AppendUnpackedMovie(c.movie, out);
            ADD_FAILURE() << "no error";
        } catch (const EMovieError& e) {
            EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos) << e.what();
        }
        EXPECT_EQ(out, (ByteVec{1, 2, 3}));
    }
    // An uncompressed movie must hold the length its header gives.
    EXPECT_THROW(UncompressedMovie(with(kTiny, 4, {16})), EMovieError);
}

TEST(ProjectorMovie, AProjectorIsThePlayerTheMovieUncompressedAndATrailer) {
    const ByteVec expected = Cat({kPlayer, kTiny, {0x56, 0x34, 0x12, 0xFA, 0x0F, 0x00, 0x00, 0x00}});
    EXPECT_EQ(MakeProjector(kPlayer, kTiny), expected);
    EXPECT_EQ(MakeProjector(kPlayer, kTinyCws), expected);
    EXPECT_EQ(MakeProjector(kPlayer, kTinyZws), expected);
    // A player that carries a movie has it replaced, not followed by another.
    test::SwfBuilder other;
    other.frameCount = 99;
    EXPECT_EQ(MakeProjector(MakeProjector(kPlayer, other.build()), kTinyCws), expected);
    EXPECT_THROW(MakeProjector(Text("MZ no player text"), kTiny), EPlayerError);
    EXPECT_THROW(MakeProjector(kPlayer, Text("MZ not a movie")), EMovieError);
}

TEST(ProjectorMovie, PackedMoviesCarryTheirHeadersAndComeBack) {
    const ByteVec cws = PackMovie(kTiny, MovieCompression::Zlib);
    EXPECT_EQ(ByteVec(cws.begin(), cws.begin() + 8), ByteVec({'C', 'W', 'S', 6, 15, 0, 0, 0}));
    ByteVec body(7);
    uLongf size = body.size();
    ASSERT_EQ(uncompress(body.data(), &size, cws.data() + 8, static_cast<uLong>(cws.size() - 8)), Z_OK);
    EXPECT_EQ(body, ByteVec(kTiny.begin() + 8, kTiny.end()));

    const ByteVec zws = PackMovie(kTiny, MovieCompression::Lzma);
    ASSERT_GT(zws.size(), 17u);
    EXPECT_EQ(ByteVec(zws.begin(), zws.begin() + 8), ByteVec({'Z', 'W', 'S', 6, 15, 0, 0, 0}));
    const std::uint32_t compressed = zws[8] | zws[9] << 8 | zws[10] << 16 | static_cast<std::uint32_t>(zws[11]) << 24;
    EXPECT_EQ(compressed, zws.size() - 17);
    EXPECT_EQ(zws[12], 0x5D);  // lc 3, lp 0, pb 2

    test::SwfBuilder big;
    big.filler(ByteVec(300000, 0x41)).fsExec("vexelexec(readme.txt, )");
    const ByteVec movie = big.build();
    for (MovieCompression c : {MovieCompression::None, MovieCompression::Zlib, MovieCompression::Lzma})
        EXPECT_EQ(UncompressedMovie(PackMovie(movie, c)), movie) << MovieCompressionName(c);
    EXPECT_THROW(PackMovie(cws, MovieCompression::Zlib), EMovieError);
}

TEST(ProjectorMovie, TheMovieOfAProjectorIsFoundByItsTrailerOrElseByItsLetters) {
    // Without a trailer: the first "FWS", taken to its stored length.
    EXPECT_EQ(MovieOfProjector(Cat({kPlayer, kTiny, Text("after")})), kTiny);
    // Letters that stand before the movie by chance do not mislead the trailer.
    EXPECT_EQ(MovieOfProjector(Cat({kPlayer, Text("fws FWS"), kTinyZws, Trailer(33)})), kTiny);
    EXPECT_THROW(MovieOfProjector(Cat({kPlayer, kTinyCws})), EMovieError);
    EXPECT_THROW(MovieOfProjector(Cat({kPlayer, Text("FWS"), {20, 0, 0, 0}})), EMovieError);
    EXPECT_THROW(MovieOfProjector(Cat({Text("MZ"), kTiny})), EMovieError);
}

}  // namespace
}  // namespace vs
