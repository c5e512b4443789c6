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

// A built projector as a signer leaves it: zero bytes to a multiple of 8,
// then a certificate table of one entry, named by the security directory.
struct Signed {
    std::vector<std::uint8_t> bytes;
    std::size_t securityDirectory = 0;  // offset of the directory's two words
};

Signed SignLikeASigner(std::vector<std::uint8_t> bytes, std::size_t securityDirectory, std::size_t certificate = 21) {
    while (bytes.size() % 8) bytes.push_back(0);
    const auto offset = static_cast<std::uint32_t>(bytes.size());
    const auto length = static_cast<std::uint32_t>(8 + certificate);
    const std::uint8_t header[8] = {static_cast<std::uint8_t>(length), 0, 0, 0, 0x00, 0x02, 0x02, 0x00};
    bytes.insert(bytes.end(), header, header + 8);
    for (std::size_t i = 0; i < certificate; ++i) bytes.push_back(static_cast<std::uint8_t>(0x30 + i));
    while (bytes.size() % 8) bytes.push_back(0);
    const auto size = static_cast<std::uint32_t>(bytes.size() - offset);
    std::memcpy(bytes.data() + securityDirectory, &offset, 4);
    std::memcpy(bytes.data() + securityDirectory + 4, &size, 4);
    return {std::move(bytes), securityDirectory};
}

TEST(Package, ASignedProjectorKeepsItsOffsetBeforeTheCertificateTable) {
    for (bool wide : {false, true}) {
        SCOPED_TRACE(wide ? "PE32+" : "PE32");
        // MZ, e_lfanew 0x40, "PE\0\0", a file header, an optional header with
        // 16 data directories, the security directory (index 4) empty.
        const std::size_t optional = 0x40 + 4 + 20, directories = optional + (wide ? 112 : 96);
        std::vector<std::uint8_t> engine(directories + 16 * 8 + 40, 0);
        engine[0] = 'M', engine[1] = 'Z', engine[0x3C] = 0x40;
        std::memcpy(engine.data() + 0x40, "PE\0\0", 4);
        engine[optional] = 0x0B, engine[optional + 1] = wide ? 0x02 : 0x01;
        engine[optional + (wide ? 108 : 92)] = 16;
        for (std::size_t engineTail : {0, 1, 3, 7}) {
            std::vector<std::uint8_t> unsignedBytes = engine;
            unsignedBytes.resize(engine.size() + engineTail, 0xEE);
            s_TVexelProjector settings;
            settings.CaptionText = "Signed";
            TMemoryStream ms;
            ms.WriteBuffer(unsignedBytes.data(), unsignedBytes.size());
            const std::int64_t packageAt = AppendPackage(ms, settings);
            const Signed s = SignLikeASigner(ms.buffer(), directories + 4 * 8);
            TMemoryStream signedFile;
            signedFile.WriteBuffer(s.bytes.data(), s.bytes.size());
            const LocatedSettings where = LocateSettings(signedFile);
            EXPECT_EQ(where.offset, packageAt);
            signedFile.SetPosition(where.offset);
            s_TVexelProjector back;
            ReadComponentFromStream(signedFile, back);
            EXPECT_EQ(back.CaptionText, "Signed");
            const std::optional<CertificateTable> table = FindCertificateTable(signedFile);
            ASSERT_TRUE(table);
            EXPECT_EQ(table->offset + table->size, s.bytes.size());

            // A signature whose last bytes look like an offset is never read as one.
            Signed trap = SignLikeASigner(ms.buffer(), directories + 4 * 8, 28);
            std::memcpy(trap.bytes.data() + trap.bytes.size() - 4, &packageAt, 4);
            TMemoryStream trapFile;
            trapFile.WriteBuffer(trap.bytes.data(), trap.bytes.size());
            EXPECT_EQ(LocateSettings(trapFile).offset, packageAt);
        }
    }
}

TEST(Package, ADamagedCertificateTableIsNamedAndNothingIsReadFromIt) {
    const std::size_t optional = 0x40 + 4 + 20, directories = optional + 96, security = directories + 4 * 8;
    std::vector<std::uint8_t> engine(directories + 16 * 8, 0);
    engine[0] = 'M', engine[1] = 'Z', engine[0x3C] = 0x40;
    std::memcpy(engine.data() + 0x40, "PE\0\0", 4);
    engine[optional] = 0x0B, engine[optional + 1] = 0x01, engine[optional + 92] = 16;
    s_TVexelProjector settings;
    TMemoryStream ms;
    ms.WriteBuffer(engine.data(), engine.size());
    AppendPackage(ms, settings);
    const Signed good = SignLikeASigner(ms.buffer(), security);
    auto expectRefused = [](std::vector<std::uint8_t> bytes, const char* text) {
        SCOPED_TRACE(text);
        TMemoryStream file;
        file.WriteBuffer(bytes.data(), bytes.size());
        try {
            LocateSettings(file);
            ADD_FAILURE() << "accepted";
        } catch (const ECertificateTableError& e) {
            EXPECT_NE(std::string(e.what()).find(text), std::string::npos) << e.what();
        }
    };
    std::vector<std::uint8_t> appended = good.bytes;  // bytes after the table
    appended.insert(appended.end(), {1, 2, 3, 4});
    expectRefused(appended, "does not end the file");
    std::vector<std::uint8_t> outside = good.bytes;
    outside[security + 5] = 0x10;  // a table of over a megabyte
    expectRefused(outside, "lies outside the file");
    std::vector<std::uint8_t> longEntry = good.bytes;
    std::uint32_t tableAt;
    std::memcpy(&tableAt, longEntry.data() + security, 4);
    longEntry[tableAt] = 0xF0;  // an entry longer than the table
    expectRefused(longEntry, "does not fit");
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
