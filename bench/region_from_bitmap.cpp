// The shape of a 4096 x 4096 24-bit picture of a disc: cutting the region
// should cost no more than decoding the bitmap it comes from.
#include <benchmark/benchmark.h>

#include <vector>

#include "shape/bitmap.h"
#include "shape/region_from_bitmap.h"
#include "support/bmp_builder.h"

namespace {

constexpr int kSize = 4096;
constexpr vs::Colour kBackground = 0xFFFFFF;

const std::vector<std::uint8_t>& DiscFile() {
    static const std::vector<std::uint8_t> file = [] {
        std::vector<std::uint32_t> pixels(std::size_t(kSize) * kSize, kBackground);
        const long long c = kSize / 2, r = kSize / 2 - 48;
        for (long long y = 0; y < kSize; ++y)
            for (long long x = 0; x < kSize; ++x)
                if ((x - c) * (x - c) + (y - c) * (y - c) <= r * r)
                    pixels[std::size_t(y * kSize + x)] = 0xC03020 + std::uint32_t((x ^ y) & 0x0F);
        return vs::test::MakeBmp({}, kSize, kSize, pixels);
    }();
    return file;
}

void BM_DecodeBitmap(benchmark::State& state) {
    const auto& file = DiscFile();
    for (auto _ : state) {
        state.PauseTiming();
        std::vector<std::uint8_t> copy = file;
        state.ResumeTiming();
        vs::TBitmap bmp = vs::TBitmap::FromBytes(std::move(copy));
        benchmark::DoNotOptimize(bmp.Pixels().data());
    }
    state.SetItemsProcessed(state.iterations() * kSize * kSize);
}
BENCHMARK(BM_DecodeBitmap)->Unit(benchmark::kMillisecond);

void BM_BitmapToRegion(benchmark::State& state) {
    const vs::TBitmap bmp = vs::TBitmap::FromBytes(DiscFile());
    std::size_t rects = 0;
    for (auto _ : state) {
        vs::Region region = vs::BitmapToRegion(bmp, bmp.Pixel(0, 0));
        rects = region.rectCount();
        benchmark::DoNotOptimize(rects);
    }
    state.counters["rectangles"] = double(rects);
    state.SetItemsProcessed(state.iterations() * kSize * kSize);
}
BENCHMARK(BM_BitmapToRegion)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
