// The RTF reader on fixed snippets, the rich-text view, and the five help
// documents as they are installed in Docs.
#include <QPalette>
#include <QRegularExpression>
#include <QScrollBar>
#include <QTest>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

#include <string>

#include "gui/qt/rich_text_view.h"
#include "gui/qt/rtf_reader.h"
#include "gui_test.h"

using namespace vs::gui;

namespace {

// The text as read; toPlainText would turn non-breaking spaces into spaces.
QString readPlain(const std::string& rtf, QTextDocument& doc) {
    ReadRtf(rtf, doc);
    return doc.toRawText().replace(QChar::ParagraphSeparator, u'\n');
}

// The format of the first character of `word` in the document.
QTextCharFormat formatOf(QTextDocument& doc, const QString& word) {
    const int at = static_cast<int>(doc.toPlainText().indexOf(word));
    if (at < 0) return {};
    QTextCursor c(&doc);
    c.setPosition(at + 1);
    return c.charFormat();
}

}  // namespace

class RichText : public QObject {
    Q_OBJECT
private slots:
    void charactersEscapesAndUnicode() {
        QTextDocument doc;
        const QString text = readPlain(
            "{\\rtf1\\ansi\\ansicpg1252\\deff0{\\fonttbl{\\f0\\fswiss Arial;}}"
            "caf\\'e9 \\'80 5\\uc1\\u8364?\\uc0\\u8482 x \\\\ \\{ \\} \\bullet\\~\\u-3?"
            "\\u-10179\\u-8704 \\u-10179 z\r\n\\endash\\ldblquote q\\rdblquote}",
            doc);
        QCOMPARE(text, QString::fromUtf8("café € 5€™x \\ { } •\u00A0\uFFFD?😀\uFFFDz–“q”"));
    }

    void characterFormatsFollowGroupsAndTables() {
        QTextDocument doc;
        readPlain("{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0 Arial;}{\\f1\\fmodern Courier New;}}"
                  "{\\colortbl;\\red255\\green0\\blue0;\\red0\\green0\\blue255;}"
                  "\\f0\\fs20 plain {\\b bold}{\\i italic}\\ul under\\ulnone  {\\f1 code} \\cf2 blue\\cf0 "
                  " \\fs40 big\\plain  reset}",
                  doc);
        QCOMPARE(doc.toPlainText(), QString("plain bolditalicunder code blue big reset"));
        const QTextCharFormat plain = formatOf(doc, "plain");
        QCOMPARE(plain.fontWeight(), int(QFont::Normal));
        QCOMPARE(plain.fontPointSize(), 10.0);
        QCOMPARE(plain.fontFamilies().toStringList(), QStringList{"Arial"});
        QCOMPARE(formatOf(doc, "bold").fontWeight(), int(QFont::Bold));
        QVERIFY(!formatOf(doc, "italic").font().bold());  // the group ended the bold
        QVERIFY(formatOf(doc, "italic").fontItalic());
        QVERIFY(formatOf(doc, "under").fontUnderline());
        QCOMPARE(formatOf(doc, "code").fontFamilies().toStringList(), QStringList{"Courier New"});
        QVERIFY(!formatOf(doc, "code").fontUnderline());
        QCOMPARE(formatOf(doc, "blue").foreground().color(), QColor(0, 0, 255));
        QVERIFY(!formatOf(doc, "big").hasProperty(QTextFormat::ForegroundBrush));  // \cf0: automatic
        QCOMPARE(formatOf(doc, "big").fontPointSize(), 20.0);
        QCOMPARE(formatOf(doc, "reset").fontPointSize(), 12.0);
        QCOMPARE(formatOf(doc, "reset").fontFamilies().toStringList(), QStringList{"Arial"});
    }

    void paragraphsKeepTheirFormatUntilPard() {
        QTextDocument doc;
        readPlain("{\\rtf1\\ansi\\pard\\qc\\sb120\\sa60 Title\\par\\pard\\li720\\fi-360 item one\\line second\\tab end\\par"
                  " next\\par\\pard last\\par}",
                  doc);
        QCOMPARE(doc.blockCount(), 4);  // the closing \\par makes no empty line
        QTextBlock b = doc.begin();
        QCOMPARE(b.text(), QString("Title"));
        QCOMPARE(b.blockFormat().alignment(), Qt::Alignment(Qt::AlignHCenter));
        QCOMPARE(b.blockFormat().topMargin(), 8.0);
        QCOMPARE(b.blockFormat().bottomMargin(), 4.0);
        b = b.next();
        QCOMPARE(b.text(), QString("item one") + QChar::LineSeparator + "second\tend");
        QCOMPARE(b.blockFormat().leftMargin(), 48.0);
        QCOMPARE(b.blockFormat().textIndent(), -24.0);
        // The hanging indent's tab stop, measured from the first line, lines the text up with the next lines.
        QCOMPARE(b.blockFormat().tabPositions(), (QList<QTextOption::Tab>{QTextOption::Tab(24.0, QTextOption::LeftTab)}));
        QCOMPARE(b.blockFormat().alignment(), Qt::Alignment(Qt::AlignLeft));
        b = b.next();
        QCOMPARE(b.text(), QString("next"));
        QCOMPARE(b.blockFormat().leftMargin(), 48.0);
        b = b.next();
        QCOMPARE(b.text(), QString("last"));
        QCOMPARE(b.blockFormat().leftMargin(), 0.0);
    }

    void destinationsAndUnknownWordsAreSkipped() {
        QTextDocument doc;
        QCOMPARE(readPlain("{\\rtf1\\ansi{\\fonttbl{\\f0 Arial;}}{\\colortbl;\\red1\\green2\\blue3;}"
                           "{\\*\\generator Writer 1;}{\\info{\\title Secret}{\\author Me}}{\\stylesheet{\\s0 Normal;}}"
                           "{\\pict\\wmetafile8 0a0b0c}{\\*\\unknowndest {nested} text}\\unknownword42 visible"
                           "\\bin3 {}} after}trailing{",
                           doc),
                 QString("visible after"));
    }

    void badInputIsRefusedOrBounded() {
        QTextDocument doc;
        const std::string deep = "{\\rtf1 " + std::string(kMaxRtfGroupDepth, '{') + "x" +
                                 std::string(kMaxRtfGroupDepth, '}') + "}";
        for (const std::string& bad : {std::string("plain text"), std::string("{\\rtf1 unclosed {group}"),
                                       std::string("{\\rtf1 a\\"), deep}) {
            doc.setPlainText("old");
            QVERIFY_THROWS_EXCEPTION(ERtfError, ReadRtf(bad, doc));
            QVERIFY(doc.isEmpty());
        }
        // Just inside the limit is fine.
        const std::string deepest = "{\\rtf1 " + std::string(kMaxRtfGroupDepth - 1, '{') + "x" +
                                    std::string(kMaxRtfGroupDepth - 1, '}') + "}";
        QCOMPARE(readPlain(deepest, doc), QString("x"));

        // Huge numbers saturate, broken escapes show nothing.
        readPlain("{\\rtf1\\fs999999999999999999999 big\\li-99999999999999 \\u99999999999 xa\\'4}", doc);
        QCOMPARE(doc.toPlainText(), QString("big\uFFFDa"));
        QCOMPARE(formatOf(doc, "big").fontPointSize(), 200.0);
        QCOMPARE(doc.begin().blockFormat().leftMargin(), -31680 / 15.0);
    }

    void viewShowsDocumentsOnTheFaceColour() {
        RichTextView view;
        QVERIFY(view.isReadOnly());
        QCOMPARE(view.verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
        QCOMPARE(view.palette().color(QPalette::Base), view.palette().color(QPalette::Window));

        view.setRtf("{\\rtf1 shown}");
        QCOMPARE(view.toPlainText(), QString("shown"));
        const std::string missing = std::string(VS_DOCS_DIR) + "/NoSuchDocument.rtf";
        try {
            view.loadFile(missing);
            QFAIL("a missing document loaded");
        } catch (const vs::EFOpenError& e) {
            QCOMPARE(std::string(e.what()), "Cannot open file " + missing);
        }
        QVERIFY(view.toPlainText().isEmpty());
        QVERIFY_THROWS_EXCEPTION(vs::EFOpenError, view.loadFile(VS_DOCS_DIR));  // a folder is no document
    }

    void eachHelpDocumentLoads_data() {
        QTest::addColumn<QString>("document");
        QTest::addColumn<QStringList>("phrases");
        QTest::newRow("printing") << "VexelScreenPrinting.rtf"
                                  << QStringList{"vexelprint(0,0,0,0) /fitpage /nodialog", "/landscape", "/invert", "/h=\""};
        QTest::newRow("date/time") << "VexelScreenDateTime.rtf"
                                   << QStringList{"Date_YY=2001&Date_MM=3&Date_DD=5&Time_HH=9&Time_MM=7&Time_SS=3&Time_MS=45&"
                                                  "VexelDateTimeLOADED=1",
                                                  "loadVariablesNum(\"Datetime.txt\", 0)"};
        QTest::newRow("launch") << "VexelScreenExec.rtf" << QStringList{"vexelexec(readme.txt, )"};
        QTest::newRow("storage") << "VexelScreenStore.rtf"
                                 << QStringList{"vexelscreen:savevariables(scores.txt)", "vexelscreen:loadvariables", "5905"};
        QTest::newRow("general") << "VexelScreenGeneral.rtf" << QStringList{"Preview", "Build", ".vsp"};
    }
    void eachHelpDocumentLoads() {
        QFETCH(QString, document);
        QFETCH(QStringList, phrases);
        RichTextView view;
        view.loadFile(std::string(VS_DOCS_DIR) + "/" + document.toStdString());
        const QString text = view.toPlainText();
        for (const QString& phrase : phrases) QVERIFY2(text.contains(phrase), qPrintable(phrase));
        // Nothing of the markup may show: no control word, no font table.
        const QRegularExpression controlWord(R"(\\[a-z]+(-?[0-9]+)?([ \\{}]|$))");
        QVERIFY2(!text.contains(controlWord), qPrintable(controlWord.match(text).captured()));
        QVERIFY(!text.contains("Courier New;"));
    }
};

VS_GUI_SUITE(RichText);

#include "rich_text_test.moc"
