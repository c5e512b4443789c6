// `vexelscreen show` of a built projector of 28 MiB: what it reads (the
// settings and the packed files' sizes, never their bytes) next to reading
// the package with its packed bytes, and to reading the whole file once.
//
//   bench_show --benchmark_min_time=1
// Ratios to compare: Show against ReadWithPackedBytes and ReadFileOnce; Show
// should cost a small fraction of either.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <random>

#include "package/describe.h"
#include "package/filer.h"
#include "package/package_file.h"
#include "package/vexel_projector.h"

namespace {

namespace fs = std::filesystem;
constexpr std::size_t kSize = 28u << 20;

const std::string& ProjectorFile() {
    static const std::string path = [] {
        const std::string source = (fs::temp_directory_path() / "vs_bench_show_source.bin").string();
        {
            std::vector<char> bytes(kSize);
            std::mt19937 rng(3);
            for (char& b : bytes) b = static_cast<char>(rng());
            std::ofstream(source, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        }
        const std::string p = (fs::temp_directory_path() / "vs_bench_show.exe").string();
        vs::s_TVexelProjector s;
        s.MainFile().CompressMode = 1;
        s.MainFile().SetFilename(source);
        vs::TFileStream out(p, vs::FileMode::Create);
        out.WriteBuffer("MZ an engine", 12);
        vs::AppendPackage(out, s);
        fs::remove(source);
        return p;
    }();
    return path;
}

void Read(benchmark::State& state, vs::PackedData packedData) {
    const std::string& file = ProjectorFile();
    for (auto _ : state) {
        vs::TFileStream stream(file, vs::FileMode::OpenRead);
        const vs::LocatedSettings where = vs::LocateSettings(stream);
        stream.SetPosition(where.offset);
        vs::s_TVexelProjector settings;
        vs::ReadOptions options;
        options.packedData = packedData;
        vs::ReadComponentFromStream(stream, settings, options);
        benchmark::DoNotOptimize(vs::DescribeSettings(settings));
    }
}

void Show(benchmark::State& state) { Read(state, vs::PackedData::SizeOnly); }
void ReadWithPackedBytes(benchmark::State& state) { Read(state, vs::PackedData::Read); }

void ReadFileOnce(benchmark::State& state) {
    const std::string& file = ProjectorFile();
    std::vector<char> buffer(1 << 20);
    for (auto _ : state) {
        std::ifstream in(file, std::ios::binary);
        while (in.read(buffer.data(), static_cast<std::streamsize>(buffer.size())) || in.gcount() > 0) {
            benchmark::DoNotOptimize(buffer.data());
        }
    }
}

BENCHMARK(Show)->Unit(benchmark::kMillisecond);
BENCHMARK(ReadWithPackedBytes)->Unit(benchmark::kMillisecond);
BENCHMARK(ReadFileOnce)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
