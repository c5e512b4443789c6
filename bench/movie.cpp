// Unpacking a 64 MiB CWS movie, next to zlib's own inflate of the same data
// into a buffer of the right size: the bare cost of the work.
//
//   bench_movie --benchmark_min_time=2
// Ratio to compare: Unpack against ZlibInflate (a buffer reused, so its pages
// are already there) and ZlibInflateFreshBuffer (a new buffer each time, as
// Unpack needs); Unpack should cost at most 1.2 times as much. InspectCompressedProjector adds reading the projector
// file and the command passes over the unpacked bytes.
#include <benchmark/benchmark.h>
#include <zlib.h>

#include <cstring>
#include <filesystem>
#include <memory>
#include <random>

#include "support/projector_builder.h"
#include "swf/inspection.h"
#include "swf/projector_movie.h"

namespace {

namespace fs = std::filesystem;
constexpr std::size_t kMovieSize = 64u << 20;

// A movie that compresses about as published movies do (to a third or so):
// words from a small vocabulary between runs of random bytes.
const std::vector<std::uint8_t>& Cws() {
    static const std::vector<std::uint8_t> cws = [] {
        std::vector<std::uint8_t> fws(kMovieSize);
        std::mt19937 rng(7);
        const char* words[] = {"DefineShape ", "PlaceObject2 ", "frame ", "ActionScript ", "vexel ", "movieclip "};
        for (std::size_t i = 8; i < fws.size();) {
            if (rng() % 4 == 0) {
                const std::size_t n = std::min<std::size_t>(rng() % 24, fws.size() - i);
                for (std::size_t k = 0; k < n; ++k) fws[i++] = static_cast<std::uint8_t>(rng());
            } else {
                const char* w = words[rng() % 6];
                for (std::size_t k = 0; w[k] && i < fws.size(); ++k) fws[i++] = static_cast<std::uint8_t>(w[k]);
            }
        }
        std::memcpy(fws.data(), "FWS\x0a", 4);
        const auto length = static_cast<std::uint32_t>(fws.size());
        std::memcpy(fws.data() + 4, &length, 4);
        return vs::PackMovie(fws, vs::MovieCompression::Zlib);
    }();
    return cws;
}

void ZlibInflate(benchmark::State& state) {
    const std::vector<std::uint8_t>& cws = Cws();
    std::vector<std::uint8_t> out(kMovieSize);
    for (auto _ : state) {
        uLongf size = out.size() - 8;
        uncompress(out.data() + 8, &size, cws.data() + 8, static_cast<uLong>(cws.size() - 8));
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kMovieSize));
}

// The same into a buffer of its own each time, as any caller that keeps the
// result needs: the system's cost of fresh memory is then in both.
void ZlibInflateFreshBuffer(benchmark::State& state) {
    const std::vector<std::uint8_t>& cws = Cws();
    for (auto _ : state) {
        std::unique_ptr<std::uint8_t[]> out(new std::uint8_t[kMovieSize]);
        uLongf size = kMovieSize - 8;
        uncompress(out.get() + 8, &size, cws.data() + 8, static_cast<uLong>(cws.size() - 8));
        benchmark::DoNotOptimize(out.get());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kMovieSize));
}

void Unpack(benchmark::State& state) {
    const std::vector<std::uint8_t>& cws = Cws();
    for (auto _ : state) {
        std::vector<std::uint8_t> out;
        vs::AppendUnpackedMovie(cws, out);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kMovieSize));
}

void InspectCompressedProjector(benchmark::State& state) {
    const std::string path = (fs::temp_directory_path() / "vs_bench_movie.exe").string();
    {
        const std::vector<std::uint8_t>& cws = Cws();
        std::vector<std::uint8_t> bytes = vs::test::BuildPlayerPart();
        bytes.insert(bytes.end(), cws.begin(), cws.end());
        for (std::uint32_t v : {0xFA123456u, static_cast<std::uint32_t>(cws.size())})
            for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
        vs::test::WriteProjectorFile(path, bytes);
    }
    for (auto _ : state) {
        vs::InspectionResult result;
        vs::InspectProjector(path, result);
        benchmark::DoNotOptimize(result.unpacked);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kMovieSize));
    fs::remove(path);
}

BENCHMARK(ZlibInflate)->Unit(benchmark::kMillisecond);
BENCHMARK(ZlibInflateFreshBuffer)->Unit(benchmark::kMillisecond);
BENCHMARK(Unpack)->Unit(benchmark::kMillisecond);
BENCHMARK(InspectCompressedProjector)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
