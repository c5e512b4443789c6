// Packing eight files of 8 MiB at the default mode as one batch, on one
// thread and on every core. On a machine of two cores the batch on all cores
// should take at most 0.6 times the one-thread time.
//
//   bench_packing_batch --benchmark_min_time=2
// Ratio to compare: Batch/jobs:0 against Batch/jobs:1 (real time).
#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "package/packed_file.h"
#include "package/packing_batch.h"

namespace {

namespace fs = std::filesystem;
constexpr int kFiles = 8;
constexpr std::size_t kSize = 8u << 20;

const std::vector<std::string>& Files() {
    static const std::vector<std::string> paths = [] {
        std::vector<std::string> out;
        std::mt19937 rng(7);
        const char* words[] = {"frame ", "movie ", "shape ", "window ", "projector ", "click ", "0x1F ", "\n"};
        for (int f = 0; f < kFiles; ++f) {
            std::string d;
            d.reserve(kSize);
            while (d.size() < kSize) {
                if (rng() % 5 == 0) d.push_back(static_cast<char>(rng()));
                else d += words[rng() % 8];
            }
            d.resize(kSize);
            std::string p = (fs::temp_directory_path() / ("vs_bench_batch_" + std::to_string(f) + ".bin")).string();
            std::ofstream(p, std::ios::binary) << d;
            out.push_back(p);
        }
        return out;
    }();
    return paths;
}

void BM_Batch(benchmark::State& state) {
    const auto jobs = static_cast<unsigned>(state.range(0));
    for (auto _ : state) {
        vs::TPackedFiles files;
        files.DefaultCompressMode = 3;
        vs::PackingBatch batch(jobs);
        for (const std::string& p : Files()) files.AddFile(p, batch);
        batch.Run();
        benchmark::DoNotOptimize(files.Items(0).FileData().data());
    }
    state.counters["threads"] = vs::PackingBatch(jobs).Jobs();
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(kFiles * kSize));
}

}  // namespace

BENCHMARK(BM_Batch)->ArgName("jobs")->Arg(1)->Arg(0)->UseRealTime()->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
