// The window's widgets as a user meets them: dialogs through the port, drops,
// grid editing, the file list's delete requests, the busy page and the
// picture of the shape window.
#include <QAction>
#include <QApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPainter>
#include <QProgressBar>
#include <QSignalSpy>
#include <QTest>
#include <QToolButton>

#include "gui/qt/busy_panel.h"
#include "gui/qt/drop_area.h"
#include "gui/qt/file_list.h"
#include "gui/qt/file_name_edit.h"
#include "gui/qt/picture_view.h"
#include "gui/qt/property_grid.h"
#include "gui_test.h"

using namespace vs::gui;
using vs::test::ScriptedInterface;

class Widgets : public QObject {
    Q_OBJECT
private slots:
    void fileNameEditAsksThePortAndReportsTheChoice() {
        ScriptedInterface ui;
        FileNameEdit edit(ui);
        edit.setDialog({.filter = "Flash Projector Files|*.exe", .defaultExtension = ".exe"});
        edit.setFileName("/old/movie.exe");
        QSignalSpy chosen(&edit, &FileNameEdit::afterDialog);

        ui.fileAnswers = {std::string("/new/projector.exe")};
        QTest::mouseClick(edit.browseButton(), Qt::LeftButton);
        QCOMPARE(ui.messages, std::vector<std::string>{"dialog: open"});
        QCOMPARE(ui.dialogs.back().filter, std::string("Flash Projector Files|*.exe"));
        QCOMPARE(ui.dialogs.back().initialName, std::string("/old/movie.exe"));  // preset from the field
        QCOMPARE(edit.fileName(), QString("/new/projector.exe"));
        QCOMPARE(chosen.count(), 1);
        QCOMPARE(chosen.at(0).at(0).toString(), QString("/new/projector.exe"));

        // Cancelling changes nothing and reports nothing.
        QVERIFY(!edit.browse());
        QCOMPARE(edit.fileName(), QString("/new/projector.exe"));
        QCOMPARE(chosen.count(), 1);

        // A save dialog goes to the save question.
        edit.setDialog({.filter = "Windows executable files|*.exe", .overwritePrompt = true}, DialogKind::Save);
        ui.fileAnswers = {std::string("/out/built.exe")};
        QVERIFY(edit.browse());
        QCOMPARE(ui.messages.back(), std::string("dialog: save"));
        QVERIFY(ui.dialogs.back().overwritePrompt);
        QCOMPARE(edit.fileName(), QString("/out/built.exe"));
    }

    void fileNameEditTakesDropsOnlyWhenAskedAndRefusesTypingWhenAsked() {
        ScriptedInterface ui;
        DropArea area;
        auto* edit = new FileNameEdit(ui, &area);
        (new QHBoxLayout(&area))->addWidget(edit);
        QSignalSpy onField(edit, &FileNameEdit::fileDropped);
        QSignalSpy onArea(&area, &DropArea::fileDropped);

        // Not taking drops itself, the field leaves them to its panel.
        vs::test::DropFiles(edit->lineEdit(), {"/a/one.exe", "/b/two.exe"});
        QCOMPARE(onField.count(), 0);
        QCOMPARE(onArea.count(), 2);
        QCOMPARE(onArea.at(0).at(0).toString(), QString("/a/one.exe"));
        QCOMPARE(onArea.at(1).at(0).toString(), QString("/b/two.exe"));
        QVERIFY(edit->fileName().isEmpty());

        // Taking them, it reports each in order and keeps the last.
        edit->setAcceptFileDrops(true);
        QStringList seen;
        connect(edit, &FileNameEdit::fileDropped, this, [&](const QString& f) { seen << f + "=" + edit->fileName(); });
        vs::test::DropFiles(edit->lineEdit(), {"/a/one.ico", "/b/two.ico", "/c/three.ico"});
        QCOMPARE(seen, (QStringList{"/a/one.ico=/a/one.ico", "/b/two.ico=/b/two.ico", "/c/three.ico=/c/three.ico"}));
        QCOMPARE(onArea.count(), 2);
        QCOMPARE(edit->fileName(), QString("/c/three.ico"));

        edit->setNoTyping(true);
        area.show();
        QVERIFY(QTest::qWaitForWindowExposed(&area));
        edit->lineEdit()->setFocus();
        QTest::keyClicks(edit->lineEdit(), "typed");
        QCOMPARE(edit->fileName(), QString("/c/three.ico"));
    }

    void dropAreaTakesLocalFilesOnly() {
        DropArea area;
        QSignalSpy dropped(&area, &DropArea::fileDropped);
        vs::test::DropFiles(&area, {"/x/first.swf", "https://example.invalid/movie.swf", "/y/second.txt"});
        QCOMPARE(dropped.count(), 2);
        QCOMPARE(dropped.at(0).at(0).toString(), QString("/x/first.swf"));
        QCOMPARE(dropped.at(1).at(0).toString(), QString("/y/second.txt"));
        vs::test::DropFiles(&area, {"https://example.invalid/only.swf"});
        QCOMPARE(dropped.count(), 2);
    }

    void propertyGridEditsOnlyTheValuesOfEditableRows() {
        PropertyGrid grid;
        grid.setTitleRow("Value:", "Variable name:");
        QCOMPARE(grid.addRow("Date: Year", "Date_YY"), 1);
        QCOMPARE(grid.addRow("Framecount", "12", true), 2);
        QSignalSpy edited(&grid, &PropertyGrid::valueEdited);
        grid.setValue(1, "Year");  // code, not the user
        QCOMPARE(edited.count(), 0);
        grid.setRowReadOnly(2, true);
        QCOMPARE(edited.count(), 0);
        QVERIFY(grid.rowReadOnly(0));
        QVERIFY(grid.rowReadOnly(2));
        QVERIFY(!grid.rowReadOnly(1));

        grid.show();
        grid.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&grid));
        grid.setFocus();
        // Keys go where the keyboard is: the grid, then the editor it opens.
        auto typeInto = [&](int row, int column, const QString& text) {
            grid.setCurrentCell(row, column);
            for (QChar c : text) QTest::keyClick(QApplication::focusWidget(), c.toLatin1());
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
            QTRY_VERIFY(QApplication::focusWidget() == &grid);  // the editor commits once events run
        };
        typeInto(1, 1, "Y4");
        QCOMPARE(grid.value(1), QString("Y4"));
        QCOMPARE(edited.count(), 1);
        QCOMPARE(edited.at(0).at(0).toInt(), 1);
        QCOMPARE(edited.at(0).at(1).toString(), QString("Y4"));

        typeInto(2, 1, "99");
        typeInto(0, 1, "x");
        typeInto(1, 0, "x");
        QCOMPARE(grid.value(2), QString("12"));
        QCOMPARE(grid.value(0), QString("Variable name:"));
        QCOMPARE(grid.label(1), QString("Date: Year"));
        QCOMPARE(edited.count(), 1);
    }

    void fileListAsksOnceForEachDeleteByKeyOrMenu() {
        FileList list;
        QCOMPARE(list.headerItem()->text(0), QString("Filename"));
        QCOMPARE(list.headerItem()->text(1), QString("Path"));
        QCOMPARE(list.columnWidth(0), 200);
        list.addFile("a.swf", "/m/", "/m/a.swf");
        list.addFile("b.txt", "/n/", "/n/b.txt");
        list.addFile("c.png", "/o/", "/o/c.png");
        QCOMPARE(list.fullName(1), QString("/n/b.txt"));
        QCOMPARE(list.folder(1), QString("/n/"));
        list.setSelectedRows({2, 0});
        QCOMPARE(list.selectedRows(), (QList<int>{0, 2}));

        QSignalSpy requests(&list, &FileList::deleteRequested);
        QTest::keyClick(&list, Qt::Key_Delete);
        QCOMPARE(requests.count(), 1);
        QCOMPARE(list.fileCount(), 3);  // the window decides what goes

        const QList<QAction*> entries = list.contextMenu()->actions();
        QCOMPARE(entries.size(), 1);
        QCOMPARE(entries.front()->text(), QString("Delete"));
        entries.front()->trigger();
        QCOMPARE(requests.count(), 2);

        list.removeFileAt(0);
        QCOMPARE(list.caption(0), QString("b.txt"));
    }

    void busyPanelShowsProgressAndAnimatesWhileShown() {
        BusyPanel panel;
        panel.setText("Please hold while your projector is being constructed...");
        QCOMPARE(panel.label()->alignment(), Qt::Alignment(Qt::AlignCenter));
        panel.show();
        QVERIFY(QTest::qWaitForWindowExposed(&panel));
        QVERIFY(panel.animation()->running());
        QVERIFY(!panel.progressBar()->isVisible());
        panel.setProgress(3, 10);
        QVERIFY(panel.progressBar()->isVisible());
        QCOMPARE(panel.progressBar()->value(), 3);
        QCOMPARE(panel.progressBar()->maximum(), 10);
        panel.setProgress(0, 0);
        QVERIFY(!panel.progressBar()->isVisible());
        const int frame = panel.animation()->frame();
        QTRY_VERIFY(panel.animation()->frame() != frame);
        panel.hide();
        QVERIFY(!panel.animation()->running());
    }

    void pictureViewReportsPixelsAndVeilsWhatTheShapeLeavesOut() {
        QImage picture(40, 30, QImage::Format_RGB32);
        picture.fill(QColor(200, 200, 200));
        picture.setPixelColor(7, 5, QColor(10, 20, 30));
        PictureView view;
        view.setPicture(picture);
        QCOMPARE(view.canvas()->size(), QSize(40, 30));
        QCOMPARE(view.canvas()->cursor().shape(), Qt::CrossCursor);
        QCOMPARE(view.pixelColor(7, 5), QColor(10, 20, 30));
        QVERIFY(!view.pixelColor(40, 0).isValid());

        QSignalSpy hovered(&view, &PictureView::pixelHovered);
        QSignalSpy clicked(&view, &PictureView::clicked);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        QTest::mouseMove(view.canvas(), QPoint(7, 5));
        QTRY_VERIFY(!hovered.isEmpty());
        QCOMPARE(hovered.last(), (QList<QVariant>{7, 5}));
        QTest::mouseClick(view.canvas(), Qt::LeftButton, {}, QPoint(12, 9));
        QCOMPARE(clicked.count(), 1);
        QCOMPARE(clicked.at(0), (QList<QVariant>{12, 9}));

        view.setRegion({QRect(0, 0, 20, 30)});
        const QImage shown = view.canvas()->grab().toImage();
        QVERIFY(shown.pixelColor(30, 15) != QColor(200, 200, 200));
        QCOMPARE(shown.pixelColor(10, 20), QColor(200, 200, 200));
        view.clearRegion();
        QCOMPARE(view.canvas()->grab().toImage().pixelColor(30, 15), QColor(200, 200, 200));
    }
};

VS_GUI_SUITE(Widgets);

#include "widgets_test.moc"
