#pragma once
// The movie of a Flash projector as the players' own "create projector"
// command and the authoring tools lay it out: the player, then the movie as
// it was published (uncompressed "FWS", zlib "CWS" or LZMA "ZWS"), then an
// 8-byte trailer: the word 0xFA123456 and the stored movie's length, both
// little-endian. Finding the movie by its trailer, unpacking a compressed
// movie, packing one again, and joining a player and a movie.
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "platform/errors.h"

namespace vs {

class TFileStream;

inline constexpr std::uint32_t kProjectorTrailerMagic = 0xFA123456u;

struct ProjectorTrailer {
    std::uint32_t magic;
    std::uint32_t length;  // bytes of the stored movie, which ends where the trailer begins
};
static_assert(sizeof(ProjectorTrailer) == 8);

// The first eight bytes of every movie: "FWS", "CWS" or "ZWS", the SWF
// version, and the length of the whole movie uncompressed, header included.
struct SwfFileHeader {
    std::uint8_t signature[3];
    std::uint8_t version;
    std::uint32_t fileLength;
};
static_assert(sizeof(SwfFileHeader) == 8);

// A ZWS movie goes on with the length of its LZMA data and the five LZMA
// property bytes; the LZMA data follows at byte 17.
struct ZwsHeader {
    SwfFileHeader swf;
    std::uint32_t compressedLength;
    std::uint8_t properties[5];
};
inline constexpr std::size_t kZwsHeaderSize = 17;

enum class MovieCompression { None, Zlib, Lzma };

// "FWS", "CWS", "ZWS".
const char* MovieSignature(MovieCompression compression);
// "uncompressed", "zlib", "LZMA".
const char* MovieCompressionName(MovieCompression compression);
// The compression whose signature the bytes begin with, in capitals exactly.
std::optional<MovieCompression> CompressionOfSignature(std::span<const std::uint8_t> bytes);

// Where a projector's movie lies.
struct MovieSpan {
    std::uint64_t offset = 0;
    std::uint64_t length = 0;
};

// The movie that a consistent trailer names: its word, a length that fits
// before the trailer, and a movie signature where that length puts the movie.
// Nothing when the file ends otherwise.
std::optional<MovieSpan> MovieByTrailer(std::span<const std::uint8_t> file);
// The same, reading only the trailer and the signature of an open file.
std::optional<MovieSpan> MovieByTrailer(TFileStream& file);

// A movie that cannot be unpacked or taken out, with what is wrong with it.
class EMovieError : public VsError {
public:
    using VsError::VsError;
};

// A player that cannot carry a movie.
class EPlayerError : public EMovieError {
public:
    using EMovieError::EMovieError;
};

// The largest projector, player and unpacked movie together, that a package
// can carry (its packed files keep their size as a signed 32-bit number).
inline constexpr std::uint64_t kLargestProjector = 0x7FFFFFFF;

// Unpacks a whole CWS or ZWS movie and appends the uncompressed movie ("FWS",
// the same version and length) to `out`. Fails with EMovieError saying what
// is wrong: a header cut short or giving a length too small for a movie or
// too large for a projector of `out.size()` bytes before it, data that is no
// zlib or LZMA stream, data that ends before the header's length, or that
// gives more than it. `out` then holds what it held before.
void AppendUnpackedMovie(std::span<const std::uint8_t> movie, std::vector<std::uint8_t>& out);

// The uncompressed movie of a CWS, ZWS or FWS movie. An FWS movie must hold
// exactly the length its header gives.
std::vector<std::uint8_t> UncompressedMovie(std::span<const std::uint8_t> movie);

// Packs an uncompressed movie: CWS with zlib at its best compression, ZWS
// with LZMA (preset 6 and its end marker); `None` gives the movie itself.
std::vector<std::uint8_t> PackMovie(std::span<const std::uint8_t> fws, MovieCompression compression);

// The movie of a projector file's bytes: the one its trailer names, or else
// the first "FWS" after the player's "ShockwaveFlash" text, uncompressed.
// Fails with EMovieError when there is none or it cannot be unpacked.
std::vector<std::uint8_t> MovieOfProjector(std::span<const std::uint8_t> projector);

// A projector of a player and a movie of any compression: the player (without
// the movie that its own trailer names, if it has one), the movie
// uncompressed, and a trailer with its length. Fails with EPlayerError for a
// player that holds no "ShockwaveFlash" text, and with EMovieError for a
// movie that cannot be unpacked or a result too large for a package.
std::vector<std::uint8_t> MakeProjector(std::span<const std::uint8_t> player, std::span<const std::uint8_t> movie);

// Whether bytes begin as a bare movie does ("FWS", "CWS" or "ZWS", then a
// version), rather than as a program.
bool IsBareMovie(std::span<const std::uint8_t> bytes);

}  // namespace vs
