// Stamping an executable all or nothing, for the stamp command and for a build.
#include "exe/stamp.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "exe/exe_image.h"
#include "exe/icon_replace.h"
#include "exe/jv_icon.h"
#include "exe/resource_updater.h"
#include "platform/stream.h"
#include "support/pe_builder.h"
#include "support/temp_dir.h"

namespace vs {
namespace {

using test::MakeIconImage;
using test::PeBuilder;
using test::PeLayout;

class Stamp : public test::TempDirTest {
protected:
    void SetUp() override {
        TempDirTest::SetUp();
        exe_ = Path("engine.exe");
        VersionInfoValues v = DefaultVersionInfoValues();
        v.numbers = {3, 1, 4, 1};
        SetVersionInfoRec(rec_, v);
        icon_ = TIcon(32, 32);
        for (int x = 0; x < 32; ++x) icon_.SetPixel(x, 3, 0xFFFF0000u);
    }
    std::vector<std::uint8_t> VersionOf(const std::string& file) {
        TExeImage image(file);
        TResourceList& root = image.ResourceTree();
        for (int i = 0; i < root.Count(); ++i)
            if (!root.Items(i).IsNamed() && root.Items(i).Id() == RT_VERSION_ID)
                for (const TResourceLanguage& l : root.Items(i).Children().Items(0).Languages())
                    if (l.language == LANG_EN_US) return {l.pointer, l.pointer + l.size};
        return {};
    }
    std::vector<std::uint8_t> IconImageOf(const TIcon& icon) {
        TMemoryStream s;
        TjvIcon::WriteIconFile(s, icon);
        return {s.bytes().begin() + kIconFileImageOffset, s.bytes().end()};
    }
    std::vector<std::uint8_t> SlotOf(const std::string& file) {
        TExeImage image(file);
        auto slot = FindFirstIconImage(image.ResourceTree());
        if (!slot) return {};
        auto bytes = image.FileBytes().subspan(slot->offset, slot->size);
        return {bytes.begin(), bytes.end()};
    }
    StampRequest Both(StampRequest r) {
        r.version = rec_;
        r.icon = icon_;
        return r;
    }
    std::size_t FilesInDir() const {
        return static_cast<std::size_t>(std::distance(std::filesystem::directory_iterator(dir_), {}));
    }

    std::string exe_;
    TVersionInfoRec rec_{};
    TIcon icon_;
};

TEST_F(Stamp, WritesVersionAndIconTogether) {
    PeBuilder().IconImage(1, MakeIconImage(32, 32, 8, 1)).IconGroup(1, {1}).RelocAfterResources().Write(exe_);
    const StampResult r = StampExecutable(exe_, Both(StampRequest::Strict()));
    EXPECT_TRUE(r.versionWritten);
    EXPECT_TRUE(r.iconWritten);
    EXPECT_TRUE(r.versionRefusal.empty());
    EXPECT_EQ(VersionOf(exe_), BuildVersionBlock(rec_));
    EXPECT_EQ(SlotOf(exe_), IconImageOf(icon_));
    EXPECT_EQ(FilesInDir(), 1u);

    // Nothing asked: nothing written.
    const auto before = ReadWholeFile(exe_);
    EXPECT_FALSE(StampExecutable(exe_, StampRequest::Strict()).versionWritten);
    EXPECT_EQ(ReadWholeFile(exe_), before);
}

TEST_F(Stamp, ARefusedVersionFailsTheCommandAndIsReportedToABuild) {
    // A signed file: its resources cannot be rewritten, its icon image can.
    PeBuilder().IconImage(1, MakeIconImage(32, 32, 8, 1)).IconGroup(1, {1}).Certificate({1, 2, 3, 4}).Write(exe_);
    const auto before = ReadWholeFile(exe_);
    try {
        StampExecutable(exe_, Both(StampRequest::Strict()));
        ADD_FAILURE() << "not refused";
    } catch (const EResourceUpdateError& e) {
        EXPECT_NE(e.Reason().find("signed"), std::string::npos) << e.Reason();
        EXPECT_NE(std::string(e.what()).find(exe_), std::string::npos) << e.what();
    }
    EXPECT_EQ(ReadWholeFile(exe_), before) << "the icon is not written either";

    const StampResult r = StampExecutable(exe_, Both(StampRequest::ForBuild()));
    EXPECT_FALSE(r.versionWritten);
    EXPECT_NE(r.versionRefusal.find("signed"), std::string::npos) << r.versionRefusal;
    EXPECT_TRUE(r.iconWritten);
    EXPECT_EQ(SlotOf(exe_), IconImageOf(icon_));
    EXPECT_TRUE(VersionOf(exe_).empty());
}

TEST_F(Stamp, NoIconImageFailsTheCommandAndIsReportedToABuild) {
    PeBuilder().Version(test::VersionSpec{}).Write(exe_);
    const auto before = ReadWholeFile(exe_);
    EXPECT_THROW(StampExecutable(exe_, Both(StampRequest::Strict())), ENoIconImageError);
    EXPECT_EQ(ReadWholeFile(exe_), before) << "the version is not written either";

    const StampResult r = StampExecutable(exe_, Both(StampRequest::ForBuild()));
    EXPECT_TRUE(r.versionWritten);
    EXPECT_TRUE(r.noIconImage);
    EXPECT_FALSE(r.iconWritten);
    EXPECT_EQ(VersionOf(exe_), BuildVersionBlock(rec_));
}

TEST_F(Stamp, IconErrorsAreThrownToEveryCaller) {
    PeBuilder().IconImage(1, MakeIconImage(32, 32, 8, 1)).IconGroup(1, {1}).Write(exe_);
    const auto before = ReadWholeFile(exe_);
    StampRequest build = StampRequest::ForBuild();
    build.version = rec_;
    build.icon = TIcon();  // no colour image
    EXPECT_THROW(StampExecutable(exe_, build), EInvalidGraphic);
    EXPECT_EQ(ReadWholeFile(exe_), before);

    PeBuilder().NoResourceSection().Write(exe_);
    build.icon = icon_;
    try {
        StampExecutable(exe_, build);
        ADD_FAILURE() << "no error";
    } catch (const EExeError& e) {
        EXPECT_STREQ(e.what(), "No resources in this file.");
    }
    EXPECT_THROW(StampExecutable(Path("missing.exe"), build), EFOpenError);
    EXPECT_EQ(FilesInDir(), 1u);
}

}  // namespace
}  // namespace vs
