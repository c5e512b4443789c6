// The main window's model: start, the settings mapping and its visibility
// rules, the inspection handler, shapes, icons, additional files, the help
// pages and the date/time sample, driven through scripted ports.
#include <gtest/gtest.h>

#include "model_fixture.h"
#include "platform/cp1252.h"
#include "support/ico_builder.h"

namespace vs {
namespace {

using test::ModelTest;

TEST_F(ModelTest, StartStateAndPages) {
    TfVexelSCREENModel& m = Started();
    EXPECT_EQ(m.caption, "VexelSCREEN 1.0");
    EXPECT_EQ(m.pages.activePage(), "pageFiles");
    EXPECT_EQ(m.headerButtons.down, &m.btFiles);
    EXPECT_TRUE(m.btFiles.enabled && m.btGeneralHelp.enabled && m.btFileMenu.enabled);
    for (Button* b : {&m.btAppearance, &m.btDimensions, &m.btBehaviour, &m.btBuild, &m.qbtVarFile, &m.qbtPrinting,
                      &m.btExec, &m.qbtVarSave, &m.qbtPreview, &m.qbtBuild})
        EXPECT_FALSE(b->enabled) << b->name;
    EXPECT_FALSE(m.Saveas.enabled);
    EXPECT_FALSE(m.paAddFiles.visible);
    EXPECT_TRUE(m.imIcon.icon.HasColorImage()) << "the generator's own icon";
    EXPECT_EQ(m.edGeneralHelp.rtf, "{\\rtf1 VexelScreenGeneral.rtf}");
    EXPECT_TRUE(ui.messages.empty());

    // Each page by its button; the buttons of a group release each other.
    const std::pair<void (TfVexelSCREENModel::*)(), const char*> buttons[] = {
        {&TfVexelSCREENModel::btAppearanceClick, "pageAppearance"}, {&TfVexelSCREENModel::btDimensionsClick, "pageDimensions"},
        {&TfVexelSCREENModel::btBehaviourClick, "pageBehaviour"},   {&TfVexelSCREENModel::btBuildClick, "pageBuild"},
        {&TfVexelSCREENModel::btGeneralHelpClick, "pageGeneralHelp"}, {&TfVexelSCREENModel::qbtVarFileClick, "pageVarFile"},
        {&TfVexelSCREENModel::qbtPrintingClick, "pagePrinting"},     {&TfVexelSCREENModel::btExecClick, "pageExec"},
        {&TfVexelSCREENModel::qbtVarSaveClick, "pageVarSave"},       {&TfVexelSCREENModel::btFilesClick, "pageFiles"}};
    for (auto [click, page] : buttons) {
        (m.*click)();
        EXPECT_EQ(m.pages.activePage(), page);
    }
    EXPECT_EQ(m.headerButtons.down, &m.btFiles);
    EXPECT_EQ(m.bottomButtons.down, &m.qbtVarSave);
    m.btFileMenuClick();
    m.About1Click();
    m.Close1Click();
    EXPECT_EQ(host.log, (std::vector<std::string>{"file menu", "about", "close"}));
}

TEST_F(ModelTest, InspectionHandlerAndDrops) {
    TfVexelSCREENModel& m = Started();
    m.DragDropPorjectorFileDropped(Projector());
    EXPECT_EQ(m.pgMovieInfo.value(0), "550");
    EXPECT_EQ(m.pgMovieInfo.value(6), "Yes");
    EXPECT_EQ(m.pgMovieInfo.value(7), "Yes");
    EXPECT_EQ(m.pgMovieInfo.value(8), "No");
    EXPECT_TRUE(m.Settings().HasPrint);
    EXPECT_EQ(m.Settings().MovieWidth, 550);
    EXPECT_TRUE(m.btBuild.enabled && m.qbtPreview.enabled && m.qbtBuild.enabled && m.Saveas.enabled);
    EXPECT_TRUE(m.paAddFiles.visible);

    // A refused file: the warning, the name emptied, the grid as it was.
    std::string junk = Text(Path("junk.exe"), "MZ nothing here");
    m.DragDropPorjectorFileDropped(junk);
    EXPECT_EQ(ui.texts("warning"),
              std::vector<std::string>{"The selected file is not a Flash projector. Please use another file."});
    EXPECT_TRUE(m.edFlashProjector.fileName.empty());
    EXPECT_EQ(m.pgMovieInfo.value(6), "Yes");
    EXPECT_FALSE(m.btBuild.enabled);

    // A missing file: no word, the field emptied, the field refuses it.
    std::string name = Path("gone.exe");
    bool action = true;
    m.edFlashProjectorAfterDialog(name, action);
    EXPECT_FALSE(action);
    EXPECT_TRUE(name.empty());
    EXPECT_EQ(ui.messages.size(), 1u);

    // Dropping several: inspected in order, the last one stays.
    m.DragDropPorjectorFileDropped(Projector("a.exe", false, false));
    m.DragDropPorjectorFileDropped(Projector("b.exe", true, false));
    EXPECT_EQ(m.edFlashProjector.fileName, Path("b.exe"));
    EXPECT_EQ(m.pgMovieInfo.value(7), "No");
}

TEST_F(ModelTest, ThePlayerRowSaysWhichKindOfPlayerTheProjectorHas) {
    TfVexelSCREENModel& m = Started();
    ASSERT_EQ(m.pgMovieInfo.rows.size(), 10u);
    EXPECT_EQ(m.pgMovieInfo.rows[8].label, "Uses VexelSTORE");
    EXPECT_EQ(m.pgMovieInfo.rows[9].label, "Player");
    EXPECT_TRUE(m.pgMovieInfo.rows[9].readOnly);
    EXPECT_EQ(m.pgMovieInfo.value(9), "") << "empty while no projector is chosen";
    EXPECT_EQ(m.PlayerKind(), ExecutableKind::Bits32);

    m.DragDropPorjectorFileDropped(Projector64());
    EXPECT_EQ(m.pgMovieInfo.value(9), "64-bit");
    EXPECT_EQ(m.pgMovieInfo.value(0), "550") << "the movie behind a 64-bit player is read as any other";
    EXPECT_EQ(m.PlayerKind(), ExecutableKind::Bits64);
    EXPECT_EQ(m.BuildToolsFile("VSengine.exe"), Gen("tools/x64/VSengine.exe"));

    // A refused file leaves the row as the other rows stay; with no projector
    // chosen a build takes the 32-bit family.
    m.DragDropPorjectorFileDropped(Text(Path("junk.exe"), "MZ nothing here"));
    EXPECT_EQ(m.pgMovieInfo.value(9), "64-bit");
    EXPECT_EQ(m.PlayerKind(), ExecutableKind::Bits32);
    EXPECT_EQ(m.BuildToolsFile("VSengine.exe"), Gen("tools/VSengine.exe"));

    m.DragDropPorjectorFileDropped(Projector());
    EXPECT_EQ(m.pgMovieInfo.value(9), "32-bit");
    EXPECT_EQ(m.PlayerKind(), ExecutableKind::Bits32);
    EXPECT_EQ(ui.texts("warning").size(), 1u) << "only the refusal spoke";
}

TEST_F(ModelTest, MappingAndVisibilityRules) {
    TfVexelSCREENModel& m = Started();
    m.DragDropPorjectorFileDropped(Projector());
    const s_TVexelProjector& s = m.Settings();
    // The window's defaults, not the settings object's own.
    EXPECT_EQ(s.PositionH, TspHPosition::spphCenter);
    EXPECT_EQ(s.LeftClickBehaviour, TspLeftClick::splAllow);
    EXPECT_EQ(s.RightClickBehaviour, TspRightClick::sprPopup);
    EXPECT_TRUE(s.DisableScreensaver && s.ShowInTaskbar);
    EXPECT_EQ(s.DATE_YY, "Date_YY");
    EXPECT_EQ(s.VarFileName, "Datetime.txt");

    // "Use Flash movie's size" and "Use custom" both store a custom size.
    EXPECT_EQ(s.WindowSize, TspSize::spsCustom);
    EXPECT_FALSE(m.paCustomSize.visible);
    m.rbCustomSize.setChecked(true);
    EXPECT_TRUE(m.paCustomSize.visible);
    m.seWidth.text = "20";  // below the limit: read as 55
    m.seHeight.text = "not a number";
    m.SetControls();
    EXPECT_EQ(s.WindowSize, TspSize::spsCustom);
    EXPECT_EQ(s.WindowWidth, 55);
    EXPECT_EQ(s.WindowHeight, 40);
    m.rbMaximized.setChecked(true);
    EXPECT_EQ(s.WindowSize, TspSize::spsMaximized);
    EXPECT_FALSE(m.paPosition.visible);
    EXPECT_FALSE(m.paCustomSize.visible);

    // Custom positions show their fields, each enabled by its own box.
    m.rbUseFlash.setChecked(true);
    EXPECT_FALSE(m.paCustomPos.visible);
    m.rbXposCustom.setChecked(true);
    EXPECT_TRUE(m.paCustomPos.visible && m.seLeft.enabled);
    EXPECT_FALSE(m.seTop.enabled);
    m.seLeft.text = "-30";
    m.SetControls();
    EXPECT_EQ(s.PositionH, TspHPosition::spphNone);
    EXPECT_EQ(s.WindowX, -30);

    // Small caption shows the taskbar box; no border hides the resizing box.
    EXPECT_FALSE(m.paShowInTaskbar.visible);
    m.rbBorderTool.setChecked(true);
    EXPECT_TRUE(m.paShowInTaskbar.visible);
    EXPECT_EQ(s.BorderStyle, TspBorder::spbTool);
    m.rbBorderNone.setChecked(true);
    EXPECT_FALSE(m.paResizeable.visible);
    m.cbShowInTaskbar.setChecked(false);  // stored even while hidden
    m.cbStayOnTop.setChecked(true);       // no handler of its own: read at the next mapping
    m.edCaption.text = "Caf\xc3\xa9";
    m.rbInsDesktop.setChecked(true);
    EXPECT_FALSE(s.ShowInTaskbar);
    EXPECT_TRUE(s.StayOnTop);
    EXPECT_TRUE(s.InsDesktop);
    EXPECT_EQ(s.CaptionText, "Caf\xc3\xa9");
    EXPECT_FALSE(m.paBorder.visible) << "only a standard rectangle has a border choice";

    // The update guard stops the mapping.
    m.updating = true;
    m.edCaption.text = "changed";
    m.SetControls();
    EXPECT_EQ(s.CaptionText, "Caf\xc3\xa9");
}

TEST_F(ModelTest, ShapesFromBitmaps) {
    TfVexelSCREENModel& m = Started();
    m.DragDropPorjectorFileDropped(Projector());
    // Cancelling the picture dialog without a shape selects the rectangle again.
    m.rbShape.setChecked(true);
    EXPECT_TRUE(m.rbRectangle.checked());
    EXPECT_TRUE(m.Settings().Shape().Empty());

    // A shape checks "No border", hides the boxes and forces the window size;
    // the bitmap's size, clamped to the limits, goes into the spin fields.
    TakeShape(ShapeBitmap("big.bmp", 6000, 30));
    const s_TVexelProjector& s = m.Settings();
    ASSERT_FALSE(s.Shape().Empty());
    EXPECT_TRUE(m.rbShape.checked());
    EXPECT_TRUE(m.rbBorderNone.checked());
    EXPECT_FALSE(m.paBorder.visible || m.paSize.visible || m.paResizeable.visible);
    EXPECT_TRUE(m.btEditShape.visible);
    EXPECT_EQ(m.seWidth.value(), 5000);
    EXPECT_EQ(m.seHeight.value(), 40);
    EXPECT_EQ(s.WindowWidth, 6000);
    EXPECT_EQ(s.WindowHeight, 30);
    EXPECT_EQ(m.fShapeSelect.pb.position, 0) << "the progress bar is reset when the shape is done";
    EXPECT_EQ(ui.progressLog[ui.progressLog.size() - 2], (std::pair<int, int>{29, 30}));
    EXPECT_EQ(host.log.back(), "close shape window");

    // Desktop as background keeps the shape; taking the shape again and
    // cancelling the picture dialog leaves it in force.
    m.rbInsDesktop.setChecked(true);
    EXPECT_FALSE(s.Shape().Empty());
    m.rbShape.setChecked(true);
    EXPECT_TRUE(m.rbShape.checked());
    EXPECT_EQ(s.WindowWidth, 6000);

    m.rbRectangle.setChecked(true);
    EXPECT_TRUE(s.Shape().Empty());
    EXPECT_FALSE(m.fShapeSelect.ShapeRegion.RegionHolder().Handle()) << "the rectangle clears both stores";

    // Exit without OK on a first shape leaves nothing: the rectangle again.
    ui.fileAnswers.push_back(ShapeBitmap("small.bmp", 40, 30));
    host.shapeWindow = [&] { m.fShapeSelect.btCancelClick(); };
    m.rbShape.setChecked(true);
    EXPECT_TRUE(m.rbRectangle.checked());

    // A picture all in the transparent colour still makes a shape.
    std::string flat = Path("flat.bmp");
    test::WriteFileBytes(flat, test::MakeBmp({}, 8, 8, std::vector<std::uint32_t>(64, 0xFF00FF)));
    TakeShape(flat);
    EXPECT_TRUE(m.rbShape.checked());
    EXPECT_FALSE(s.Shape().Empty());

    // The transparent colour follows the pointer and the click.
    m.fShapeSelect.OpenShapeAfterDialog(ShapeBitmap("other.bmp", 40, 40));
    EXPECT_FALSE(m.fShapeSelect.ShapeRegion.RegionHolder().Handle()) << "a new picture drops the working shape";
    EXPECT_EQ(m.fShapeSelect.paColor.color, 0xFF00FFu);
    m.fShapeSelect.ShapeImageMouseMove(20, 20);
    m.fShapeSelect.ShapeImageClick();
    EXPECT_EQ(m.fShapeSelect.paColor.color, 0x336699u);
}

TEST_F(ModelTest, IconPreview) {
    TfVexelSCREENModel& m = Started();
    const TIcon start = m.imIcon.icon;
    m.SetIcon(Path("missing.ico"));
    EXPECT_EQ(m.imIcon.icon, start);
    auto icon = test::DibIcon(32, 32, 24, {}, [](int x, int) { return 0xFF000000u | static_cast<std::uint32_t>(x * 8); });
    std::string ico = Path("ICON.ICO");
    test::WriteBytes(ico, test::IcoFile({icon}));
    m.OpenIconDropFiles(ico);
    EXPECT_EQ(m.OpenIcon.fileName, ico);
    EXPECT_EQ(m.imIcon.icon.Pixel(3, 0) & 0xFFFFFF, 24u);
    EXPECT_EQ(m.imIcon.icon.FileBytes(), Slurp(ico));

    // Any other file shows its shell icon; none leaves the icon as it was.
    shell.icon = TIcon(32, 32);
    m.SetIcon(Text(Path("notes.txt"), "x"));
    EXPECT_EQ(m.imIcon.icon, TIcon(32, 32));
    shell.icon.reset();
    m.SetIcon(Path("notes.txt"));
    EXPECT_EQ(m.imIcon.icon, TIcon(32, 32));

    // A cursor file named .ico is refused.
    std::string cursor = Path("cursor.ico");
    test::WriteBytes(cursor, test::IcoFile({icon}, 2));
    m.Run([&] { m.SetIcon(cursor); });
    EXPECT_EQ(ui.texts("error"), std::vector<std::string>{"Icon image is not valid."});
}

TEST_F(ModelTest, AdditionalFiles) {
    TfVexelSCREENModel& m = Started();
    std::filesystem::create_directories(dir_ / "a");
    std::filesystem::create_directories(dir_ / "b");
    const std::string one = Text(Path("a/readme.txt"), "1"), two = Text(Path("b/README.TXT"), "2");
    const std::string pic = Text(Path("a/pic.png"), "3");
    m.paAddFilesFileDropped(one);
    m.paAddFilesFileDropped(two);  // the same file name in other letters
    ui.filesAnswers.push_back({pic, Path("a/missing.dat")});
    m.sbAddAddFilesClick();
    ASSERT_EQ(m.lvAddFiles.items.size(), 2u);
    EXPECT_EQ(m.lvAddFiles.items[0].caption, "readme.txt");
    EXPECT_EQ(m.lvAddFiles.items[0].folder, Path("a/"));
    EXPECT_EQ(m.lvAddFiles.items[1].fullPath, pic);
    EXPECT_EQ(ui.texts("warning"),
              (std::vector<std::string>{
                  two + ": The file wasn't found, or a file with the same name is already listed.",
                  Path("a/missing.dat") + ": The file wasn't found, or a file with the same name is already listed."}));

    // Removing every entry and adding again gives a new icon index.
    for (auto& item : m.lvAddFiles.items) item.selected = true;
    m.sbRemoveAddFileClick();
    EXPECT_TRUE(m.lvAddFiles.items.empty());
    m.paAddFilesFileDropped(two);
    EXPECT_EQ(m.lvAddFiles.items[0].imageIndex, 2);
    EXPECT_EQ(m.AddFilesIcons.icons.size(), 3u);
}

TEST_F(ModelTest, HelpDocumentsStopAtTheFirstThatFails) {
    std::filesystem::remove(Gen("Docs/VexelScreenExec.rtf"));
    TfVexelSCREENModel& m = Started();
    EXPECT_FALSE(m.edPrintingInfo.rtf.empty());
    EXPECT_FALSE(m.edDateTimeInfo.rtf.empty());
    EXPECT_TRUE(m.edExecInfo.rtf.empty() && m.edVarSaveInfo.rtf.empty() && m.edGeneralHelp.rtf.empty());
    EXPECT_EQ(ui.texts("warning"),
              std::vector<std::string>{"There were problems loading VexelSCREEN documentation\rPlease re-install."});

    std::filesystem::remove_all(Gen("Docs"));
    ui.messages.clear();
    MakeModel();
    TfVexelSCREENModel& again = Started();
    EXPECT_TRUE(again.edPrintingInfo.rtf.empty());
    EXPECT_EQ(ui.messages.size(), 1u);
}

TEST_F(ModelTest, DateTimeSampleFile) {
    TfVexelSCREENModel& m = Started();
    const std::string sample = Path("sample.txt");
    ui.fileAnswers.push_back(sample);
    m.btCreateSampleVarClick();
    EXPECT_EQ(ui.dialogs.back().initialName, "Datetime.txt");
    EXPECT_EQ(ui.dialogs.back().filter, "Text file|*.txt");
    const std::string line = "Date_YY=2001&Date_MM=3&Date_DD=5&Time_HH=9&Time_MM=7&Time_SS=3&Time_MS=45&VexelDateTimeLOADED=1";
    EXPECT_EQ(Slurp(sample), std::vector<std::uint8_t>(line.begin(), line.end()));
    EXPECT_EQ(shell.opened, std::vector<std::string>{sample});

    // A name changed in the grid is used at once; an empty one keeps its "=".
    m.pgDateTime.value(1) = "Ann\xc3\xa9" "e";
    m.pgDateTime.value(7) = "";
    m.CreateVarFile(sample, false);
    const std::string changed =
        "Ann\xe9" "e=2001&Date_MM=3&Date_DD=5&Time_HH=9&Time_MM=7&Time_SS=3&=45&VexelDateTimeLOADED=1";
    EXPECT_EQ(Slurp(sample), std::vector<std::uint8_t>(changed.begin(), changed.end()));
    EXPECT_EQ(shell.opened.size(), 1u);
    m.pgDateTime.value(1) = "\xe5\xb9\xb4";
    EXPECT_THROW(m.CreateVarFile(sample, false), ETextEncodingError);
    EXPECT_EQ(Slurp(sample), std::vector<std::uint8_t>(changed.begin(), changed.end())) << "the old file stays";
}

TEST_F(ModelTest, RememberedNamesAndThePendingProject) {
    const std::string projector = Projector();
    store.values["edFlashProjector.FileName"] = projector;
    store.values["OutputProjector.FileName"] = Path("out.exe");
    TfVexelSCREENModel& m = Started({Path("no project.vsp")});
    EXPECT_TRUE(m.pendingProject.empty()) << "only an existing file is a project to load";
    EXPECT_EQ(m.edFlashProjector.fileName, projector);
    EXPECT_EQ(m.pgMovieInfo.value(6), "Yes") << "the remembered projector is inspected";
    EXPECT_TRUE(m.qbtBuild.enabled);
    m.OutputProjector.fileName = Path("other.exe");
    m.FormClose();
    EXPECT_EQ(store.values["OutputProjector.FileName"], Path("other.exe"));
    EXPECT_EQ(store.values.count("SaveSample.FileName"), 1u);
}

}  // namespace
}  // namespace vs
