#pragma once
// The ports through which the generator meets the outside: the user, the
// desktop shell and the store of remembered values. The Qt window, the
// command line and the tests' scripted doubles implement them. Every text is
// UTF-8; texts of several lines join them with a lone carriage return.
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "exe/icon.h"

namespace vs {

// A file dialog as the window describes it. The filter has the system's form,
// pairs of description and patterns joined by "|": "Icon files|*.ico|Other
// files (get icon)|*.*"; empty means no filter.
struct FileDialog {
    std::string title;             // empty: the toolkit's own
    std::string filter;
    std::string defaultExtension;  // ".exe", added to a name typed without one
    std::string initialName;       // preset name, may hold a folder
    std::string initialFolder;
    bool overwritePrompt = false;  // save: ask before replacing a file
    bool mustExist = true;         // open: the file must exist; save: its folder must
};

class UserInterface {
public:
    virtual ~UserInterface() = default;
    virtual void warning(std::string_view text) = 0;  // warning icon, OK
    virtual void error(std::string_view text) = 0;    // error icon, OK
    virtual bool confirm(std::string_view text) = 0;  // Yes / No
    // Nothing (or no names) when the user cancels.
    virtual std::optional<std::string> openFileName(const FileDialog& dialog) = 0;
    virtual std::vector<std::string> openFileNames(const FileDialog& dialog) = 0;
    virtual std::optional<std::string> saveFileName(const FileDialog& dialog) = 0;
    // A password typed without echo; nothing when the user cancels.
    virtual std::optional<std::string> askPassword(std::string_view prompt) = 0;
    // Lets pending window messages run once.
    virtual void processPendingMessages() = 0;
    // Progress of a long operation: position out of maximum (0 of 0: none).
    virtual void progress(int position, int maximum) = 0;
};

// A program started by the shell, until its handles are released.
class StartedProgram {
public:
    virtual ~StartedProgram() = default;
    // Waits until the program first waits for user input.
    virtual void waitForInputIdle() = 0;
    // Whether the platform still reports the program as running.
    virtual bool running() = 0;
    // Removes `file` once the program has ended, also after the generator's
    // window has closed: Windows removes no program file while it runs. A
    // POSIX system removes it at once, so there nothing is left to do.
    virtual void removeWhenEnded(const std::string& file) { (void)file; }
};

class Shell {
public:
    virtual ~Shell() = default;
    // The icons the desktop shows for a file: large (32 x 32) and small (16 x 16).
    virtual std::optional<TIcon> largeIcon(const std::string& file) = 0;
    virtual std::optional<TIcon> smallIcon(const std::string& file) = 0;
    // Opens a document with the verb "Open", as a double click would.
    virtual bool openDocument(const std::string& file) = 0;
    // Starts a program without arguments in the current folder; nothing when
    // it cannot be started.
    virtual std::unique_ptr<StartedProgram> startProgram(const std::string& file) = 0;
};

// Where a window stood and how large it was. A placement without its size
// (`sized` false) keeps only the position, and width, height and maximized
// mean nothing.
struct WindowPlacement {
    int left = 0, top = 0, width = 0, height = 0;
    bool maximized = false;
    bool sized = true;
    bool operator==(const WindowPlacement&) const = default;
};

// The remembered values of the window ("VexelSCREEN.dat"): file names by the
// name of their control ("edFlashProjector.FileName"), placements by window.
class SettingsStore {
public:
    virtual ~SettingsStore() = default;
    virtual std::optional<std::string> value(std::string_view key) = 0;
    virtual void setValue(std::string_view key, std::string_view value) = 0;
    virtual std::optional<WindowPlacement> placement(std::string_view window) = 0;
    virtual void setPlacement(std::string_view window, const WindowPlacement& placement) = 0;
};

}  // namespace vs
