// Project files: the fixed bytes of their records, saving and loading through
// the model, retrieving missing files, and damaged files.
#include <gtest/gtest.h>

#include <filesystem>

#include "app/project_file.h"
#include "model_fixture.h"
#include "package/filer.h"
#include "support/ico_builder.h"
#include "../package/test_bytes.h"

namespace vs {
namespace {

namespace fs = std::filesystem;
using test::B;
using test::ByteVec;
using test::ModelTest;

ByteVec Record(TComponent& c) {
    TMemoryStream ms;
    WriteComponentToStream(ms, c);
    return ms.release();
}

TEST(ProjectRecords, FileRecordBytes) {
    const auto bytes = EncodeFileRecord({"VexelSCREEN Projector.exe", "", 3});
    ASSERT_EQ(bytes.size(), 513u);
    ByteVec want(513, 0);
    want[0] = 25;
    const std::string name = "VexelSCREEN Projector.exe";
    std::copy(name.begin(), name.end(), want.begin() + 1);
    want[512] = 3;
    EXPECT_EQ(ByteVec(bytes.begin(), bytes.end()), want);
    EXPECT_EQ(DecodeFileRecord(bytes), (ProjectFileRecord{name, "", 3}));

    // Windows-1252 inside, up to 255 characters (counted in that code page);
    // the padding is ignored when read. A longer name is refused, never cut.
    std::string accented = std::string(127, 'x');
    for (int i = 0; i < 128; ++i) accented += "\xc3\xa9";  // 383 bytes of UTF-8, 255 characters
    auto longName = EncodeFileRecord({accented, "C:\\Ic\xc3\xb4ne.ico", 4});
    EXPECT_EQ(longName[0], 255);
    EXPECT_EQ(longName[255], 0xE9);
    EXPECT_EQ(DecodeFileRecord(longName).outputName, accented);
    try {
        EncodeFileRecord({std::string(300, 'x'), "", 3});
        ADD_FAILURE() << "a name of 300 characters was cut";
    } catch (const VsError& e) {
        EXPECT_NE(std::string(e.what()).find("has 300 characters; a project keeps names of up to 255"),
                  std::string::npos) << e.what();
    }
    EXPECT_EQ(longName[256], 12);
    EXPECT_EQ(longName[256 + 6], 0xF4);
    longName[256 + 20] = 'J';  // padding
    EXPECT_EQ(DecodeFileRecord(longName).iconName, "C:\\Ic\xc3\xb4ne.ico");
    EXPECT_THROW(EncodeFileRecord({"\xe6\xbc\xa2.exe", "", 3}), ETextEncodingError);
}

TEST(ProjectRecords, ImageControlBytes) {
    TImage shape;
    const ByteVec bmp = {'B', 'M', 1, 2, 3};
    MakeShapeImageRecord(shape, &bmp, 300, 200);
    EXPECT_EQ(Record(shape), (B{}("TPF0").s("TImage").s("ShapeImage")
                                  .s("Left")({2, 0}).s("Top")({2, 0})
                                  .s("Width")({3, 0x2C, 0x01}).s("Height")({3, 0xC8, 0x00})
                                  .s("Cursor")({7}).s("crCross")
                                  .s("AutoSize")({9})
                                  .s("Picture.Data")({10}).u32(1 + 7 + 4 + 5).s("TBitmap").u32(5)({'B', 'M', 1, 2, 3})
                                  ({0, 0})
                                  .v));
    TImage icon;
    MakeIconImageRecord(icon, {0, 0, 1, 0});
    EXPECT_EQ(Record(icon), (B{}("TPF0").s("TImage").s("imIcon")
                                 .s("Left")({2, 16}).s("Top")({2, 112})
                                 .s("Width")({2, 32}).s("Height")({2, 32})
                                 .s("Picture.Data")({10}).u32(1 + 5 + 4).s("TIcon")({0, 0, 1, 0})
                                 ({0, 0})
                                 .v));
    // Read back, and a record without a picture.
    TImage back;
    TMemoryStream ms(Record(shape));
    ReadImageRecord(ms, back);
    EXPECT_EQ(back.Name(), "ShapeImage");
    EXPECT_EQ(back.Cursor, crCross);
    EXPECT_TRUE(back.AutoSize);
    EXPECT_EQ(back.Picture().graphicFile, bmp);
    TImage bare("ShapeImage");
    MakeShapeImageRecord(bare, nullptr, 300, 200);
    EXPECT_EQ(Record(bare).size(), Record(shape).size() - (1 + 12 + 1 + 4 + 1 + 7 + 4 + 5)) << "no Picture.Data";
    // A graphic of another class, or a count beyond its data, is refused.
    for (ByteVec payload : {B{}.s("TJPEGImage")({1, 2}).v, B{}.s("TBitmap").u32(99)({1}).v}) {
        B rec;
        rec("TPF0").s("TImage").s("x").s("Picture.Data")({10}).u32(static_cast<std::uint32_t>(payload.size()));
        rec.v.insert(rec.v.end(), payload.begin(), payload.end());
        rec({0, 0});
        TImage bad;
        TMemoryStream in(rec.v);
        EXPECT_THROW(ReadImageRecord(in, bad), EReadError);
    }
}

class ProjectTest : public ModelTest {
protected:
    TfVexelSCREENModel& Ready() {
        TfVexelSCREENModel& m = Started();
        m.DragDropPorjectorFileDropped(Projector());
        return m;
    }
    void Save(TfVexelSCREENModel& m, const std::string& name) {
        ui.fileAnswers.push_back(name);
        m.SaveasClick();
    }
    void Load(TfVexelSCREENModel& m, const std::string& name) {
        ui.fileAnswers.push_back(name);
        m.LoadClick();
    }
};

TEST_F(ProjectTest, PartsInOrderAndTheSameBytesAgain) {
    TfVexelSCREENModel& m = Ready();
    const std::string extra = Text(Path("extra.txt"), "extra");
    m.paAddFilesFileDropped(extra);
    Save(m, Path("p.vsp"));
    EXPECT_EQ(m.caption, "[p.vsp]  VexelSCREEN 1.0");
    EXPECT_EQ(m.lbBusyLabel.caption, "Please hold while VexelSCREEN is saving your project...");
    EXPECT_EQ(ui.dialogs.back().filter, "VexelSCREEN Project|*.vsp");
    EXPECT_TRUE(ui.dialogs.back().overwritePrompt);

    // Parts 1, 3, 4 and 5; no shape, no part 2.
    const ByteVec file = Slurp(Path("p.vsp"));
    TMemoryStream ms(file);
    s_TVexelProjector s;
    ReadProjectSettings(ms, s, {});
    EXPECT_EQ(s.MainFile().Filename(), Path("movie.exe"));
    EXPECT_EQ(s.MainFile().CompressMode, 0) << "a save packs at the modes the objects hold";
    EXPECT_EQ(s.Files().Items(0).Filename(), extra);
    const TVersionInfoRec rec = ReadVersionRecord(ms);
    EXPECT_EQ(rec.strings[2].length, 32);
    EXPECT_EQ(std::string(rec.strings[2].text, 32), "VexelSCREEN Flash Projector File");
    EXPECT_EQ(rec.major, 1);
    TImage icon;
    ReadImageRecord(ms, icon);
    EXPECT_EQ(icon.Name(), "imIcon");
    EXPECT_EQ(icon.Picture().graphicClass, "TIcon");
    const ProjectFileRecord record = ReadFileRecord(ms);
    EXPECT_EQ(record, (ProjectFileRecord{"VexelSCREEN Projector.exe", "", 3}));
    EXPECT_EQ(ms.Position(), ms.Size());

    // Loaded and saved again, the same bytes.
    MakeModel();
    TfVexelSCREENModel& again = Started();
    Load(again, Path("p.vsp"));
    EXPECT_TRUE(ui.texts("error").empty());
    EXPECT_EQ(again.edFlashProjector.fileName, Path("movie.exe"));
    ASSERT_EQ(again.lvAddFiles.items.size(), 1u);
    Save(again, Path("q.vsp"));
    EXPECT_EQ(Slurp(Path("q.vsp")), file);
}

TEST_F(ProjectTest, ControlsComeBackAsTheyWereOrAsTheRulesSay) {
    TfVexelSCREENModel& m = Ready();
    m.rbUseFlash.setChecked(true);
    m.rbBorderOnly.setChecked(true);
    m.rbLDrag.setChecked(true);
    m.cbVarFile.setChecked(true);
    m.edCaption.text = "My movie";
    m.pgDateTime.value(4) = "Hours";
    m.seVI_4.setValue(12);
    m.tbCompression.setPosition(4);
    m.OutputProjector.fileName = Path("built.exe");
    Save(m, Path("p.vsp"));

    MakeModel();
    TfVexelSCREENModel& l = Started();
    Load(l, Path("p.vsp"));
    EXPECT_TRUE(l.rbCustomSize.checked()) << "\"Use Flash movie's size\" comes back as \"Use custom\"";
    EXPECT_FALSE(l.rbUseFlash.checked());
    EXPECT_TRUE(l.rbBorderOnly.checked());
    EXPECT_TRUE(l.rbLDrag.checked());
    EXPECT_TRUE(l.cbVarFile.checked());
    EXPECT_EQ(l.edCaption.text, "My movie");
    EXPECT_EQ(l.pgDateTime.value(4), "Hours");
    EXPECT_EQ(l.seVI_4.value(), 12);
    EXPECT_EQ(l.tbCompression.position, 4);
    EXPECT_EQ(l.OutputProjector.fileName, Path("built.exe"));
    EXPECT_EQ(l.caption, "[p.vsp]  VexelSCREEN 1.0");
    EXPECT_EQ(l.pgMovieInfo.value(6), "Yes") << "the projector is inspected";
    EXPECT_FALSE(l.updating);
    EXPECT_EQ(l.Settings().CaptionText, "My movie");
}

TEST_F(ProjectTest, AWidthBelowTheLimitComesBackAsTheLimit) {
    TfVexelSCREENModel& m = Ready();
    m.afterMapping = [](s_TVexelProjector& s) { s.WindowWidth = 20; };
    Save(m, Path("p.vsp"));
    MakeModel();
    TfVexelSCREENModel& l = Started();
    Load(l, Path("p.vsp"));
    EXPECT_EQ(l.seWidth.value(), 55);
    EXPECT_EQ(l.Settings().WindowWidth, 55) << "loading ends with the mapping";
}

TEST_F(ProjectTest, ShapesAndTheWorkingShape) {
    TfVexelSCREENModel& m = Ready();
    TakeShape(ShapeBitmap("shape.bmp", 60, 40));
    Save(m, Path("shaped.vsp"));
    m.rbRectangle.setChecked(true);
    Save(m, Path("plain.vsp"));

    MakeModel();
    TfVexelSCREENModel& l = Started();
    Load(l, Path("shaped.vsp"));
    EXPECT_TRUE(l.rbShape.checked());
    ASSERT_TRUE(l.fShapeSelect.ShapeImage.picture);
    EXPECT_EQ(l.fShapeSelect.ShapeImage.picture->Width(), 60);
    EXPECT_TRUE(l.fShapeSelect.ShapeRegion.RegionHolder().Handle());
    EXPECT_EQ(l.Settings().WindowWidth, 60);

    // A project without a shape, while the shape window still holds one: the
    // shape goes into the loaded settings.
    Load(l, Path("plain.vsp"));
    EXPECT_FALSE(l.Settings().Shape().Empty());
    EXPECT_EQ(l.Settings().Shape().Width, 60);
}

TEST_F(ProjectTest, MissingFilesAreRetrievedOrRemoved) {
    TfVexelSCREENModel& m = Ready();
    const std::string keep = Text(Path("keep.txt"), "keep"), gone = Text(Path("gone.txt"), "gone");
    auto icon = test::DibIcon(32, 32, 24, {}, [](int, int) { return 0xFF112233u; });
    const std::string ico = Path("icon.ico");
    test::WriteBytes(ico, test::IcoFile({icon}));
    m.OpenIconDropFiles(ico);
    m.AddAddFiles({keep, gone});
    Save(m, Path("p.vsp"));
    fs::remove(gone);
    fs::remove(keep);
    fs::remove(ico);

    MakeModel();
    TfVexelSCREENModel& l = Started();
    // The icon: retrieved. "keep.txt": retrieved into another folder. "gone.txt": declined.
    ui.fileAnswers = {Path("p.vsp"), Path("icon again.ico"), Path("keep2.txt")};
    ui.answers = {true, true, false};
    l.LoadClick();
    const std::string tail = " used by this project\rcouldn't be found locally.\r\rWould you like to retrieve the the file "
                             "as it is stored within the project file?";
    EXPECT_EQ(ui.texts("confirm"), (std::vector<std::string>{"The icon file \"" + ico + "\"" + tail,
                                                              "The file \"" + keep + "\"" + tail,
                                                              "The file \"" + gone + "\"" + tail}));
    EXPECT_EQ(ui.texts("warning"),
              std::vector<std::string>{"Since " + gone + " couldn't be found,\rit has been removed from this project."});
    EXPECT_EQ(l.OpenIcon.fileName, Path("icon again.ico"));
    EXPECT_EQ(Slurp(Path("icon again.ico")), test::IcoFile({icon})) << "the icon file as it was chosen";
    ASSERT_EQ(l.lvAddFiles.items.size(), 1u);
    EXPECT_EQ(l.lvAddFiles.items[0].fullPath, Path("keep2.txt"));
    EXPECT_EQ(Slurp(Path("keep2.txt")), (ByteVec{'k', 'e', 'e', 'p'}));

    // Cancelling the dialog removes it too, with the name in quotes; the next
    // saved project no longer has the declined file.
    Save(l, Path("p2.vsp"));
    TFileStream in(Path("p2.vsp"), FileMode::OpenRead);
    ProjectContents c = ReadProjectFile(in);
    ASSERT_EQ(c.settings->Files().Count(), 1);
    EXPECT_EQ(c.settings->Files().Items(0).Filename(), Path("keep2.txt"));

    fs::remove(Path("keep2.txt"));
    MakeModel();
    TfVexelSCREENModel& c2 = Started();
    ui.messages.clear();
    ui.fileAnswers = {Path("p2.vsp")};
    ui.answers = {true};
    c2.LoadClick();
    EXPECT_EQ(ui.texts("warning").back(),
              "Since \"" + Path("keep2.txt") + "\" couldn't be found,\rit has been removed from this project.");
}

TEST_F(ProjectTest, TheWindowNeverWritesOverAnInput) {
    TfVexelSCREENModel& m = Ready();
    const std::string extra = Text(Path("extra.txt"), "extra");
    fs::create_directory(Path("sub"));
    m.AddAddFiles({extra});
    const ByteVec movie = Slurp(Projector());
    auto refusedNaming = [&](const std::string& name) {
        const auto errors = ui.texts("error");
        return !errors.empty() && errors.back().find(name) != std::string::npos &&
               errors.back().find("Nothing was written") != std::string::npos;
    };

    ui.fileAnswers = {Path("sub/../movie.exe")};
    m.Run([&] { m.SaveasClick(); });
    EXPECT_TRUE(refusedNaming("movie.exe")) << "save over the projector";
    ui.fileAnswers = {Path("sub/../movie.exe")};
    m.Run([&] { m.btCreateSampleVarClick(); });
    EXPECT_TRUE(refusedNaming("movie.exe")) << "the sample variable file over the projector";
    m.OutputProjector.fileName = Path("sub/../extra.txt");
    m.Run([&] { m.qbtBuildClick(); });
    EXPECT_TRUE(refusedNaming("extra.txt")) << "build over an additional file";
    EXPECT_EQ(Slurp(Path("movie.exe")), movie);
    EXPECT_EQ(Slurp(extra), (ByteVec{'e', 'x', 't', 'r', 'a'}));
    EXPECT_TRUE(ui.texts("confirm").empty()) << "no run question after a refused build";

    // The loaded project is an input of a build, and no retrieval lands on it.
    Save(m, Path("p.vsp"));
    const ByteVec project = Slurp(Path("p.vsp"));
    fs::remove(extra);
    MakeModel();
    TfVexelSCREENModel& l = Started();
    ui.fileAnswers = {Path("p.vsp"), Path("p.vsp")};
    ui.answers = {true};
    l.LoadClick();
    EXPECT_TRUE(ui.texts("error").back().find("is the project being loaded") != std::string::npos);
    EXPECT_TRUE(l.lvAddFiles.items.empty()) << "as if declined";
    l.OutputProjector.fileName = Path("p.vsp");
    l.Run([&] { l.qbtBuildClick(); });
    EXPECT_TRUE(refusedNaming("p.vsp")) << "build over the loaded project";
    EXPECT_EQ(Slurp(Path("p.vsp")), project);
}

TEST_F(ProjectTest, DamagedFilesGiveTheLoadErrorAndTheDefaults) {
    TfVexelSCREENModel& m = Ready();
    TakeShape(ShapeBitmap("shape.bmp", 30, 20));
    m.edCaption.text = "saved";
    Save(m, Path("p.vsp"));
    const ByteVec good = Slurp(Path("p.vsp"));

    std::vector<ByteVec> damaged;
    for (std::size_t cut : {std::size_t{0}, std::size_t{3}, std::size_t{40}, good.size() / 3, good.size() / 2,
                            good.size() - 600, good.size() - 1})
        damaged.emplace_back(good.begin(), good.begin() + static_cast<long>(cut));
    ByteVec flipped = good;
    for (std::size_t i = 4; i < flipped.size(); i += 97) flipped[i] ^= 0x5A;
    damaged.push_back(flipped);
    ByteVec huge = good;  // the first binary block claims gigabytes
    for (std::size_t i = 0; i + 4 < huge.size(); ++i)
        if (huge[i] == 10 && huge[i - 1] == 'a') {  // "...Data" 0A
            huge[i + 4] = 0x7F;
            break;
        }
    damaged.push_back(huge);

    int refused = 0;
    for (const ByteVec& bytes : damaged) {
        test::WriteFileBytes(Path("bad.vsp"), bytes);
        MakeModel();
        TfVexelSCREENModel& l = Started();
        ui.messages.clear();
        const std::string before = l.caption;
        Load(l, Path("bad.vsp"));
        const auto errors = ui.texts("error");
        if (bytes.size() == good.size() && bytes == good) continue;
        if (errors.empty()) continue;  // a flip that left the file readable
        ++refused;
        EXPECT_EQ(errors, std::vector<std::string>{"The file is not a VexelSCREEN project file or is corrupted."});
        EXPECT_EQ(l.caption, before);
        EXPECT_FALSE(l.updating);
        EXPECT_EQ(l.pages.activePage(), "pageFiles");
    }
    EXPECT_GE(refused, 8);
    // Not a project at all: the default settings in the controls.
    test::WriteFileBytes(Path("bad.vsp"), {'M', 'Z', 0, 0});
    MakeModel();
    TfVexelSCREENModel& l = Started();
    ui.messages.clear();
    Load(l, Path("bad.vsp"));
    EXPECT_EQ(ui.texts("error").size(), 1u);
    EXPECT_TRUE(l.edCaption.text.empty());
    EXPECT_TRUE(l.rbCustomSize.checked());
    EXPECT_TRUE(l.rbAllignRight.checked()) << "the settings object's own default";
    EXPECT_EQ(l.caption, "VexelSCREEN 1.0");
}

}  // namespace
}  // namespace vs
