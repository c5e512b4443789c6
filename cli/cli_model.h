#pragma once
// The window's model as the command line drives it: ports that print to the
// terminal, answer the model's questions from the command's options, and keep
// nothing between runs.
#include <optional>
#include <string>
#include <vector>

#include "app/generator_model.h"
#include "app/window_host.h"
#include "cli/arguments.h"
#include "cli/console_interface.h"

namespace vs::cli {

class CliInterface : public ConsoleInterface {
public:
    // A failure's message starts on a line of its own.
    ~CliInterface() override { endProgress(); }
    int errorsShown = 0;
    // The next open dialog takes this name.
    void answerFileDialog(std::string name) { fileAnswer_ = std::move(name); }
    // A file that a project names and that is missing is retrieved as the
    // first unused target planned for its stored name.
    struct Retrieval {
        std::string stored, target;
        bool used = false;
    };
    void retrieveAs(std::vector<Retrieval> plan) { retrievals_ = std::move(plan); }
    void endProgress();

    void error(std::string_view text) override;
    bool confirm(std::string_view text) override;
    std::optional<std::string> openFileName(const FileDialog&) override;
    std::optional<std::string> saveFileName(const FileDialog& dialog) override;
    void progress(int position, int maximum) override;

private:
    std::optional<std::string> fileAnswer_;
    std::vector<Retrieval> retrievals_;
    bool progressShown_ = false;
};

// Icons of executables from their resources; every other file shows the
// generator's own icon. Nothing is opened or started.
class CliShell : public Shell {
public:
    std::optional<TIcon> largeIcon(const std::string& file) override;
    std::optional<TIcon> smallIcon(const std::string& file) override;
    bool openDocument(const std::string&) override { return false; }
    std::unique_ptr<StartedProgram> startProgram(const std::string&) override { return nullptr; }
};

class MemoryStore : public SettingsStore {
public:
    std::optional<std::string> value(std::string_view) override { return std::nullopt; }
    void setValue(std::string_view, std::string_view) override {}
    std::optional<WindowPlacement> placement(std::string_view) override { return std::nullopt; }
    void setPlacement(std::string_view, const WindowPlacement&) override {}
};

struct CliModel {
    CliInterface ui;
    CliShell shell;
    MemoryStore store;
    HeadlessHost host;
    TfVexelSCREENModel model{ui, shell, store, host, GeneratorPaths::OfThisProgram()};
};

}  // namespace vs::cli
