#include "gui/qt/generator_window.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QCursor>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QSpinBox>
#include <QStackedWidget>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

#include <climits>

#include "gui/qt/about_window.h"
#include "gui/qt/busy_panel.h"
#include "gui/qt/drop_area.h"
#include "gui/qt/file_list.h"
#include "gui/qt/file_name_edit.h"
#include "gui/qt/glyphs.h"
#include "gui/qt/icon_image.h"
#include "gui/qt/property_grid.h"
#include "gui/qt/rich_text_view.h"
#include "gui/qt/shape_window.h"
#include "gui/qt/spin_field.h"
#include "gui/qt/stored_text.h"
#include "gui/qt/track_bar.h"
#include "gui/qt/window_placement.h"
#include "platform/errors.h"

namespace vs::gui {

namespace {

QString q(const std::string& text) { return QString::fromStdString(text); }

constexpr int kGlyphSide = 24;
constexpr QSize kDefaultSize(940, 660);

// The bars are lighter than the pages, so that the pages' glyphs read on them.
constexpr const char* kStyleSheet = R"(
#headerBar, #bottomBar { background: palette(alternate-base); }
#headerBar { border-bottom: 1px solid palette(mid); }
#bottomBar { border-top: 1px solid palette(mid); }
#headerBar QToolButton, #bottomBar QToolButton {
    border: 1px solid transparent; border-radius: 6px; padding: 3px 8px;
}
#headerBar QToolButton:hover, #bottomBar QToolButton:hover { background: palette(midlight); }
#headerBar QToolButton:checked, #bottomBar QToolButton:checked {
    background: palette(base); border: 1px solid palette(highlight);
}
#headerBar QToolButton:focus, #bottomBar QToolButton:focus { border: 1px dotted palette(highlight); }
#pageTitle { font-weight: bold; }
)";

// A page: its glyph and title above a short line on what it holds, then the
// page's own content.
QWidget* pageFrame(const QString& glyph, const QString& title, const QString& subtitle, QVBoxLayout*& body) {
    auto* page = new QWidget;
    auto* layout = new QVBoxLayout(page);
    layout->setContentsMargins(18, 14, 18, 12);
    layout->setSpacing(10);
    auto* head = new QHBoxLayout;
    head->setSpacing(10);
    auto* icon = new QLabel(page);
    icon->setPixmap(Glyph(glyph).pixmap(QSize(32, 32)));
    auto* titles = new QVBoxLayout;
    titles->setSpacing(0);
    auto* heading = new QLabel(title, page);
    heading->setObjectName(QStringLiteral("pageTitle"));
    QFont big = heading->font();
    big.setPointSizeF(big.pointSizeF() * 1.35);
    heading->setFont(big);
    auto* line = new QLabel(subtitle, page);
    line->setWordWrap(true);
    line->setForegroundRole(QPalette::PlaceholderText);
    titles->addWidget(heading);
    titles->addWidget(line);
    head->addWidget(icon, 0, Qt::AlignTop);
    head->addLayout(titles, 1);
    layout->addLayout(head);
    body = new QVBoxLayout;
    body->setSpacing(10);
    layout->addLayout(body, 1);
    return page;
}

QGroupBox* group(const QString& title, QWidget* parent = nullptr) {
    auto* box = new QGroupBox(title, parent);
    return box;
}

// The small plus and minus of the additional files' buttons, drawn in the
// palette's text colour.
QIcon signGlyph(bool plus, const QPalette& palette) {
    QIcon icon;
    for (int side : {16, 32}) {
        QPixmap pixmap(side, side);
        pixmap.fill(Qt::transparent);
        QPainter p(&pixmap);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(QPen(palette.color(QPalette::Highlight), side / 8.0, Qt::SolidLine, Qt::RoundCap));
        const double m = side * 0.22, c = side / 2.0;
        p.drawLine(QPointF(m, c), QPointF(side - m, c));
        if (plus) p.drawLine(QPointF(c, m), QPointF(c, side - m));
        icon.addPixmap(pixmap);
    }
    return icon;
}

// A value that refresh() writes only when it changed, so that a widget that
// the user is working in is left alone when the model agrees with it.
template <class Widget, class Value, class Get, class Set>
void sync(Widget* w, const Value& value, Get get, Set set) {
    if ((w->*get)() != value) (w->*set)(value);
}

}  // namespace

// ---------------------------------------------------------------- construction

TfVexelSCREEN::TfVexelSCREEN(UserInterface& ui, Shell& shell, SettingsStore& store, GeneratorPaths paths,
                             QWidget* parent)
    : QMainWindow(parent), ui_(ui), store_(store) {
    setObjectName(QStringLiteral("TfVexelSCREEN"));
    model_ = std::make_unique<TfVexelSCREENModel>(ui_, shell, store, *this, std::move(paths));
    ui_.beforePendingMessages = [this] {
        refresh();
        if (shapeWindow_) shapeWindow_->refresh();
    };
    ui_.afterPendingMessages = [this] {
        if (cancellable_ && closeRequested_) throw EOperationCancelled();
    };
    ui_.onProgress = [this](int position, int maximum) {
        if (busy_ && model_->pages.activePage() == "pageBuilding") busy_->setProgress(position, maximum);
    };

    setWindowIcon(ProgramIcon());
    setStyleSheet(QString::fromUtf8(kStyleSheet));
    TfVexelSCREENModel& m = *model_;

    auto* central = new QWidget(this);
    auto* layout = new QVBoxLayout(central);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(buildHeader());

    pages_ = new QStackedWidget(central);
    pages_->setObjectName(q(m.pages.name));
    std::vector<QWidget*> pageWidgets = {buildFilesPage(),        buildAppearancePage(),
                                         buildDimensionsPage(),   buildBehaviourPage(),
                                         buildBuildPage(),        buildHelpPage(m.edGeneralHelp),
                                         buildDateTimePage(),     buildHelpPage(m.edPrintingInfo),
                                         buildHelpPage(m.edExecInfo), buildHelpPage(m.edVarSaveInfo),
                                         buildBusyPage()};
    for (std::size_t i = 0; i < pageWidgets.size(); ++i) {
        pageWidgets[i]->setObjectName(q(m.pages.pages[i]));
        pages_->addWidget(pageWidgets[i]);
    }
    refreshers_.push_back([this] {
        const int active = model_->pages.active;
        if (active != shownPage_ && model_->pages.activePage() == "pageBuilding") busy_->setProgress(0, 0);
        shownPage_ = active;
        if (pages_->currentIndex() != active) pages_->setCurrentIndex(active);
    });
    layout->addWidget(pages_, 1);
    layout->addWidget(buildBottomBar());
    setCentralWidget(central);
    buildFileMenu();

    shapeWindow_ = new TfShapeSelect(m.fShapeSelect, ui_, store_, [this](const std::function<void()>& action) {
        model_->Run(action);
    }, this);

    refreshers_.push_back([this] { sync(this, q(model_->caption), &QWidget::windowTitle, &QWidget::setWindowTitle); });
    resize(kDefaultSize);
    refresh();
}

TfVexelSCREEN::~TfVexelSCREEN() {
    // The model's controls are gone before the widgets that show them.
    refreshers_.clear();
}

void TfVexelSCREEN::start(const std::vector<std::string>& arguments) {
    forward([&] { model_->FormCreate(arguments); });
    if (!RestorePlacement(*this, store_, kPlacementName)) {
        if (const QScreen* screen = QGuiApplication::primaryScreen()) {
            const QRect available = screen->availableGeometry();
            resize(kDefaultSize.boundedTo(available.size()));
            move(available.center() - rect().center());
        }
    }
    show();
}

// ---------------------------------------------------------------- binding

void TfVexelSCREEN::bindControl(QWidget* widget, const Control& control) {
    widget->setObjectName(q(control.name));
    if (!control.hint.empty()) {
        widget->setToolTip(q(control.hint));
        widget->setAccessibleName(q(control.hint));
    }
    refreshers_.push_back([widget, &control] {
        if (widget->isHidden() == control.visible) widget->setVisible(control.visible);
        if (widget->isEnabled() != control.enabled) widget->setEnabled(control.enabled);
    });
}

QWidget* TfVexelSCREEN::panel(Panel& p, QWidget* widget) {
    bindControl(widget, p);
    return widget;
}

QAbstractButton* TfVexelSCREEN::button(QAbstractButton* widget, Button& b, std::function<void()> click, bool hintAsText,
                                       bool cancellable) {
    bindControl(widget, b);
    // A button without a caption may show its hint beside its glyph.
    auto text = [&b, hintAsText] { return q(b.caption.empty() && hintAsText ? b.hint : b.caption); };
    widget->setText(text());
    refreshers_.push_back([widget, text] { sync(widget, text(), &QAbstractButton::text, &QAbstractButton::setText); });
    connect(widget, &QAbstractButton::clicked, this,
            [this, click = std::move(click), cancellable] { forward(click, cancellable); });
    return widget;
}

QToolButton* TfVexelSCREEN::pageButton(Button& b, ButtonGroup& g, const char* glyph, std::function<void()> click) {
    auto* widget = new QToolButton;
    button(widget, b, std::move(click));
    widget->setCheckable(true);
    widget->setAutoRaise(true);
    widget->setFocusPolicy(Qt::StrongFocus);
    widget->setIcon(Glyph(QString::fromUtf8(glyph)));
    widget->setIconSize(QSize(kGlyphSide, kGlyphSide));
    widget->setToolButtonStyle(b.caption.empty() ? Qt::ToolButtonIconOnly : Qt::ToolButtonTextUnderIcon);
    if (b.hint.empty()) widget->setAccessibleName(q(b.caption));
    refreshers_.push_back([widget, &b, &g] {
        const bool down = g.down == &b;
        if (widget->isChecked() != down) widget->setChecked(down);
    });
    return widget;
}

QRadioButton* TfVexelSCREEN::radio(RadioButton& rb, QWidget* parent) {
    auto* widget = new QRadioButton(q(rb.caption), parent);
    bindControl(widget, rb);
    // The model decides which buttons of a box are checked, also none.
    widget->setAutoExclusive(false);
    connect(widget, &QRadioButton::clicked, this, [this, &rb] { forward([&rb] { rb.setChecked(true); }); });
    refreshers_.push_back([widget, &rb] {
        if (widget->isChecked() != rb.checked()) widget->setChecked(rb.checked());
    });
    return widget;
}

QCheckBox* TfVexelSCREEN::check(CheckBox& cb, QWidget* parent) {
    auto* widget = new QCheckBox(q(cb.caption), parent);
    bindControl(widget, cb);
    connect(widget, &QCheckBox::clicked, this, [this, &cb](bool on) { forward([&cb, on] { cb.setChecked(on); }); });
    refreshers_.push_back([widget, &cb] {
        if (widget->isChecked() != cb.checked()) widget->setChecked(cb.checked());
    });
    return widget;
}

QLineEdit* TfVexelSCREEN::edit(Edit& e, QWidget* parent) {
    auto* widget = new QLineEdit(parent);
    bindControl(widget, e);
    if (e.storedText) GuardStoredText(widget);
    connect(widget, &QLineEdit::textEdited, this, [&e](const QString& text) { e.text = text.toStdString(); });
    refreshers_.push_back([widget, &e] { sync(widget, q(e.text), &QLineEdit::text, &QLineEdit::setText); });
    return widget;
}

FileNameEdit* TfVexelSCREEN::fileName(vs::FileNameEdit& field, QWidget* parent, std::function<void()> browse) {
    auto* widget = new FileNameEdit(ui_, parent);
    bindControl(widget, field);
    FileDialog dialog;
    dialog.title = field.dialog.title;
    dialog.filter = field.dialog.filter;
    dialog.defaultExtension = field.dialog.defaultExtension;
    dialog.overwritePrompt = field.dialog.overwritePrompt;
    widget->setDialog(dialog, field.save ? DialogKind::Save : DialogKind::Open);
    widget->setBrowseHandler([this, browse = std::move(browse)] { forward(browse); });
    widget->browseButton()->setToolTip(tr("Browse for %1").arg(q(field.caption).trimmed().remove(u':')));
    widget->lineEdit()->setAccessibleName(q(field.caption).trimmed());
    if (field.storedText) GuardStoredText(widget->lineEdit());
    connect(widget, &FileNameEdit::textEdited, this, [&field](const QString& text) { field.fileName = text.toStdString(); });
    refreshers_.push_back([widget, &field] {
        if (widget->noTyping() == field.typing) widget->setNoTyping(!field.typing);
        sync(widget, q(field.fileName), &FileNameEdit::fileName, &FileNameEdit::setFileName);
        // A name that came by dialog or drop is not typed: its field says
        // what the package cannot store in it.
        if (field.storedText) {
            const std::optional<std::string> refusal = StoredTextRefusal(field.fileName);
            sync(widget->lineEdit(), refusal ? q(*refusal) : QString(), &QWidget::toolTip, &QWidget::setToolTip);
        }
    });
    return widget;
}

QSpinBox* TfVexelSCREEN::spin(SpinEdit& se, QWidget* parent) {
    auto* widget = new SpinField([&se](const QString& text) { return se.valueOf(text.toStdString()); }, parent);
    bindControl(widget, se);
    widget->setRange(se.min.value_or(INT_MIN), se.max.value_or(INT_MAX));
    widget->setAccelerated(true);
    widget->setMinimumWidth(widget->fontMetrics().horizontalAdvance(QStringLiteral("000000")) + 40);
    // The model gets the text as typed, and settles it when the field is left.
    connect(widget, &QSpinBox::textChanged, this, [&se, widget] { se.text = widget->cleanText().toStdString(); });
    connect(widget, &QAbstractSpinBox::editingFinished, this, [this, &se] {
        se.settle();
        if (!acting_) refresh();
    });
    refreshers_.push_back([widget, &se] {
        if (widget->cleanText().toStdString() != se.text) widget->setValue(se.value());
    });
    return widget;
}

PropertyGrid* TfVexelSCREEN::grid(vs::PropertyGrid& g, QWidget* parent) {
    auto* widget = new PropertyGrid(parent);
    bindControl(widget, g);
    // As tall as its rows: the page's free space goes below it.
    widget->setSizeAdjustPolicy(QAbstractScrollArea::AdjustToContents);
    widget->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Maximum);
    widget->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    if (g.storedText) widget->setItemDelegateForColumn(1, new StoredTextDelegate(widget));
    std::size_t first = 0;
    if (g.titleRow && !g.rows.empty()) {
        widget->setTitleRow(q(g.rows[0].label), q(g.rows[0].value));
        first = 1;
    }
    for (std::size_t i = first; i < g.rows.size(); ++i) widget->addRow(q(g.rows[i].label), q(g.rows[i].value), g.rows[i].readOnly);
    connect(widget, &PropertyGrid::valueEdited, this, [&g](int row, const QString& value) {
        if (row >= 0 && static_cast<std::size_t>(row) < g.rows.size()) g.value(static_cast<std::size_t>(row)) = value.toStdString();
    });
    refreshers_.push_back([widget, &g] {
        const std::size_t first = g.titleRow ? 1 : 0;
        for (std::size_t i = first; i < g.rows.size(); ++i) {
            const int row = static_cast<int>(i);
            if (widget->label(row) != q(g.rows[i].label)) widget->setLabel(row, q(g.rows[i].label));
            if (widget->value(row) != q(g.rows[i].value)) widget->setValue(row, q(g.rows[i].value));
            if (widget->rowReadOnly(row) != g.rows[i].readOnly) widget->setRowReadOnly(row, g.rows[i].readOnly);
        }
    });
    return widget;
}

QLabel* TfVexelSCREEN::label(const Control& control, QWidget* buddy, QWidget* parent) {
    auto* widget = new QLabel(q(control.caption), parent);
    widget->setBuddy(buddy);
    refreshers_.push_back([widget, &control] {
        if (widget->isHidden() == control.visible) widget->setVisible(control.visible);
        if (widget->isEnabled() != control.enabled) widget->setEnabled(control.enabled);
    });
    return widget;
}

QAction* TfVexelSCREEN::menuItem(MenuItem& item, std::function<void()> click) {
    auto* action = new QAction(q(item.caption), this);
    action->setObjectName(q(item.name));
    connect(action, &QAction::triggered, this, [this, click = std::move(click)] { forward(click); });
    refreshers_.push_back([action, &item] {
        if (action->isEnabled() != item.enabled) action->setEnabled(item.enabled);
        if (action->isVisible() != item.visible) action->setVisible(item.visible);
    });
    return action;
}

// ---------------------------------------------------------------- the bars

QWidget* TfVexelSCREEN::buildHeader() {
    TfVexelSCREENModel& m = *model_;
    auto* bar = new QFrame;
    bar->setObjectName(QStringLiteral("headerBar"));
    auto* layout = new QHBoxLayout(bar);
    layout->setContentsMargins(12, 6, 8, 6);
    layout->setSpacing(4);

    auto* logo = new QLabel(bar);
    logo->setPixmap(ProgramIcon().pixmap(QSize(40, 40)));
    auto* name = new QLabel(QString::fromUtf8(TfVexelSCREENModel::kApplicationTitle), bar);
    QFont big = name->font();
    big.setPointSizeF(big.pointSizeF() * 1.25);
    big.setBold(true);
    name->setFont(big);
    layout->addWidget(logo);
    layout->addSpacing(6);
    layout->addWidget(name);
    layout->addSpacing(18);

    struct Entry {
        Button& button;
        const char* glyph;
        void (TfVexelSCREENModel::*click)();
    };
    const Entry entries[] = {
        {m.btFiles, "files", &TfVexelSCREENModel::btFilesClick},
        {m.btAppearance, "appearance", &TfVexelSCREENModel::btAppearanceClick},
        {m.btDimensions, "dimensions", &TfVexelSCREENModel::btDimensionsClick},
        {m.btBehaviour, "behaviour", &TfVexelSCREENModel::btBehaviourClick},
        {m.btBuild, "build", &TfVexelSCREENModel::btBuildClick},
        {m.btGeneralHelp, "help", &TfVexelSCREENModel::btGeneralHelpClick},
    };
    for (const Entry& e : entries) {
        QToolButton* b = pageButton(e.button, m.headerButtons, e.glyph, [this, click = e.click] { (model_.get()->*click)(); });
        b->setParent(bar);
        b->setSizePolicy(QSizePolicy::Minimum, QSizePolicy::Preferred);
        layout->addWidget(b);
    }
    layout->addStretch(1);
    auto* menuButton = new QToolButton(bar);
    button(menuButton, m.btFileMenu, [this] { model_->btFileMenuClick(); });
    menuButton->setIcon(Glyph(QStringLiteral("menu")));
    menuButton->setIconSize(QSize(kGlyphSide, kGlyphSide));
    menuButton->setAutoRaise(true);
    menuButton->setFocusPolicy(Qt::StrongFocus);
    layout->addWidget(menuButton);
    return bar;
}

QWidget* TfVexelSCREEN::buildBottomBar() {
    TfVexelSCREENModel& m = *model_;
    auto* bar = new QFrame;
    bar->setObjectName(QStringLiteral("bottomBar"));
    auto* layout = new QHBoxLayout(bar);
    layout->setContentsMargins(12, 6, 12, 6);
    layout->setSpacing(4);

    struct Entry {
        Button& button;
        const char* glyph;
        void (TfVexelSCREENModel::*click)();
    };
    const Entry entries[] = {
        {m.qbtVarFile, "datetime", &TfVexelSCREENModel::qbtVarFileClick},
        {m.qbtPrinting, "printing", &TfVexelSCREENModel::qbtPrintingClick},
        {m.btExec, "launch", &TfVexelSCREENModel::btExecClick},
        {m.qbtVarSave, "storage", &TfVexelSCREENModel::qbtVarSaveClick},
    };
    auto* services = new QLabel(tr("Services:"), bar);
    services->setForegroundRole(QPalette::PlaceholderText);
    layout->addWidget(services);
    for (const Entry& e : entries) {
        QToolButton* b = pageButton(e.button, m.bottomButtons, e.glyph, [this, click = e.click] { (model_.get()->*click)(); });
        b->setParent(bar);
        layout->addWidget(b);
    }
    layout->addStretch(1);

    auto* preview = new QPushButton(bar);
    button(preview, m.qbtPreview, [this] { model_->qbtPreviewClick(); }, false, true);
    preview->setIcon(Glyph(QStringLiteral("preview")));
    preview->setIconSize(QSize(20, 20));
    preview->setMinimumWidth(110);
    auto* build = new QPushButton(bar);
    button(build, m.qbtBuild, [this] { model_->qbtBuildClick(); }, false, true);
    build->setIcon(Glyph(QStringLiteral("run")));
    build->setIconSize(QSize(20, 20));
    build->setMinimumWidth(110);
    build->setDefault(true);
    QFont bold = build->font();
    bold.setBold(true);
    build->setFont(bold);
    layout->addWidget(preview);
    layout->addWidget(build);
    return bar;
}

void TfVexelSCREEN::buildFileMenu() {
    TfVexelSCREENModel& m = *model_;
    fileMenu_ = new QMenu(this);
    fileMenu_->setObjectName(QStringLiteral("FileMenu"));
    fileMenu_->addAction(menuItem(m.Saveas, [this] { model_->SaveasClick(); }));
    fileMenu_->addAction(menuItem(m.Load, [this] { model_->LoadClick(); }));
    fileMenu_->addSeparator();
    fileMenu_->addAction(menuItem(m.SaveMovie, [this] { model_->SaveMovieClick(); }));
    fileMenu_->addAction(menuItem(m.SaveMovieCompressed, [this] { model_->SaveMovieCompressedClick(); }));
    fileMenu_->addSeparator();
    fileMenu_->addAction(menuItem(m.About1, [this] { model_->About1Click(); }));
    fileMenu_->addSeparator();
    fileMenu_->addAction(menuItem(m.Close1, [this] { model_->Close1Click(); }));
}

// ---------------------------------------------------------------- the pages

QWidget* TfVexelSCREEN::buildFilesPage() {
    TfVexelSCREENModel& m = *model_;
    QVBoxLayout* body = nullptr;
    QWidget* page = pageFrame(QStringLiteral("files"), q(m.btFiles.caption),
                              tr("The Flash projector to customise, what its movie is, and the further files it needs."),
                              body);

    // The projector field inside its drop target.
    auto* drop = new DropArea(page);
    panel(m.DragDropPorjector, drop);
    drop->setFrameShape(QFrame::StyledPanel);
    auto* dropLayout = new QGridLayout(drop);
    FileNameEdit* projector = fileName(m.edFlashProjector, drop, [this] { model_->edFlashProjectorBrowse(); });
    dropLayout->addWidget(label(m.edFlashProjector, projector, drop), 0, 0);
    dropLayout->addWidget(projector, 0, 1);
    auto* dropHint = new QLabel(tr("Browse for the projector, or drop it anywhere in this box."), drop);
    dropHint->setForegroundRole(QPalette::PlaceholderText);
    dropLayout->addWidget(dropHint, 1, 1);
    dropLayout->setColumnStretch(1, 1);
    connect(drop, &DropArea::fileDropped, this,
            [this](const QString& file) { forward([this, file] { model_->DragDropPorjectorFileDropped(file.toStdString()); }); });
    body->addWidget(drop);

    auto* row = new QHBoxLayout;
    row->setSpacing(10);
    auto* info = group(tr("Movie information"), page);
    panel(m.paProjectorInfo, info);
    auto* infoLayout = new QVBoxLayout(info);
    PropertyGrid* movie = grid(m.pgMovieInfo, info);
    movie->setMinimumWidth(260);
    infoLayout->addWidget(movie);
    row->addWidget(info, 2, Qt::AlignTop);

    auto* addFiles = new DropArea(page);
    panel(m.paAddFiles, addFiles);
    addFiles->setFrameShape(QFrame::StyledPanel);
    auto* addLayout = new QVBoxLayout(addFiles);
    auto* addHead = new QHBoxLayout;
    auto* prompt = new QLabel(q(m.paAddFiles.caption), addFiles);
    prompt->setWordWrap(true);
    addHead->addWidget(prompt, 1);
    auto* add = new QToolButton(addFiles);
    button(add, m.sbAddAddFiles, [this] { model_->sbAddAddFilesClick(); }, true);
    add->setIcon(signGlyph(true, palette()));
    add->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    auto* remove = new QToolButton(addFiles);
    button(remove, m.sbRemoveAddFile, [this] { model_->sbRemoveAddFileClick(); }, true);
    remove->setIcon(signGlyph(false, palette()));
    remove->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    addHead->addWidget(add);
    addHead->addWidget(remove);
    addLayout->addLayout(addHead);
    files_ = new FileList(addFiles);
    bindControl(files_, m.lvAddFiles);
    prompt->setBuddy(files_);
    files_->deleteAction()->setObjectName(q(m.PopupAddFilesDelete.name));
    files_->deleteAction()->setText(q(m.PopupAddFilesDelete.caption));
    connect(files_, &FileList::deleteRequested, this, [this] { forward([this] { model_->sbRemoveAddFileClick(); }); });
    connect(files_, &QTreeWidget::itemSelectionChanged, this, [this] {
        if (refreshing_) return;
        auto& items = model_->lvAddFiles.items;
        for (auto& item : items) item.selected = false;
        for (int r : files_->selectedRows())
            if (r >= 0 && static_cast<std::size_t>(r) < items.size()) items[static_cast<std::size_t>(r)].selected = true;
    });
    refreshers_.push_back([this] { refreshFileList(); });
    addLayout->addWidget(files_, 1);
    connect(addFiles, &DropArea::fileDropped, this,
            [this](const QString& file) { forward([this, file] { model_->paAddFilesFileDropped(file.toStdString()); }); });
    row->addWidget(addFiles, 3);
    body->addLayout(row, 1);
    return page;
}

void TfVexelSCREEN::refreshFileList() {
    const auto& items = model_->lvAddFiles.items;
    const auto& icons = model_->AddFilesIcons.icons;
    if (icons.size() < fileIcons_.size()) fileIcons_.clear();  // the icon list was emptied
    while (fileIcons_.size() < icons.size()) {
        const auto& icon = icons[fileIcons_.size()];
        fileIcons_.push_back(icon ? QIcon(QPixmap::fromImage(ToQImage(*icon))) : QIcon());
    }
    bool same = files_->fileCount() == static_cast<int>(items.size());
    for (std::size_t i = 0; same && i < items.size(); ++i)
        same = files_->fullName(static_cast<int>(i)) == q(items[i].fullPath) &&
               files_->caption(static_cast<int>(i)) == q(items[i].caption);
    if (!same) {
        files_->clearFiles();
        for (const auto& item : items) {
            const bool known = item.imageIndex >= 0 && static_cast<std::size_t>(item.imageIndex) < fileIcons_.size();
            const int row = files_->addFile(q(item.caption), q(item.folder), q(item.fullPath),
                                            known ? fileIcons_[static_cast<std::size_t>(item.imageIndex)] : QIcon());
            // The package stores the names too: a row says what it cannot store.
            if (const std::optional<std::string> refusal = StoredTextRefusal(item.fullPath)) {
                QTreeWidgetItem* shown = files_->topLevelItem(row);
                for (int column = 0; column < files_->columnCount(); ++column)
                    shown->setToolTip(column, shown->toolTip(column) + u'\n' + q(*refusal));
            }
        }
    }
    QList<int> selected;
    for (std::size_t i = 0; i < items.size(); ++i)
        if (items[i].selected) selected << static_cast<int>(i);
    if (files_->selectedRows() != selected) files_->setSelectedRows(selected);
}

QWidget* TfVexelSCREEN::buildAppearancePage() {
    TfVexelSCREENModel& m = *model_;
    QVBoxLayout* body = nullptr;
    QWidget* page = pageFrame(QStringLiteral("appearance"), q(m.btAppearance.caption),
                              tr("The shape of the projector's window, its border and caption, and how it shows."), body);
    auto* columns = new QGridLayout;
    columns->setSpacing(10);

    auto* shape = group(tr("Window shape"), page);
    auto* shapeLayout = new QVBoxLayout(shape);
    shapeLayout->addWidget(radio(m.rbRectangle, shape));
    shapeLayout->addWidget(radio(m.rbInsDesktop, shape));
    auto* shapeRow = new QHBoxLayout;
    shapeRow->addWidget(radio(m.rbShape, shape));
    auto* editShape = new QPushButton(shape);
    button(editShape, m.btEditShape, [this] { model_->btEditShapeClick(); });
    shapeRow->addWidget(editShape);
    shapeRow->addStretch(1);
    shapeLayout->addLayout(shapeRow);
    shapeLayout->addStretch(1);
    columns->addWidget(shape, 0, 0);

    auto* border = group(tr("Border"), page);
    panel(m.paBorder, border);
    auto* borderLayout = new QVBoxLayout(border);
    for (RadioButton* rb : {&m.rbBorderNone, &m.rbBorderOnly, &m.rbBorderTool, &m.rbBorderCaption})
        borderLayout->addWidget(radio(*rb, border));
    borderLayout->addStretch(1);
    columns->addWidget(border, 0, 1);

    auto* captionBox = group(tr("Caption"), page);
    auto* captionLayout = new QHBoxLayout(captionBox);
    QLineEdit* caption = edit(m.edCaption, captionBox);
    caption->setPlaceholderText(tr("The text of the window's caption and taskbar button"));
    captionLayout->addWidget(label(m.edCaption, caption, captionBox));
    captionLayout->addWidget(caption, 1);
    columns->addWidget(captionBox, 1, 0, 1, 2);

    auto* options = group(tr("Options"), page);
    auto* optionsLayout = new QVBoxLayout(options);
    optionsLayout->addWidget(check(m.cbHideCursor, options));
    auto* stayOnTop = new QWidget(options);
    panel(m.paStayOnTop, stayOnTop);
    (new QVBoxLayout(stayOnTop))->setContentsMargins(0, 0, 0, 0);
    stayOnTop->layout()->addWidget(check(m.cbStayOnTop, stayOnTop));
    optionsLayout->addWidget(stayOnTop);
    auto* taskbar = new QWidget(options);
    panel(m.paShowInTaskbar, taskbar);
    (new QVBoxLayout(taskbar))->setContentsMargins(0, 0, 0, 0);
    taskbar->layout()->addWidget(check(m.cbShowInTaskbar, taskbar));
    optionsLayout->addWidget(taskbar);
    columns->addWidget(options, 2, 0, 1, 2);
    columns->setColumnStretch(0, 1);
    columns->setColumnStretch(1, 1);

    body->addLayout(columns);
    body->addStretch(1);
    return page;
}

QWidget* TfVexelSCREEN::buildDimensionsPage() {
    TfVexelSCREENModel& m = *model_;
    QVBoxLayout* body = nullptr;
    QWidget* page = pageFrame(QStringLiteral("dimensions"), q(m.btDimensions.caption),
                              tr("How large the projector's window is, where it opens, and how it may be resized."), body);
    auto* columns = new QGridLayout;
    columns->setSpacing(10);

    auto* size = group(tr("Window size"), page);
    panel(m.paSize, size);
    auto* sizeLayout = new QVBoxLayout(size);
    for (RadioButton* rb : {&m.rbMaximized, &m.rbUseFlash, &m.rbCustomSize}) sizeLayout->addWidget(radio(*rb, size));
    auto* customSize = new QWidget(size);
    panel(m.paCustomSize, customSize);
    auto* customSizeLayout = new QGridLayout(customSize);
    customSizeLayout->setContentsMargins(24, 0, 0, 0);
    QSpinBox* width = spin(m.seWidth, customSize);
    QSpinBox* height = spin(m.seHeight, customSize);
    customSizeLayout->addWidget(label(m.seWidth, width, customSize), 0, 0);
    customSizeLayout->addWidget(width, 0, 1);
    customSizeLayout->addWidget(label(m.seHeight, height, customSize), 1, 0);
    customSizeLayout->addWidget(height, 1, 1);
    customSizeLayout->setColumnStretch(2, 1);
    sizeLayout->addWidget(customSize);
    sizeLayout->addStretch(1);
    columns->addWidget(size, 0, 0);

    auto* resize = group(tr("Resizing"), page);
    panel(m.paResizeable, resize);
    auto* resizeLayout = new QVBoxLayout(resize);
    resizeLayout->addWidget(check(m.cbResizeable, resize));
    resizeLayout->addWidget(check(m.cbKeepRatio, resize));
    resizeLayout->addStretch(1);
    columns->addWidget(resize, 0, 1);

    auto* position = new QWidget(page);
    panel(m.paPosition, position);
    auto* positionLayout = new QGridLayout(position);
    positionLayout->setContentsMargins(0, 0, 0, 0);
    positionLayout->setSpacing(10);
    auto* horizontal = group(tr("Horizontal position"), position);
    auto* hLayout = new QVBoxLayout(horizontal);
    for (RadioButton* rb : {&m.rbAllignLeft, &m.rbAllignXCenter, &m.rbAllignRight, &m.rbXposCustom})
        hLayout->addWidget(radio(*rb, horizontal));
    auto* vertical = group(tr("Vertical position"), position);
    auto* vLayout = new QVBoxLayout(vertical);
    for (RadioButton* rb : {&m.rbAllignTop, &m.rbAllignYCenter, &m.rbAllignBottom, &m.rbYposCustom})
        vLayout->addWidget(radio(*rb, vertical));
    positionLayout->addWidget(horizontal, 0, 0);
    positionLayout->addWidget(vertical, 0, 1);
    auto* customPos = group(tr("Custom position"), position);
    panel(m.paCustomPos, customPos);
    auto* customPosLayout = new QHBoxLayout(customPos);
    QSpinBox* left = spin(m.seLeft, customPos);
    QSpinBox* top = spin(m.seTop, customPos);
    customPosLayout->addWidget(label(m.seLeft, left, customPos));
    customPosLayout->addWidget(left);
    customPosLayout->addSpacing(16);
    customPosLayout->addWidget(label(m.seTop, top, customPos));
    customPosLayout->addWidget(top);
    customPosLayout->addStretch(1);
    positionLayout->addWidget(customPos, 1, 0, 1, 2);
    positionLayout->setColumnStretch(0, 1);
    positionLayout->setColumnStretch(1, 1);
    columns->addWidget(position, 1, 0, 1, 2);
    columns->setColumnStretch(0, 1);
    columns->setColumnStretch(1, 1);

    body->addLayout(columns);
    body->addStretch(1);
    return page;
}

QWidget* TfVexelSCREEN::buildBehaviourPage() {
    TfVexelSCREENModel& m = *model_;
    QVBoxLayout* body = nullptr;
    QWidget* page = pageFrame(QStringLiteral("behaviour"), q(m.btBehaviour.caption),
                              tr("What mouse clicks and key presses do while the movie runs, and what the projector "
                                 "keeps from happening."),
                              body);
    auto* columns = new QGridLayout;
    columns->setSpacing(10);
    auto box = [&](const QString& title, std::initializer_list<RadioButton*> buttons) {
        auto* g = group(title, page);
        auto* l = new QVBoxLayout(g);
        for (RadioButton* rb : buttons) l->addWidget(radio(*rb, g));
        l->addStretch(1);
        return g;
    };
    columns->addWidget(box(tr("Left mouse button"), {&m.rbLAllow, &m.rbLDrag, &m.rbLIgnore}), 0, 0);
    columns->addWidget(box(tr("Right mouse button"), {&m.rbRAllow, &m.rbRPopup, &m.rbRIgnore}), 0, 1);
    columns->addWidget(box(tr("Keyboard"), {&m.rbKAllow, &m.rbKIgnore}), 0, 2);
    auto* options = group(tr("Options"), page);
    auto* optionsLayout = new QVBoxLayout(options);
    for (CheckBox* cb : {&m.cbCloseOnEscape, &m.cbDisablescreensaver, &m.cbDisableALTTAB})
        optionsLayout->addWidget(check(*cb, options));
    columns->addWidget(options, 1, 0, 1, 3);
    for (int c = 0; c < 3; ++c) columns->setColumnStretch(c, 1);
    body->addLayout(columns);
    body->addStretch(1);
    return page;
}

QWidget* TfVexelSCREEN::buildBuildPage() {
    TfVexelSCREENModel& m = *model_;
    QVBoxLayout* body = nullptr;
    QWidget* page = pageFrame(QStringLiteral("build"), q(m.btBuild.caption),
                              tr("Where the new projector goes, its icon, its version information and how tightly its "
                                 "files are packed."),
                              body);
    auto* columns = new QGridLayout;
    columns->setSpacing(10);

    auto* output = group(tr("Output"), page);
    auto* outputLayout = new QGridLayout(output);
    FileNameEdit* out = fileName(m.OutputProjector, output, [this] { model_->OutputProjectorBrowse(); });
    // Build follows the name key by key (an emptied name disables it at once).
    connect(out, &FileNameEdit::textEdited, this,
            [this](const QString& text) { forward([this, text] { model_->OutputProjectorEdited(text.toStdString()); }); });
    outputLayout->addWidget(label(m.OutputProjector, out, output), 0, 0);
    outputLayout->addWidget(out, 1, 0);
    FileNameEdit* icon = fileName(m.OpenIcon, output, [this] { model_->OpenIconBrowse(); });
    icon->setAcceptFileDrops(true);
    connect(icon, &FileNameEdit::fileDropped, this,
            [this](const QString& file) { forward([this, file] { model_->OpenIconDropFiles(file.toStdString()); }); });
    outputLayout->addWidget(label(m.OpenIcon, icon, output), 2, 0);
    auto* iconRow = new QHBoxLayout;
    iconRow->addWidget(icon, 1);
    auto* preview = new QLabel(output);
    bindControl(preview, m.imIcon);
    preview->setFixedSize(40, 40);
    preview->setAlignment(Qt::AlignCenter);
    preview->setFrameShape(QFrame::StyledPanel);
    preview->setBackgroundRole(QPalette::Base);
    preview->setAutoFillBackground(true);
    preview->setToolTip(tr("The icon of the new projector"));
    auto shownIcon = std::make_shared<QImage>();
    refreshers_.push_back([preview, shownIcon, &m] {
        const QImage image = ToQImage(m.imIcon.icon);
        if (image == *shownIcon) return;
        *shownIcon = image;
        QPixmap pixmap = QPixmap::fromImage(image.isNull() ? image : image.scaled(32, 32, Qt::KeepAspectRatio, Qt::SmoothTransformation));
        preview->setPixmap(pixmap);
    });
    iconRow->addWidget(preview);
    outputLayout->addLayout(iconRow, 3, 0);
    columns->addWidget(output, 0, 0);

    auto* compression = group(tr("Compression"), page);
    auto* compressionLayout = new QGridLayout(compression);
    auto* track = new TrackBar(compression);
    bindControl(track, m.tbCompression);
    track->setRange(m.tbCompression.min, m.tbCompression.max);
    connect(track, &QSlider::valueChanged, this, [this](int v) {
        if (!refreshing_) model_->tbCompression.setPosition(v);
    });
    refreshers_.push_back([track, &m] { sync(track, m.tbCompression.position, &QSlider::value, &QSlider::setValue); });
    auto* trackLabel = label(m.tbCompression, track, compression);
    trackLabel->setWordWrap(true);
    compressionLayout->addWidget(trackLabel, 0, 0, 1, 2);
    compressionLayout->addWidget(track, 1, 0, 1, 2);
    auto* fast = new QLabel(tr("Faster launch"), compression);
    auto* small = new QLabel(tr("Smaller file"), compression);
    fast->setForegroundRole(QPalette::PlaceholderText);
    small->setForegroundRole(QPalette::PlaceholderText);
    compressionLayout->addWidget(fast, 2, 0, Qt::AlignLeft);
    compressionLayout->addWidget(small, 2, 1, Qt::AlignRight);
    compressionLayout->setRowStretch(3, 1);
    columns->addWidget(compression, 1, 0, Qt::AlignTop);

    auto* version = group(tr("Version information"), page);
    auto* versionLayout = new QVBoxLayout(version);
    auto* numbers = new QGridLayout;
    int column = 0;
    for (SpinEdit* se : {&m.seVI_1, &m.seVI_2, &m.seVI_3, &m.seVI_4}) {
        QSpinBox* field = spin(*se, version);
        field->setMinimumWidth(field->fontMetrics().horizontalAdvance(QStringLiteral("00000")) + 36);
        numbers->addWidget(label(*se, field, version), 0, column);
        numbers->addWidget(field, 1, column);
        ++column;
    }
    versionLayout->addLayout(numbers);
    PropertyGrid* strings = grid(m.pgVI, version);
    versionLayout->addWidget(strings);
    versionLayout->addStretch(1);
    columns->addWidget(version, 0, 1, 2, 1, Qt::AlignTop);

    // Captions beside their fields: three rows keep the page's height.
    auto* signing = group(tr("Signing"), page);
    auto* signingLayout = new QGridLayout(signing);
    FileNameEdit* certificate = fileName(m.edSignCertificate, signing, [this] { model_->edSignCertificateBrowse(); });
    signingLayout->addWidget(label(m.edSignCertificate, certificate, signing), 0, 0);
    signingLayout->addWidget(certificate, 0, 1);
    QLineEdit* description = edit(m.edSignDescription, signing);
    signingLayout->addWidget(label(m.edSignDescription, description, signing), 1, 0);
    signingLayout->addWidget(description, 1, 1);
    QLineEdit* timestamp = edit(m.edSignTimestamp, signing);
    signingLayout->addWidget(label(m.edSignTimestamp, timestamp, signing), 2, 0);
    signingLayout->addWidget(timestamp, 2, 1);
    signingLayout->setColumnStretch(1, 1);
    columns->addWidget(signing, 2, 0, 1, 2);
    columns->setColumnStretch(0, 1);
    columns->setColumnStretch(1, 1);
    columns->setRowStretch(1, 1);
    body->addLayout(columns, 1);
    return page;
}

QWidget* TfVexelSCREEN::buildDateTimePage() {
    TfVexelSCREENModel& m = *model_;
    QVBoxLayout* body = nullptr;
    QWidget* page = pageFrame(QStringLiteral("datetime"), q(m.qbtVarFile.hint),
                              tr("The projector can write the date and time of its launch into a text file that the "
                                 "movie loads."),
                              body);
    auto* info = new RichTextView(page);
    bindControl(info, m.edDateTimeInfo);
    auto shown = std::make_shared<std::string>();
    refreshers_.push_back([info, shown, &m] {
        if (*shown == m.edDateTimeInfo.rtf) return;
        *shown = m.edDateTimeInfo.rtf;
        try {
            info->setRtf(*shown);
        } catch (const VsError&) {
            // A document that is no rich text shows nothing, as a missing one does.
        }
    });
    body->addWidget(info, 1);

    auto* file = group(tr("Variable file"), page);
    auto* fileLayout = new QGridLayout(file);
    fileLayout->addWidget(check(m.cbVarFile, file), 0, 0, 1, 3);
    QLineEdit* name = edit(m.edVarFilename, file);
    fileLayout->addWidget(label(m.edVarFilename, name, file), 1, 0);
    fileLayout->addWidget(name, 1, 1);
    auto* sample = new QPushButton(file);
    button(sample, m.btCreateSampleVar, [this] { model_->btCreateSampleVarClick(); });
    fileLayout->addWidget(sample, 1, 2);
    PropertyGrid* names = grid(m.pgDateTime, file);
    fileLayout->addWidget(names, 2, 0, 1, 3);
    fileLayout->setColumnStretch(1, 1);
    body->addWidget(file);
    return page;
}

QWidget* TfVexelSCREEN::buildHelpPage(RichText& text) {
    auto* page = new QWidget;
    auto* layout = new QVBoxLayout(page);
    layout->setContentsMargins(18, 12, 6, 6);
    auto* view = new RichTextView(page);
    bindControl(view, text);
    auto shown = std::make_shared<std::string>();
    refreshers_.push_back([view, shown, &text] {
        if (*shown == text.rtf) return;
        *shown = text.rtf;
        try {
            view->setRtf(*shown);
        } catch (const VsError&) {
            // A document that is no rich text shows nothing, as a missing one does.
        }
    });
    layout->addWidget(view);
    return page;
}

QWidget* TfVexelSCREEN::buildBusyPage() {
    busy_ = new BusyPanel;
    busy_->label()->setObjectName(q(model_->lbBusyLabel.name));
    // Clicked while an action runs, so it goes straight to the model (forward
    // takes no second action); the running action sees it at its next look
    // at the messages.
    bindControl(busy_->cancelButton(), model_->btCancel);
    connect(busy_->cancelButton(), &QPushButton::clicked, this, [this] { model_->btCancelClick(); });
    refreshers_.push_back([this] {
        sync(busy_->label(), q(model_->lbBusyLabel.caption), &QLabel::text, &QLabel::setText);
    });
    return busy_;
}

// ---------------------------------------------------------------- actions and refresh

void TfVexelSCREEN::forward(const std::function<void()>& action, bool cancellable) {
    if (acting_) return;
    acting_ = true;
    cancellable_ = cancellable;
    model_->Run(action);
    acting_ = false;
    cancellable_ = false;
    refresh();
    if (closeRequested_) {
        closeRequested_ = false;
        QTimer::singleShot(0, this, &QWidget::close);
    }
}

void TfVexelSCREEN::refresh() {
    if (refreshing_) return;
    refreshing_ = true;
    {
        // Writing the widgets must not read back into the model.
        std::vector<std::unique_ptr<QSignalBlocker>> blockers;
        for (QWidget* w : findChildren<QWidget*>()) blockers.push_back(std::make_unique<QSignalBlocker>(w));
        for (const auto& r : refreshers_) r();
    }
    refreshing_ = false;
}

// ---------------------------------------------------------------- the host

void TfVexelSCREEN::showShapeWindowModal() { shapeWindow_->runModal(); }

void TfVexelSCREEN::closeShapeWindow() { shapeWindow_->closeWindow(); }

void TfVexelSCREEN::showAboutModal() {
    TfAbout about(this);
    about.exec();
}

void TfVexelSCREEN::showFileMenu() {
    // At the pointer when it is over the window (a click); below the button
    // when the keyboard pressed it.
    QPoint at = QCursor::pos();
    if (!frameGeometry().contains(at))
        if (auto* b = findChild<QWidget*>(q(model_->btFileMenu.name))) at = b->mapToGlobal(QPoint(0, b->height()));
    fileMenu_->popup(at);
}

void TfVexelSCREEN::hideMainWindow() { hide(); }

void TfVexelSCREEN::showMainWindow() {
    if (!isVisible() && !closing_) show();
}

void TfVexelSCREEN::closeMainWindow() {
    // The handler that asks is still running; the window closes after it.
    QTimer::singleShot(0, this, &QWidget::close);
}

void TfVexelSCREEN::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (!shownOnce_) {
        shownOnce_ = true;
        QTimer::singleShot(0, this, [this] { forward([this] { model_->FormShow(); }); });
    }
}

void TfVexelSCREEN::closeEvent(QCloseEvent* event) {
    if (acting_) {  // a build, a save or a load is on its way: the window closes after it
        closeRequested_ = true;
        event->ignore();
        return;
    }
    closing_ = true;
    model_->Run([this] { StorePlacement(*this, store_, kPlacementName); });
    forward([this] { model_->FormClose(); });
    event->accept();
}

}  // namespace vs::gui
