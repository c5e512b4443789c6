// `vexelscreen region` on bitmaps made by the tests.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

#include "cli_support.h"
#include "support/bmp_builder.h"

namespace vs {
namespace {

namespace fs = std::filesystem;
using test::RunCli;

constexpr std::uint32_t kW = 0xFFFFFF;  // white background
constexpr std::uint32_t kR = 0xCC0000;

class RegionCommand : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() / ("vs_e2e_region_" + std::to_string(::getpid()) + "_" +
                                            ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_);
        // 4 x 3 on white: a red pixel pair in the middle row and one red corner pixel.
        image_ = (dir_ / "shape.bmp").string();
        test::WriteFileBytes(image_, test::MakeBmp({}, 4, 3, {kW, kW, kW, kW,  //
                                                              kW, kR, kR, kW,  //
                                                              kW, kW, kW, kR}));
    }
    void TearDown() override { fs::remove_all(dir_); }

    static std::string Slurp(const fs::path& p) {
        std::ifstream in(p, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), {}};
    }

    fs::path dir_;
    std::string image_;
};

TEST_F(RegionCommand, SummarisesTheShapeOfTheTopLeftColour) {
    auto r = RunCli({"region", image_});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out,
              "Bitmap: 4 x 3 pixels, 24 bits per pixel\n"
              "Transparent colour: FFFFFF (top-left pixel)\n"
              "Rectangles: 2\n"
              "Bounds: 1, 1, 4, 3\n"
              "Visible: 3 of 12 pixels (25.0%)\n");
}

TEST_F(RegionCommand, PrintsTheRectanglesOfAChosenColourAsJson) {
    auto r = RunCli({"region", image_, "--transparent", "cc0000", "--json"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out,
              "{\n"
              "  \"width\": 4,\n"
              "  \"height\": 3,\n"
              "  \"transparent\": \"CC0000\",\n"
              "  \"rectangleCount\": 4,\n"
              "  \"bounds\": [0, 0, 4, 3],\n"
              "  \"visiblePixels\": 9,\n"
              "  \"totalPixels\": 12,\n"
              "  \"rectangles\": [\n"
              "    [0, 0, 4, 1],\n"
              "    [0, 1, 1, 2],\n"
              "    [3, 1, 4, 2],\n"
              "    [0, 2, 3, 3]\n"
              "  ]\n"
              "}\n");

    auto none = RunCli({"region", image_, "--transparent", "#123456", "--json"});
    EXPECT_NE(none.out.find("\"rectangles\": [\n    [0, 0, 4, 3]\n  ]"), std::string::npos) << none.out;
}

TEST_F(RegionCommand, DrawsTheShapeAsSvg) {
    const fs::path svg = dir_ / "shape.svg";
    auto r = RunCli({"region", image_, "--svg", svg.string()});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const std::string text = Slurp(svg);
    EXPECT_EQ(text.rfind("<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"4\" height=\"3\"", 0), 0u) << text;
    EXPECT_NE(text.find("d=\"M1 1h2v1h-2z M3 2h1v1h-1z\""), std::string::npos) << text;
    EXPECT_NE(text.find("</svg>"), std::string::npos);
}

TEST_F(RegionCommand, ReportsBadInputWithoutWritingAnything) {
    const fs::path svg = dir_ / "out.svg";
    const std::string junk = (dir_ / "junk.bmp").string();
    std::ofstream(junk, std::ios::binary) << "BM not really a bitmap";
    auto r = RunCli({"region", junk, "--svg", svg.string()});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "vexelscreen: Bitmap image is not valid\n");
    EXPECT_FALSE(fs::exists(svg));

    auto missing = RunCli({"region", (dir_ / "missing.bmp").string()});
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_NE(missing.err.find("Cannot open file"), std::string::npos);

    auto colour = RunCli({"region", image_, "--transparent", "12345G"});
    EXPECT_EQ(colour.exitCode, 2);
    EXPECT_NE(colour.err.find("RRGGBB"), std::string::npos);
    EXPECT_TRUE(colour.out.empty());
}

}  // namespace
}  // namespace vs
