// The movie readers on arbitrary bytes: finding a movie by its trailer,
// unpacking CWS and ZWS, taking the movie out of a projector, and making a
// projector. A failure leaves the output as it was; a success gives an
// uncompressed movie whose header holds its length, and that movie packs and
// unpacks to itself.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "swf/projector_movie.h"

namespace {

void Check(bool ok, const char* what) {
    if (!ok) {
        std::fprintf(stderr, "fuzz_movie: %s\n", what);
        std::abort();
    }
}

std::uint32_t U32(const std::uint8_t* p) { return p[0] | p[1] << 8 | p[2] << 16 | static_cast<std::uint32_t>(p[3]) << 24; }

void CheckMovie(const std::vector<std::uint8_t>& fws) {
    Check(fws.size() >= 13 && std::memcmp(fws.data(), "FWS", 3) == 0, "not an uncompressed movie");
    Check(U32(fws.data() + 4) == fws.size(), "the header's length is not the movie's");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> bytes(data, size);

    if (const std::optional<vs::MovieSpan> span = vs::MovieByTrailer(bytes))
        Check(span->offset + span->length + 8 == size, "the trailer's movie does not end at the trailer");

    std::vector<std::uint8_t> out = {1, 2, 3};
    try {
        vs::AppendUnpackedMovie(bytes, out);
        Check(out.size() > 3 && out[0] == 1 && out[1] == 2 && out[2] == 3, "the output lost what it held");
        const std::vector<std::uint8_t> fws(out.begin() + 3, out.end());
        CheckMovie(fws);
        if (fws.size() < (1u << 16))
            for (vs::MovieCompression c : {vs::MovieCompression::Zlib, vs::MovieCompression::Lzma})
                Check(vs::UncompressedMovie(vs::PackMovie(fws, c)) == fws, "a packed movie does not come back");
    } catch (const vs::EMovieError&) {
        Check(out == std::vector<std::uint8_t>({1, 2, 3}), "a failure changed the output");
    }

    try {
        CheckMovie(vs::MovieOfProjector(bytes));
    } catch (const vs::EMovieError&) {
    }

    static const std::uint8_t player[] = "MZ player ShockwaveFlash";
    try {
        const std::vector<std::uint8_t> projector = vs::MakeProjector(std::span(player, sizeof player), bytes);
        const std::optional<vs::MovieSpan> span = vs::MovieByTrailer(projector);
        Check(span && span->offset == sizeof player, "a made projector's trailer does not name its movie");
        CheckMovie(std::vector<std::uint8_t>(projector.begin() + static_cast<std::ptrdiff_t>(span->offset),
                                             projector.end() - 8));
    } catch (const vs::EMovieError&) {
    }
    return 0;
}
