#pragma once
// The QtTest suites of the window's toolkit share one executable; each suite
// registers itself by name and CTest runs them one by one
// ("gui_tests Widgets"). Helpers shared by the suites live here too.
#include <QObject>
#include <QStringList>

#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/ports.h"

class QWidget;

namespace vs::test {

using SuiteFactory = std::function<std::unique_ptr<QObject>()>;
bool RegisterGuiSuite(const char* name, SuiteFactory factory);

#define VS_GUI_SUITE(Class) \
    static const bool registered##Class = ::vs::test::RegisterGuiSuite(#Class, [] { return std::make_unique<Class>(); })

// Drags the files onto the widget and drops them, as the window system
// delivers a drop: enter, then drop, both to the widget under the pointer.
void DropFiles(QWidget* target, const QStringList& files);

// Answers the dialogs from a script and records every question.
class ScriptedInterface : public UserInterface {
public:
    std::vector<std::string> messages;  // "warning: ...", "error: ...", "confirm: ..."
    std::vector<FileDialog> dialogs;
    std::deque<std::optional<std::string>> fileAnswers;
    std::function<void()> onPendingMessages;  // what the user does while a long operation runs

    void warning(std::string_view text) override { messages.push_back("warning: " + std::string(text)); }
    void error(std::string_view text) override { messages.push_back("error: " + std::string(text)); }
    bool confirm(std::string_view text) override {
        messages.push_back("confirm: " + std::string(text));
        return false;
    }
    std::optional<std::string> openFileName(const FileDialog& d) override { return answer("open", d); }
    std::vector<std::string> openFileNames(const FileDialog& d) override {
        auto a = answer("open many", d);
        return a ? std::vector<std::string>{*a} : std::vector<std::string>{};
    }
    std::optional<std::string> saveFileName(const FileDialog& d) override { return answer("save", d); }
    // Answered from the script; an empty password when it has none left.
    std::deque<std::optional<std::string>> passwordAnswers;
    std::optional<std::string> askPassword(std::string_view prompt) override {
        messages.push_back("password: " + std::string(prompt));
        if (passwordAnswers.empty()) return std::string();
        auto a = passwordAnswers.front();
        passwordAnswers.pop_front();
        return a;
    }
    void processPendingMessages() override {
        if (onPendingMessages) onPendingMessages();
    }
    void progress(int, int) override {}

private:
    std::optional<std::string> answer(const char* kind, const FileDialog& d) {
        messages.push_back(std::string("dialog: ") + kind);
        dialogs.push_back(d);
        if (fileAnswers.empty()) return std::nullopt;
        auto a = fileAnswers.front();
        fileAnswers.pop_front();
        return a;
    }
};

}  // namespace vs::test
