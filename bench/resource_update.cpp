// Rewriting the resource section of an executable in memory, against the bare
// cost of copying the file once; and reading its whole resource tree.
#include <benchmark/benchmark.h>

#include <cstring>
#include <functional>

#include "exe/exe_image.h"
#include "exe/resource_updater.h"
#include "support/pe_builder.h"

namespace {

using vs::test::PeBytes;

// An engine-like file: icons, a version resource, .reloc after .rsrc, and
// `blobs` data resources of `blobSize` bytes each.
PeBytes MakeExe(int blobs, std::size_t blobSize) {
    vs::test::PeBuilder b;
    b.IconImage(1, vs::test::MakeIconImage(32, 32, 8, 1)).IconGroup(1, {1}).Version(vs::test::VersionSpec{});
    for (int i = 0; i < blobs; ++i) b.Resource(10, static_cast<std::uint16_t>(100 + i), 1033, PeBytes(blobSize, static_cast<std::uint8_t>(i)));
    return b.RelocAfterResources().Build();
}

void BM_Copy(benchmark::State& state) {
    PeBytes exe = MakeExe(static_cast<int>(state.range(0)), static_cast<std::size_t>(state.range(1)));
    for (auto _ : state) {
        PeBytes copy(exe.size());
        std::memcpy(copy.data(), exe.data(), exe.size());
        benchmark::DoNotOptimize(copy.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * exe.size()));
}

// Replaces the version resource with a larger one, so the section grows and
// .reloc moves.
void BM_Rewrite(benchmark::State& state) {
    PeBytes exe = MakeExe(static_cast<int>(state.range(0)), static_cast<std::size_t>(state.range(1)));
    std::vector<vs::ResourceChange> changes = {
        {vs::ResourceId::Number(16), vs::ResourceId::Number(1), 1033, PeBytes(1784 + 0x2000, 1)}};
    for (auto _ : state) {
        try {
            PeBytes out = vs::RewriteResources(exe, changes);
            benchmark::DoNotOptimize(out.data());
        } catch (const vs::EResourceUpdateError& e) {
            state.SkipWithError(e.what());
            break;
        }
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * exe.size()));
}

void BM_ReadTree(benchmark::State& state) {
    PeBytes exe = MakeExe(static_cast<int>(state.range(0)), static_cast<std::size_t>(state.range(1)));
    for (auto _ : state) {
        vs::TExeImage image(exe, "bench");
        std::uint64_t total = 0;
        std::function<void(vs::TResourceList&)> walk = [&](vs::TResourceList& list) {
            for (int i = 0; i < list.Count(); ++i) {
                vs::TResourceItem& item = list.Items(i);
                if (item.HasChildren()) walk(item.Children());
                else total += item.DataSize();
            }
        };
        walk(image.ResourceTree());
        benchmark::DoNotOptimize(total);
    }
}

}  // namespace

// (data resources, bytes each): an engine-sized file, and one with 8 MiB of resources.
BENCHMARK(BM_Copy)->Args({20, 4096})->Args({64, 128 * 1024});
BENCHMARK(BM_Rewrite)->Args({20, 4096})->Args({64, 128 * 1024});
BENCHMARK(BM_ReadTree)->Args({20, 4096})->Args({2000, 16});
BENCHMARK_MAIN();
