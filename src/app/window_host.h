#pragma once
// What the presentation model asks of the view that shows it, besides the
// ports: its other windows, shown modally, and hiding and showing itself.
#include <functional>

namespace vs {

class WindowHost {
public:
    virtual ~WindowHost() = default;
    // Shows the shape window modally; returns when it has been closed.
    virtual void showShapeWindowModal() = 0;
    // Closes the shape window (its OK and Exit buttons, the end of a shape).
    virtual void closeShapeWindow() = 0;
    virtual void showAboutModal() = 0;
    // Opens the file menu at the pointer.
    virtual void showFileMenu() = 0;
    virtual void hideMainWindow() = 0;
    virtual void showMainWindow() = 0;
    virtual void closeMainWindow() = 0;
};

// A host for a model that no window shows (the command line): "showing" the
// shape window runs a script on it instead.
class HeadlessHost : public WindowHost {
public:
    std::function<void()> shapeWindowScript;
    void showShapeWindowModal() override {
        if (shapeWindowScript) shapeWindowScript();
    }
    void closeShapeWindow() override {}
    void showAboutModal() override {}
    void showFileMenu() override {}
    void hideMainWindow() override {}
    void showMainWindow() override {}
    void closeMainWindow() override {}
};

}  // namespace vs
