// Reading icon files and executable icons, and writing the 256-colour icon.
#include <gtest/gtest.h>

#include <filesystem>

#include "exe/icon.h"
#include "exe/jv_icon.h"
#include "platform/errors.h"
#include "support/ico_builder.h"
#include "support/pe_builder.h"

namespace vs {
namespace {

namespace fs = std::filesystem;
using test::DibIcon;
using test::IcoFile;
using test::IcoImage;
using test::PngIcon;

void ExpectInvalidIcon(const std::vector<std::uint8_t>& file) {
    try {
        ReadIconFile(file);
        FAIL() << "accepted";
    } catch (const EInvalidGraphic& e) {
        EXPECT_STREQ(e.what(), "Icon image is not valid");
    }
}

TEST(IconFile, DecodesAFixedOneBitImage) {
    // A 2 x 2 icon: palette black/white, colour rows bottom-up (white black / black white),
    // mask rows bottom-up with the top-left pixel transparent.
    const std::vector<std::uint8_t> file = {
        0, 0, 1, 0, 1, 0,                                       // header: icon, one image
        2, 2, 2, 0, 1, 0, 1, 0, 64, 0, 0, 0, 22, 0, 0, 0,       // entry: 64 bytes at 22
        40, 0, 0, 0, 2, 0, 0, 0, 4, 0, 0, 0, 1, 0, 1, 0,        // header: 2 x (2 + 2), 1 bit
        0, 0, 0, 0, 8, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2, 0, 0, 0, 0, 0, 0, 0,
        0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0,                        // palette
        0x80, 0, 0, 0, 0x40, 0, 0, 0,                           // colour rows (bottom row first)
        0, 0, 0, 0, 0x80, 0, 0, 0,                              // mask rows
    };
    TIcon icon = ReadIconFile(file);
    ASSERT_EQ(icon.Width(), 2);
    ASSERT_EQ(icon.Height(), 2);
    EXPECT_EQ(icon.Pixel(0, 0), 0xFF000000u);
    EXPECT_EQ(icon.Pixel(1, 0), 0xFFFFFFFFu);
    EXPECT_EQ(icon.Pixel(0, 1), 0xFFFFFFFFu);
    EXPECT_EQ(icon.Pixel(1, 1), 0xFF000000u);
    EXPECT_TRUE(icon.Transparent(0, 0));
    EXPECT_FALSE(icon.Transparent(1, 0));
    EXPECT_FALSE(icon.Transparent(0, 1));

    std::vector<std::uint8_t> cut(file.begin(), file.end() - 9);  // colour rows incomplete
    ExpectInvalidIcon(cut);
}

TEST(IconFile, DecodesEveryDepthWithItsMask) {
    const std::vector<std::uint32_t> pal = test::StandardPalette16();
    auto mask = [](int x, int y) { return x == 0 && y < 3; };
    // 1 and 4 bits: palette indexes; 8 bits: the same palette; 24 and 32: direct colours.
    for (int bits : {1, 4, 8}) {
        std::vector<std::uint32_t> palette(pal.begin(), pal.begin() + (bits == 1 ? 2 : 16));
        auto idx = [bits](int x, int y) { return static_cast<std::uint32_t>((x * 3 + y) % (bits == 1 ? 2 : 16)); };
        TIcon icon = ReadIconFile(IcoFile({DibIcon(13, 7, bits, palette, idx, mask)}));
        ASSERT_EQ(icon.Width(), 13) << bits;
        ASSERT_EQ(icon.Height(), 7);
        for (int y = 0; y < 7; ++y)
            for (int x = 0; x < 13; ++x) {
                ASSERT_EQ(icon.Pixel(x, y), 0xFF000000u | palette[idx(x, y)]) << bits << " " << x << "," << y;
                ASSERT_EQ(icon.Transparent(x, y), mask(x, y));
            }
    }
    auto rgb = [](int x, int y) { return 0xFF000000u | static_cast<std::uint32_t>(x * 20) << 16 | static_cast<std::uint32_t>(y * 30) << 8 | 7u; };
    for (int bits : {24, 32}) {
        TIcon icon = ReadIconFile(IcoFile({DibIcon(5, 9, bits, {}, rgb, mask)}));
        for (int y = 0; y < 9; ++y)
            for (int x = 0; x < 5; ++x) {
                ASSERT_EQ(icon.Pixel(x, y), rgb(x, y)) << bits;
                ASSERT_EQ(icon.Transparent(x, y), mask(x, y));
            }
    }
}

TEST(IconFile, ThirtyTwoBitAlphaAndMissingMask) {
    // Alpha below half makes a pixel transparent even with a clear mask.
    auto argb = [](int x, int y) { return (x < 2 ? 0x10000000u : 0xFF000000u) | 0x123456u; };
    TIcon icon = ReadIconFile(IcoFile({DibIcon(4, 4, 32, {}, argb)}));
    EXPECT_TRUE(icon.Transparent(1, 2));
    EXPECT_FALSE(icon.Transparent(2, 2));
    // No alpha at all: an opaque colour image.
    TIcon noAlpha = ReadIconFile(IcoFile({DibIcon(4, 4, 32, {}, [](int, int) { return 0x00ABCDEFu; })}));
    EXPECT_EQ(noAlpha.Pixel(3, 3), 0xFFABCDEFu);
    EXPECT_FALSE(noAlpha.Transparent(3, 3));
    // Mask rows left out: opaque.
    TIcon noMask = ReadIconFile(IcoFile({DibIcon(4, 4, 8, {0x00FF00}, [](int, int) { return 0u; }, {}, false)}));
    EXPECT_EQ(noMask.Pixel(0, 0), 0xFF00FF00u);
    EXPECT_FALSE(noMask.Transparent(0, 0));
    // An index past a short colour table is opaque black.
    TIcon shortTable = ReadIconFile(IcoFile({DibIcon(4, 4, 8, {0x00FF00}, [](int x, int) { return x == 3 ? 7u : 0u; })}));
    EXPECT_EQ(shortTable.Pixel(3, 0), 0xFF000000u);
}

TEST(IconFile, DecodesPngImages) {
    auto argb = [](int x, int y) { return (y == 0 ? 0x00000000u : 0xFF000000u) | static_cast<std::uint32_t>(x * 8) << 16 | 0x80u; };
    TIcon icon = ReadIconFile(IcoFile({PngIcon(32, 32, argb)}));
    ASSERT_EQ(icon.Width(), 32);
    EXPECT_EQ(icon.Pixel(5, 3), 0xFF280080u);
    EXPECT_TRUE(icon.Transparent(5, 0));
    EXPECT_FALSE(icon.Transparent(5, 1));

    IcoImage broken = PngIcon(8, 8, argb);
    broken.data.resize(broken.data.size() - 20);  // image data cut off
    ExpectInvalidIcon(IcoFile({broken}));
}

TEST(IconFile, ChoosesClosestToThirtyTwoThenMostColours) {
    auto solid = [](std::uint32_t c) { return [c](int, int) { return c; }; };
    std::vector<IcoImage> images = {
        DibIcon(16, 16, 32, {}, solid(0xFF000001)),
        DibIcon(32, 32, 4, {0x000002}, solid(0)),
        DibIcon(48, 48, 32, {}, solid(0xFF000003)),
        DibIcon(32, 32, 8, {0x000004}, solid(0)),
        DibIcon(32, 32, 8, {0x000005}, solid(0)),  // equal to the one before: the first wins
    };
    EXPECT_EQ(ReadIconFile(IcoFile(images)).Pixel(0, 0), 0xFF000004u);
    images.push_back(PngIcon(32, 32, solid(0xFF000006)));  // PNG counts as 32 bits
    EXPECT_EQ(ReadIconFile(IcoFile(images)).Pixel(0, 0), 0xFF000006u);
    EXPECT_EQ(ReadIconFile(IcoFile({images[0], images[2]})).Pixel(0, 0), 0xFF000001u);  // 16 is as close as 48

    // An entry whose data lies outside the file is passed over.
    test::IcoBytes file = IcoFile({images[0], images[3]});
    file[6 + 16 + 12] = 0xF0;  // second entry's offset far away
    EXPECT_EQ(ReadIconFile(file).Width(), 16);
}

TEST(IconFile, RefusesOtherTypesAndDamage) {
    IcoImage img = DibIcon(8, 8, 8, {0}, [](int, int) { return 0u; });
    ExpectInvalidIcon(IcoFile({img}, 2));  // a cursor file
    ExpectInvalidIcon(IcoFile({img}, 3));
    EXPECT_EQ(ReadIconFile(IcoFile({img}, 0)).Width(), 8) << "type 0 counts as an icon";
    ExpectInvalidIcon(IcoFile({}));
    ExpectInvalidIcon({0, 0, 1});
    test::IcoBytes file = IcoFile({img});
    file.resize(6 + 10);  // directory cut short
    ExpectInvalidIcon(file);

    IcoImage huge = img;
    huge.data[4] = 0, huge.data[5] = 0x10;  // 4096 pixels wide
    ExpectInvalidIcon(IcoFile({huge}));
    IcoImage rle = img;
    rle.data[16] = 1;  // compressed
    ExpectInvalidIcon(IcoFile({rle}));
    IcoImage sixteen = img;
    sixteen.data[14] = 16;  // 16 bits with the rows of an 8-bit image: cut short
    ExpectInvalidIcon(IcoFile({sixteen}));
    IcoImage twoBits = img;
    twoBits.data[14] = 2;
    ExpectInvalidIcon(IcoFile({twoBits}));
}

TEST(IconFile, DecodesSixteenBitImagesAndPrefersTheirSize) {
    // One 2 x 1 image by hand: red 0x7C00 and grey 0x4210 (16 of 31 widens to 0x84).
    const std::vector<std::uint8_t> file = {
        0, 0, 1, 0, 1, 0,                                       // header
        2, 1, 0, 0, 1, 0, 16, 0, 48, 0, 0, 0, 22, 0, 0, 0,      // entry: 48 bytes at 22
        40, 0, 0, 0, 2, 0, 0, 0, 2, 0, 0, 0, 1, 0, 16, 0,       // header: 2 x (1 + 1), 16 bits
        0, 0, 0, 0, 4, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
        0x00, 0x7C, 0x10, 0x42,                                 // colour row
        0x40, 0, 0, 0,                                          // mask row: the second pixel clear
    };
    TIcon icon = ReadIconFile(file);
    EXPECT_EQ(icon.Pixel(0, 0), 0xFFFF0000u);
    EXPECT_EQ(icon.Pixel(1, 0), 0xFF848484u);
    EXPECT_FALSE(icon.Transparent(0, 0));
    EXPECT_TRUE(icon.Transparent(1, 0));

    // A 32 x 32 16-bit image and a 16 x 16 8-bit one: the size wins over the colours.
    auto green = [](int, int) { return 0xFF00FF00u; };
    TIcon chosen = ReadIconFile(IcoFile({DibIcon(16, 16, 8, {0x0000FF}, [](int, int) { return 0u; }),
                                         DibIcon(32, 32, 16, {}, green)}));
    ASSERT_EQ(chosen.Width(), 32);
    EXPECT_EQ(chosen.Pixel(31, 31), 0xFF00FF00u);
    // Among 32 x 32 images, 16 bits beat 8 and lose to 24.
    auto red = [](int, int) { return 0xFFFF0000u; };
    EXPECT_EQ(ReadIconFile(IcoFile({DibIcon(32, 32, 8, {0x0000FF}, [](int, int) { return 0u; }),
                                    DibIcon(32, 32, 16, {}, green)}))
                  .Pixel(0, 0),
              0xFF00FF00u);
    EXPECT_EQ(ReadIconFile(IcoFile({DibIcon(32, 32, 16, {}, green), DibIcon(32, 32, 24, {}, red)})).Pixel(0, 0),
              0xFFFF0000u);
}

TEST(IconFile, KeepsItsFileAndWritesOneWhenItHasNone) {
    // An icon read from a file gives that file back, byte for byte.
    const test::IcoBytes file = IcoFile({DibIcon(16, 16, 4, test::StandardPalette16(), [](int x, int) { return static_cast<std::uint32_t>(x); }),
                                         PngIcon(32, 32, [](int x, int y) { return x == y ? 0u : 0xFF123456u; })});
    const TIcon fromFile = ReadIconFile(file);
    EXPECT_EQ(fromFile.FileBytes(), file);
    EXPECT_EQ(IconFileBytes(fromFile), file);

    // One made in memory (or taken from an executable) is written as a
    // one-image 32-bit icon file with its mask.
    TIcon icon(3, 2);
    icon.SetPixel(0, 0, 0xFF112233u);
    icon.SetPixel(2, 1, 0x80445566u);
    icon.SetTransparent(1, 0, true);
    icon.SetPixel(1, 0, 0x00000000u);
    ASSERT_TRUE(icon.FileBytes().empty());
    const std::vector<std::uint8_t> bytes = IconFileBytes(icon);
    const std::vector<std::uint8_t> head(bytes.begin(), bytes.begin() + 62);
    const std::vector<std::uint8_t> expected = {
        0, 0, 1, 0, 1, 0,                                     // file header
        3, 2, 0, 0, 1, 0, 32, 0, 72, 0, 0, 0, 22, 0, 0, 0,    // entry: 40 + 24 + 8 bytes at 22
        40, 0, 0, 0, 3, 0, 0, 0, 4, 0, 0, 0, 1, 0, 32, 0,     // header: 3 x (2 + 2), 32 bits
        0, 0, 0, 0, 24, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
    };
    EXPECT_EQ(head, expected);
    ASSERT_EQ(bytes.size(), 22u + 72u);
    // Bottom row first: (2, 1) is the third pixel; the top row's mask marks (1, 0).
    EXPECT_EQ(std::vector<std::uint8_t>(bytes.begin() + 62 + 8, bytes.begin() + 62 + 12),
              (std::vector<std::uint8_t>{0x66, 0x55, 0x44, 0x80}));
    EXPECT_EQ(bytes[62 + 24 + 4], 0x40);
    const TIcon back = ReadIconFile(bytes);
    EXPECT_EQ(back, icon);
    EXPECT_EQ(back.FileBytes(), bytes);

    EXPECT_THROW(IconFileBytes(TIcon()), EInvalidGraphic);
}

TEST(IconFile, IconOfFileByExtensionAndMissingFiles) {
    fs::path dir = fs::temp_directory_path() / ("vs_icon_" + std::to_string(::getpid()));
    fs::create_directories(dir);
    test::WriteBytes((dir / "a.IcO").string(), IcoFile({DibIcon(32, 32, 8, {0x0000FF}, [](int, int) { return 0u; })}));
    auto icon = IconOfFile((dir / "a.IcO").string());
    ASSERT_TRUE(icon);
    EXPECT_EQ(icon->Pixel(0, 0), 0xFF0000FFu);
    test::WriteBytes((dir / "notes.txt").string(), {'h', 'i'});
    EXPECT_FALSE(IconOfFile((dir / "notes.txt").string()));
    EXPECT_THROW(LoadIconFile((dir / "none.ico").string()), EFOpenError);
    fs::remove_all(dir);
}

TEST(ExeIcon, TakesTheChosenImageOfTheFirstGroup) {
    fs::path dir = fs::temp_directory_path() / ("vs_exeicon_" + std::to_string(::getpid()));
    fs::create_directories(dir);
    const std::string exe = (dir / "prog.exe").string();
    test::PeBuilder()
        .IconImage(1, DibIcon(16, 16, 8, {0x111111}, [](int, int) { return 0u; }).data)
        .IconImage(2, DibIcon(32, 32, 8, {0x222222}, [](int, int) { return 0u; }).data)
        .IconImage(3, DibIcon(32, 32, 8, {0x333333}, [](int, int) { return 0u; }).data)
        .IconGroup(1, {1, 2})
        .IconGroup(2, {3})
        .Write(exe);
    auto icon = ExeLargeIcon(exe);
    ASSERT_TRUE(icon);
    EXPECT_EQ(icon->Width(), 32);
    EXPECT_EQ(icon->Pixel(0, 0), 0xFF222222u);
    EXPECT_TRUE(icon->FileBytes().empty());
    EXPECT_EQ(ReadIconFile(IconFileBytes(*icon)), *icon);
    EXPECT_EQ(IconOfFile(exe)->Pixel(0, 0), 0xFF222222u);

    test::PeBuilder().Version(test::VersionSpec{}).Write(exe);
    EXPECT_FALSE(ExeLargeIcon(exe));
    test::PeBuilder().NoResourceSection().Write(exe);
    EXPECT_FALSE(ExeLargeIcon(exe));
    fs::remove_all(dir);
}

TEST(ScaleIcon, DoublesAndHalves) {
    TIcon small(2, 2);
    small.SetPixel(1, 0, 0xFFFF0000u);
    small.SetTransparent(0, 1, true);
    small.SetPixel(0, 1, 0);  // transparent pixels come out without alpha
    TIcon big = ScaleIcon(small, 4, 4);
    EXPECT_EQ(big.Pixel(3, 1), 0xFFFF0000u);
    EXPECT_EQ(big.Pixel(2, 0), 0xFFFF0000u);
    EXPECT_EQ(big.Pixel(1, 1), 0xFF000000u);
    EXPECT_TRUE(big.Transparent(0, 3));
    EXPECT_FALSE(big.Transparent(2, 3));

    TIcon halved = ScaleIcon(big, 2, 2);
    EXPECT_EQ(halved, small);

    TIcon stripes(4, 1);  // black, white, black, white averages to grey
    stripes.SetPixel(1, 0, 0xFFFFFFFFu);
    stripes.SetPixel(3, 0, 0xFFFFFFFFu);
    EXPECT_EQ(ScaleIcon(stripes, 2, 1).Pixel(0, 0), 0xFF7F7F7Fu);
}

TEST(JvIcon, WritesTheFixedLayoutFor32x32) {
    TIcon icon(32, 32);
    for (int x = 0; x < 32; ++x) icon.SetPixel(x, 0, 0xFFFFFFFFu);  // top row white
    icon.SetTransparent(0, 31, true);                              // bottom-left transparent
    icon.SetPixel(0, 31, 0x00FFFFFFu);                             // ... by its alpha: written black
    icon.SetTransparent(1, 31, true);                              // inverting: keeps its colour
    icon.SetPixel(1, 31, 0xFFFF0000u);
    TMemoryStream out;
    TjvIcon::WriteIconFile(out, icon);
    auto b = out.bytes();
    ASSERT_EQ(b.size(), 22u + 2216u);
    EXPECT_EQ(IconImageSize(32, 32), 2216u);
    const std::vector<std::uint8_t> head(b.begin(), b.begin() + 62);
    const std::vector<std::uint8_t> expected = {
        0, 0, 1, 0, 1, 0,                                     // file header
        32, 32, 8, 0, 0, 0, 0, 0, 0xA8, 0x08, 0, 0, 22, 0, 0, 0,  // entry: 2216 bytes at 22
        40, 0, 0, 0, 32, 0, 0, 0, 64, 0, 0, 0, 1, 0, 8, 0,    // header: 32 x 64, 8 bits
        0, 0, 0, 0, 0, 4, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,       // image size 1024
        0, 0, 0, 0, 0, 0, 0, 0,
    };
    EXPECT_EQ(head, expected);
    // Colour table: entry 1 is maroon (blue, green, red, 0).
    EXPECT_EQ(b[62 + 4], 0x00);
    EXPECT_EQ(b[62 + 6], 0x80);
    const std::size_t rows = 22 + 1064, mask = rows + 1024;
    EXPECT_EQ(b[rows + 31 * 32], 15);  // top row (stored last) white
    EXPECT_EQ(b[rows + 5], 0);         // black
    EXPECT_EQ(b[rows + 0], 0);         // transparent: black
    EXPECT_EQ(b[rows + 1], 9);         // inverting red kept
    EXPECT_EQ(b[mask], 0xC0);          // bottom row stored first: two transparent pixels
    EXPECT_EQ(b[mask + 4], 0x00);
}

TEST(JvIcon, MapsSixteenColoursExactlyAndOthersToTheNearest) {
    const auto pal = test::StandardPalette16();
    for (std::uint32_t i = 0; i < 16; ++i) EXPECT_EQ(NearestIconColor(pal[i]), i);
    EXPECT_EQ(NearestIconColor(0x0A0A0A), 232);  // the darkest grey
    EXPECT_EQ(NearestIconColor(0x320001), NearestIconColor(0x330000));
    EXPECT_EQ(IconColorTable()[16 + 36 * 5 + 6 * 2 + 1], 0xFF6633u);

    // A 16-colour icon file comes out as 8 bits per pixel with the same indexes.
    TIcon icon = ReadIconFile(IcoFile({DibIcon(32, 32, 4, pal, [](int x, int) { return static_cast<std::uint32_t>(x % 16); })}));
    TMemoryStream out;
    TjvIcon::WriteIconFile(out, icon);
    auto b = out.bytes();
    EXPECT_EQ(b[22 + 14], 8);
    for (int x = 0; x < 32; ++x) EXPECT_EQ(b[22 + 1064 + x], x % 16);
}

TEST(JvIcon, IconWithoutColourImageIsRefused) {
    TMemoryStream out;
    try {
        TjvIcon::WriteIconFile(out, TIcon());
        FAIL();
    } catch (const EInvalidGraphic& e) {
        EXPECT_STREQ(e.what(), "Bitmap image is not valid");
    }
    EXPECT_EQ(out.Size(), 0);
}

}  // namespace
}  // namespace vs
