#pragma once
// The shape window (TfShapeSelect) in native controls: the picture at its
// natural size under a cross pointer, the colour under the pointer, the
// transparent colour taken by a click, a veil over the parts that colour cuts
// away, and OK and Exit. A thin view over TfShapeSelectModel.
#include <functional>
#include <optional>

#include "app/ports.h"
#include "app/shape_window.h"
#include "gui/win32/form.h"
#include "gui/win32/win32_ports.h"

namespace vs::win32 {

class ShapeWindow : public Form {
public:
    static constexpr const char* kPlacementName = "TfShapeSelect";

    // `run` runs a handler and reports what it throws (the main window's
    // general error report).
    ShapeWindow(TfShapeSelectModel& model, UserInterface& ui, SettingsStore& store, HWND owner,
                std::function<void(const std::function<void()>&)> run);
    ~ShapeWindow() override;

    // Shows the window modally over the model's picture; returns when it has
    // been closed. Its placement is restored before and stored after.
    void runModal();
    // The model closes the window (OK has made the shape, or Exit).
    void closeWindow();
    void progress(int position, int maximum);

protected:
    LRESULT handle(UINT msg, WPARAM wp, LPARAM lp) override;

private:
    static LRESULT CALLBACK PictureProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
    LRESULT picture(UINT msg, WPARAM wp, LPARAM lp);
    void showModelPicture();
    void updatePreview();
    void setVeil(const std::vector<Rect>* opaque);
    void updateScrollBars();
    void scroll(int bar, WPARAM wp);

    TfShapeSelectModel& model_;
    UserInterface& ui_;
    SettingsStore& store_;
    HWND owner_;
    bool done_ = true;
    HWND picture_ = nullptr, trackSwatch_ = nullptr, colorSwatch_ = nullptr, pb_ = nullptr;
    HBITMAP bitmap_ = nullptr;
    HRGN veil_ = nullptr;  // the parts the transparent colour cuts away
    HBRUSH trackBrush_ = nullptr, colorBrush_ = nullptr;
    Colour trackShown_ = kNoColour, colorShown_ = kNoColour;
    int pictureWidth_ = 0, pictureHeight_ = 0, scrollX_ = 0, scrollY_ = 0;
    std::optional<Colour> previewColour_;
};

}  // namespace vs::win32
