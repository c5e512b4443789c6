// Inspecting a 64 MiB projector with 2,000 commands spread through it, against
// the bare cost of reading and writing that file once. The heap peak of one
// inspection is reported as a counter (the file itself is one copy).
#include <benchmark/benchmark.h>
#include <malloc.h>
#include <sys/resource.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <new>
#include <random>

#include "platform/stream.h"
#include "support/projector_builder.h"
#include "support/swf_builder.h"
#include "swf/inspection.h"

namespace {
std::atomic<std::size_t> g_heap{0};
std::atomic<std::size_t> g_peak{0};

void* Counted(std::size_t n) {
    void* p = std::malloc(n ? n : 1);
    if (!p) throw std::bad_alloc();
    std::size_t now = g_heap += malloc_usable_size(p);
    std::size_t peak = g_peak.load();
    while (now > peak && !g_peak.compare_exchange_weak(peak, now)) {
    }
    return p;
}
void Uncounted(void* p) {
    if (!p) return;
    g_heap -= malloc_usable_size(p);
    std::free(p);
}
}  // namespace

void* operator new(std::size_t n) { return Counted(n); }
void* operator new[](std::size_t n) { return Counted(n); }
void operator delete(void* p) noexcept { Uncounted(p); }
void operator delete[](void* p) noexcept { Uncounted(p); }
void operator delete(void* p, std::size_t) noexcept { Uncounted(p); }
void operator delete[](void* p, std::size_t) noexcept { Uncounted(p); }

namespace {

using vs::test::ByteVec;

constexpr std::size_t kFileSize = 64u << 20;
constexpr int kCommands = 2000;

struct Fixture {
    std::string path;
    ByteVec original;

    Fixture() {
        path = (std::filesystem::temp_directory_path() / ("vs_bench_inspect_" + std::to_string(::getpid()) + ".exe"))
                   .string();
        std::mt19937 rng(7);
        const char* commands[] = {"vexelprint(1, 1,1,0) /f=\"My Footer\" /nodialog", "vexelexec(notepad.exe, readme.txt)",
                                  "vexelscreen:savevariables(scores.txt)", "VexelScreen:LoadVariables(scores.txt)"};
        vs::test::SwfBuilder b;
        const std::size_t chunk = (kFileSize - 8192) / kCommands - 64;
        ByteVec filler(chunk);
        for (int i = 0; i < kCommands; ++i) {
            for (auto& x : filler) x = static_cast<std::uint8_t>(rng());
            b.filler(filler);
            if (i % 4 < 2)
                b.fsExec(commands[i % 4]);
            else
                b.getUrl(commands[i % 4], "_level0");
        }
        original = vs::test::BuildProjector(b.build());
        original.resize(kFileSize, 0);
        Restore();
    }
    ~Fixture() { std::filesystem::remove(path); }

    void Restore() const {
        vs::TFileStream f(path, vs::FileMode::Create);
        f.WriteBuffer(original.data(), original.size());
    }
};

Fixture& TheFixture() {
    static Fixture f;
    return f;
}

void BM_ReadAndWriteOnce(benchmark::State& state) {
    Fixture& fx = TheFixture();
    for (auto _ : state) {
        vs::TFileStream f(fx.path, vs::FileMode::OpenReadWrite);
        std::vector<std::uint8_t> bytes(static_cast<std::size_t>(f.Size()));
        f.ReadBuffer(bytes.data(), bytes.size());
        f.SetPosition(0);
        f.WriteBuffer(bytes.data(), bytes.size());
        benchmark::DoNotOptimize(bytes.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kFileSize));
}

void Inspect(benchmark::State& state, bool fresh) {
    Fixture& fx = TheFixture();
    std::size_t peak = 0, rewritten = 0;
    if (!fresh) {
        vs::InspectionResult first;
        vs::InspectProjector(fx.path, first);
    }
    for (auto _ : state) {
        if (fresh) {
            state.PauseTiming();
            fx.Restore();
            state.ResumeTiming();
        }
        const std::size_t base = g_heap.load();
        g_peak = base;
        vs::InspectionResult result;
        vs::InspectProjector(fx.path, result);
        peak = std::max(peak, g_peak.load() - base);
        rewritten = 0;
        for (const auto& c : result.commands) rewritten += c.outcome == vs::RewriteOutcome::Rewritten;
    }
    if (fresh && rewritten != kCommands) state.SkipWithError("not every command was rewritten");
    state.counters["rewritten"] = static_cast<double>(rewritten);
    state.counters["peak_heap_MiB"] = static_cast<double>(peak) / (1 << 20);
    state.counters["peak_heap_files"] = static_cast<double>(peak) / kFileSize;
    rusage ru{};
    ::getrusage(RUSAGE_SELF, &ru);
    state.counters["maxrss_MiB"] = static_cast<double>(ru.ru_maxrss) / 1024;
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kFileSize));
    fx.Restore();
}

void BM_InspectWithRewriting(benchmark::State& state) { Inspect(state, true); }
void BM_InspectAlreadyRewritten(benchmark::State& state) { Inspect(state, false); }

BENCHMARK(BM_ReadAndWriteOnce)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_InspectWithRewriting)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_InspectAlreadyRewritten)->Unit(benchmark::kMillisecond)->MinTime(2.0);

}  // namespace

BENCHMARK_MAIN();
