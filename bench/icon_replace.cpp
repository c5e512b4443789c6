// ReplaceExeIcon and StampExecutable rewrite the whole file through a
// temporary file, so that a failure never leaves it half written. This
// compares them with the bare cost of that rewrite (read the file once, write
// it once) on a projector-sized file, and measures the 256-colour conversion
// on its own.
#include <benchmark/benchmark.h>

#include <filesystem>

#include "exe/icon.h"
#include "exe/icon_replace.h"
#include "exe/jv_icon.h"
#include "exe/stamp.h"
#include "platform/atomic_file.h"
#include "platform/stream.h"
#include "support/pe_builder.h"

namespace {

namespace fs = std::filesystem;

vs::TIcon Gradient() {
    vs::TIcon icon(32, 32);
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 32; ++x) icon.SetPixel(x, y, 0xFF000000u | static_cast<std::uint32_t>(x * 8) << 16 | static_cast<std::uint32_t>(y * 8));
    return icon;
}

std::string MakeExe(std::size_t tail) {
    std::string path = (fs::temp_directory_path() / ("vs_bench_icon_" + std::to_string(tail) + ".exe")).string();
    vs::test::PeBuilder()
        .IconImage(1, vs::test::MakeIconImage(32, 32, 8, 1))
        .IconGroup(1, {1})
        .Append(std::vector<std::uint8_t>(tail, 0x5A))
        .Write(path);
    return path;
}

void BM_ReplaceExeIcon(benchmark::State& state) {
    const std::string exe = MakeExe(static_cast<std::size_t>(state.range(0)));
    const vs::TIcon icon = Gradient();
    for (auto _ : state) benchmark::DoNotOptimize(vs::ReplaceExeIcon(exe, icon));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * state.range(0));
    fs::remove(exe);
}

// The icon step of a build: the same work through StampExecutable.
void BM_StampIcon(benchmark::State& state) {
    const std::string exe = MakeExe(static_cast<std::size_t>(state.range(0)));
    vs::StampRequest request = vs::StampRequest::ForBuild();
    request.icon = Gradient();
    for (auto _ : state) benchmark::DoNotOptimize(vs::StampExecutable(exe, request).iconWritten);
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * state.range(0));
    fs::remove(exe);
}

void BM_RewriteFileBaseline(benchmark::State& state) {
    const std::string exe = MakeExe(static_cast<std::size_t>(state.range(0)));
    for (auto _ : state) {
        std::vector<std::uint8_t> bytes = vs::ReadWholeFile(exe);
        vs::WriteFileAtomic(exe, bytes.data(), bytes.size());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * state.range(0));
    fs::remove(exe);
}

void BM_WriteIconFile32(benchmark::State& state) {
    const vs::TIcon icon = Gradient();
    for (auto _ : state) {
        vs::TMemoryStream out;
        vs::TjvIcon::WriteIconFile(out, icon);
        benchmark::DoNotOptimize(out.Memory());
    }
}

}  // namespace

BENCHMARK(BM_ReplaceExeIcon)->Arg(1 << 20)->Arg(32 << 20)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_StampIcon)->Arg(1 << 20)->Arg(32 << 20)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RewriteFileBaseline)->Arg(1 << 20)->Arg(32 << 20)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WriteIconFile32)->Unit(benchmark::kMicrosecond);
BENCHMARK_MAIN();
