// The settings object as a component stream: the fixed bytes of a fresh
// object, reading into an existing object, and the failures of a read.
#include <gtest/gtest.h>

#include <algorithm>

#include "package/filer.h"
#include "package/vexel_projector.h"
#include "platform/cp1252.h"
#include "platform/errors.h"
#include "test_bytes.h"

namespace vs {
namespace {

using test::B;
using test::ByteVec;

ByteVec WriteToBytes(TComponent& c) {
    TMemoryStream ms;
    WriteComponentToStream(ms, c);
    return ms.release();
}

ByteVec FreshSettingsStream() {
    B b;
    b("TPF0").s("s_TVexelProjector").s("");
    b.s("MainFile.Filesize")({2, 0}).s("MainFile.CompressMode")({2, 0});
    b.s("DLLFile.Filesize")({2, 0}).s("DLLFile.CompressMode")({2, 0});
    b.s("Files")({0x0E, 0});
    b.s("Shape.Width")({2, 0}).s("Shape.Height")({2, 0});
    b.s("StayOnTop")({8});
    b.s("WindowSize")({7}).s("spsCustom");
    b.s("PositionV")({7}).s("sppvCenter");
    b.s("PositionH")({7}).s("spphRight");
    b.s("WindowX")({2, 0}).s("WindowY")({2, 0});
    b.s("WindowWidth")({3, 0x26, 0x02}).s("WindowHeight")({3, 0x90, 0x01});
    b.s("MovieWidth")({2, 0}).s("MovieHeight")({2, 0});
    b.s("BorderStyle")({7}).s("spbSingle");
    b.s("BorderResizeable")({9}).s("ResizeKeepRatio")({9}).s("ShowInTaskbar")({8}).s("InsDesktop")({8});
    b.s("ShowPopupMenu")({8}).s("ShowSystemPopup")({8});
    b.s("LeftClickBehaviour")({7}).s("splDrag");
    b.s("RightClickBehaviour")({7}).s("sprIgnore");
    b.s("KeyboardBehaviour")({7}).s("spkAllow");
    b.s("CloseOnEscape")({9});
    for (const char* name : {"DisableScreensaver", "DisableALTTAB", "HideCursor", "Preview", "HasPrint", "HasEXEC",
                             "HasVarFile", "HasVarStore"})
        b.s(name)({8});
    b({0, 0});
    return b.v;
}

TEST(SettingsStream, FreshObjectWritesTheFixed621Bytes) {
    s_TVexelProjector p;
    ByteVec expected = FreshSettingsStream();
    ASSERT_EQ(expected.size(), 621u);
    EXPECT_EQ(test::Hex(WriteToBytes(p)), test::Hex(expected));
}

TEST(SettingsStream, PublishedPropertiesInDeclaredOrder) {
    std::vector<std::string> names;
    for (const PropInfo* p : s_TVexelProjector::StaticClassInfo().allProps()) names.push_back(p->name);
    ASSERT_EQ(names.size(), 46u);  // Name and Tag, then the 44 published ones
    EXPECT_EQ(names[0], "Name");
    EXPECT_EQ(names[1], "Tag");
    EXPECT_EQ(names[2], "MainFile");
    EXPECT_EQ(names[6], "StayOnTop");
    EXPECT_EQ(names[16], "CaptionText");
    EXPECT_EQ(names[37], "VarStoreName");
    EXPECT_EQ(names[45], "OnProjectorClose");
}

TEST(SettingsStream, ChangedValuesRoundTripIntoTheSameObjects) {
    s_TVexelProjector a;
    a.CaptionText = "Hello";
    a.WindowSize = TspSize::spsMaximized;
    a.PositionH = TspHPosition::spphNone;
    a.WindowX = -129;
    a.WindowY = 32768;
    a.HasVarFile = true;
    a.VarFileName = std::string(300, 'v');
    a.TIME_MS = "Time_MS";
    a.Shape().Width = 10;
    ByteVec bytes = WriteToBytes(a);

    s_TVexelProjector b;
    TPackedFile* main = &b.MainFile();
    TPackedFiles* files = &b.Files();
    TMemoryStream in(bytes);
    ReadComponentFromStream(in, b);
    EXPECT_EQ(main, &b.MainFile());
    EXPECT_EQ(files, &b.Files());
    EXPECT_EQ(b.CaptionText, "Hello");
    EXPECT_EQ(b.WindowSize, TspSize::spsMaximized);
    EXPECT_EQ(b.PositionH, TspHPosition::spphNone);
    EXPECT_EQ(b.WindowX, -129);
    EXPECT_EQ(b.WindowY, 32768);
    EXPECT_TRUE(b.HasVarFile);
    EXPECT_EQ(b.VarFileName, std::string(300, 'v'));
    EXPECT_EQ(b.TIME_MS, "Time_MS");
    EXPECT_EQ(b.Shape().Width, 10);
    EXPECT_EQ(WriteToBytes(b), bytes);
}

TEST(SettingsStream, ReaderStopsOnTheFirstByteAfterTheStream) {
    s_TVexelProjector a;
    TMemoryStream ms;
    ms.WriteBuffer("engine", 6);
    WriteComponentToStream(ms, a);
    std::int64_t end = ms.Position();
    ms.WriteBuffer("\x06\x00\x00\x00tail", 8);
    ms.SetPosition(6);
    s_TVexelProjector b;
    ReadComponentFromStream(ms, b);
    EXPECT_EQ(ms.Position(), end);
}

TEST(SettingsStream, WrongSignatureChangesNothing) {
    ByteVec bytes = FreshSettingsStream();
    bytes[3] = '1';
    s_TVexelProjector p;
    p.CaptionText = "keep";
    TMemoryStream in(bytes);
    try {
        ReadComponentFromStream(in, p);
        FAIL();
    } catch (const EReadError& e) {
        EXPECT_STREQ(e.what(), "Invalid stream format");
    }
    EXPECT_EQ(p.CaptionText, "keep");
}

TEST(SettingsStream, UnknownNestedEntryNamesTheClassAndKeepsEarlierEntries) {
    ByteVec bytes = B{}("TPF0").s("s_TVexelProjector").s("").s("CaptionText")({6}).s("x").s("Shape.Colour")({2, 5})
                        .s("WindowX")({2, 7})({0, 0})
                        .v;
    s_TVexelProjector p;
    TMemoryStream in(bytes);
    try {
        ReadComponentFromStream(in, p);
        FAIL();
    } catch (const EReadError& e) {
        EXPECT_STREQ(e.what(), "Error reading s_TVexelProjector.Shape.Colour: Property does not exist");
    }
    EXPECT_EQ(p.CaptionText, "x");
    EXPECT_EQ(p.WindowX, 0);
}

struct ErrorCase {
    const char* name;
    ByteVec entries;
    const char* message;
};

class SettingsReadErrors : public ::testing::TestWithParam<ErrorCase> {};

TEST_P(SettingsReadErrors, CarryTheirMessage) {
    ByteVec bytes = B{}("TPF0").s("s_TVexelProjector").s("").v;
    bytes.insert(bytes.end(), GetParam().entries.begin(), GetParam().entries.end());
    s_TVexelProjector p;
    TMemoryStream in(bytes);
    try {
        ReadComponentFromStream(in, p);
        FAIL() << "no error";
    } catch (const EReadError& e) {
        EXPECT_EQ(std::string(e.what()), GetParam().message);
    }
}

INSTANTIATE_TEST_SUITE_P(
    All, SettingsReadErrors,
    ::testing::Values(
        ErrorCase{"EnumFromInteger", B{}.s("WindowSize")({2, 1}).v,
                  "Error reading s_TVexelProjector.WindowSize: Invalid property value"},
        ErrorCase{"UnknownEnumIdent", B{}.s("BorderStyle")({7}).s("spbFancy").v,
                  "Error reading s_TVexelProjector.BorderStyle: Invalid property value"},
        ErrorCase{"StringFromBoolean", B{}.s("CaptionText")({9}).v,
                  "Error reading s_TVexelProjector.CaptionText: Invalid property value"},
        ErrorCase{"PathThroughInteger", B{}.s("WindowX.Y")({2, 0}).v,
                  "Error reading s_TVexelProjector.WindowX.Y: Invalid property path"},
        ErrorCase{"PathThroughMissing", B{}.s("Nope.Y")({2, 0}).v,
                  "Error reading s_TVexelProjector.Nope.Y: Property does not exist"},
        ErrorCase{"NilIntoOwnedObject", B{}.s("MainFile")({13}).v,
                  "Error reading s_TVexelProjector.MainFile: Invalid property value"},
        ErrorCase{"UnknownMethod", B{}.s("OnProjectorClose")({7}).s("Closed").v,
                  "Error reading s_TVexelProjector.OnProjectorClose: Invalid property value"},
        ErrorCase{"DataNotBinary", B{}.s("MainFile.Data")({6}).s("x").v,
                  "Error reading s_TVexelProjector.MainFile.Data: Invalid property value"},
        ErrorCase{"LongStringBeyondEnd", B{}.s("CaptionText")({12}).u32(0x7FFFFFFF)("abc").v,
                  "Error reading s_TVexelProjector.CaptionText: Stream read error"},
        ErrorCase{"BinaryBeyondEnd", B{}.s("MainFile.Data")({10}).u32(0xFFFFFFF0)("abc").v,
                  "Error reading s_TVexelProjector.MainFile.Data: Stream read error"},
        ErrorCase{"TruncatedInteger", B{}.s("WindowX")({4, 1, 2}).v,
                  "Error reading s_TVexelProjector.WindowX: Stream read error"},
        ErrorCase{"MissingEnd", B{}.s("WindowX")({2, 1}).v, "Stream read error"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(SettingsStream, EmptyCollectionValueKeepsItems) {
    s_TVexelProjector p;
    p.Files().Add().SetFilename("/nonexistent/a.txt");
    ByteVec bytes = B{}("TPF0").s("s_TVexelProjector").s("").s("Files")({0x0E, 0})({0, 0}).v;
    TMemoryStream in(bytes);
    ReadComponentFromStream(in, p);
    ASSERT_EQ(p.Files().Count(), 1);
    EXPECT_EQ(p.Files().Items(0).Filename(), "/nonexistent/a.txt");
}

TEST(SettingsStream, IdentifiersAndTagsAreMatchedWithoutCase) {
    ByteVec bytes = B{}("TPF0").s("s_TVexelProjector").s("")
                        .s("windowsize")({7}).s("SPSMAXIMIZED")
                        .s("STAYONTOP")({9})
                        .s("closeonescape")({7}).s("false")({0, 0})
                        .v;
    s_TVexelProjector p;
    TMemoryStream in(bytes);
    ReadComponentFromStream(in, p);
    EXPECT_EQ(p.WindowSize, TspSize::spsMaximized);
    EXPECT_TRUE(p.StayOnTop);
    EXPECT_FALSE(p.CloseOnEscape);
}

TEST(SettingsStream, TextsAreUtf8InsideAndWindows1252InTheStream) {
    s_TVexelProjector p;
    p.CaptionText = "Caf\xc3\xa9 \xe2\x82\xac";  // "Café €"
    ByteVec bytes = WriteToBytes(p);
    const ByteVec entry = B{}.s("CaptionText")({6}).s("Caf\xe9 \x80").v;
    EXPECT_NE(std::search(bytes.begin(), bytes.end(), entry.begin(), entry.end()), bytes.end());
    s_TVexelProjector back;
    TMemoryStream in(bytes);
    ReadComponentFromStream(in, back);
    EXPECT_EQ(back.CaptionText, p.CaptionText);

    // What the code page cannot hold is refused by name, never stored as '?'.
    p.CaptionText = "\xe4\xb8\xad\xe6\x96\x87";
    p.MainFile().SetFilenameOnly("/tmp/\xd0\x9f\xd1\x80\xd0\xbe/movie.exe");
    try {
        WriteToBytes(p);
        FAIL();
    } catch (const ETextEncodingError& e) {
        EXPECT_EQ(std::string(e.what()).rfind("MainFile.Filename: \"/tmp/\xd0\x9f\xd1\x80\xd0\xbe/movie.exe\"", 0), 0u)
            << e.what();
    }
    p.MainFile().SetFilenameOnly("");
    try {
        WriteToBytes(p);
        FAIL();
    } catch (const ETextEncodingError& e) {
        EXPECT_STREQ(e.what(), "CaptionText: \"\xe4\xb8\xad\xe6\x96\x87\" cannot be stored: \"\xe4\xb8\xad\" is not a "
                               "character of the Windows-1252 code page");
    }
}

TEST(SettingsStream, OwnedObjectsAreNeverReplacedByAReference) {
    for (ByteVec value : {ByteVec{7, 3, 'F', 'o', 'o'}, ByteVec{13}}) {
        B b;
        b("TPF0").s("s_TVexelProjector").s("").s("MainFile");
        b.v.insert(b.v.end(), value.begin(), value.end());
        b({0, 0});
        s_TVexelProjector p;
        TPackedFile* before = &p.MainFile();
        TMemoryStream in(b.v);
        try {
            ReadComponentFromStream(in, p);
            FAIL();
        } catch (const EReadError& e) {
            EXPECT_STREQ(e.what(), "Error reading s_TVexelProjector.MainFile: Invalid property value");
        }
        EXPECT_EQ(&p.MainFile(), before);
    }
}

TEST(SettingsStream, ClassesAreRegisteredOnceByTheFirstObject) {
    s_TVexelProjector p;
    for (const char* name : {"s_TVexelProjector", "TStoreWinRegion", "TRegionType"})
        EXPECT_NE(FindClassInfo(name), nullptr) << name;
    EXPECT_EQ(&p.classInfo(), &s_TVexelProjector::StaticClassInfo());
}

}  // namespace
}  // namespace vs
