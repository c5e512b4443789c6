// Packing a 64 MiB file and reading a 64 MiB package, each next to the bare
// cost of the work it cannot avoid: reading the file once and zlib's own
// deflate on the same bytes in memory.
//
//   bench_package --benchmark_min_time=1
// Ratios to compare: Pack/mode:M  against  ReadFileOnce + ZlibDeflate/level:L
// (L = the level of mode M), and ReadPackage against ReadFileOnce.
#include <benchmark/benchmark.h>
#include <zlib.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>

#include "package/filer.h"
#include "package/package_file.h"
#include "package/packed_file.h"
#include "package/vexel_projector.h"
#include "support/zlib_reference.h"

namespace {

namespace fs = std::filesystem;
constexpr std::size_t kSize = 64u << 20;

// Text-like bytes: compressible, but not trivially.
const std::vector<std::uint8_t>& Data() {
    static const std::vector<std::uint8_t> data = [] {
        std::vector<std::uint8_t> d(kSize);
        std::mt19937 rng(42);
        const char* words[] = {"frame ", "movie ", "shape ", "window ", "projector ", "click ", "0x1F ", "\n"};
        std::size_t i = 0;
        while (i < d.size()) {
            if (rng() % 5 == 0) {
                d[i++] = static_cast<std::uint8_t>(rng());
                continue;
            }
            for (const char* w = words[rng() % 8]; *w && i < d.size(); ++w) d[i++] = static_cast<std::uint8_t>(*w);
        }
        return d;
    }();
    return data;
}

const std::string& SourceFile() {
    static const std::string path = [] {
        std::string p = (fs::temp_directory_path() / "vs_bench_64m.bin").string();
        std::ofstream(p, std::ios::binary).write(reinterpret_cast<const char*>(Data().data()), kSize);
        return p;
    }();
    return path;
}

const std::string& PackageFile() {
    static const std::string path = [] {
        std::string p = (fs::temp_directory_path() / "vs_bench_package.exe").string();
        vs::s_TVexelProjector s;
        s.MainFile().CompressMode = 1;  // stored: the package stream is as large as the file
        s.MainFile().SetFilename(SourceFile());
        vs::TFileStream f(p, vs::FileMode::Create);
        f.WriteBuffer("MZ", 2);
        vs::AppendPackage(f, s);
        return p;
    }();
    return path;
}

void ReadFileOnce(benchmark::State& state, const std::string& path) {
    for (auto _ : state) {
        vs::TFileStream f(path, vs::FileMode::OpenRead);
        std::vector<std::uint8_t> buf(static_cast<std::size_t>(f.Size()));
        f.ReadBuffer(buf.data(), buf.size());
        benchmark::DoNotOptimize(buf.data());
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(fs::file_size(path)));
}

void BM_ReadFileOnce(benchmark::State& state) { ReadFileOnce(state, SourceFile()); }
void BM_ReadPackageFileOnce(benchmark::State& state) { ReadFileOnce(state, PackageFile()); }

void BM_ZlibDeflate(benchmark::State& state) {
    int level = static_cast<int>(state.range(0));
    for (auto _ : state) benchmark::DoNotOptimize(vs::test::ZlibDeflateOnce(Data(), level).data());
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(kSize));
}

// The chunked compression alone, in memory.
void BM_DeflateBytesChunked(benchmark::State& state) {
    int level = static_cast<int>(state.range(0));
    for (auto _ : state) {
        auto out = vs::DeflateBytes(Data(), level);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(kSize));
}

void BM_Pack(benchmark::State& state) {
    auto mode = static_cast<std::uint8_t>(state.range(0));
    const std::string& path = SourceFile();
    for (auto _ : state) {
        vs::TPackedFile f;
        f.LoadFromFile(path, mode);
        benchmark::DoNotOptimize(f.FileData().data());
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(kSize));
}

void BM_ReadPackage(benchmark::State& state) {
    const std::string& path = PackageFile();
    for (auto _ : state) {
        vs::s_TVexelProjector s;
        vs::ReadSettingsFile(path, s);
        benchmark::DoNotOptimize(s.MainFile().FileData().data());
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(fs::file_size(path)));
}

}  // namespace

BENCHMARK(BM_ReadFileOnce)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ZlibDeflate)->ArgName("level")->Arg(0)->Arg(1)->Arg(6)->Arg(9)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DeflateBytesChunked)->ArgName("level")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Pack)->ArgName("mode")->Arg(1)->Arg(2)->Arg(3)->Arg(4)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadPackageFileOnce)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadPackage)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
