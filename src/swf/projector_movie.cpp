#include "swf/projector_movie.h"

#include <lzma.h>
#include <zlib.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <limits>
#include <new>

#include "platform/byte_reader.h"
#include "platform/byte_writer.h"
#include "platform/large_buffer.h"
#include "platform/stream.h"
#include "swf/bmh.h"

namespace vs {

namespace {

constexpr std::size_t kSwfHeaderSize = sizeof(SwfFileHeader);
// Signature, version, length, a frame rectangle of at least one byte, frame
// rate and frame count: the shortest header a movie can have.
constexpr std::uint32_t kShortestMovie = 13;
// What the LZMA decoder may take for its dictionary. Movies are published
// with dictionaries of a few MiB; a larger one is refused before it is had.
constexpr std::uint64_t kLzmaMemoryLimit = 1024ull << 20;

std::string Count(std::uint64_t n) { return std::to_string(n); }

[[noreturn]] void Damaged(MovieCompression compression, const std::string& what) {
    throw EMovieError(std::string("The movie is ") + MovieCompressionName(compression) + "-compressed (" +
                      MovieSignature(compression) + ") and damaged: " + what);
}

SwfFileHeader ReadSwfHeader(std::span<const std::uint8_t> movie) {
    if (movie.size() < kSwfHeaderSize)
        throw EMovieError("The movie ends after " + Count(movie.size()) + " bytes, inside its 8-byte header");
    ByteReader reader(movie);
    return reader.read<SwfFileHeader>();
}

// Output of an unpacking, grown as it comes: a header may promise far more
// than its data holds, so the whole length is reserved only once the data
// could plausibly give it.
class Output {
public:
    Output(std::vector<std::uint8_t>& out, std::uint64_t expected, std::size_t packedSize)
        : out_(out), base_(out.size()), expected_(expected) {
        const std::uint64_t guess = std::max<std::uint64_t>(std::uint64_t{packedSize} * 8, 1u << 20);
        Grow(std::min(expected_, guess));
    }
    ~Output() {
        if (!done_) out_.resize(base_);
    }
    std::uint8_t* next() { return out_.data() + base_ + produced_; }
    std::size_t room() const { return have_ - produced_; }
    std::uint64_t produced() const { return produced_; }
    void Took(std::size_t n) { produced_ += n; }
    // Makes room for more once the room is used up; false when the expected
    // length is reached.
    bool MakeRoom() {
        if (room() > 0) return true;
        if (produced_ >= expected_) return false;
        Grow(std::min<std::uint64_t>(expected_, std::uint64_t{have_} * 2));
        return true;
    }
    void Done() {
        out_.resize(base_ + produced_);
        done_ = true;
    }

private:
    void Grow(std::uint64_t have) {
        have_ = static_cast<std::size_t>(have);
        // Advised before its pages are first touched, which resize does. A
        // little room is kept for what follows a movie (a projector's
        // trailer), so that appending it moves nothing.
        if (out_.capacity() < base_ + have_) {
            out_.reserve(base_ + have_ + 64);
            AdviseLargeBuffer(out_.data(), out_.capacity());
        }
        out_.resize(base_ + have_);
    }
    std::vector<std::uint8_t>& out_;
    std::size_t base_;
    std::uint64_t expected_;
    std::size_t have_ = 0;
    std::uint64_t produced_ = 0;
    bool done_ = false;
};

constexpr std::size_t kFeed = 1u << 30;  // zlib counts its buffers in 32 bits

void InflateInto(std::span<const std::uint8_t> data, std::uint64_t expected, Output& output) {
    z_stream z{};
    if (inflateInit(&z) != Z_OK) throw std::bad_alloc();
    struct End {
        z_stream& z;
        ~End() { inflateEnd(&z); }
    } end{z};
    std::size_t fed = 0;
    auto feed = [&] {
        if (z.avail_in == 0 && fed < data.size()) {
            const std::size_t n = std::min(kFeed, data.size() - fed);
            z.next_in = const_cast<Bytef*>(data.data() + fed);
            z.avail_in = static_cast<uInt>(n);
            fed += n;
        }
    };
    auto damaged = [&](const char* message) {
        Damaged(MovieCompression::Zlib, std::string("its zlib data is not valid (") + (message ? message : "error") + ")");
    };
    for (;;) {
        feed();
        if (!output.MakeRoom()) {
            // Every byte the header gives is out: the stream must end here.
            std::uint8_t probe;
            z.next_out = &probe;
            z.avail_out = 1;
            const int r = inflate(&z, Z_NO_FLUSH);
            if (z.avail_out == 0)
                Damaged(MovieCompression::Zlib, "it unpacks to more than the " + Count(expected) + " bytes that its header gives");
            if (r == Z_STREAM_END) return;
            if (r == Z_DATA_ERROR) damaged(z.msg);
            if (r == Z_MEM_ERROR) throw std::bad_alloc();
            if (z.avail_in == 0 && fed == data.size())
                Damaged(MovieCompression::Zlib, "its data ends before the end of its zlib stream");
            continue;
        }
        const std::size_t room = std::min(output.room(), kFeed);
        z.next_out = output.next();
        z.avail_out = static_cast<uInt>(room);
        const int r = inflate(&z, Z_NO_FLUSH);
        output.Took(room - z.avail_out);
        if (r == Z_STREAM_END) {
            if (output.produced() < expected)
                Damaged(MovieCompression::Zlib, "its zlib stream ends after " + Count(output.produced()) + " of the " +
                                                    Count(expected) + " bytes that its header gives");
            return;
        }
        if (r == Z_DATA_ERROR || r == Z_NEED_DICT) damaged(z.msg);
        if (r == Z_MEM_ERROR) throw std::bad_alloc();
        if (z.avail_in == 0 && fed == data.size() && z.avail_out > 0)
            Damaged(MovieCompression::Zlib, "its data ends after " + Count(output.produced()) + " of the " + Count(expected) +
                                                " bytes that its header gives");
    }
}

void LzmaDecodeInto(const ZwsHeader& header, std::span<const std::uint8_t> data, std::uint64_t expected, Output& output) {
    lzma_stream s = LZMA_STREAM_INIT;
    if (lzma_alone_decoder(&s, kLzmaMemoryLimit) != LZMA_OK) throw std::bad_alloc();
    struct End {
        lzma_stream& s;
        ~End() { lzma_end(&s); }
    } end{s};
    // The decoder reads the header of the .lzma format: the properties, then
    // the uncompressed size, which ZWS gives as its length less its header.
    ByteWriter alone;
    alone.bytes(std::span<const std::uint8_t>(header.properties, 5));
    alone.u32(static_cast<std::uint32_t>(expected));
    alone.u32(0);
    s.next_in = alone.bytes().data();
    s.avail_in = alone.size();
    s.next_out = output.next();
    s.avail_out = 0;
    lzma_ret r = lzma_code(&s, LZMA_RUN);
    auto fail = [&](lzma_ret ret) {
        switch (ret) {
            case LZMA_MEMLIMIT_ERROR:
                Damaged(MovieCompression::Lzma, "its LZMA dictionary needs more than " + Count(kLzmaMemoryLimit >> 20) +
                                                    " MiB of memory");
            case LZMA_OPTIONS_ERROR:
            case LZMA_FORMAT_ERROR: Damaged(MovieCompression::Lzma, "its LZMA properties are not valid");
            case LZMA_MEM_ERROR: throw std::bad_alloc();
            default: Damaged(MovieCompression::Lzma, "its LZMA data is not valid");
        }
    };
    if (r != LZMA_OK) fail(r);
    std::size_t fed = 0;
    for (;;) {
        if (s.avail_in == 0 && fed < data.size()) {
            s.next_in = data.data() + fed;
            s.avail_in = data.size() - fed;
            fed = data.size();
        }
        const bool room = output.MakeRoom();
        const std::size_t before = room ? output.room() : 0;
        s.next_out = output.next();
        s.avail_out = before;
        r = lzma_code(&s, LZMA_RUN);
        output.Took(before - s.avail_out);
        if (r == LZMA_STREAM_END) {
            if (output.produced() < expected)
                Damaged(MovieCompression::Lzma, "its LZMA data ends after " + Count(output.produced()) + " of the " +
                                                    Count(expected) + " bytes that its header gives");
            return;
        }
        if (r == LZMA_BUF_ERROR) {
            if (s.avail_in == 0)
                Damaged(MovieCompression::Lzma, "its data ends after " + Count(output.produced()) + " of the " + Count(expected) +
                                                    " bytes that its header gives");
            Damaged(MovieCompression::Lzma, "its LZMA data is not valid");
        }
        if (r != LZMA_OK) fail(r);
    }
}

}  // namespace

const char* MovieSignature(MovieCompression compression) {
    switch (compression) {
        case MovieCompression::None: return "FWS";
        case MovieCompression::Zlib: return "CWS";
        case MovieCompression::Lzma: return "ZWS";
    }
    return "";
}

const char* MovieCompressionName(MovieCompression compression) {
    switch (compression) {
        case MovieCompression::None: return "uncompressed";
        case MovieCompression::Zlib: return "zlib";
        case MovieCompression::Lzma: return "LZMA";
    }
    return "";
}

std::optional<MovieCompression> CompressionOfSignature(std::span<const std::uint8_t> bytes) {
    if (bytes.size() < 3 || bytes[1] != 'W' || bytes[2] != 'S') return std::nullopt;
    switch (bytes[0]) {
        case 'F': return MovieCompression::None;
        case 'C': return MovieCompression::Zlib;
        case 'Z': return MovieCompression::Lzma;
        default: return std::nullopt;
    }
}

bool IsBareMovie(std::span<const std::uint8_t> bytes) {
    return bytes.size() >= kSwfHeaderSize && CompressionOfSignature(bytes).has_value();
}

namespace {

// The movie that the trailer of a file of `size` bytes names, reading its
// bytes through `read(offset, buffer, count)`, which the checks keep inside
// the file.
template <class Read>
std::optional<MovieSpan> TrailerMovie(std::uint64_t size, Read&& read) {
    if (size < sizeof(ProjectorTrailer)) return std::nullopt;
    const std::uint64_t trailerAt = size - sizeof(ProjectorTrailer);
    ProjectorTrailer trailer{};
    read(trailerAt, &trailer, sizeof trailer);
    std::uint8_t signature[3] = {};
    if (trailer.magic != kProjectorTrailerMagic || trailer.length < sizeof signature || trailer.length > trailerAt)
        return std::nullopt;
    const std::uint64_t movieAt = trailerAt - trailer.length;
    read(movieAt, signature, sizeof signature);
    if (!CompressionOfSignature(signature)) return std::nullopt;
    return MovieSpan{movieAt, trailer.length};
}

}  // namespace

std::optional<MovieSpan> MovieByTrailer(std::span<const std::uint8_t> file) {
    return TrailerMovie(file.size(), [&](std::uint64_t at, void* out, std::size_t n) {
        std::memcpy(out, file.data() + at, n);
    });
}

std::optional<MovieSpan> MovieByTrailer(TFileStream& file) {
    return TrailerMovie(static_cast<std::uint64_t>(file.Size()), [&](std::uint64_t at, void* out, std::size_t n) {
        file.SetPosition(static_cast<std::int64_t>(at));
        file.ReadBuffer(out, n);
    });
}

void AppendUnpackedMovie(std::span<const std::uint8_t> movie, std::vector<std::uint8_t>& out) {
    const std::optional<MovieCompression> compression = CompressionOfSignature(movie);
    if (!compression || *compression == MovieCompression::None)
        throw EMovieError("The movie is not compressed: it does not begin with \"CWS\" or \"ZWS\"");
    const SwfFileHeader header = ReadSwfHeader(movie);
    if (header.fileLength < kShortestMovie)
        Damaged(*compression, "its header gives a length of " + Count(header.fileLength) + " bytes, too few for a movie");
    if (std::uint64_t{header.fileLength} > kLargestProjector - std::min<std::uint64_t>(out.size(), kLargestProjector))
        throw EMovieError("The movie unpacks to " + Count(header.fileLength) +
                          " bytes, more than a projector can carry (2 GiB with its player)");
    const std::uint64_t expected = header.fileLength - kSwfHeaderSize;

    std::span<const std::uint8_t> data;
    ZwsHeader zws{};
    if (*compression == MovieCompression::Zlib) {
        data = movie.subspan(kSwfHeaderSize);
    } else {
        if (movie.size() < kZwsHeaderSize)
            Damaged(*compression, "it ends after " + Count(movie.size()) + " bytes, inside its 17-byte header");
        ByteReader reader(movie);
        zws.swf = reader.read<SwfFileHeader>();
        zws.compressedLength = reader.u32();
        for (std::uint8_t& b : zws.properties) b = reader.u8();
        data = movie.subspan(kZwsHeaderSize);
        if (zws.compressedLength > data.size())
            Damaged(*compression, "its header gives " + Count(zws.compressedLength) + " bytes of LZMA data, but only " +
                                      Count(data.size()) + " follow");
    }

    // The header goes first, then the body comes out straight behind it.
    const std::size_t start = out.size();
    const SwfFileHeader unpacked{{'F', 'W', 'S'}, header.version, header.fileLength};
    const auto* headerBytes = reinterpret_cast<const std::uint8_t*>(&unpacked);
    out.insert(out.end(), headerBytes, headerBytes + kSwfHeaderSize);
    try {
        Output output(out, expected, data.size());
        if (*compression == MovieCompression::Zlib)
            InflateInto(data, expected, output);
        else
            LzmaDecodeInto(zws, data, expected, output);
        output.Done();
    } catch (...) {
        out.resize(start);
        throw;
    }
}

std::vector<std::uint8_t> UncompressedMovie(std::span<const std::uint8_t> movie) {
    const std::optional<MovieCompression> compression = CompressionOfSignature(movie);
    if (!compression) throw EMovieError("The data does not begin with a movie signature (\"FWS\", \"CWS\" or \"ZWS\")");
    if (*compression != MovieCompression::None) {
        std::vector<std::uint8_t> out;
        AppendUnpackedMovie(movie, out);
        return out;
    }
    const SwfFileHeader header = ReadSwfHeader(movie);
    if (header.fileLength != movie.size())
        throw EMovieError("The movie's header gives a length of " + Count(header.fileLength) + " bytes, but it holds " +
                          Count(movie.size()));
    if (header.fileLength < kShortestMovie)
        throw EMovieError("The movie's header gives a length of " + Count(header.fileLength) + " bytes, too few for a movie");
    return {movie.begin(), movie.end()};
}

std::vector<std::uint8_t> PackMovie(std::span<const std::uint8_t> fws, MovieCompression compression) {
    const SwfFileHeader header = ReadSwfHeader(fws);
    if (CompressionOfSignature(fws) != MovieCompression::None)
        throw EMovieError("Only an uncompressed movie can be packed");
    const std::span<const std::uint8_t> body = fws.subspan(kSwfHeaderSize);
    ByteWriter out;
    out.bytes(std::span<const std::uint8_t>(reinterpret_cast<const std::uint8_t*>(MovieSignature(compression)), 3));
    out.u8(header.version);
    out.u32(header.fileLength);
    if (compression == MovieCompression::None) {
        out.bytes(body);
        return out.take();
    }
    if (compression == MovieCompression::Zlib) {
        uLongf size = compressBound(static_cast<uLong>(body.size()));
        std::vector<std::uint8_t> packed(size);
        if (compress2(packed.data(), &size, body.data(), static_cast<uLong>(body.size()), Z_BEST_COMPRESSION) != Z_OK)
            throw std::bad_alloc();
        packed.resize(size);
        out.bytes(packed);
        return out.take();
    }
    lzma_options_lzma options;
    if (lzma_lzma_preset(&options, 6)) throw EMovieError("The LZMA encoder has no preset 6");
    lzma_stream s = LZMA_STREAM_INIT;
    if (lzma_alone_encoder(&s, &options) != LZMA_OK) throw std::bad_alloc();
    struct End {
        lzma_stream& s;
        ~End() { lzma_end(&s); }
    } end{s};
    // The .lzma header (properties, then an unknown size) comes first; ZWS
    // keeps the properties and drops the size.
    std::vector<std::uint8_t> packed(body.size() + body.size() / 2 + 4096);
    s.next_in = body.data();
    s.avail_in = body.size();
    std::size_t produced = 0;
    for (;;) {
        if (produced == packed.size()) packed.resize(packed.size() * 2);
        s.next_out = packed.data() + produced;
        s.avail_out = packed.size() - produced;
        const lzma_ret r = lzma_code(&s, LZMA_FINISH);
        produced = packed.size() - s.avail_out;
        if (r == LZMA_STREAM_END) break;
        if (r != LZMA_OK) throw std::bad_alloc();
    }
    constexpr std::size_t kAloneHeader = 13;
    out.u32(static_cast<std::uint32_t>(produced - kAloneHeader));
    out.bytes(std::span<const std::uint8_t>(packed.data(), 5));
    out.bytes(std::span<const std::uint8_t>(packed.data() + kAloneHeader, produced - kAloneHeader));
    return out.take();
}

namespace {

bool HoldsFlashPlayer(std::span<const std::uint8_t> bytes) {
    static const FoldedSearch search("SHOCKWAVEFLASH", FoldedSearch::Fold::Upper);
    return search.find(bytes) >= 0;
}

}  // namespace

std::vector<std::uint8_t> MovieOfProjector(std::span<const std::uint8_t> projector) {
    if (const std::optional<MovieSpan> span = MovieByTrailer(projector))
        return UncompressedMovie(projector.subspan(span->offset, span->length));
    static const FoldedSearch fws("FWS", FoldedSearch::Fold::Upper);
    const std::int64_t at = HoldsFlashPlayer(projector) ? fws.find(projector) : -1;
    if (at < 0 || CompressionOfSignature(projector.subspan(static_cast<std::size_t>(at))) != MovieCompression::None)
        throw EMovieError("The file holds no movie that can be found: it has no projector trailer and no \"FWS\" movie "
                          "after a Flash player");
    const std::span<const std::uint8_t> rest = projector.subspan(static_cast<std::size_t>(at));
    const SwfFileHeader header = ReadSwfHeader(rest);
    if (header.fileLength > rest.size())
        throw EMovieError("The movie's header gives a length of " + Count(header.fileLength) + " bytes, but only " +
                          Count(rest.size()) + " follow it in the file");
    return UncompressedMovie(rest.first(header.fileLength));
}

std::vector<std::uint8_t> MakeProjector(std::span<const std::uint8_t> player, std::span<const std::uint8_t> movie) {
    std::span<const std::uint8_t> bare = player;
    if (const std::optional<MovieSpan> own = MovieByTrailer(player)) bare = player.first(own->offset);
    if (!HoldsFlashPlayer(bare)) throw EPlayerError("The player holds no \"ShockwaveFlash\" text: it is no Flash player");
    const std::optional<MovieCompression> compression = CompressionOfSignature(movie);
    if (!compression) throw EMovieError("The movie does not begin with \"FWS\", \"CWS\" or \"ZWS\"");
    std::vector<std::uint8_t> out;
    if (*compression == MovieCompression::None) {
        const std::vector<std::uint8_t> fws = UncompressedMovie(movie);
        if (bare.size() + fws.size() > kLargestProjector - sizeof(ProjectorTrailer))
            throw EMovieError("The player and the movie together are larger than a projector can be (2 GiB)");
        out.reserve(bare.size() + fws.size() + sizeof(ProjectorTrailer));
        out.assign(bare.begin(), bare.end());
        out.insert(out.end(), fws.begin(), fws.end());
    } else {
        out.assign(bare.begin(), bare.end());
        AppendUnpackedMovie(movie, out);
    }
    const std::uint64_t length = out.size() - bare.size();
    if (out.size() + sizeof(ProjectorTrailer) > kLargestProjector)
        throw EMovieError("The player and the movie together are larger than a projector can be (2 GiB)");
    ByteWriter trailer;
    trailer.u32(kProjectorTrailerMagic);
    trailer.u32(static_cast<std::uint32_t>(length));
    out.insert(out.end(), trailer.bytes().begin(), trailer.bytes().end());
    return out;
}

}  // namespace vs
