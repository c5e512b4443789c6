#pragma once
// The one port through which the core talks to the user. The Qt window, the
// command line and scripted test doubles implement it.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vs {

struct SaveDialog {
    std::string title;
    std::string defaultExtension;
    std::string filter;
    std::string initialName;
};

class UserInterface {
public:
    virtual ~UserInterface() = default;
    virtual void warning(std::string_view text) = 0;   // warning icon, OK
    virtual void error(std::string_view text) = 0;     // error icon, OK
    virtual bool confirm(std::string_view text) = 0;   // Yes / No
    virtual std::optional<std::string> saveFileName(const SaveDialog&) { return std::nullopt; }
    virtual void processPendingMessages() {}
    // Progress of a long operation: position out of maximum; done once at the end.
    virtual void progress(int position, int maximum) {}
    virtual void progressDone() {}
};

// Prints messages to stderr and answers every question with No.
class ConsoleInterface : public UserInterface {
public:
    void warning(std::string_view text) override;
    void error(std::string_view text) override;
    bool confirm(std::string_view text) override;
};

// Records every message; answers questions from a script (default No).
class RecordingInterface : public UserInterface {
public:
    struct Message { std::string kind; std::string text; };
    std::vector<Message> messages;
    std::vector<bool> answers;
    int pendingMessageCalls = 0;
    int progressCalls = 0;
    int progressDoneCalls = 0;
    std::vector<std::pair<int, int>> progressLog;

    void warning(std::string_view text) override { messages.push_back({"warning", std::string(text)}); }
    void error(std::string_view text) override { messages.push_back({"error", std::string(text)}); }
    bool confirm(std::string_view text) override {
        messages.push_back({"confirm", std::string(text)});
        if (answers.empty()) return false;
        bool a = answers.front();
        answers.erase(answers.begin());
        return a;
    }
    void processPendingMessages() override { ++pendingMessageCalls; }
    void progress(int position, int maximum) override {
        ++progressCalls;
        progressLog.emplace_back(position, maximum);
    }
    void progressDone() override { ++progressDoneCalls; }
};

}  // namespace vs
