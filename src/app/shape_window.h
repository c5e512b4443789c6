#pragma once
// The shape window's logic: open a bitmap, point at the colour that is to be
// transparent, and turn the picture into the working shape `ShapeRegion`,
// from which the main window copies the settings' shape.
#include "app/controls.h"
#include "app/ports.h"
#include "app/window_host.h"
#include "package/store_win_region.h"

namespace vs {

class TfShapeSelectModel {
public:
    TfShapeSelectModel(UserInterface& ui, WindowHost& host);

    static constexpr const char* kCaption = "VexelSCREEN - Shaped projector";
    static constexpr const char* kPrompt =
        "Please select the color that indicates the region that should be transparent:";
    static constexpr const char* kProgressText = "Creating mask - please hold.";

    // The settings file keeps only where the window stood; it opens at its
    // own size each time. This is the part of a placement that is stored
    // and the part of a stored one that is restored.
    static WindowPlacement KeptPlacement(const WindowPlacement& placement) {
        return {placement.left, placement.top, 0, 0, false, false};
    }

    TStoreWinRegion ShapeRegion;
    PictureImage ShapeImage{"ShapeImage"};
    ColorSwatch paTrackColor{"paTrackColor"};
    ColorSwatch paColor{"paColor"};
    FileNameEdit OpenShape{"OpenShape"};
    Panel paButtons{"paButtons"};
    Button btOK{"btOK", "OK"};
    Button btCancel{"btCancel", "Exit"};
    Panel paProgress{"paProgress", kProgressText};
    ProgressBar pb{"pb"};

    // Runs the picture dialog; false when the user cancels. Otherwise loads
    // the picture, presets the transparent colour to its top-left pixel and
    // shows the window modally; true when it has closed, whichever button
    // closed it. A file that is no picture fails with the loader's error, and
    // the window is not shown.
    bool SelectShape();
    // Another picture chosen with the browse button: it replaces the picture,
    // and the working shape made from the previous one goes.
    void OpenShapeAfterDialog(const std::string& fileName);
    // The picture from a file (a project keeps it); the transparent colour
    // becomes its top-left pixel. "Bitmap image is not valid" when it is none.
    void LoadPicture(const std::string& fileName);
    void SetPicture(TBitmap picture);

    void FormShow();
    void ShapeImageMouseMove(int x, int y);
    void ShapeImageClick();
    // Makes the shape from the picture with the colour of paColor transparent.
    void btOKClick();
    void btCancelClick();

private:
    void Progress(int row, int height);
    void Done();

    UserInterface& ui_;
    WindowHost& host_;
};

}  // namespace vs
