// The Qt side of the ports: dialogs and message boxes as they are set up,
// icons between TIcon and QImage and from files, starting a projector, the
// settings file, and the program's own icon and glyphs.
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QScopeGuard>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include "gui/qt/file_dialogs.h"
#include "gui/qt/glyphs.h"
#include "gui/qt/icon_image.h"
#include "gui/qt/qt_ports.h"
#include "gui_test.h"
#include "platform/errors.h"
#include "support/ico_builder.h"
#include "support/pe_builder.h"

using namespace vs::gui;

namespace {

void writeScript(const QString& path, const QByteArray& body) {
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("#!/bin/sh\n" + body);
    f.close();
    QVERIFY(f.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
}

bool hasInk(const QImage& image) {
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (image.pixelColor(x, y).alpha() > 0) return true;
    return false;
}

}  // namespace

class Ports : public QObject {
    Q_OBJECT
private slots:
    void systemFiltersBecomeQtFilters() {
        QCOMPARE(QtNameFilters("Icon files|*.ico|Other files (get icon)|*.*"),
                 (QStringList{"Icon files (*.ico)", "Other files (get icon) (*)"}));
        QCOMPARE(QtNameFilters("Bitmaps (*.bmp)|*.bmp"), QStringList{"Bitmaps (*.bmp)"});
        QCOMPARE(QtNameFilters("Pictures|*.bmp;*.dib|Odd"), (QStringList{"Pictures (*.bmp *.dib)", "Odd (*)"}));
        QVERIFY(QtNameFilters("").isEmpty());
    }

    void fileDialogsAreSetUpFromTheirDescription() {
        QTemporaryDir dir;
        QFileDialog open;
        SetUpFileDialog(open,
                        {.title = "Browse for Icon", .filter = "Icon files|*.ico|Other files (get icon)|*.*",
                         .defaultExtension = ".ico", .initialName = (dir.path() + "/app.ico").toStdString()},
                        DialogKind::Open);
        QCOMPARE(open.windowTitle(), QString("Browse for Icon"));
        QCOMPARE(open.nameFilters(), (QStringList{"Icon files (*.ico)", "Other files (get icon) (*)"}));
        QCOMPARE(open.defaultSuffix(), QString("ico"));
        QCOMPARE(open.fileMode(), QFileDialog::ExistingFile);
        QCOMPARE(open.acceptMode(), QFileDialog::AcceptOpen);
        QCOMPARE(QDir(open.directory()).canonicalPath(), QDir(dir.path()).canonicalPath());

        QFileDialog save;
        SetUpFileDialog(save, {.defaultExtension = ".exe", .initialName = "VexelSCREEN Projector.exe",
                               .initialFolder = dir.path().toStdString(), .overwritePrompt = true},
                        DialogKind::Save);
        QCOMPARE(save.acceptMode(), QFileDialog::AcceptSave);
        QVERIFY(!save.testOption(QFileDialog::DontConfirmOverwrite));
        QCOMPARE(QDir(save.directory()).canonicalPath(), QDir(dir.path()).canonicalPath());
        SetUpFileDialog(save, {.overwritePrompt = false}, DialogKind::Save);
        QVERIFY(save.testOption(QFileDialog::DontConfirmOverwrite));

        QFileDialog many;
        SetUpFileDialog(many, {}, DialogKind::OpenMany);
        QCOMPARE(many.fileMode(), QFileDialog::ExistingFiles);
    }

    void messageBoxesHaveTheProgramTitleAndTheirButtons() {
        auto warning = MakeMessageBox(MessageKind::Warning, "There were problems loading VexelSCREEN documentation\r"
                                                            "Please re-install.", nullptr);
        QCOMPARE(warning->windowTitle(), QString("VexelSCREEN Generator"));
        QCOMPARE(warning->text(), QString("There were problems loading VexelSCREEN documentation\nPlease re-install."));
        QCOMPARE(warning->icon(), QMessageBox::Warning);
        QCOMPARE(warning->standardButtons(), QMessageBox::StandardButtons(QMessageBox::Ok));
        QCOMPARE(warning->textFormat(), Qt::PlainText);
        QCOMPARE(MakeMessageBox(MessageKind::Error, "Cannot open file <a&b>", nullptr)->icon(), QMessageBox::Critical);
        auto question = MakeMessageBox(MessageKind::Confirmation, "Would you like to run the projector you have just build?", nullptr);
        QCOMPARE(question->standardButtons(), QMessageBox::Yes | QMessageBox::No);
    }

    void iconsAndImagesConvertBothWays() {
        vs::TIcon icon(3, 1);
        icon.SetPixel(0, 0, 0xFF102030);
        icon.SetPixel(1, 0, 0xFF405060);
        icon.SetTransparent(1, 0, true);
        icon.SetPixel(2, 0, 0x80FF0000);  // half alpha from a 32-bit image
        const QImage image = ToQImage(icon);
        QCOMPARE(image.size(), QSize(3, 1));
        QCOMPARE(image.pixel(0, 0), 0xFF102030u);
        QCOMPARE(qAlpha(image.pixel(1, 0)), 0);
        QCOMPARE(image.pixel(2, 0), 0x80FF0000u);
        QVERIFY(ToQImage(vs::TIcon()).isNull());

        QImage back(3, 1, QImage::Format_ARGB32);
        back.setPixel(0, 0, 0xFF102030);
        back.setPixel(1, 0, 0x7F000000);
        back.setPixel(2, 0, 0x80FF0000);
        const vs::TIcon t = ToTIcon(back);
        QCOMPARE(t.Pixel(0, 0), 0xFF102030u);
        QVERIFY(!t.Transparent(0, 0));
        QVERIFY(t.Transparent(1, 0));   // alpha below one half
        QVERIFY(!t.Transparent(2, 0));  // alpha of one half
        QCOMPARE(ToTIcon(QImage(2000, 1000, QImage::Format_ARGB32)).Width(), vs::kMaxIconSide);
    }

    void shellIconsComeFromTheFileItself() {
        QTemporaryDir dir;
        const std::string ico = (dir.path() + "/red.ico").toStdString();
        vs::test::WriteBytes(ico, vs::test::IcoFile({vs::test::DibIcon(32, 32, 24, {}, [](int, int) { return 0xFFFF0000u; })}));
        QtShell shell;
        const auto large = shell.largeIcon(ico);
        QVERIFY(large);
        QCOMPARE(large->Width(), 32);
        QCOMPARE(large->Pixel(5, 5) & 0xFFFFFFu, 0xFF0000u);
        const auto small = shell.smallIcon(ico);
        QVERIFY(small);
        QCOMPARE(small->Width(), 16);
        QCOMPARE(small->Pixel(5, 5) & 0xFFFFFFu, 0xFF0000u);

        const std::string exe = (dir.path() + "/program.exe").toStdString();
        vs::test::PeBuilder().IconImage(1, vs::test::MakeIconImage(48, 48, 8, 3)).IconGroup(1, {1}).Write(exe);
        const auto own = shell.largeIcon(exe);
        QVERIFY(own);
        QCOMPARE(own->Width(), 32);  // 48 scaled to the large size
        QCOMPARE(*own, vs::ScaleIcon(*vs::ExeLargeIcon(exe), 32, 32));
        QCOMPARE(shell.smallIcon(exe)->Width(), 16);

        // A damaged icon file is no error: the file type's icon, if any, stands in.
        const std::string broken = (dir.path() + "/broken.ico").toStdString();
        vs::test::WriteBytes(broken, {0, 0, 2, 0, 1, 0});
        const auto stand = shell.largeIcon(broken);
        QVERIFY(!stand || stand->Width() == 32);
        QVERIFY(!shell.largeIcon((dir.path() + "/missing.exe").toStdString()));
    }

    void projectorsStartThroughWineAndOutliveTheirHandle() {
#ifdef Q_OS_WIN
        QSKIP("projectors start directly on Windows");
#else
        QTemporaryDir dir;
        const QByteArray oldPath = qgetenv("PATH");
        auto restore = qScopeGuard([&] { qputenv("PATH", oldPath); });
        const std::string projector = (dir.path() + "/projector.exe").toStdString();
        QFile(QString::fromStdString(projector)).open(QIODevice::WriteOnly);

        QDir().mkpath(dir.path() + "/empty");
        qputenv("PATH", (dir.path() + "/empty").toLocal8Bit());
        QtShell shell;
        QVERIFY(!shell.startProgram(projector));  // no wine: the caller says "Couldnt start"

        // A stand-in wine that records its argument, waits to be told to end,
        // and leaves a mark when it ends of its own accord.
        QDir().mkpath(dir.path() + "/bin");
        writeScript(dir.path() + "/bin/wine",
                    "echo \"$1\" > \"$(dirname \"$0\")/argument\"\n"
                    "while [ ! -e \"$(dirname \"$0\")/stop\" ]; do sleep 0.05; done\n"
                    "touch \"$(dirname \"$0\")/ended\"\n");
        qputenv("PATH", (dir.path() + "/bin:").toLocal8Bit() + oldPath);
        const QString bin = dir.path() + "/bin/";
        {
            auto started = shell.startProgram(projector);
            QVERIFY(started);
            started->waitForInputIdle();
            QVERIFY(started->running());
            QTRY_VERIFY(QFile::exists(bin + "argument"));
            QFile argument(bin + "argument");
            QVERIFY(argument.open(QIODevice::ReadOnly));
            QCOMPARE(argument.readAll().trimmed(), QByteArray(projector.c_str()));
        }  // released while it runs
        QFile(bin + "stop").open(QIODevice::WriteOnly);
        QTRY_VERIFY(QFile::exists(bin + "ended"));  // it was not killed

        auto again = shell.startProgram(projector);
        QVERIFY(again);
        QTRY_VERIFY(!again->running());
#endif
    }

    void settingsRoundTripInTheirOwnFile() {
        const QString file = QtSettingsStore::DefaultFileName();
        QVERIFY(file.startsWith(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)));
        QVERIFY(file.endsWith("/VexelSCREEN/VexelSCREEN.dat"));
        QFile::remove(file);
        auto cleanup = qScopeGuard([&] { QFile::remove(file); });
        {
            QtSettingsStore store;
            QVERIFY(!store.value("edFlashProjector.FileName"));
            QVERIFY(!store.placement("TfVexelSCREEN"));
            store.setValue("edFlashProjector.FileName", "/home/ü/Filmé & Co/movie.exe");
            store.setValue("SaveSample.FileName", "");
            store.setPlacement("TfVexelSCREEN", {10, -20, 640, 480, true});
            store.setPlacement("TfShapeSelect", {1, 2, 3, 4, false});
            store.setPlacement("TfShapeSelect", {5, 6, 0, 0, false, false});  // the position alone, over a size
        }
        QtSettingsStore store;
        QCOMPARE(store.value("edFlashProjector.FileName"), std::optional<std::string>("/home/ü/Filmé & Co/movie.exe"));
        QCOMPARE(store.value("SaveSample.FileName"), std::optional<std::string>(""));
        QCOMPARE(store.placement("TfVexelSCREEN"), std::optional<vs::WindowPlacement>({10, -20, 640, 480, true}));
        QCOMPARE(store.placement("TfShapeSelect"), std::optional<vs::WindowPlacement>({5, 6, 0, 0, false, false}));
        {
            QSettings ini(file, QSettings::IniFormat);
            ini.beginGroup("Window.TfShapeSelect");
            QCOMPARE(ini.childKeys(), (QStringList{"Left", "Top"}));
        }

        // A placement with a damaged entry is not used.
        {
            QFile f(file);
            QVERIFY(f.open(QIODevice::Append));
            f.write("\n[Window.Other]\nLeft=1\nTop=x\nWidth=3\nHeight=4\nMaximized=0\n");
        }
        QVERIFY(!QtSettingsStore().placement("Other"));

        QTemporaryDir dir;
        QFile(dir.path() + "/plain").open(QIODevice::WriteOnly);
        QtSettingsStore nowhere(dir.path() + "/plain/VexelSCREEN.dat");  // its folder is a file
        QVERIFY_THROWS_EXCEPTION(vs::EFCreateError, nowhere.setValue("OpenIcon.FileName", "a.ico"));
    }

    void programIconAndGlyphsAreThere() {
        const vs::TIcon main = MainIcon();
        QCOMPARE(main.Width(), 32);
        QCOMPARE(main.Height(), 32);
        QVERIFY(!main.Transparent(16, 16));
        QVERIFY(!ProgramIcon().pixmap(16, 16).isNull());
        QCOMPARE(ProgramIcon().availableSizes().size(), 7);
        for (const QString& name : GlyphNames()) {
            const QImage glyph = Glyph(name).pixmap(24, 24).toImage();
            QVERIFY2(glyph.size() == QSize(24, 24) && hasInk(glyph), qPrintable(name));
        }
        QVERIFY(Glyph("nonsense").isNull());
    }
};

VS_GUI_SUITE(Ports);

#include "ports_test.moc"
