#pragma once
// The ports of the application layer as the native window implements them:
// the user (message boxes, the common file dialogs, the message loop run once,
// progress), the shell (file icons, opening documents, starting projectors)
// and the settings file "VexelSCREEN.dat" under the user's application data.
#include <windows.h>

#include <functional>
#include <map>
#include <memory>
#include <string>

#include "app/ports.h"

namespace vs::win32 {

enum class MessageKind { Warning, Error, Confirmation };

// A message box titled "VexelSCREEN Generator": a warning or an error with
// OK, a confirmation with Yes and No (true for Yes).
bool ShowMessage(MessageKind kind, std::string_view text);

// The filter of a file dialog as the system wants it: the "|"-separated pairs
// with NUL between the parts and two at the end.
std::wstring DialogFilter(const std::string& filter);

class Win32UserInterface : public UserInterface {
public:
    void warning(std::string_view text) override;
    void error(std::string_view text) override;
    bool confirm(std::string_view text) override;
    std::optional<std::string> openFileName(const FileDialog& dialog) override;
    std::vector<std::string> openFileNames(const FileDialog& dialog) override;
    std::optional<std::string> saveFileName(const FileDialog& dialog) override;
    // A small modal dialog: the prompt, a field that shows no characters,
    // OK and Cancel.
    std::optional<std::string> askPassword(std::string_view prompt) override;
    // Lets every message waiting in this thread's queue run once; a quit
    // message is put back for the main loop.
    void processPendingMessages() override;
    void progress(int position, int maximum) override;

    // Runs before pending messages (the window shows the model) and on
    // progress (the busy page's bar). After the messages have run, the window
    // may end the operation by throwing (a close of the window cancels a build).
    std::function<void()> beforePendingMessages;
    std::function<void()> afterPendingMessages;
    std::function<void(int, int)> onProgress;
    // Keyboard navigation of the window whose messages run (tab, mnemonics).
    std::function<bool(MSG&)> translate;
};

class Win32StartedProgram : public StartedProgram {
public:
    explicit Win32StartedProgram(PROCESS_INFORMATION process) : process_(process) {}
    ~Win32StartedProgram() override;
    Win32StartedProgram(const Win32StartedProgram&) = delete;
    Win32StartedProgram& operator=(const Win32StartedProgram&) = delete;

    void waitForInputIdle() override;
    // Waits a short while for the program to end, waking for window messages.
    bool running() override;
    // A thread waits for the program's end and then removes the file; the
    // process outlives its window until then (WaitForPendingRemovals).
    void removeWhenEnded(const std::string& file) override;

private:
    PROCESS_INFORMATION process_;
};

// Waits until every file handed to removeWhenEnded is gone or its program has
// ended: called when the window has closed, before the program ends.
void WaitForPendingRemovals();

class Win32Shell : public Shell {
public:
    std::optional<TIcon> largeIcon(const std::string& file) override;
    std::optional<TIcon> smallIcon(const std::string& file) override;
    bool openDocument(const std::string& file) override;
    std::unique_ptr<StartedProgram> startProgram(const std::string& file) override;
};

// The settings file in INI form, readable by both windows of the generator:
// values under [Values] by key, placements in a section "Window.NAME" with
// Left, Top, Width, Height and Maximized (only Left and Top for a placement
// of the position alone). Every write replaces the file as a
// whole; one that cannot be written fails with "Cannot create file %s".
class IniSettingsStore : public SettingsStore {
public:
    // %APPDATA%\VexelSCREEN\VexelSCREEN.dat
    static std::string DefaultFileName();
    explicit IniSettingsStore(std::string fileName = DefaultFileName());

    const std::string& fileName() const { return fileName_; }

    // A file that cannot be read gives no values, and is not written over:
    // setValue and setPlacement then leave it as it is.
    std::optional<std::string> value(std::string_view key) override;
    void setValue(std::string_view key, std::string_view value) override;
    std::optional<WindowPlacement> placement(std::string_view window) override;
    void setPlacement(std::string_view window, const WindowPlacement& placement) override;

    // The INI text of sections and their keys, and back (escapes, quotes).
    using Sections = std::map<std::string, std::map<std::string, std::string>>;
    static Sections Parse(std::string_view text);
    static std::string Format(const Sections& sections);

private:
    // The file's sections, none when there is no file; nothing when the file
    // is there but cannot be read (a backup or virus scanner holding it),
    // even after a few tries: its contents are then unknown, which is not the
    // same as empty, and a write would lose every value it holds.
    std::optional<Sections> read() const;
    void write(const Sections& sections);
    std::string fileName_;
};

}  // namespace vs::win32
