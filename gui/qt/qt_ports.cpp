#include "gui/qt/qt_ports.h"

#include <algorithm>

#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QFileIconProvider>
#include <QFileInfo>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QProcess>
#include <QSettings>
#include <QStandardPaths>
#include <QUrl>

#include "gui/qt/file_dialogs.h"
#include "gui/qt/icon_image.h"
#include "exe/executable_kind.h"
#include "platform/errors.h"
#include "platform/stream.h"

namespace vs::gui {

namespace {

constexpr int kLargeIconSide = 32;
constexpr int kSmallIconSide = 16;
// How long the platform may take to create the process at all.
constexpr int kStartTimeoutMs = 30000;
// After start, the time a projector gets to open its window before the
// generator hides its own; the program's input-idle state cannot be observed
// through QProcess.
constexpr int kSettleMs = 500;
// Each poll of a running projector waits this long for it to end, so that the
// waiting loop lets the machine breathe while staying responsive.
constexpr int kPollMs = 10;

QString fromUtf8(std::string_view text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

QString valueKey(std::string_view key) { return QStringLiteral("Values/") + fromUtf8(key); }
QString placementGroup(std::string_view window) { return QStringLiteral("Window.") + fromUtf8(window); }

bool hasOwnIcons(const QString& suffix) {
    static const QStringList kExecutables = {QStringLiteral("exe"), QStringLiteral("dll"), QStringLiteral("ocx"),
                                             QStringLiteral("scr"), QStringLiteral("cpl")};
    return kExecutables.contains(suffix);
}

}  // namespace

QString MessageText(std::string_view text) {
    QString s = fromUtf8(text);
    s.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    s.replace(u'\r', u'\n');
    return s;
}

std::unique_ptr<QMessageBox> MakeMessageBox(MessageKind kind, std::string_view text, QWidget* parent) {
    QMessageBox::Icon icon = QMessageBox::Warning;
    QMessageBox::StandardButtons buttons = QMessageBox::Ok;
    switch (kind) {
        case MessageKind::Warning: break;
        case MessageKind::Error: icon = QMessageBox::Critical; break;
        case MessageKind::Confirmation:
            icon = QMessageBox::Question;
            buttons = QMessageBox::Yes | QMessageBox::No;
            break;
    }
    auto box = std::make_unique<QMessageBox>(icon, QString::fromUtf8(kApplicationTitle), MessageText(text), buttons, parent);
    box->setTextFormat(Qt::PlainText);  // file names may hold "<" or "&"
    box->setDefaultButton(kind == MessageKind::Confirmation ? QMessageBox::Yes : QMessageBox::Ok);
    return box;
}

// --- user interface -------------------------------------------------------

QtUserInterface::QtUserInterface(QWidget* parent) : QObject(parent), parent_(parent) {}

QWidget* QtUserInterface::dialogParent() const {
    if (QWidget* active = QApplication::activeModalWidget()) return active;
    return parent_.data();
}

void QtUserInterface::warning(std::string_view text) { MakeMessageBox(MessageKind::Warning, text, dialogParent())->exec(); }

void QtUserInterface::error(std::string_view text) { MakeMessageBox(MessageKind::Error, text, dialogParent())->exec(); }

bool QtUserInterface::confirm(std::string_view text) {
    return MakeMessageBox(MessageKind::Confirmation, text, dialogParent())->exec() == QMessageBox::Yes;
}

std::optional<std::string> QtUserInterface::openFileName(const FileDialog& description) {
    QFileDialog dialog(dialogParent());
    SetUpFileDialog(dialog, description, DialogKind::Open);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
    return QDir::toNativeSeparators(dialog.selectedFiles().first()).toStdString();
}

std::vector<std::string> QtUserInterface::openFileNames(const FileDialog& description) {
    QFileDialog dialog(dialogParent());
    SetUpFileDialog(dialog, description, DialogKind::OpenMany);
    std::vector<std::string> names;
    if (dialog.exec() != QDialog::Accepted) return names;
    for (const QString& name : dialog.selectedFiles()) names.push_back(QDir::toNativeSeparators(name).toStdString());
    return names;
}

std::optional<std::string> QtUserInterface::saveFileName(const FileDialog& description) {
    QFileDialog dialog(dialogParent());
    SetUpFileDialog(dialog, description, DialogKind::Save);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
    return QDir::toNativeSeparators(dialog.selectedFiles().first()).toStdString();
}

std::optional<std::string> QtUserInterface::askPassword(std::string_view prompt) {
    QInputDialog dialog(dialogParent());
    dialog.setObjectName("passwordDialog");
    dialog.setWindowTitle(kApplicationTitle);
    dialog.setInputMode(QInputDialog::TextInput);
    dialog.setLabelText(MessageText(prompt));
    dialog.setTextEchoMode(QLineEdit::Password);
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    return dialog.textValue().toStdString();
}

void QtUserInterface::processPendingMessages() { QCoreApplication::processEvents(); }

void QtUserInterface::progress(int position, int maximum) { emit progressChanged(position, maximum); }

// --- started program ------------------------------------------------------

QtStartedProgram::QtStartedProgram(std::unique_ptr<QProcess> process) : process_(std::move(process)) {}

QtStartedProgram::~QtStartedProgram() {
    if (!process_ || process_->state() == QProcess::NotRunning) return;
    QProcess* still = process_.release();
    QObject::connect(still, &QProcess::finished, still, &QObject::deleteLater);
    if (still->state() == QProcess::NotRunning) delete still;  // it ended just now
}

void QtStartedProgram::waitForInputIdle() {
    if (!process_->waitForStarted(kStartTimeoutMs)) return;
    process_->waitForFinished(kSettleMs);  // returns at once if the program ends meanwhile
}

bool QtStartedProgram::running() {
    if (process_->state() == QProcess::NotRunning) return false;
    return !process_->waitForFinished(kPollMs);
}

// --- shell ----------------------------------------------------------------

std::optional<TIcon> QtShell::iconOf(const std::string& file, int side) {
    if (!FileExists(file)) return std::nullopt;
    const QFileInfo info(QString::fromStdString(file));
    const QString suffix = info.suffix().toLower();
    std::optional<TIcon> own;
    try {
        if (suffix == u"ico") own = LoadIconFile(file);
        else if (hasOwnIcons(suffix)) own = ExeLargeIcon(file);
    } catch (const VsError&) {
        own.reset();  // damaged: the shell then shows the icon of the file type
    }
    if (own && own->HasColorImage()) {
        if (own->Width() != side || own->Height() != side) return ScaleIcon(*own, side, side);
        return own;
    }
    const QIcon icon = QFileIconProvider().icon(info);
    if (icon.isNull()) return std::nullopt;
    QImage image = icon.pixmap(QSize(side, side)).toImage();
    if (image.isNull()) return std::nullopt;
    if (image.width() != side || image.height() != side)
        image = image.scaled(side, side, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    return ToTIcon(image);
}

std::optional<TIcon> QtShell::largeIcon(const std::string& file) { return iconOf(file, kLargeIconSide); }

std::optional<TIcon> QtShell::smallIcon(const std::string& file) { return iconOf(file, kSmallIconSide); }

bool QtShell::openDocument(const std::string& file) {
    return QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromStdString(file)));
}

std::unique_ptr<StartedProgram> QtShell::startProgram(const std::string& file) {
    auto process = std::make_unique<QProcess>();
#ifdef Q_OS_WIN
    process->setProgram(QString::fromStdString(file));
#else
    // A 64-bit projector runs under wine's 64-bit loader, called directly:
    // the `wine` command may pick the 32-bit loader, which cannot start where
    // the kernel runs no 32-bit programs.
    QString wine;
    if (ExecutableKindOfFile(file) == ExecutableKind::Bits64) {
        wine = QStandardPaths::findExecutable(QStringLiteral("wine64"));
        for (const char* loader : {"/usr/lib/wine/wine64", "/usr/lib64/wine/wine64"})
            if (wine.isEmpty() && QFileInfo(QString::fromLatin1(loader)).isExecutable()) wine = QString::fromLatin1(loader);
    }
    if (wine.isEmpty()) wine = QStandardPaths::findExecutable(QStringLiteral("wine"));
    if (wine.isEmpty()) return nullptr;
    process->setProgram(wine);
    process->setArguments({QString::fromStdString(file)});
#endif
    process->setWorkingDirectory(QDir::currentPath());
    // Nobody reads the projector's output; a full pipe would stall it.
    process->setStandardInputFile(QProcess::nullDevice());
    process->setStandardOutputFile(QProcess::nullDevice());
    process->setStandardErrorFile(QProcess::nullDevice());
    process->start();
    if (!process->waitForStarted(kStartTimeoutMs)) return nullptr;
    return std::make_unique<QtStartedProgram>(std::move(process));
}

// --- settings store -------------------------------------------------------

QString QtSettingsStore::DefaultFileName() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/VexelSCREEN/VexelSCREEN.dat");
}

QtSettingsStore::QtSettingsStore(QString fileName) : fileName_(std::move(fileName)) {}

std::optional<std::string> QtSettingsStore::value(std::string_view key) {
    QSettings settings(fileName_, QSettings::IniFormat);
    const QVariant v = settings.value(valueKey(key));
    if (!v.isValid()) return std::nullopt;
    return v.toString().toStdString();
}

void QtSettingsStore::setValue(std::string_view key, std::string_view value) {
    QSettings settings(fileName_, QSettings::IniFormat);
    settings.setValue(valueKey(key), fromUtf8(value));
    settings.sync();
    if (settings.status() != QSettings::NoError) throw EFCreateError(cannotCreateFile(fileName_.toStdString()));
}

std::optional<WindowPlacement> QtSettingsStore::placement(std::string_view window) {
    QSettings settings(fileName_, QSettings::IniFormat);
    settings.beginGroup(placementGroup(window));
    WindowPlacement p;
    bool ok[2] = {};
    p.left = settings.value(QStringLiteral("Left")).toInt(&ok[0]);
    p.top = settings.value(QStringLiteral("Top")).toInt(&ok[1]);
    if (!ok[0] || !ok[1]) return std::nullopt;  // missing or damaged: the window keeps its own placement
    // A placement of the position alone has no size at all.
    const QStringList sizeKeys = {QStringLiteral("Width"), QStringLiteral("Height"), QStringLiteral("Maximized")};
    if (std::none_of(sizeKeys.begin(), sizeKeys.end(), [&](const QString& k) { return settings.contains(k); })) {
        p.sized = false;
        return p;
    }
    bool sized[3] = {};
    p.width = settings.value(QStringLiteral("Width")).toInt(&sized[0]);
    p.height = settings.value(QStringLiteral("Height")).toInt(&sized[1]);
    const QString maximized = settings.value(QStringLiteral("Maximized")).toString();
    sized[2] = maximized == u"0" || maximized == u"1";
    p.maximized = maximized == u"1";
    for (bool b : sized)
        if (!b) return std::nullopt;
    return p;
}

void QtSettingsStore::setPlacement(std::string_view window, const WindowPlacement& p) {
    QSettings settings(fileName_, QSettings::IniFormat);
    settings.beginGroup(placementGroup(window));
    settings.setValue(QStringLiteral("Left"), p.left);
    settings.setValue(QStringLiteral("Top"), p.top);
    if (p.sized) {
        settings.setValue(QStringLiteral("Width"), p.width);
        settings.setValue(QStringLiteral("Height"), p.height);
        settings.setValue(QStringLiteral("Maximized"), p.maximized ? 1 : 0);
    } else {
        for (const char* key : {"Width", "Height", "Maximized"}) settings.remove(QString::fromLatin1(key));
    }
    settings.endGroup();
    settings.sync();
    if (settings.status() != QSettings::NoError) throw EFCreateError(cannotCreateFile(fileName_.toStdString()));
}

}  // namespace vs::gui
