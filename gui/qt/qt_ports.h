#pragma once
// The ports of the application layer as the Qt window implements them: the
// user (message boxes, file dialogs, pending events, progress), the desktop
// shell (file icons, opening documents, starting projectors) and the settings
// file "VexelSCREEN.dat".
#include <QObject>
#include <QPointer>
#include <QString>
#include <QWidget>

#include <functional>
#include <memory>

#include "app/ports.h"

class QMessageBox;
class QProcess;

namespace vs::gui {

inline constexpr const char* kApplicationTitle = "VexelSCREEN Generator";

enum class MessageKind { Warning, Error, Confirmation };

// A message text for Qt: the system joins lines with a lone carriage return.
QString MessageText(std::string_view text);
// The message box of a kind, titled "VexelSCREEN Generator": a warning or an
// error with OK, a confirmation with Yes and No.
std::unique_ptr<QMessageBox> MakeMessageBox(MessageKind kind, std::string_view text, QWidget* parent);

class QtUserInterface : public QObject, public UserInterface {
    Q_OBJECT
public:
    explicit QtUserInterface(QWidget* parent);
    // The window over which messages and dialogs appear when no modal window is open.
    void setDialogParent(QWidget* parent) { parent_ = parent; }

    void warning(std::string_view text) override;
    void error(std::string_view text) override;
    bool confirm(std::string_view text) override;
    std::optional<std::string> openFileName(const FileDialog& dialog) override;
    std::vector<std::string> openFileNames(const FileDialog& dialog) override;
    std::optional<std::string> saveFileName(const FileDialog& dialog) override;
    // A modal input dialog ("passwordDialog") whose field does not echo.
    std::optional<std::string> askPassword(std::string_view prompt) override;
    void processPendingMessages() override;
    void progress(int position, int maximum) override;

signals:
    // The window connects this to the bar of the busy page.
    void progressChanged(int position, int maximum);

private:
    QWidget* dialogParent() const;
    QPointer<QWidget> parent_;
};

// A projector started through QProcess. Released while it still runs, the
// process is left running: the QProcess is handed over to itself and deleted
// when the program ends (a QProcess destroyed while running would kill it).
class QtStartedProgram : public StartedProgram {
public:
    explicit QtStartedProgram(std::unique_ptr<QProcess> process);
    ~QtStartedProgram() override;
    QtStartedProgram(const QtStartedProgram&) = delete;
    QtStartedProgram& operator=(const QtStartedProgram&) = delete;

    void waitForInputIdle() override;
    bool running() override;

private:
    std::unique_ptr<QProcess> process_;
};

class QtShell : public Shell {
public:
    // Large icons are 32 x 32, small ones 16 x 16.
    std::optional<TIcon> largeIcon(const std::string& file) override;
    std::optional<TIcon> smallIcon(const std::string& file) override;
    bool openDocument(const std::string& file) override;
    // On Windows the file itself; elsewhere through wine (its 64-bit loader
    // for a 64-bit program) when it is installed; otherwise nothing.
    std::unique_ptr<StartedProgram> startProgram(const std::string& file) override;

private:
    std::optional<TIcon> iconOf(const std::string& file, int side);
};

// The settings file in INI form: values under [Values] by key, placements in
// one section per window. Writes go to disk at once (QSettings replaces the
// file as a whole); a file that cannot be written fails with
// "Cannot create file %s".
class QtSettingsStore : public SettingsStore {
public:
    // The user's configuration folder, "VexelSCREEN", "VexelSCREEN.dat".
    static QString DefaultFileName();
    explicit QtSettingsStore(QString fileName = DefaultFileName());

    const QString& fileName() const { return fileName_; }

    std::optional<std::string> value(std::string_view key) override;
    void setValue(std::string_view key, std::string_view value) override;
    std::optional<WindowPlacement> placement(std::string_view window) override;
    void setPlacement(std::string_view window, const WindowPlacement& placement) override;

private:
    QString fileName_;
};

}  // namespace vs::gui
