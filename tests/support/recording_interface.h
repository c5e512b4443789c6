#pragma once
// Scripted doubles of the ports for tests: they record what the program shows
// and answer its questions and dialogs from a script.
#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "app/ports.h"

namespace vs::test {

class RecordingInterface : public UserInterface {
public:
    struct Message {
        std::string kind;  // "warning", "error", "confirm"
        std::string text;
    };
    std::vector<Message> messages;
    std::deque<bool> answers;                              // for confirm; No when empty
    std::deque<std::optional<std::string>> fileAnswers;    // for openFileName and saveFileName; cancel when empty
    std::deque<std::vector<std::string>> filesAnswers;     // for openFileNames; none when empty
    std::vector<FileDialog> dialogs;                       // every dialog shown, in order
    std::deque<std::optional<std::string>> passwordAnswers;  // for askPassword; an empty password when empty
    std::vector<std::string> passwordPrompts;               // every password asked for, in order
    int pendingMessageCalls = 0;
    int progressCalls = 0;
    std::vector<std::pair<int, int>> progressLog;

    void warning(std::string_view text) override { messages.push_back({"warning", std::string(text)}); }
    void error(std::string_view text) override { messages.push_back({"error", std::string(text)}); }
    bool confirm(std::string_view text) override {
        messages.push_back({"confirm", std::string(text)});
        if (answers.empty()) return false;
        bool a = answers.front();
        answers.pop_front();
        return a;
    }
    std::optional<std::string> openFileName(const FileDialog& dialog) override { return nextFile(dialog); }
    std::optional<std::string> saveFileName(const FileDialog& dialog) override { return nextFile(dialog); }
    std::optional<std::string> askPassword(std::string_view prompt) override {
        passwordPrompts.emplace_back(prompt);
        if (passwordAnswers.empty()) return std::string();
        auto password = std::move(passwordAnswers.front());
        passwordAnswers.pop_front();
        return password;
    }
    std::vector<std::string> openFileNames(const FileDialog& dialog) override {
        dialogs.push_back(dialog);
        if (filesAnswers.empty()) return {};
        auto names = std::move(filesAnswers.front());
        filesAnswers.pop_front();
        return names;
    }
    // Runs at each look at the pending messages (a click during a build).
    std::function<void()> whilePending;
    void processPendingMessages() override {
        ++pendingMessageCalls;
        if (whilePending) whilePending();
    }
    void progress(int position, int maximum) override {
        ++progressCalls;
        progressLog.emplace_back(position, maximum);
    }

    // The texts shown, of one kind or of all kinds.
    std::vector<std::string> texts(const std::string& kind = "") const {
        std::vector<std::string> out;
        for (const Message& m : messages)
            if (kind.empty() || m.kind == kind) out.push_back(m.text);
        return out;
    }

private:
    std::optional<std::string> nextFile(const FileDialog& dialog) {
        dialogs.push_back(dialog);
        if (fileAnswers.empty()) return std::nullopt;
        auto name = std::move(fileAnswers.front());
        fileAnswers.pop_front();
        return name;
    }
};

// A user interface that shows nothing and answers No, for benchmarks and fuzzers.
class SilentInterface : public RecordingInterface {
public:
    void warning(std::string_view) override {}
    void error(std::string_view) override {}
    bool confirm(std::string_view) override { return false; }
    void progress(int, int) override {}
    void processPendingMessages() override {}
};

}  // namespace vs::test
