#include "gui/qt/shape_window.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include "gui/qt/color_swatch.h"
#include "gui/qt/file_name_edit.h"
#include "gui/qt/glyphs.h"
#include "gui/qt/picture_view.h"
#include "gui/qt/window_placement.h"
#include "shape/region_from_bitmap.h"

namespace vs::gui {

namespace {

// The live preview scans the picture on every click; beyond this many pixels
// that would make the click feel slow, and the shape shows only after OK.
constexpr std::int64_t kMaxPreviewPixels = 4'000'000;

QColor qColour(Colour c) { return QColor(RedOf(c), GreenOf(c), BlueOf(c)); }

QString colourName(Colour c) {
    return QStringLiteral("#%1").arg(static_cast<qulonglong>(c & 0xFFFFFFu), 6, 16, QLatin1Char('0')).toUpper();
}

QList<QRect> qRects(const std::vector<Rect>& rects) {
    QList<QRect> out;
    out.reserve(static_cast<qsizetype>(rects.size()));
    for (const Rect& r : rects) out << QRect(QPoint(r.left, r.top), QPoint(r.right - 1, r.bottom - 1));
    return out;
}

}  // namespace

QImage ToQImage(const TBitmap& bitmap) {
    if (bitmap.Empty()) return {};
    QImage image(bitmap.Width(), bitmap.Height(), QImage::Format_RGB32);
    for (std::int32_t y = 0; y < bitmap.Height(); ++y) {
        auto* out = reinterpret_cast<QRgb*>(image.scanLine(y));
        const std::span<const Colour> row = bitmap.Row(y);
        for (std::size_t x = 0; x < row.size(); ++x) out[x] = 0xFF000000u | (row[x] & 0xFFFFFFu);
    }
    return image;
}

TfShapeSelect::TfShapeSelect(TfShapeSelectModel& model, UserInterface& ui, SettingsStore& store,
                             std::function<void(const std::function<void()>&)> run, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint),
      model_(model),
      store_(store),
      run_(std::move(run)),
      picture_(new PictureView(this)),
      trackColor_(new ColorSwatch(this)),
      color_(new ColorSwatch(this)),
      trackText_(new QLabel(this)),
      colorText_(new QLabel(this)),
      openShape_(new FileNameEdit(ui, this)),
      buttons_(new QWidget(this)),
      ok_(new QPushButton(QString::fromStdString(model.btOK.caption), buttons_)),
      cancel_(new QPushButton(QString::fromStdString(model.btCancel.caption), buttons_)),
      progressPanel_(new QWidget(this)),
      progressText_(new QLabel(QString::fromUtf8(TfShapeSelectModel::kProgressText), progressPanel_)),
      pb_(new QProgressBar(progressPanel_)) {
    setObjectName(QStringLiteral("TfShapeSelect"));
    setWindowTitle(QString::fromUtf8(TfShapeSelectModel::kCaption));
    setWindowIcon(ProgramIcon());
    setSizeGripEnabled(true);
    setModal(true);
    picture_->setAlignment(Qt::AlignCenter);

    picture_->setObjectName(QString::fromStdString(model.ShapeImage.name));
    trackColor_->setObjectName(QString::fromStdString(model.paTrackColor.name));
    color_->setObjectName(QString::fromStdString(model.paColor.name));
    openShape_->setObjectName(QString::fromStdString(model.OpenShape.name));
    buttons_->setObjectName(QString::fromStdString(model.paButtons.name));
    ok_->setObjectName(QString::fromStdString(model.btOK.name));
    cancel_->setObjectName(QString::fromStdString(model.btCancel.name));
    progressPanel_->setObjectName(QString::fromStdString(model.paProgress.name));
    pb_->setObjectName(QString::fromStdString(model.pb.name));

    auto* prompt = new QLabel(QString::fromUtf8(TfShapeSelectModel::kPrompt), this);
    prompt->setWordWrap(true);
    QFont bold = prompt->font();
    bold.setBold(true);
    prompt->setFont(bold);

    // The side column: the picture file, the two colours, and what the veil means.
    auto* side = new QWidget(this);
    auto* sideLayout = new QGridLayout(side);
    sideLayout->setContentsMargins(0, 0, 0, 0);
    auto* fileLabel = new QLabel(tr("Picture:"), side);
    fileLabel->setBuddy(openShape_);
    openShape_->setNoTyping(true);
    FileDialog dialog;
    dialog.filter = model.OpenShape.dialog.filter;
    openShape_->setDialog(dialog);
    openShape_->setMinimumWidth(220);
    auto* trackLabel = new QLabel(tr("Under the pointer:"), side);
    auto* colorLabel = new QLabel(tr("Transparent colour:"), side);
    trackColor_->setMinimumSize(48, 28);
    color_->setMinimumSize(48, 28);
    auto* legend = new QLabel(tr("Click the picture to choose the transparent colour. The veiled parts will be "
                                 "cut out of the projector's window."),
                              side);
    legend->setWordWrap(true);
    legend->setForegroundRole(QPalette::PlaceholderText);
    sideLayout->addWidget(fileLabel, 0, 0, 1, 2);
    sideLayout->addWidget(openShape_, 1, 0, 1, 2);
    sideLayout->addItem(new QSpacerItem(0, 12), 2, 0);
    sideLayout->addWidget(trackLabel, 3, 0, 1, 2);
    sideLayout->addWidget(trackColor_, 4, 0);
    sideLayout->addWidget(trackText_, 4, 1);
    sideLayout->addWidget(colorLabel, 5, 0, 1, 2);
    sideLayout->addWidget(color_, 6, 0);
    sideLayout->addWidget(colorText_, 6, 1);
    sideLayout->addItem(new QSpacerItem(0, 12), 7, 0);
    sideLayout->addWidget(legend, 8, 0, 1, 2);
    sideLayout->setRowStretch(9, 1);
    sideLayout->setColumnStretch(1, 1);

    auto* middle = new QHBoxLayout;
    middle->addWidget(picture_, 1);
    middle->addWidget(side);

    auto* buttonLayout = new QHBoxLayout(buttons_);
    buttonLayout->setContentsMargins(0, 0, 0, 0);
    buttonLayout->addStretch(1);
    buttonLayout->addWidget(ok_);
    buttonLayout->addWidget(cancel_);
    ok_->setDefault(true);
    ok_->setAutoDefault(true);
    cancel_->setAutoDefault(false);

    auto* progressLayout = new QHBoxLayout(progressPanel_);
    progressLayout->setContentsMargins(0, 0, 0, 0);
    progressLayout->addWidget(progressText_);
    progressLayout->addWidget(pb_, 1);
    pb_->setTextVisible(false);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(prompt);
    layout->addLayout(middle, 1);
    layout->addWidget(buttons_);
    layout->addWidget(progressPanel_);
    resize(720, 480);

    connect(picture_, &PictureView::pixelHovered, this,
            [this](int x, int y) { forward([this, x, y] { model_.ShapeImageMouseMove(x, y); }); });
    connect(picture_, &PictureView::clicked, this, [this](int x, int y) {
        forward([this, x, y] {
            model_.ShapeImageMouseMove(x, y);
            model_.ShapeImageClick();
        });
    });
    connect(openShape_, &FileNameEdit::afterDialog, this, [this](const QString& name) {
        forward([this, name] { model_.OpenShapeAfterDialog(name.toStdString()); });
        showModelPicture();
    });
    connect(ok_, &QPushButton::clicked, this, [this] { forward([this] { model_.btOKClick(); }); });
    connect(cancel_, &QPushButton::clicked, this, [this] { forward([this] { model_.btCancelClick(); }); });
}

void TfShapeSelect::forward(const std::function<void()>& action) {
    if (acting_) return;  // an event that arrived while the shape is being made
    acting_ = true;
    run_(action);
    acting_ = false;
    refresh();
}

void TfShapeSelect::reject() {
    if (!cancel_->isEnabled()) return;  // the shape is being made: the window closes itself
    forward([this] { model_.btCancelClick(); });
}

void TfShapeSelect::closeWindow() {
    if (isVisible()) done(QDialog::Accepted);
}

void TfShapeSelect::runModal() {
    if (!restorePosition() && parentWidget()) move(parentWidget()->geometry().center() - rect().center());
    showModelPicture();
    refresh();
    exec();
    run_([this] { store_.setPlacement(kPlacementName, TfShapeSelectModel::KeptPlacement(PlacementOf(*this))); });
}

bool TfShapeSelect::restorePosition() {
    std::optional<WindowPlacement> stored;
    run_([&] { stored = store_.placement(kPlacementName); });
    if (!stored) return false;
    ApplyPlacement(*this, TfShapeSelectModel::KeptPlacement(*stored));
    return true;
}

void TfShapeSelect::showModelPicture() {
    const auto& picture = model_.ShapeImage.picture;
    picture_->setPicture(picture ? ToQImage(*picture) : QImage());
    previewColour_.reset();
    // A shape made from this picture shows as it is until another colour is picked.
    const TStoreWinRegion& shape = model_.ShapeRegion;
    if (picture && shape.RegionHolder().Handle() && shape.Width == picture->Width() && shape.Height == picture->Height()) {
        picture_->setRegion(qRects(shape.RegionHolder().Handle()->rects()));
        previewColour_ = model_.paColor.color;
    } else {
        picture_->clearRegion();
    }
}

void TfShapeSelect::updatePreview() {
    const auto& picture = model_.ShapeImage.picture;
    if (!picture || picture->Empty()) {
        picture_->clearRegion();
        previewColour_.reset();
        return;
    }
    if (previewColour_ == model_.paColor.color) return;
    previewColour_ = model_.paColor.color;
    if (std::int64_t{picture->Width()} * picture->Height() > kMaxPreviewPixels) {
        picture_->clearRegion();
        return;
    }
    picture_->setRegion(qRects(OpaqueRuns(*picture, model_.paColor.color)));
}

bool TfShapeSelect::previewShown() const { return picture_->canvas()->hasRegion(); }

void TfShapeSelect::refresh() {
    if (refreshing_) return;
    refreshing_ = true;
    const QSignalBlocker block(this);
    picture_->setVisible(model_.ShapeImage.visible);
    trackColor_->setColor(qColour(model_.paTrackColor.color));
    trackText_->setText(colourName(model_.paTrackColor.color));
    color_->setColor(qColour(model_.paColor.color));
    colorText_->setText(colourName(model_.paColor.color));
    if (openShape_->fileName().toStdString() != model_.OpenShape.fileName)
        openShape_->setFileName(QString::fromStdString(model_.OpenShape.fileName));
    openShape_->setEnabled(model_.OpenShape.enabled);
    buttons_->setVisible(model_.paButtons.visible);
    ok_->setEnabled(model_.btOK.enabled);
    cancel_->setEnabled(model_.btCancel.enabled);
    progressPanel_->setVisible(model_.paProgress.visible);
    pb_->setRange(0, std::max(model_.pb.maximum, 1));
    pb_->setValue(std::clamp(model_.pb.position, 0, std::max(model_.pb.maximum, 1)));
    if (model_.btOK.enabled) updatePreview();
    refreshing_ = false;
}

}  // namespace vs::gui
