// The settings file of the native window: the INI text both windows of the
// generator read, and what the store does with the file on disk.
#include <gtest/gtest.h>

#include <windows.h>

#include <filesystem>
#include <fstream>

#include "gui/win32/win32_ports.h"
#include "platform/errors.h"

namespace fs = std::filesystem;
using vs::win32::IniSettingsStore;

namespace {

std::string ReadText(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

fs::path FreshFolder(const char* name) {
    const fs::path dir = fs::temp_directory_path() / name;
    fs::remove_all(dir);
    fs::create_directories(dir);
    return dir;
}

}  // namespace

TEST(IniSettingsStore, TextIsTheIniFormOfTheOtherWindow) {
    IniSettingsStore::Sections sections;
    sections["Values"]["edFlashProjector.FileName"] = "C:\\Movies\\a,b.exe";
    sections["Values"]["OpenIcon.FileName"] = " lead\"quote";
    sections["Values"]["SaveSample.FileName"] = "caf\xC3\xA9\n\x01" "2";
    sections["Window.TfVexelSCREEN"]["Left"] = "-8";
    sections["Window.TfVexelSCREEN"]["Maximized"] = "0";
    const std::string text = IniSettingsStore::Format(sections);
    EXPECT_EQ(text,
              "[Values]\r\n"
              "OpenIcon.FileName=\" lead\\\"quote\"\r\n"
              "SaveSample.FileName=caf\xC3\xA9\\n\\x1\\x32\r\n"
              "edFlashProjector.FileName=\"C:\\\\Movies\\\\a,b.exe\"\r\n"
              "\r\n"
              "[Window.TfVexelSCREEN]\r\n"
              "Left=-8\r\n"
              "Maximized=0\r\n");
    EXPECT_EQ(IniSettingsStore::Parse(text), sections);

    // As the other window writes it: line feeds, a byte-order mark, comments,
    // blanks around the equals sign, hexadecimal and octal escapes.
    const auto read = IniSettingsStore::Parse(
        "\xEF\xBB\xBF; remembered names\n[Values]\nedFlashProjector.FileName = C:\\\\x\\\\y.exe\n"
        "OutputProjector.FileName=\"a;b \"\nSaveProject.FileName=\\x41\\102\n");
    EXPECT_EQ(read.at("Values").at("edFlashProjector.FileName"), "C:\\x\\y.exe");
    EXPECT_EQ(read.at("Values").at("OutputProjector.FileName"), "a;b ");
    EXPECT_EQ(read.at("Values").at("SaveProject.FileName"), "AB");
}

TEST(IniSettingsStore, KeepsValuesAndPlacementsAndLosesNothingOnAFailedReadOrWrite) {
    const fs::path dir = FreshFolder("vs-settings-store-test");
    const fs::path file = dir / "sub" / "VexelSCREEN.dat";
    IniSettingsStore store(file.string());
    EXPECT_FALSE(store.value("edFlashProjector.FileName"));
    EXPECT_FALSE(store.placement("TfVexelSCREEN"));

    // The folder is made on the first write; every write keeps the rest.
    store.setValue("edFlashProjector.FileName", "C:\\p\\Sample Projector.exe");
    store.setPlacement("TfVexelSCREEN", {10, 20, 900, 600, true});
    store.setValue("OutputProjector.FileName", "out.exe");
    EXPECT_EQ(store.value("edFlashProjector.FileName"), "C:\\p\\Sample Projector.exe");
    EXPECT_EQ(store.value("OutputProjector.FileName"), "out.exe");
    EXPECT_EQ(store.placement("TfVexelSCREEN"), (vs::WindowPlacement{10, 20, 900, 600, true}));
    EXPECT_FALSE(store.placement("TfShapeSelect"));

    // A placement of the position alone is written as Left and Top only, and
    // replaces the size an older placement of that window left.
    store.setPlacement("TfShapeSelect", {5, 6, 700, 500, false});
    store.setPlacement("TfShapeSelect", {-30, 40, 0, 0, false, false});
    const std::string text = ReadText(file);
    EXPECT_NE(text.find("[Window.TfShapeSelect]\r\nLeft=-30\r\nTop=40\r\n\r\n[Window.TfVexelSCREEN]\r\n"),
              std::string::npos)
        << text;
    EXPECT_EQ(store.placement("TfShapeSelect"), (vs::WindowPlacement{-30, 40, 0, 0, false, false}));
    EXPECT_EQ(store.placement("TfVexelSCREEN"), (vs::WindowPlacement{10, 20, 900, 600, true}));

    // A damaged placement is none at all.
    std::ofstream(dir / "damaged.dat") << "[Window.TfShapeSelect]\nLeft=1\nTop=2\nWidth=x\nHeight=4\nMaximized=0\n";
    EXPECT_FALSE(IniSettingsStore((dir / "damaged.dat").string()).placement("TfShapeSelect"));
    std::ofstream(dir / "maximized.dat") << "[Window.TfShapeSelect]\nLeft=1\nTop=2\nWidth=3\nHeight=4\nMaximized=2\n";
    EXPECT_FALSE(IniSettingsStore((dir / "maximized.dat").string()).placement("TfShapeSelect"));

    // A write of the file that fails (another program reads it and lets no
    // one replace it meanwhile) is reported by name, and the file stays as it
    // was, with nothing left beside it.
    const std::string before = ReadText(file);
    const std::wstring wide = file.wstring();
    HANDLE reading = CreateFileW(wide.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                 FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(reading, INVALID_HANDLE_VALUE);
    try {
        store.setValue("edFlashProjector.FileName", "x");
        ADD_FAILURE() << "a settings file in use was replaced";
    } catch (const vs::EFCreateError& e) {
        EXPECT_EQ(std::string(e.what()), "Cannot create file " + file.string());
    }
    CloseHandle(reading);
    EXPECT_EQ(ReadText(file), before);
    EXPECT_EQ(std::distance(fs::directory_iterator(file.parent_path()), fs::directory_iterator()), 1);

    // A file that another program holds so that it cannot be read (a backup
    // or a virus scanner), though it could be replaced, is not an empty one:
    // it gives no values while held, and nothing is written over it.
    HANDLE held = CreateFileW(wide.c_str(), GENERIC_READ, FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    EXPECT_FALSE(store.value("OutputProjector.FileName"));
    store.setValue("OutputProjector.FileName", "other.exe");
    store.setPlacement("TfShapeSelect", {1, 2, 0, 0, false, false});
    CloseHandle(held);
    EXPECT_EQ(ReadText(file), before);
    EXPECT_EQ(store.value("OutputProjector.FileName"), "out.exe");
    EXPECT_EQ(store.placement("TfVexelSCREEN"), (vs::WindowPlacement{10, 20, 900, 600, true}));
    fs::remove_all(dir);
}
