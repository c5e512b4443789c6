#include <QApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QStandardPaths>
#include <QTest>
#include <QUrl>

#include <cstdio>
#include <map>
#include <string>

#include "gui/qt/application.h"
#include "gui_test.h"

namespace vs::test {

namespace {

std::map<std::string, SuiteFactory>& suites() {
    static std::map<std::string, SuiteFactory> all;
    return all;
}

}  // namespace

bool RegisterGuiSuite(const char* name, SuiteFactory factory) {
    suites().emplace(name, std::move(factory));
    return true;
}

void DropFiles(QWidget* target, const QStringList& files) {
    QMimeData mime;
    QList<QUrl> urls;
    for (const QString& f : files) urls << (f.contains(u"://") ? QUrl(f) : QUrl::fromLocalFile(f));
    mime.setUrls(urls);
    const QPoint at = target->rect().center();
    QDragEnterEvent enter(at, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &enter);
    if (!enter.isAccepted()) return;
    QDropEvent drop(QPointF(at), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &drop);
}

}  // namespace vs::test

// gui_tests [suite [QtTest options]]: without a suite, all of them.
int main(int argc, char** argv) {
    vs::gui::GeneratorApplication app(argc, argv);
    // A report would wait for a click that never comes; a suite that expects
    // one sets its own.
    app.report = [](const std::string& text) { qWarning("general error report: %s", text.c_str()); };
    QStandardPaths::setTestModeEnabled(true);
    auto& all = vs::test::suites();
    std::vector<std::string> chosen;
    int first = 1;
    if (argc > 1 && argv[1][0] != '-') {
        if (!all.count(argv[1])) {
            std::fprintf(stderr, "no suite named %s\n", argv[1]);
            return 2;
        }
        chosen.push_back(argv[1]);
        first = 2;
    } else {
        for (const auto& [name, factory] : all) chosen.push_back(name);
    }
    std::vector<char*> args{argv[0]};
    for (int i = first; i < argc; ++i) args.push_back(argv[i]);
    int failed = 0;
    for (const std::string& name : chosen) {
        auto suite = all[name]();
        failed += QTest::qExec(suite.get(), static_cast<int>(args.size()), args.data());
    }
    return failed == 0 ? 0 : 1;
}
