#pragma once
// The shape window (TfShapeSelect): the picture at its natural size under a
// cross pointer, the colour under the pointer, the transparent colour taken
// by a click, a preview of the shape that colour gives, and OK and Exit. A
// thin view over TfShapeSelectModel: the window shows the model and forwards
// the user's actions to it.
#include <QDialog>
#include <QImage>

#include <functional>
#include <optional>

#include "app/ports.h"
#include "app/shape_window.h"

class QLabel;
class QProgressBar;
class QPushButton;

namespace vs::gui {

class ColorSwatch;
class FileNameEdit;
class PictureView;

class TfShapeSelect : public QDialog {
    Q_OBJECT
public:
    static constexpr const char* kPlacementName = "TfShapeSelect";

    // `run` runs a handler and reports what it throws (the main window's
    // general error report).
    TfShapeSelect(TfShapeSelectModel& model, UserInterface& ui, SettingsStore& store,
                  std::function<void(const std::function<void()>&)> run, QWidget* parent = nullptr);

    // Shows the window modally over the model's picture; returns when it has
    // been closed. Its position is restored before and stored after.
    void runModal();
    // The model closes the window (OK has made the shape, or Exit).
    void closeWindow();
    // Copies the model into the widgets.
    void refresh();

    PictureView* picture() const { return picture_; }
    // The pixels the preview veils: those of the transparent colour.
    bool previewShown() const;

protected:
    void reject() override;  // Escape and the window's close: as Exit

private:
    void forward(const std::function<void()>& action);
    // Moves the window where it stood last time; false when it never stood anywhere.
    bool restorePosition();
    void showModelPicture();
    void updatePreview();

    TfShapeSelectModel& model_;
    SettingsStore& store_;
    std::function<void(const std::function<void()>&)> run_;
    bool acting_ = false;
    bool refreshing_ = false;

    PictureView* picture_;
    ColorSwatch* trackColor_;
    ColorSwatch* color_;
    QLabel* trackText_;
    QLabel* colorText_;
    FileNameEdit* openShape_;
    QWidget* buttons_;
    QPushButton* ok_;
    QPushButton* cancel_;
    QWidget* progressPanel_;
    QLabel* progressText_;
    QProgressBar* pb_;
    std::optional<Colour> previewColour_;
};

// A decoded bitmap as a Qt image (opaque RGB).
QImage ToQImage(const TBitmap& bitmap);

}  // namespace vs::gui
