#include "exe/exe_image.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <fstream>

#include "support/pe_builder.h"

namespace vs {
namespace {

using test::Le32;
using test::MakeIconImage;
using test::PeBuilder;
using test::PeBytes;
using test::PeLayout;
using test::PutLe16;
using test::PutLe32;
using test::U16;

std::string ExpectExeError(const std::function<void()>& f) {
    try {
        f();
    } catch (const EExeError& e) {
        return e.what();
    }
    return "(no error)";
}

TEST(ExeImage, OpeningFailuresCarryTheirMessages) {
    EXPECT_EQ(ExpectExeError([] { TExeImage("/nonexistent/dir/x.exe"); }), "Couldn't open: /nonexistent/dir/x.exe");

    PeBytes exe = PeBuilder().Resource(10, 1, 1033, {1, 2, 3}).Build();
    PeBytes noMz = exe;
    noMz[0] = 'Z';
    EXPECT_EQ(ExpectExeError([&] { TExeImage(noMz, "f"); }), "unrecognized file format");
    EXPECT_EQ(ExpectExeError([] { TExeImage(PeBytes{}, "f"); }), "unrecognized file format");
    EXPECT_EQ(ExpectExeError([] { TExeImage(PeBytes{'M', 'Z', 0, 0}, "f"); }), "Not a PE (WIN32 Executable) file");

    PeBytes badSignature = exe;
    badSignature[0x81] = 'X';
    EXPECT_EQ(ExpectExeError([&] { TExeImage(badSignature, "f"); }), "Not a PE (WIN32 Executable) file");
    PeBytes farHeaders = exe;
    PutLe32(farHeaders, 60, 0xFFFFFFF0u);
    EXPECT_EQ(ExpectExeError([&] { TExeImage(farHeaders, "f"); }), "Not a PE (WIN32 Executable) file");
    // A section count that runs the table off the end of the file.
    PeBytes manySections = exe;
    manySections.resize(0x200);
    PutLe16(manySections, 0x86, 0xFFFF);
    EXPECT_EQ(ExpectExeError([&] { TExeImage(manySections, "f"); }), "Not a PE (WIN32 Executable) file");
}

TEST(ExeImage, FileWithoutResourcesSaysSo) {
    TExeImage image(PeBuilder().NoResourceSection().Build(), "f");
    EXPECT_EQ(ExpectExeError([&] { image.ResourceTree(); }), "No resources in this file.");
}

TEST(ExeImage, ReadsAMappedFile) {
    auto path = std::filesystem::temp_directory_path() / "vs_exe_image_mapped.exe";
    PeLayout layout;
    PeBuilder().Resource(10, 7, 1033, {9, 8, 7, 6, 5}).Write(path.string(), &layout);
    {
        TExeImage image(path.string());
        TResourceList& root = image.ResourceTree();
        ASSERT_EQ(root.Count(), 1);
        TResourceItem& name = root.Items(0).Children().Items(0);
        EXPECT_EQ(name.DataFileOffset(), layout.dataAt[0].first);
        EXPECT_EQ(name.DataSize(), 5u);
        EXPECT_EQ(name.DataPointer()[0], 9);
    }
    std::filesystem::remove(path);
}

// One resource (type 3 would be taken aside, so type 10): root, type and name
// directories of 24 bytes each, the data entry at 72, the data at 88 of the
// section, which the builder puts at file offset 0x400, address 0x2000.
TEST(ExeImage, OffsetsOfTheSimplestTree) {
    PeBytes exe = PeBuilder().Resource(10, 1, 1033, {0xAA, 0xBB, 0xCC, 0xDD}).Build();
    EXPECT_EQ(Le32(exe, 0x400 + 72), 0x2000u + 88);  // the data entry's address
    TExeImage image(exe, "f");
    TResourceList& root = image.ResourceTree();
    ASSERT_EQ(root.Count(), 1);
    TResourceItem& type = root.Items(0);
    EXPECT_EQ(type.TypeId(), 0);
    EXPECT_EQ(type.Id(), 10);
    EXPECT_TRUE(type.HasChildren());
    EXPECT_EQ(type.DataFileOffset(), 24u);  // its sub-directory, counted from the section
    EXPECT_EQ(type.DataSize(), 0u);
    EXPECT_EQ(type.DataPointer(), nullptr);
    TResourceItem& name = type.Children().Items(0);
    EXPECT_EQ(name.TypeId(), 10);
    EXPECT_FALSE(name.HasChildren());
    EXPECT_EQ(name.DataFileOffset(), 0x400u + 88);
    EXPECT_EQ(name.DataSize(), 4u);
    EXPECT_EQ(name.DataPointer(), image.FileBytes().data() + 0x400 + 88);
    EXPECT_EQ(ExpectExeError([&] { name.Children(); }), "ResourceItem is not a list");
    EXPECT_EQ(&type.Children(), &type.Children());  // made once and kept
}

TEST(ExeImage, IconGroupsListTheImagesTheyName) {
    PeLayout layout;
    PeBytes exe = PeBuilder()
                      .IconImage(1, MakeIconImage(32, 32, 8, 1))
                      .IconImage(2, MakeIconImage(16, 16, 4, 2))
                      .IconImage(3, MakeIconImage(48, 48, 8, 3))
                      .IconGroup(1, {3, 1, 99})  // 99 names no image
                      .IconGroup(U16("SECOND"), {2})
                      .Resource(RT_GROUP_CURSOR_ID, 1, 1033, {0, 0, 2, 0, 0, 0})
                      .Build(&layout);
    TExeImage image(exe, "f");
    TResourceList& root = image.ResourceTree();
    // Icon images are taken aside: only the group types are listed.
    ASSERT_EQ(root.Count(), 2);
    EXPECT_EQ(root.Items(0).Id(), RT_GROUP_CURSOR_ID);
    TResourceItem& groups = root.Items(1);
    EXPECT_EQ(groups.Id(), RT_GROUP_ICON_ID);
    ASSERT_NE(image.IconImageType(), nullptr);
    EXPECT_EQ(image.CursorImageType(), nullptr);

    TResourceList& groupList = groups.Children();
    ASSERT_EQ(groupList.Count(), 2);
    // Named entries come first, as the directory stores them.
    TResourceItem& named = groupList.Items(0);
    EXPECT_TRUE(named.IsNamed());
    EXPECT_EQ(named.Name(), U16("SECOND"));
    TResourceItem& first = groupList.Items(1);
    EXPECT_NE(dynamic_cast<TIconResource*>(&first), nullptr);
    EXPECT_TRUE(first.HasChildren());
    EXPECT_EQ(first.DataSize(), 0u);
    EXPECT_EQ(first.RawData().size(), 6u + 3 * 14);

    TResourceList& images = first.Children();
    ASSERT_EQ(images.Count(), 2);
    EXPECT_EQ(images.Items(0).Id(), 3);
    EXPECT_EQ(images.Items(1).Id(), 1);
    EXPECT_EQ(images.Items(0).TypeId(), RT_ICON_ID);  // keeps the type of the list that made it
    EXPECT_NE(dynamic_cast<TIconResEntry*>(&images.Items(0)), nullptr);
    EXPECT_EQ(images.Items(1).DataFileOffset(), layout.dataAt[0].first);
    EXPECT_EQ(images.Items(1).DataSize(), 2216u);
    EXPECT_EQ(images.Items(0).DataFileOffset(), layout.dataAt[2].first);
    // The group's images are the icon-image type's own entries.
    EXPECT_EQ(&images.Items(1), &image.IconImageType()->Children().Items(0));

    // A cursor group in a file without cursor images lists nothing.
    TResourceItem& cursorGroup = root.Items(0).Children().Items(0);
    EXPECT_NE(dynamic_cast<TCursorResource*>(&cursorGroup), nullptr);
    EXPECT_EQ(cursorGroup.Children().Count(), 0);
}

TEST(ExeImage, FirstLanguageInDirectoryOrderStandsForTheName) {
    PeLayout layout;
    PeBytes exe = PeBuilder()
                      .Resource(16, 1, 1033, {1, 1, 1})
                      .Resource(16, 1, 1031, {2, 2})
                      .Build(&layout);
    TExeImage image(exe, "f");
    TResourceItem& name = image.ResourceTree().Items(0).Children().Items(0);
    EXPECT_EQ(name.DataFileOffset(), layout.dataAt[1].first);  // 1031 sorts first
    EXPECT_EQ(name.DataSize(), 2u);
    auto langs = name.Languages();
    ASSERT_EQ(langs.size(), 2u);
    EXPECT_EQ(langs[0].language, 1031);
    EXPECT_EQ(langs[1].language, 1033);
    EXPECT_EQ(langs[1].fileOffset, layout.dataAt[0].first);
    EXPECT_EQ(langs[1].size, 3u);
}

TEST(ExeImage, SectionNameComparedWithoutCase) {
    TExeImage image(PeBuilder().ResourceSectionName(".RSRC").Resource(5, 1, 0, {1}).Build(), "f");
    EXPECT_EQ(image.ResourceTree().Count(), 1);
    TExeImage other(PeBuilder().ResourceSectionName(".rsrcx").Resource(5, 1, 0, {1}).Build(), "f");
    EXPECT_EQ(ExpectExeError([&] { other.ResourceTree(); }), "No resources in this file.");
}

TEST(ExeImage, SectionTableFoundThroughTheOptionalHeaderSize) {
    PeLayout layout;
    PeBytes exe = PeBuilder().OptionalHeaderPadding(16).Resource(5, 1, 0, {7, 7}).Build(&layout);
    EXPECT_EQ(layout.sectionTable, 0x80u + 24 + 240);
    TExeImage image(exe, "f");
    EXPECT_EQ(image.ResourceTree().Items(0).Children().Items(0).DataFileOffset(), layout.dataAt[0].first);
}

TEST(ExeImage, DamagedTreesGiveErrorsNotReadsOutside) {
    PeLayout layout;
    PeBytes exe = PeBuilder().Resource(10, 1, 1033, {1, 2, 3, 4}).Build(&layout);
    const std::uint32_t sec = layout.rsrcRaw;

    // The data entry points far past the section.
    PeBytes farData = exe;
    PutLe32(farData, sec + 72, 0x7FFFFFF0u);
    TExeImage a(farData, "f");
    EXPECT_EQ(ExpectExeError([&] { a.ResourceTree().Items(0).Children().Items(0).DataSize(); }),
              "unrecognized file format");

    // A data address below the section's own address.
    PeBytes lowData = exe;
    PutLe32(lowData, sec + 72, 0x10);
    TExeImage b(lowData, "f");
    EXPECT_THROW(b.ResourceTree().Items(0).Children().Items(0).DataPointer(), EExeError);

    // A name directory that points back at the root: walking stays finite.
    PeBytes cycle = exe;
    PutLe32(cycle, sec + 48 + 16 + 4, 0x80000000u);  // the language entry -> root
    TExeImage c(cycle, "f");
    std::function<int(TResourceList&, int)> walk = [&](TResourceList& list, int depth) {
        int n = 0;
        for (int i = 0; i < list.Count(); ++i) {
            TResourceItem& item = list.Items(i);
            ++n;
            if (item.HasChildren()) n += walk(item.Children(), depth + 1);
        }
        EXPECT_LT(depth, 4);
        return n;
    };
    EXPECT_NO_THROW(walk(c.ResourceTree(), 0));

    // A directory claiming 65535 + 65535 entries in a small section.
    PeBytes huge = exe;
    PutLe16(huge, sec + 12, 0xFFFF);
    PutLe16(huge, sec + 14, 0xFFFF);
    TExeImage d(huge, "f");
    EXPECT_EQ(ExpectExeError([&] { d.ResourceTree(); }), "unrecognized file format");

    // A name string that runs off the section.
    PeBytes name = exe;
    PutLe32(name, sec + 16, 0x80000000u | (layout.rsrcRawSize - 2));
    PutLe16(name, sec + layout.rsrcRawSize - 2, 500);
    TExeImage e(name, "f");
    EXPECT_THROW(e.ResourceTree().Items(0).Name(), EExeError);

    // A resource section whose raw data lies beyond the end of the file.
    PeBytes cut(exe.begin(), exe.begin() + sec + 8);
    TExeImage f(cut, "f");
    EXPECT_EQ(ExpectExeError([&] { f.ResourceTree(); }), "No resources in this file.");
}

}  // namespace
}  // namespace vs
