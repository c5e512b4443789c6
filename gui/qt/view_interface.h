#pragma once
// The user-interface port that the window hands to its model: every question
// goes on to the real port (message boxes and dialogs, or a test's script),
// and the two calls that a long operation makes on its way are shown by the
// window itself: before pending events run, the window copies the model into
// its widgets (so the busy page appears), and progress feeds the busy page's
// bar. After pending events have run, the window may end the operation by
// throwing (a close of the window cancels a build).
#include <functional>

#include "app/ports.h"

namespace vs::gui {

class ViewInterface : public UserInterface {
public:
    explicit ViewInterface(UserInterface& inner) : inner_(inner) {}

    std::function<void()> beforePendingMessages;
    std::function<void()> afterPendingMessages;
    std::function<void(int position, int maximum)> onProgress;

    void warning(std::string_view text) override { inner_.warning(text); }
    void error(std::string_view text) override { inner_.error(text); }
    bool confirm(std::string_view text) override { return inner_.confirm(text); }
    std::optional<std::string> openFileName(const FileDialog& dialog) override { return inner_.openFileName(dialog); }
    std::vector<std::string> openFileNames(const FileDialog& dialog) override { return inner_.openFileNames(dialog); }
    std::optional<std::string> saveFileName(const FileDialog& dialog) override { return inner_.saveFileName(dialog); }
    std::optional<std::string> askPassword(std::string_view prompt) override { return inner_.askPassword(prompt); }
    void processPendingMessages() override {
        if (beforePendingMessages) beforePendingMessages();
        inner_.processPendingMessages();
        if (afterPendingMessages) afterPendingMessages();
    }
    void progress(int position, int maximum) override {
        if (onProgress) onProgress(position, maximum);
        inner_.progress(position, maximum);
    }

    UserInterface& inner() { return inner_; }

private:
    UserInterface& inner_;
};

}  // namespace vs::gui
