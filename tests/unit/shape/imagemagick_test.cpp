// Bitmaps that ImageMagick wrote, in each format it writes, decode to the
// pixels that ImageMagick itself reads from them. Skipped without ImageMagick.
#include <gtest/gtest.h>

#include <bit>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>
#include <vector>

#include "shape/bitmap.h"
#include "support/bmp_builder.h"

namespace vs {
namespace {

namespace fs = std::filesystem;

std::string Quote(const std::string& s) {
    std::string q = "'";
    for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

bool RunQuietly(const std::string& command) { return std::system((command + " >/dev/null 2>&1").c_str()) == 0; }

// ImageMagick's convert, or nothing when it is not installed.
std::string FindConvert() {
    std::vector<std::string> candidates = {"/usr/bin/convert"};
    if (const char* path = std::getenv("PATH")) {
        std::string p = path;
        for (std::size_t start = 0; start <= p.size();) {
            std::size_t end = p.find(':', start);
            if (end == std::string::npos) end = p.size();
            if (end > start) candidates.push_back(p.substr(start, end - start) + "/convert");
            start = end + 1;
        }
    }
    for (const std::string& c : candidates)
        if (::access(c.c_str(), X_OK) == 0 && RunQuietly(Quote(c) + " -version | grep -q ImageMagick")) return c;
    return {};
}

std::vector<std::uint8_t> Slurp(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

struct WrittenFormat {
    const char* name;
    const char* prefix;  // ImageMagick's output format
    std::vector<std::string> options;
    std::uint32_t headerSize;
    int bits;
    std::uint32_t compression;
};

class ImageMagick : public ::testing::TestWithParam<WrittenFormat> {
protected:
    void SetUp() override {
        convert_ = FindConvert();
        if (convert_.empty()) GTEST_SKIP() << "ImageMagick's convert is not installed";
        dir_ = fs::temp_directory_path() /
               ("vs_imagemagick_" + std::to_string(::getpid()) + "_" + std::to_string(counter_++));
        fs::create_directories(dir_);
    }
    void TearDown() override {
        if (!dir_.empty()) fs::remove_all(dir_);
    }

    std::string convert_;
    fs::path dir_;
    static inline int counter_ = 0;
};

// A 37 x 23 picture with gradients, a pattern and a flat band for the runs.
std::vector<std::uint32_t> SourcePicture(int w, int h) {
    std::vector<std::uint32_t> out;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            if (y >= 10 && y < 13) {
                out.push_back(0x3366CC);
                continue;
            }
            const std::uint32_t r = x * 255 / (w - 1), g = y * 255 / (h - 1), b = (x * y % 7) * 36;
            out.push_back((r << 16) | (g << 8) | b);
        }
    return out;
}

int ChannelBits(std::uint32_t mask, int bitsPerPixel) { return bitsPerPixel >= 16 ? std::popcount(mask) : 8; }

TEST_P(ImageMagick, DecodesLikeImageMagickReads) {
    const WrittenFormat& f = GetParam();
    const int w = 37, h = 23;
    const fs::path source = dir_ / "source.bmp";
    const fs::path written = dir_ / "written.bmp";
    const fs::path raw = dir_ / "pixels.rgb";
    test::WriteFileBytes(source.string(), test::MakeBmp({}, w, h, SourcePicture(w, h)));

    std::string write = Quote(convert_) + " " + Quote(source.string());
    for (const std::string& o : f.options) write += " " + Quote(o);
    write += " " + Quote(std::string(f.prefix) + written.string());
    ASSERT_TRUE(RunQuietly(write)) << write;
    ASSERT_TRUE(RunQuietly(Quote(convert_) + " " + Quote(written.string()) + " -depth 8 " + Quote("rgb:" + raw.string())));

    TBitmap b = TBitmap::FromFile(written.string());
    const BitmapFormat& fmt = b.Format();
    EXPECT_EQ(fmt.headerSize, f.headerSize);
    EXPECT_EQ(fmt.bitsPerPixel, f.bits);
    EXPECT_EQ(static_cast<std::uint32_t>(fmt.compression), f.compression);
    ASSERT_EQ(b.Width(), w);
    ASSERT_EQ(b.Height(), h);

    const std::vector<std::uint8_t> theirs = Slurp(raw);
    ASSERT_EQ(theirs.size(), std::size_t(w) * h * 3);
    // Channels narrower than 8 bits are widened differently by different
    // readers; the stored bits must agree.
    const int bits[3] = {ChannelBits(fmt.redMask, f.bits), ChannelBits(fmt.greenMask, f.bits),
                         ChannelBits(fmt.blueMask, f.bits)};
    int mismatches = 0;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const Colour mine = b.Pixel(x, y);
            const std::uint8_t mineChannels[3] = {RedOf(mine), GreenOf(mine), BlueOf(mine)};
            for (int c = 0; c < 3; ++c) {
                const int shift = 8 - bits[c];
                const std::uint8_t their = theirs[(std::size_t(y) * w + x) * 3 + c];
                if ((mineChannels[c] >> shift) != (their >> shift) && ++mismatches <= 5)
                    ADD_FAILURE() << "pixel " << x << ", " << y << " channel " << c << ": " << int(mineChannels[c])
                                  << " but ImageMagick reads " << int(their);
            }
        }
    EXPECT_EQ(mismatches, 0);
}

const std::vector<std::string> kPalette200 = {"-colors", "200", "-type", "palette"};

INSTANTIATE_TEST_SUITE_P(
    Bitmap, ImageMagick,
    ::testing::Values(
        WrittenFormat{"Truecolor", "BMP3:", {"-type", "truecolor"}, 40, 24, 0},
        WrittenFormat{"TruecolorCore", "BMP2:", {"-type", "truecolor"}, 12, 24, 0},
        WrittenFormat{"TruecolorV5", "BMP:", {"-type", "truecolor"}, 124, 24, 0},
        WrittenFormat{"Palette8", "BMP3:", {"-colors", "200", "-type", "palette", "-compress", "none"}, 40, 8, 0},
        WrittenFormat{"Palette8Rle", "BMP3:", {"-colors", "200", "-type", "palette", "-compress", "RLE"}, 40, 8, 1},
        WrittenFormat{"Palette8Core", "BMP2:", {"-colors", "200", "-type", "palette"}, 12, 8, 0},
        WrittenFormat{"Palette4", "BMP3:", {"-colors", "16", "-type", "palette"}, 40, 4, 0},
        WrittenFormat{"Palette4Core", "BMP2:", {"-colors", "16", "-type", "palette"}, 12, 4, 0},
        WrittenFormat{"Bilevel", "BMP3:", {"-type", "bilevel"}, 40, 1, 0},
        WrittenFormat{"Rgb555", "BMP:", {"-type", "truecolor", "-define", "bmp:subtype=RGB555"}, 124, 16, 3},
        WrittenFormat{"Rgb565", "BMP:", {"-type", "truecolor", "-define", "bmp:subtype=RGB565"}, 124, 16, 3},
        WrittenFormat{"Argb4444", "BMP:", {"-alpha", "set", "-define", "bmp:subtype=ARGB4444"}, 124, 16, 3},
        WrittenFormat{"Argb8888", "BMP:", {"-alpha", "set", "-define", "bmp:subtype=ARGB8888"}, 124, 32, 3}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace vs
