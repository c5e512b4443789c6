// Finding the first icon image and overwriting it in place.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "exe/exe_image.h"
#include "exe/icon_replace.h"
#include "exe/jv_icon.h"
#include "platform/atomic_file.h"
#include "platform/errors.h"
#include "platform/stream.h"
#include "support/ico_builder.h"
#include "support/pe_builder.h"

namespace vs {
namespace {

namespace fs = std::filesystem;
using test::MakeIconImage;
using test::PeBuilder;
using test::PeLayout;

class IconReplace : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() / ("vs_iconrep_" + std::to_string(::getpid()) + "_" +
                                            ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(dir_);
        exe_ = (dir_ / "engine.exe").string();
    }
    void TearDown() override { fs::remove_all(dir_); }

    static TIcon Gradient(int w, int h) {
        TIcon icon(w, h);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                icon.SetPixel(x, y, 0xFF000000u | static_cast<std::uint32_t>(x * 255 / w) << 16 | static_cast<std::uint32_t>(y * 255 / h));
        icon.SetTransparent(0, 0, true);
        return icon;
    }
    static std::vector<std::uint8_t> Image(const TIcon& icon) {
        TMemoryStream s;
        TjvIcon::WriteIconFile(s, icon);
        auto b = s.bytes();
        return {b.begin() + kIconFileImageOffset, b.end()};
    }
    std::vector<std::uint8_t> Read() const { return ReadWholeFile(exe_); }

    fs::path dir_;
    std::string exe_;
};

TEST_F(IconReplace, Changes2216BytesAndNothingElse) {
    PeLayout layout;
    PeBuilder()
        .IconImage(1, MakeIconImage(32, 32, 8, 7))
        .IconGroup(1, {1})
        .Version(test::VersionSpec{})
        .RelocAfterResources()
        .Append(std::vector<std::uint8_t>(5000, 0xA5))  // a package and its trailer
        .Write(exe_, &layout);
    const auto before = Read();
    const auto [offset, size] = layout.dataAt[0];
    ASSERT_EQ(size, 2216u);

    const TIcon icon = Gradient(32, 32);
    ASSERT_TRUE(ReplaceExeIcon(exe_, icon));
    const auto after = Read();
    ASSERT_EQ(after.size(), before.size());
    const auto image = Image(icon);
    ASSERT_EQ(image.size(), 2216u);
    EXPECT_TRUE(std::equal(image.begin(), image.end(), after.begin() + offset));
    for (std::size_t i = 0; i < after.size(); ++i)
        if (i < offset || i >= offset + size) ASSERT_EQ(after[i], before[i]) << "byte " << i;

    // The same icon again gives the same bytes.
    ASSERT_TRUE(ReplaceExeIcon(exe_, icon));
    EXPECT_EQ(Read(), after);
}

TEST_F(IconReplace, OnlyTheFirstImageOfTheFirstGroupChanges) {
    PeLayout layout;
    PeBuilder()
        .IconImage(1, MakeIconImage(32, 32, 8, 1))
        .IconImage(2, MakeIconImage(16, 16, 8, 2))
        .IconImage(3, MakeIconImage(32, 32, 8, 3))
        .IconGroup(5, {1, 2})
        .IconGroup(6, {3})
        .Write(exe_, &layout);
    auto before = Read();

    {
        TExeImage image(exe_);  // released before the file is replaced, as Windows requires
        EXPECT_EQ(FindFirstIconImage(image.ResourceTree()), (IconSlot{layout.dataAt[0].first, 2216}));
    }
    ASSERT_TRUE(ReplaceExeIcon(exe_, Gradient(32, 32)));
    auto after = Read();
    for (int k : {1, 2}) {
        const auto [offset, size] = layout.dataAt[static_cast<std::size_t>(k)];
        EXPECT_TRUE(std::equal(before.begin() + offset, before.begin() + offset + size, after.begin() + offset)) << k;
    }
    EXPECT_NE(before, after);
}

TEST_F(IconReplace, GroupNamingNoImageIsPassedOver) {
    // The named group comes first in the directory but names a missing image.
    PeLayout layout;
    PeBuilder()
        .IconImage(4, MakeIconImage(32, 32, 8, 4))
        .IconGroup(test::U16("MAINICON"), {4})
        .Write(exe_, &layout);
    {
        auto bytes = Read();
        // Point the named group's single entry at image 9, which does not exist.
        const auto [groupAt, groupSize] = layout.dataAt[1];
        ASSERT_EQ(groupSize, 6u + 14u);
        test::PutLe16(bytes, groupAt + 6 + 12, 9);
        WriteFileAtomic(exe_, bytes.data(), bytes.size());
    }
    TExeImage image(exe_);
    EXPECT_FALSE(FindFirstIconImage(image.ResourceTree()));
}

TEST_F(IconReplace, NoIconGroupOrNoFileGivesFalseAndWritesNothing) {
    PeBuilder().Version(test::VersionSpec{}).Resource(2, 1, 1033, {1, 2, 3}).Write(exe_);
    const auto before = Read();
    EXPECT_FALSE(ReplaceExeIcon(exe_, Gradient(32, 32)));
    EXPECT_EQ(Read(), before);
    // Images without a group are not reached either.
    PeBuilder().IconImage(1, MakeIconImage(32, 32, 8, 1)).Write(exe_);
    EXPECT_FALSE(ReplaceExeIcon(exe_, Gradient(32, 32)));

    EXPECT_FALSE(ReplaceExeIcon((dir_ / "missing.exe").string(), Gradient(32, 32)));
}

TEST_F(IconReplace, ReaderErrorsAndBadIconsLeaveTheFileAlone) {
    PeBuilder().NoResourceSection().Write(exe_);
    try {
        ReplaceExeIcon(exe_, Gradient(32, 32));
        FAIL();
    } catch (const EExeError& e) {
        EXPECT_STREQ(e.what(), "No resources in this file.");
    }

    PeBuilder().IconImage(1, MakeIconImage(32, 32, 8, 1)).IconGroup(1, {1}).Write(exe_);
    const auto before = Read();
    try {
        ReplaceExeIcon(exe_, TIcon());
        FAIL();
    } catch (const EInvalidGraphic& e) {
        EXPECT_STREQ(e.what(), "Bitmap image is not valid");
    }
    EXPECT_EQ(Read(), before);

    // A 4-bit slot (744 bytes) has no room for 2216 bytes.
    PeBuilder().IconImage(1, MakeIconImage(32, 32, 4, 1)).IconGroup(1, {1}).Write(exe_);
    const auto small = Read();
    EXPECT_THROW(ReplaceExeIcon(exe_, Gradient(32, 32)), EInvalidGraphic);
    EXPECT_EQ(Read(), small);
}

TEST_F(IconReplace, OtherSizesAreScaledToTheSlot) {
    PeLayout layout;
    PeBuilder().IconImage(1, MakeIconImage(32, 32, 8, 1)).IconGroup(1, {1}).Write(exe_, &layout);
    const TIcon sixteen = Gradient(16, 16);
    ASSERT_TRUE(ReplaceExeIcon(exe_, sixteen));
    auto after = Read();
    const auto image = Image(ScaleIcon(sixteen, 32, 32));
    EXPECT_TRUE(std::equal(image.begin(), image.end(), after.begin() + layout.dataAt[0].first));

    // A 48 x 48 slot takes a 48 x 48 image (3752 bytes).
    PeBuilder().IconImage(1, MakeIconImage(48, 48, 8, 1)).IconGroup(1, {1}).Write(exe_, &layout);
    ASSERT_TRUE(ReplaceExeIcon(exe_, Gradient(32, 32)));
    after = Read();
    EXPECT_EQ(after[layout.dataAt[0].first + 4], 48);
    EXPECT_EQ(IconImageSize(48, 48), layout.dataAt[0].second);
}

TEST_F(IconReplace, SlotOutsideTheFileIsRefused) {
    PeLayout layout;
    PeBuilder().IconImage(1, MakeIconImage(32, 32, 8, 1)).IconGroup(1, {1}).Write(exe_, &layout);
    auto bytes = Read();
    bytes.resize(layout.dataAt[0].first + 100);  // the image is cut off by the end of the file
    WriteFileAtomic(exe_, bytes.data(), bytes.size());
    EXPECT_THROW(ReplaceExeIcon(exe_, Gradient(32, 32)), VsError);
    EXPECT_EQ(Read(), bytes);
}

}  // namespace
}  // namespace vs
