#include "app/shape_window.h"

#include "shape/region_from_bitmap.h"

namespace vs {

TfShapeSelectModel::TfShapeSelectModel(UserInterface& ui, WindowHost& host) : ui_(ui), host_(host) {
    OpenShape.typing = false;
    OpenShape.dialog.filter = "Bitmaps (*.bmp)|*.bmp";
    paProgress.visible = false;
}

void TfShapeSelectModel::SetPicture(TBitmap picture) {
    paColor.color = picture.Pixel(0, 0);
    ShapeImage.picture = std::move(picture);
}

void TfShapeSelectModel::LoadPicture(const std::string& fileName) { SetPicture(TBitmap::FromFile(fileName)); }

bool TfShapeSelectModel::SelectShape() {
    FileDialog dialog;
    dialog.filter = OpenShape.dialog.filter;
    dialog.initialName = OpenShape.fileName;
    std::optional<std::string> name = ui_.openFileName(dialog);
    if (!name) return false;
    OpenShape.fileName = *name;
    LoadPicture(*name);
    FormShow();
    host_.showShapeWindowModal();
    return true;
}

void TfShapeSelectModel::OpenShapeAfterDialog(const std::string& fileName) {
    LoadPicture(fileName);
    OpenShape.fileName = fileName;
    ShapeRegion.Clear();
}

void TfShapeSelectModel::FormShow() {
    paProgress.visible = false;
    paButtons.visible = true;
    ShapeImage.visible = true;
    btOK.enabled = true;
    btCancel.enabled = true;
}

void TfShapeSelectModel::ShapeImageMouseMove(int x, int y) {
    if (!ShapeImage.picture) return;
    const TBitmap& p = *ShapeImage.picture;
    if (x < 0 || y < 0 || x >= p.Width() || y >= p.Height()) return;
    paTrackColor.color = p.Pixel(x, y);
}

void TfShapeSelectModel::ShapeImageClick() { paColor.color = paTrackColor.color; }

void TfShapeSelectModel::btOKClick() {
    if (!ShapeImage.picture) return;
    btOK.enabled = false;
    btCancel.enabled = false;
    paProgress.visible = true;
    paButtons.visible = false;
    const TBitmap& picture = *ShapeImage.picture;
    // Pending messages run once before each row, so the window stays alive.
    ui_.processPendingMessages();
    SetShapeFromBitmap(ShapeRegion, picture, paColor.color, [this](int row, int height) {
        Progress(row, height);
        if (row + 1 < height) ui_.processPendingMessages();
    });
    Done();
}

void TfShapeSelectModel::btCancelClick() { host_.closeShapeWindow(); }

void TfShapeSelectModel::Progress(int row, int height) {
    pb.maximum = height;
    pb.position = row;
    ui_.progress(row, height);
}

void TfShapeSelectModel::Done() {
    pb.position = 0;
    ui_.progress(0, pb.maximum);
    host_.closeShapeWindow();
}

}  // namespace vs
