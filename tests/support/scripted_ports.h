#pragma once
// Scripted doubles of the shell, the settings store and the window host.
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "app/ports.h"
#include "app/window_host.h"

namespace vs::test {

class ScriptedShell : public Shell {
public:
    std::vector<std::string> opened;   // documents opened with "Open"
    std::vector<std::string> started;  // programs started
    bool canStart = true;
    int runningPolls = 2;  // how often a started program still runs when asked
    // What happens while the model waits for a started program (the user
    // closing the window, say); nothing by default.
    std::function<void()> whileRunning;
    std::optional<TIcon> icon = TIcon(32, 32);

    std::optional<TIcon> largeIcon(const std::string&) override { return icon; }
    std::optional<TIcon> smallIcon(const std::string&) override {
        if (!icon) return std::nullopt;
        return TIcon(16, 16);
    }
    bool openDocument(const std::string& file) override {
        opened.push_back(file);
        return true;
    }
    std::unique_ptr<StartedProgram> startProgram(const std::string& file) override {
        started.push_back(file);
        if (!canStart) return nullptr;
        struct Program : StartedProgram {
            int left;
            std::function<void()> poll;
            Program(int polls, std::function<void()> onPoll) : left(polls), poll(std::move(onPoll)) {}
            void waitForInputIdle() override {}
            bool running() override {
                if (poll) poll();
                return left-- > 0;
            }
        };
        return std::make_unique<Program>(runningPolls, whileRunning);
    }
};

class MemorySettingsStore : public SettingsStore {
public:
    std::map<std::string, std::string, std::less<>> values;
    std::map<std::string, WindowPlacement, std::less<>> placements;

    std::optional<std::string> value(std::string_view key) override {
        auto it = values.find(key);
        if (it == values.end()) return std::nullopt;
        return it->second;
    }
    void setValue(std::string_view key, std::string_view value) override { values[std::string(key)] = value; }
    std::optional<WindowPlacement> placement(std::string_view window) override {
        auto it = placements.find(window);
        if (it == placements.end()) return std::nullopt;
        return it->second;
    }
    void setPlacement(std::string_view window, const WindowPlacement& p) override { placements[std::string(window)] = p; }
};

// Records what the model asks of its view; showing the shape window runs a script.
class ScriptedHost : public WindowHost {
public:
    std::function<void()> shapeWindow;  // what the user does in the shape window
    std::vector<std::string> log;

    void showShapeWindowModal() override {
        log.push_back("shape window");
        if (shapeWindow) shapeWindow();
    }
    void closeShapeWindow() override { log.push_back("close shape window"); }
    void showAboutModal() override { log.push_back("about"); }
    void showFileMenu() override { log.push_back("file menu"); }
    void hideMainWindow() override { log.push_back("hide"); }
    void showMainWindow() override { log.push_back("show"); }
    void closeMainWindow() override { log.push_back("close"); }
};

}  // namespace vs::test
