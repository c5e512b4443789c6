#pragma once
// The settings applied to the projector's window, which belongs to another
// process: styles, owner, place and size, stacking, shape and caption. While
// the window runs, a size change keeps the ratio and rescales the shape.
#include "package/vexel_projector.h"
#include "win32/win32_util.h"

namespace vs::win32 {

// The first visible top-level window of the process, or nothing.
HWND FindProcessWindow(DWORD processId);

class ProjectorWindow {
public:
    ProjectorWindow(HWND window, const s_TVexelProjector& settings, HWND engineWindow);
    ~ProjectorWindow();
    ProjectorWindow(const ProjectorWindow&) = delete;
    ProjectorWindow& operator=(const ProjectorWindow&) = delete;

    HWND handle() const { return window_; }
    // Everything but the caption first: the caption comes last, so whoever
    // reads it back sees the rest in place.
    void Apply();
    // Called when the window moved or changed size.
    void OnLocationChange();

private:
    void applyShape(int width);

    HWND window_;
    const s_TVexelProjector& settings_;
    HWND engine_;
    int width_ = 0, height_ = 0;
    bool adjusting_ = false;
    HWINEVENTHOOK eventHook_ = nullptr;
};

}  // namespace vs::win32
