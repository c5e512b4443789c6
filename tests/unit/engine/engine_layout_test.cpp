// The rules without a window: tool arguments, the variable file line, the
// window's styles, place, kept ratio and scaled shape.
#include <gtest/gtest.h>

#include "core/tool_args.h"
#include "core/var_file.h"
#include "core/window_layout.h"
#include <cstring>

#include "package/store_win_region.h"

namespace vs::engine {
namespace {

TEST(ToolArguments, FieldsPrintRequestsAndLaunchCandidates) {
    using V = std::vector<std::string>;
    EXPECT_EQ(ToolFields("VSE.exe\tnotepad.exe\treadme.txt"), (V{"notepad.exe", "readme.txt"}));
    EXPECT_EQ(ToolFields("\"C:\\t mp\\VSE.exe\" start.exe\t"), (V{"start.exe", ""}));
    EXPECT_EQ(ToolFields("VSP.exe \"1\t2\t3\t4\t\\\"F=a\\\"\""), (V{"1", "2", "3", "4", "\"F=a\""}));
    EXPECT_EQ(ToolFields("VSP.exe"), V{});

    PrintRequest r = ParsePrintFields({"1", " -2", "x", "40 ", "\"F=My\xFE" "Footer\"", "\"H=\xC3\xBE" "top\"",
                                       "~NODIALOG", "~LANDSCAPE", "~INVERT"});
    EXPECT_EQ(r.left, 1);
    EXPECT_EQ(r.top, -2);
    EXPECT_EQ(r.width, 0);
    EXPECT_EQ(r.height, 40);
    EXPECT_EQ(r.footer, "My Footer");
    EXPECT_EQ(r.header, " top");
    EXPECT_TRUE(r.noDialog && r.landscape && r.invert);
    EXPECT_FALSE(r.fitPage || r.portrait);

    EXPECT_EQ(LaunchCandidates("docs\\a.pdf", "C:\\Proj", "C:\\Temp\\VS-1\\"),
              (V{"C:\\Proj\\docs\\a.pdf", "C:\\Temp\\VS-1\\docs\\a.pdf"}));
    EXPECT_EQ(LaunchCandidates("D:\\x.exe", "C:\\Proj", "C:\\T"), V{"D:\\x.exe"});
    EXPECT_EQ(LaunchCandidates(".\\x.exe", "C:\\Proj", ""), V{"C:\\Proj\\x.exe"});
    EXPECT_EQ(LaunchCandidates("", "C:\\Proj", "C:\\T"), V{});
}

TEST(VarFile, OneLineInTheSettingsNames) {
    s_TVexelProjector s;
    s.DATE_YY = "Date_YY", s.DATE_MM = "Date_MM", s.DATE_DD = "Date_DD", s.TIME_HH = "Time_HH";
    s.TIME_MM = "Time_MM", s.TIME_SS = "Time_SS", s.TIME_MS = "Time_MS";
    EXPECT_EQ(VarFileLine(s, {2001, 3, 5, 9, 7, 3, 45}).bytes(),
              "Date_YY=2001&Date_MM=3&Date_DD=5&Time_HH=9&Time_MM=7&Time_SS=3&Time_MS=45&VexelDateTimeLOADED=1");
    s.DATE_YY = "Ann\xC3\xA9";
    s.TIME_MS.clear();
    EXPECT_EQ(VarFileLine(s, {2024, 12, 31, 23, 59, 59, 999}).bytes(),
              "Ann\xE9=2024&Date_MM=12&Date_DD=31&Time_HH=23&Time_MM=59&Time_SS=59&=999&VexelDateTimeLOADED=1");
    s.DATE_YY = "\xE2\x82\xAC\xE2\x9C\x93";  // the check mark has no Windows-1252 byte
    EXPECT_THROW(VarFileLine(s, {}), ETextEncodingError);
}

TEST(WindowLayout, StylesPlaceRatioAndShape) {
    s_TVexelProjector s;
    const Rect screen{0, 0, 1024, 768}, work{0, 0, 1024, 740};
    EXPECT_EQ(StylesFor(s).style, style::Caption | style::SysMenu | style::MinimizeBox | style::ThickFrame | style::MaximizeBox);
    EXPECT_EQ(StylesFor(s).exStyle, 0u);
    s.BorderStyle = TspBorder::spbNone;
    EXPECT_EQ(StylesFor(s).style, style::Popup);
    EXPECT_EQ(StylesFor(s).exStyle, style::ExToolWindow);
    s.ShowInTaskbar = true;
    EXPECT_EQ(StylesFor(s).exStyle, style::ExAppWindow);
    s.BorderStyle = TspBorder::spbTool;  // the small caption stays, with a task-bar button
    EXPECT_EQ(StylesFor(s).exStyle, style::ExToolWindow | style::ExAppWindow);
    s.BorderStyle = TspBorder::spbBorderOnly;
    s.BorderResizeable = false;
    EXPECT_EQ(StylesFor(s).style, style::Popup | style::Border);

    // Default: 550 x 400, right edge, centred vertically in the work area.
    EXPECT_EQ(PlaceWindow(s, screen, work), (Rect{474, 170, 1024, 570}));
    s.PositionH = TspHPosition::spphNone, s.PositionV = TspVPosition::sppvBottom, s.WindowX = -5;
    EXPECT_EQ(PlaceWindow(s, screen, work), (Rect{-5, 340, 545, 740}));
    s.PositionH = TspHPosition::spphCenter, s.PositionV = TspVPosition::sppvTop;
    EXPECT_EQ(PlaceWindow(s, screen, work), (Rect{237, 0, 787, 400}));
    s.WindowSize = TspSize::spsMaximized;
    EXPECT_EQ(PlaceWindow(s, screen, work), screen);

    EXPECT_EQ(KeepRatio({200, 100}, {200, 100}, {300, 110}).height, 150);
    EXPECT_EQ(KeepRatio({200, 100}, {200, 100}, {205, 160}).width, 320);

    // Region bytes of (0,0)-(10,5) and (0,5)-(3,7), scaled by 0.5: ties go to the even integer.
    auto data = Region::fromRects(std::vector<Rect>{{0, 0, 10, 5}, {0, 5, 3, 7}}).regionData();
    auto half = ScaledRegionData(data, 0.5);
    ASSERT_TRUE(half);
    ASSERT_EQ(half->size(), data.size());
    auto at = [&](std::size_t offset) {
        std::int32_t v;
        std::memcpy(&v, half->data() + offset, 4);
        return v;
    };
    EXPECT_EQ((std::vector<std::int32_t>{at(32), at(36), at(40), at(44), at(48), at(52), at(56), at(60)}),
              (std::vector<std::int32_t>{0, 0, 5, 2, 0, 2, 2, 4}));
    EXPECT_EQ((std::vector<std::int32_t>{at(16), at(20), at(24), at(28)}), (std::vector<std::int32_t>{0, 0, 5, 4}));
    EXPECT_FALSE(ScaledRegionData({1, 2, 3}, 2.0));
}

}  // namespace
}  // namespace vs::engine
