// Finding the settings in built projectors and project files, the Tools
// folder, and the names under which packed files are extracted.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>

#include "package/describe.h"
#include "package/filer.h"
#include "package/package_file.h"
#include "package/vexel_projector.h"
#include "platform/errors.h"

namespace vs {
namespace {

namespace fs = std::filesystem;

TEST(Package, AppendedStreamIsFoundThroughTheTrailingOffset) {
    s_TVexelProjector a;
    a.CaptionText = "Demo";
    TMemoryStream ms;
    ms.WriteBuffer("MZ engine bytes", 15);
    std::int64_t offset = AppendPackage(ms, a);
    EXPECT_EQ(offset, 15);
    const auto& bytes = ms.buffer();
    std::uint32_t trailer;
    std::memcpy(&trailer, bytes.data() + bytes.size() - 4, 4);
    EXPECT_EQ(trailer, 15u);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(bytes.data()) + 15, 4), "TPF0");

    LocatedSettings where = LocateSettings(ms);
    EXPECT_EQ(where.source, SettingsSource::Projector);
    EXPECT_EQ(where.offset, 15);
    ms.SetPosition(where.offset);
    s_TVexelProjector b;
    ReadComponentFromStream(ms, b);
    EXPECT_EQ(b.CaptionText, "Demo");
}

TEST(Package, ProjectFileAndOtherFiles) {
    s_TVexelProjector a;
    TMemoryStream project;
    WriteComponentToStream(project, a);
    project.WriteBuffer("more records", 12);
    EXPECT_EQ(LocateSettings(project).source, SettingsSource::Project);

    for (std::string junk : {std::string(), std::string("MZ"), std::string("MZ\0\0\0\0\0\0\0\0", 10),
                             std::string("MZ\xff\xff\xff\x7f", 6)}) {
        TMemoryStream ms(std::vector<std::uint8_t>(junk.begin(), junk.end()));
        try {
            LocateSettings(ms);
            FAIL() << junk.size();
        } catch (const EReadError& e) {
            EXPECT_STREQ(e.what(), "Invalid stream format");
        }
    }
}

TEST(Package, ToolsFolderIsFoundWithoutRegardToCase) {
    fs::path dir = fs::temp_directory_path() / ("vs_tools_" + std::to_string(::getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir / "tools");
    std::ofstream(dir / "tools" / "MHPROC.DLL") << "x";
    // The name found names the file (on a file system that ignores case, the
    // asked-for spelling already does).
    EXPECT_TRUE(fs::equivalent(ToolsFile(dir.string(), "mhproc.dll"), dir / "tools" / "MHPROC.DLL"));
    EXPECT_EQ(ToolsFile(dir.string(), "VSP.exe"), (dir / "tools" / "VSP.exe").string());
    EXPECT_EQ(ToolsFile(dir.string(), "VSP.exe", ToolsFamily::I686), (dir / "tools" / "VSP.exe").string());

    // The 64-bit family: the x64 folder inside, its name matched the same way,
    // and formed in the usual spelling while it is missing.
    EXPECT_EQ(ToolsFile(dir.string(), "VSengine.exe", ToolsFamily::X86_64),
              (dir / "tools" / "x64" / "VSengine.exe").string());
    fs::create_directories(dir / "tools" / "X64");
    std::ofstream(dir / "tools" / "X64" / "VSENGINE.EXE") << "x";
    EXPECT_TRUE(fs::equivalent(ToolsFile(dir.string(), "VSengine.exe", ToolsFamily::X86_64),
                               dir / "tools" / "X64" / "VSENGINE.EXE"));
    const fs::path library = ToolsFile(dir.string(), "mhproc.dll", ToolsFamily::X86_64);
    EXPECT_TRUE(fs::equivalent(library.parent_path(), dir / "tools" / "X64")) << "the 32-bit library is not taken";
    EXPECT_EQ(library.filename(), "mhproc.dll");
    fs::remove_all(dir);
}

TEST(Package, ExtractNamesStayInsideTheFolder) {
    EXPECT_EQ(SafeExtractName("C:\\Movies\\intro.exe"), "intro.exe");
    EXPECT_EQ(SafeExtractName("/home/u/a.swf"), "a.swf");
    EXPECT_EQ(SafeExtractName("plain.txt"), "plain.txt");
    EXPECT_EQ(SafeExtractName("..\\..\\etc\\passwd"), "passwd");
    EXPECT_EQ(SafeExtractName("C:\\dir\\"), "");
    EXPECT_EQ(SafeExtractName(".."), "");
    EXPECT_EQ(SafeExtractName("a\\.."), "");
    EXPECT_EQ(SafeExtractName("C:evil"), "");
    EXPECT_EQ(SafeExtractName(std::string("a\nb", 3)), "");
}

TEST(Package, DescriptionsNameEveryProperty) {
    s_TVexelProjector p;
    p.CaptionText = "Caf\xc3\xa9";  // texts inside the program are UTF-8
    std::string text = DescribeSettings(p);
    for (const PropInfo& prop : s_TVexelProjector::StaticClassInfo().props)
        EXPECT_NE(text.find(prop.name), std::string::npos) << prop.name;
    EXPECT_NE(text.find("CaptionText = 'Caf\xc3\xa9'"), std::string::npos);
    std::string json = DescribeSettingsJson(p);
    EXPECT_NE(json.find("\"PositionH\": \"spphRight\""), std::string::npos);
    EXPECT_NE(json.find("\"StayOnTop\": false"), std::string::npos);
    EXPECT_NE(json.find("\"Shape\": {\"Width\": 0, \"Height\": 0, \"Rects\": []}"), std::string::npos);
    EXPECT_NE(json.find("\"MainFile\": {\"Filename\": \"\", \"Filesize\": 0, \"CompressMode\": 0, \"DataSize\": 0}"),
              std::string::npos);
    EXPECT_EQ(JsonQuote("a\"b\\\x01"), "\"a\\\"b\\\\\\u0001\"");
}

}  // namespace
}  // namespace vs
