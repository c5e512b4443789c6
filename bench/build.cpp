// Building a projector through the window's model: a 20 MiB Flash projector
// and 40 additional files of 60 MiB in all, next to the bare cost of the work
// a build cannot avoid.
//
//   bench_build --benchmark_min_time=1
// Ratios to compare (real time):
//   Build/mode:3    <= 0.6 x ZlibEachFile   (all cores against zlib on one)
//   Build/mode:1    <= 1.5 x CopyInputsOnce (a preview packs without compression)
//   LoadProject     <= 1.2 x ReadProjectOnce (a load also inspects the
//                   projector: ReadProjectAndProjectorOnce is what it reads)
// PeakMemoryOfCommandLineBuild reports the largest resident size of
// `vexelscreen build` on the same project, against the inputs' size.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "app/generator_model.h"
#include "support/projector_builder.h"
#include "support/recording_interface.h"
#include "support/scripted_ports.h"
#include "platform/stream.h"
#include "support/swf_builder.h"
#include "support/zlib_reference.h"

namespace {

namespace fs = std::filesystem;
constexpr std::size_t kProjectorSize = 20u << 20;
constexpr int kFiles = 40;
constexpr std::size_t kFilesTotal = 60u << 20;

// Text-like bytes: compressible, but not trivially.
std::string Bytes(std::size_t size, unsigned seed) {
    std::mt19937 rng(seed);
    const char* words[] = {"frame ", "movie ", "shape ", "window ", "projector ", "click ", "0x1F ", "\n"};
    std::string d;
    d.reserve(size + 16);
    while (d.size() < size) {
        if (rng() % 5 == 0) d.push_back(static_cast<char>(rng()));
        else d += words[rng() % 8];
    }
    d.resize(size);
    return d;
}

struct Inputs {
    fs::path dir = fs::temp_directory_path() / "vs_bench_build";
    std::string projector;
    std::vector<std::string> files;
    std::string project;
    Inputs() {
        fs::create_directories(dir);
        projector = (dir / "movie.exe").string();
        vs::test::SwfBuilder movie;
        movie.fsExec("vexelprint(0,0,0,0)");
        const std::string body = Bytes(kProjectorSize, 1);
        for (std::size_t at = 0; at < body.size(); at += 60000)
            movie.filler(vs::test::ByteVec(body.begin() + static_cast<long>(at),
                                           body.begin() + static_cast<long>(std::min(body.size(), at + 60000))));
        vs::test::WriteProjectorFile(projector, vs::test::BuildProjector(movie.build()));
        for (int i = 0; i < kFiles; ++i) {
            std::string p = (dir / ("file" + std::to_string(i) + ".dat")).string();
            std::ofstream(p, std::ios::binary) << Bytes(kFilesTotal / kFiles, 100 + i);
            files.push_back(p);
        }
    }
    std::vector<std::string> all() const {
        std::vector<std::string> v = {projector};
        v.insert(v.end(), files.begin(), files.end());
        return v;
    }
};

const Inputs& TheInputs() {
    static const Inputs inputs;
    return inputs;
}

struct Model {
    vs::test::SilentInterface ui;
    vs::test::ScriptedShell shell;
    vs::test::MemorySettingsStore store;
    vs::test::ScriptedHost host;
    vs::TfVexelSCREENModel model{ui, shell, store, host, {VS_BIN_DIR "/", fs::temp_directory_path().string() + "/"}};
    Model() {
        model.DragDropPorjectorFileDropped(TheInputs().projector);
        model.AddAddFiles(TheInputs().files);
    }
};

const std::string& Project() {
    static const std::string path = [] {
        Model m;
        std::string p = (TheInputs().dir / "bench.vsp").string();
        m.model.SaveProject(p);
        return p;
    }();
    return path;
}

std::vector<std::uint8_t> ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

void BM_ZlibEachFile(benchmark::State& state) {
    std::vector<std::vector<std::uint8_t>> data;
    for (const std::string& p : TheInputs().all()) data.push_back(ReadAll(p));
    for (auto _ : state)
        for (const auto& d : data) benchmark::DoNotOptimize(vs::test::ZlibDeflateOnce(d, Z_DEFAULT_COMPRESSION).data());
}

void BM_CopyInputsOnce(benchmark::State& state) {
    const fs::path copy = TheInputs().dir / "copy.bin";
    for (auto _ : state) {
        for (const std::string& p : TheInputs().all()) {
            std::vector<std::uint8_t> d = ReadAll(p);
            std::ofstream(copy, std::ios::binary | std::ios::trunc).write(reinterpret_cast<const char*>(d.data()),
                                                                           static_cast<std::streamsize>(d.size()));
        }
    }
    fs::remove(copy);
}

void BM_Build(benchmark::State& state) {
    Model m;
    m.model.tbCompression.setPosition(static_cast<int>(state.range(0)));
    const std::string out = (TheInputs().dir / "out.exe").string();
    for (auto _ : state) {
        vs::BuildReport r = m.model.BuildProjector(out);
        benchmark::DoNotOptimize(r.size);
        state.counters["output_MiB"] = static_cast<double>(r.size) / (1 << 20);
    }
}

void BM_ReadProjectOnce(benchmark::State& state) {
    const std::string& p = Project();
    for (auto _ : state) {
        std::vector<std::uint8_t> d = vs::ReadWholeFile(p);
        benchmark::DoNotOptimize(d.data());
    }
    state.counters["project_MiB"] = static_cast<double>(fs::file_size(p)) / (1 << 20);
}

// What a load cannot avoid reading: the project, and the projector it inspects.
void BM_ReadProjectAndProjectorOnce(benchmark::State& state) {
    const std::string& p = Project();
    for (auto _ : state) {
        std::vector<std::uint8_t> a = vs::ReadWholeFile(p), b = vs::ReadWholeFile(TheInputs().projector);
        benchmark::DoNotOptimize(a.data());
        benchmark::DoNotOptimize(b.data());
    }
}

void BM_LoadProject(benchmark::State& state) {
    const std::string& p = Project();
    Model m;
    for (auto _ : state) m.model.LoadProject(p);
}

// The command line builds the project in a process of its own; its largest
// resident size is what the build held at once. GNU time measures it, so
// that none of this program's own memory is counted.
void BM_PeakMemoryOfCommandLineBuild(benchmark::State& state) {
    if (!fs::exists("/usr/bin/time")) {
        state.SkipWithError("/usr/bin/time (Debian's package time) is needed to measure the peak");
        return;
    }
    const std::string& p = Project();
    const std::string out = (TheInputs().dir / "cli.exe").string();
    const std::string command = "/usr/bin/time -f '%M' '" VS_CLI "' build '" + p + "' -o '" + out + "' 2>&1 >/dev/null";
    long peakKiB = 0;
    for (auto _ : state) {
        std::unique_ptr<FILE, int (*)(FILE*)> pipe(::popen(command.c_str(), "r"), ::pclose);
        char line[128] = {};
        while (pipe && std::fgets(line, sizeof line, pipe.get())) peakKiB = std::atol(line);
    }
    state.counters["peak_MiB"] = static_cast<double>(peakKiB) / 1024;
    state.counters["inputs_MiB"] = static_cast<double>(kProjectorSize + kFilesTotal) / (1 << 20);
}

}  // namespace

BENCHMARK(BM_ZlibEachFile)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Build)->ArgName("mode")->Arg(3)->Arg(1)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CopyInputsOnce)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadProjectOnce)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadProjectAndProjectorOnce)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadProject)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PeakMemoryOfCommandLineBuild)->Iterations(1)->UseRealTime()->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
