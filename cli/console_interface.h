#pragma once
// The user interface of the command line: messages go to standard error, with
// line feeds for the carriage returns that join their lines; questions are
// answered No and dialogs cancelled, since nobody is there to answer.
#include "app/ports.h"

namespace vs::cli {

class ConsoleInterface : public UserInterface {
public:
    void warning(std::string_view text) override;
    void error(std::string_view text) override;
    bool confirm(std::string_view text) override;
    std::optional<std::string> openFileName(const FileDialog&) override { return std::nullopt; }
    std::vector<std::string> openFileNames(const FileDialog&) override { return {}; }
    std::optional<std::string> saveFileName(const FileDialog&) override { return std::nullopt; }
    // Passwords come through the signing options, never from a prompt.
    std::optional<std::string> askPassword(std::string_view) override { return std::nullopt; }
    void processPendingMessages() override {}
    void progress(int, int) override {}
};

// Carriage returns as line feeds.
std::string ForTerminal(std::string_view text);

}  // namespace vs::cli
