#include "gui/win32/generator_window.h"

#include <shellapi.h>
#include <windowsx.h>

#include <algorithm>
#include <memory>

#include "gui/win32/about_window.h"
#include "gui/win32/command_ids.h"
#include "gui/win32/shape_window.h"
#include "gui/win32/win32_support.h"
#include "platform/temp_files.h"

namespace vs::win32 {

namespace {

// `r` moved, and made smaller where it must be, to lie inside `area`.
RECT FitInto(RECT r, const RECT& area) {
    const LONG w = std::min(r.right - r.left, area.right - area.left);
    const LONG h = std::min(r.bottom - r.top, area.bottom - area.top);
    const LONG left = std::clamp(r.left, area.left, area.right - w);
    const LONG top = std::clamp(r.top, area.top, area.bottom - h);
    return RECT{left, top, left + w, top + h};
}

constexpr UINT kFirstShowMessage = WM_APP + 1;
constexpr int kHeaderHeight = 64;
constexpr int kBottomHeight = 52;
constexpr int kDefaultWidth = 1000, kDefaultHeight = 700;
constexpr int kMinWidth = 960, kMinHeight = 620;
// The smallest placement taken back: anything smaller was not a real window.
constexpr int kMinRestoredSide = 100;

// Places in 96-dpi units; see Place.
Place at(int x, int y, int w, int h) { return Place{x, y, w, h}; }
// Stretching to `right` units before the panel's right edge.
Place wide(int x, int y, int right, int h) { return Place{x, y, -(x + right), h, 0, 100}; }
// In the left or right half of the panel.
Place leftHalf(int x, int y, int w, int h) { return Place{x, y, w, h, 0, 50}; }
Place rightHalf(int x, int y, int w, int h) { return Place{x, y, w, h, 50, 50}; }
Place filled(Place p, int bottom) {
    p.fillY = true;
    p.h = bottom;
    return p;
}

}  // namespace

GeneratorWindow::GeneratorWindow(Win32UserInterface& ui, Shell& shell, SettingsStore& store, GeneratorPaths paths)
    : Form([this](const std::function<void()>& action) { model_->Run(action); }), ui_(ui), store_(store) {
    model_ = std::make_unique<TfVexelSCREENModel>(ui_, shell, store, *this, std::move(paths));
    HINSTANCE instance = GetModuleHandleW(nullptr);
    Form::RegisterClasses(instance);
    RegisterFrameClass(kMainWindowClass, true);
    createFrame(kMainWindowClass, model_->caption, WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, WS_EX_ACCEPTFILES, nullptr,
                kDefaultWidth, kDefaultHeight);
    SetMainWindow(hwnd_);
    shapeWindow_ = std::make_unique<ShapeWindow>(model_->fShapeSelect, ui_, store_, hwnd_,
                                                 [this](const std::function<void()>& action) { model_->Run(action); });
    ui_.beforePendingMessages = [this] {
        refresh();
        if (shapeWindow_) shapeWindow_->refresh();
        if (hwnd_) UpdateWindow(hwnd_);
    };
    // A close or a Cancel while a build or a preview runs gives it up: the
    // model unwinds (its temporary output goes, an earlier output stays);
    // after a close the window closes too.
    ui_.afterPendingMessages = [this] {
        if (cancelRequested()) throw EOperationCancelled();
    };
    ui_.onProgress = [this](int position, int maximum) {
        if (busyProgress_ && model_->pages.activePage() == "pageBuilding") {
            const LONG style = GetWindowLongW(busyProgress_, GWL_STYLE);
            if (maximum <= 0) {
                if (!(style & PBS_MARQUEE)) SetWindowLongW(busyProgress_, GWL_STYLE, style | PBS_MARQUEE);
                SendMessageW(busyProgress_, PBM_SETMARQUEE, TRUE, 30);
            } else {
                SendMessageW(busyProgress_, PBM_SETMARQUEE, FALSE, 0);
                if (style & PBS_MARQUEE) SetWindowLongW(busyProgress_, GWL_STYLE, style & ~PBS_MARQUEE);
                SendMessageW(busyProgress_, PBM_SETRANGE32, 0, maximum);
                SendMessageW(busyProgress_, PBM_SETPOS, static_cast<WPARAM>(position), 0);
            }
        }
        if (shapeWindow_) shapeWindow_->progress(position, maximum);
    };
    ui_.translate = [this](MSG& msg) { return translateAny(msg); };
    build();
    scalePictures();
    layoutAll();
    refresh();
}

void GeneratorWindow::scalePictures() {
    const int side = px(40);
    HICON logo = static_cast<HICON>(LoadImageW(GetModuleHandleW(nullptr), L"MAINICON", IMAGE_ICON, side, side, 0));
    SendMessageW(logo_, STM_SETICON, reinterpret_cast<WPARAM>(logo), 0);
    if (logoIcon_) DestroyIcon(logoIcon_);
    logoIcon_ = logo;
    // The file icons and the preview are made again at the new size.
    if (fileImages_) {
        const int small = px(16);
        ImageList_SetIconSize(fileImages_, small, small);
        fileIconsShown_ = 0;
        ListView_DeleteAllItems(filesList_);
    }
    if (shownIcon_) {
        DestroyIcon(shownIcon_);
        shownIcon_ = nullptr;
    }
}

GeneratorWindow::~GeneratorWindow() {
    ui_.beforePendingMessages = nullptr;
    ui_.afterPendingMessages = nullptr;
    ui_.onProgress = nullptr;
    ui_.translate = nullptr;
    shapeWindow_.reset();
    if (shownIcon_) DestroyIcon(shownIcon_);
    if (logoIcon_) DestroyIcon(logoIcon_);
    if (fileImages_) ImageList_Destroy(fileImages_);
}

bool GeneratorWindow::translateAny(MSG& msg) {
    if (shapeWindow_ && shapeWindow_->translate(msg)) return true;
    return translate(msg);
}

// ---------------------------------------------------------------- building

void GeneratorWindow::build() {
    TfVexelSCREENModel& m = *model_;
    HWND header = panel(hwnd_, false, Place{0, 0, 0, kHeaderHeight, 0, 100});
    HWND bottom = panel(hwnd_, false, Place{0, kBottomHeight, 0, kBottomHeight, 0, 100, 0, false, true});
    mnemonics_ = &barMnemonics_;
    buildHeader(header);
    buildBottomBar(bottom);

    for (std::size_t i = 0; i < m.pages.pages.size(); ++i) {
        Place p{0, kHeaderHeight, 0, kBottomHeight, 0, 100};
        p.fillY = true;
        pages_.push_back(panel(hwnd_, true, p));
    }
    pageMnemonics_.assign(pages_.size(), barMnemonics_);
    auto page = [&](const char* name) {
        const int i = m.pages.indexOf(name);
        mnemonics_ = &pageMnemonics_[static_cast<std::size_t>(i)];
        return pages_[static_cast<std::size_t>(i)];
    };
    buildFilesPage(page("pageFiles"));
    buildAppearancePage(page("pageAppearance"));
    buildDimensionsPage(page("pageDimensions"));
    buildBehaviourPage(page("pageBehaviour"));
    buildBuildPage(page("pageBuild"));
    buildHelpPage(page("pageGeneralHelp"), m.edGeneralHelp);
    buildDateTimePage(page("pageVarFile"));
    buildHelpPage(page("pagePrinting"), m.edPrintingInfo);
    buildHelpPage(page("pageExec"), m.edExecInfo);
    buildHelpPage(page("pageVarSave"), m.edVarSaveInfo);
    buildBusyPage(page("pageBuilding"));
    mnemonics_ = nullptr;

    addRefresher([this] {
        const int active = model_->pages.active;
        if (active != shownPage_ && model_->pages.activePage() == "pageBuilding" && ui_.onProgress) ui_.onProgress(0, 0);
        for (std::size_t i = 0; i < pages_.size(); ++i) {
            const bool show = static_cast<int>(i) == active;
            if (((GetWindowLongW(pages_[i], GWL_STYLE) & WS_VISIBLE) != 0) != show)
                ShowWindow(pages_[i], show ? SW_SHOWNA : SW_HIDE);
        }
        shownPage_ = active;
    });
    addRefresher([this] {
        if (WindowTextOf(hwnd_) != model_->caption) SetWindowTextUtf8(hwnd_, model_->caption);
    });

    onCommand(kCmdSaveProject, [this](int) { forward([this] { model_->SaveasClick(); }); });
    onCommand(kCmdLoadProject, [this](int) { forward([this] { model_->LoadClick(); }); });
    onCommand(kCmdSaveMovie, [this](int) { forward([this] { model_->SaveMovieClick(); }); });
    onCommand(kCmdSaveMovieCompressed, [this](int) { forward([this] { model_->SaveMovieCompressedClick(); }); });
    onCommand(kCmdAbout, [this](int) { forward([this] { model_->About1Click(); }); });
    onCommand(kCmdExit, [this](int) { forward([this] { model_->Close1Click(); }); });
}

void GeneratorWindow::pageHeading(HWND page, const std::string& title, const std::string& subtitle) {
    label(page, title, wide(18, 12, 18, 28), FontKind::Title);
    label(page, subtitle, wide(18, 40, 18, 20));
}

// The bars' buttons at the width the window has. At the full width they take
// their natural sizes; in a narrower window (a small screen, or 150 % on a
// 1280-pixel one) the titles on the left go first, then the page buttons get
// narrower, so that no button ever covers another and all stay in the bar.
namespace {
struct BarRow {
    std::vector<HWND> leading;  // left to right, shown only while there is room
    std::vector<int> leadingWidths;
    std::vector<HWND> pages;
    int pageWidth = 0, minPageWidth = 0;
    std::vector<HWND> trailing;  // right-aligned, left to right
    std::vector<int> trailingWidths;
    int trailingGap = 0;
    int y = 0, height = 0;
};

void FlowBar(const BarRow& row, int width, const std::function<void(HWND, int, int, int, int)>& put) {
    constexpr int kMargin = 14, kGap = 4;
    int right = width - kMargin;
    for (std::size_t i = row.trailing.size(); i-- > 0;) {
        right -= row.trailingWidths[i];
        put(row.trailing[i], right, row.y, row.trailingWidths[i], row.height);
        right -= i > 0 ? row.trailingGap : 2 * kGap;
    }
    auto startAfter = [&](std::size_t count) {
        int x = kMargin;
        for (std::size_t i = 0; i < count; ++i) x += row.leadingWidths[i] + kGap;
        return x;
    };
    const int n = static_cast<int>(row.pages.size());
    std::size_t keep = row.leading.size();
    while (keep > 0 && startAfter(keep) + n * (row.pageWidth + kGap) - kGap > right) --keep;
    for (std::size_t i = 0; i < row.leading.size(); ++i) {
        ShowWindow(row.leading[i], i < keep ? SW_SHOWNA : SW_HIDE);
        if (i < keep) put(row.leading[i], startAfter(i), row.y, row.leadingWidths[i], row.height);
    }
    int x = startAfter(keep);
    const int each = std::clamp((right - x + kGap) / std::max(n, 1) - kGap, row.minPageWidth, row.pageWidth);
    for (HWND page : row.pages) {
        put(page, x, row.y, each, row.height);
        x += each + kGap;
    }
}
}  // namespace

void GeneratorWindow::buildHeader(HWND bar) {
    TfVexelSCREENModel& m = *model_;
    logo_ = add(bar, WC_STATICW, "", SS_ICON | SS_REALSIZECONTROL, 0, at(14, 12, 40, 40));
    HWND title = label(bar, TfVexelSCREENModel::kApplicationTitle, at(62, 22, 220, 24), FontKind::Heading);
    struct Entry {
        Button& button;
        void (TfVexelSCREENModel::*click)();
        const char* page;
    };
    const Entry entries[] = {
        {m.btFiles, &TfVexelSCREENModel::btFilesClick, "pageFiles"},
        {m.btAppearance, &TfVexelSCREENModel::btAppearanceClick, "pageAppearance"},
        {m.btDimensions, &TfVexelSCREENModel::btDimensionsClick, "pageDimensions"},
        {m.btBehaviour, &TfVexelSCREENModel::btBehaviourClick, "pageBehaviour"},
        {m.btBuild, &TfVexelSCREENModel::btBuildClick, "pageBuild"},
        {m.btGeneralHelp, &TfVexelSCREENModel::btGeneralHelpClick, "pageGeneralHelp"},
    };
    auto row = std::make_shared<BarRow>();
    row->leading = {logo_, title};
    row->leadingWidths = {44, 224};
    row->pageWidth = 88;
    row->minPageWidth = 56;
    row->y = 14;
    row->height = 36;
    int x = 290;
    for (const Entry& e : entries) {
        row->pages.push_back(pageButton(bar, e.button, m.headerButtons, at(x, 14, 88, 36),
                                        [this, click = e.click] { (model_.get()->*click)(); },
                                        [this, page = std::string(e.page)] { return model_->pages.activePage() == page; }));
        x += 92;
    }
    row->trailing.push_back(
        button(bar, m.btFileMenu, Place{-110, 14, 96, 36, 100, 0}, [this] { model_->btFileMenuClick(); }, true));
    row->trailingWidths.push_back(96);
    onLayout(bar, [this, row, title](int width, int) {
        FlowBar(*row, width, [this, title](HWND w, int x, int y, int cx, int cy) {
            // The logo and the title keep their own heights.
            if (w == logo_) placeControl(w, x, 12, 40, 40);
            else if (w == title) placeControl(w, x, 22, cx, 24);
            else placeControl(w, x, y, cx, cy);
        });
    });
}

void GeneratorWindow::buildBottomBar(HWND bar) {
    TfVexelSCREENModel& m = *model_;
    HWND services = label(bar, "Services:", at(14, 18, 60, 20));
    struct Entry {
        Button& button;
        void (TfVexelSCREENModel::*click)();
        const char* page;
    };
    const Entry entries[] = {
        {m.qbtVarFile, &TfVexelSCREENModel::qbtVarFileClick, "pageVarFile"},
        {m.qbtPrinting, &TfVexelSCREENModel::qbtPrintingClick, "pagePrinting"},
        {m.btExec, &TfVexelSCREENModel::btExecClick, "pageExec"},
        {m.qbtVarSave, &TfVexelSCREENModel::qbtVarSaveClick, "pageVarSave"},
    };
    auto row = std::make_shared<BarRow>();
    row->leading = {services};
    row->leadingWidths = {60};
    row->pageWidth = 152;
    row->minPageWidth = 80;
    row->y = 10;
    row->height = 32;
    int x = 78;
    for (const Entry& e : entries) {
        row->pages.push_back(pageButton(bar, e.button, m.bottomButtons, at(x, 10, 152, 32),
                                        [this, click = e.click] { (model_.get()->*click)(); },
                                        [this, page = std::string(e.page)] { return model_->pages.activePage() == page; }));
        x += 156;
    }
    HWND preview =
        button(bar, m.qbtPreview, Place{-246, 10, 110, 32, 100, 0}, [this] { model_->qbtPreviewClick(); }, false, 0, true);
    HWND build =
        button(bar, m.qbtBuild, Place{-124, 10, 110, 32, 100, 0}, [this] { model_->qbtBuildClick(); }, false, 0, true);
    SendMessageW(build, WM_SETFONT, reinterpret_cast<WPARAM>(font(FontKind::Bold)), FALSE);
    row->trailing = {preview, build};
    row->trailingWidths = {110, 110};
    row->trailingGap = 12;
    onLayout(bar, [this, row, services](int width, int) {
        FlowBar(*row, width, [this, services](HWND w, int x, int y, int cx, int cy) {
            if (w == services) placeControl(w, x, 18, cx, 20);
            else placeControl(w, x, y, cx, cy);
        });
    });
}

void GeneratorWindow::buildFilesPage(HWND page) {
    TfVexelSCREENModel& m = *model_;
    pageHeading(page, m.btFiles.caption,
                "The Flash projector to customise, what its movie is, and the further files it needs.");

    projectorDrop_ = groupBox(page, "Flash projector", wide(18, 68, 18, 78), &m.DragDropPorjector);
    shownBy_.push_back(&m.DragDropPorjector);
    label(page, m.edFlashProjector.caption, at(30, 94, 150, 20), FontKind::Normal, true);
    fileName(page, m.edFlashProjector, wide(180, 90, 30, 24), [this] { model_->edFlashProjectorBrowse(); });
    label(page, "Browse for the projector, or drop it anywhere in this box.", wide(180, 120, 30, 18));
    shownBy_.pop_back();

    groupBox(page, "Movie information", filled(at(18, 158, 300, 0), 12), &m.paProjectorInfo);
    shownBy_.push_back(&m.paProjectorInfo);
    grid(page, m.pgMovieInfo, filled(at(30, 180, 276, 0), 24));
    shownBy_.pop_back();

    addFilesDrop_ = groupBox(page, "Additional files", filled(wide(330, 158, 18, 0), 12), &m.paAddFiles);
    shownBy_.push_back(&m.paAddFiles);
    label(page, m.paAddFiles.caption, wide(342, 180, 260, 36), FontKind::Normal, true);
    button(page, m.sbAddAddFiles, Place{-250, 178, 106, 28, 100, 0}, [this] { model_->sbAddAddFilesClick(); }, true);
    button(page, m.sbRemoveAddFile, Place{-138, 178, 106, 28, 100, 0}, [this] { model_->sbRemoveAddFileClick(); }, true);
    const int listId = newId();
    filesList_ = add(page, WC_LISTVIEWW, "", LVS_REPORT | LVS_SHOWSELALWAYS | WS_TABSTOP, WS_EX_CLIENTEDGE,
                     filled(wide(342, 220, 30, 0), 24), FontKind::Normal, listId);
    bind(filesList_, &m.lvAddFiles);
    ListView_SetExtendedListViewStyle(filesList_, LVS_EX_FULLROWSELECT | LVS_EX_DOUBLEBUFFER | LVS_EX_INFOTIP);
    const int iconSide = px(16);
    fileImages_ = ImageList_Create(iconSide, iconSide, ILC_COLOR32 | ILC_MASK, 8, 8);
    ListView_SetImageList(filesList_, fileImages_, LVSIL_SMALL);
    const wchar_t* headings[] = {L"Filename", L"Path"};
    for (int c = 0; c < 2; ++c) {
        LVCOLUMNW col{};
        col.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
        col.pszText = const_cast<wchar_t*>(headings[c]);
        col.cx = 150;
        col.iSubItem = c;
        SendMessageW(filesList_, LVM_INSERTCOLUMNW, static_cast<WPARAM>(c), reinterpret_cast<LPARAM>(&col));
    }
    shownBy_.pop_back();
    onNotify(listId, [this](NMHDR* header) -> LRESULT {
        TfVexelSCREENModel& m = *model_;
        switch (header->code) {
            case LVN_ITEMCHANGED: {
                auto* change = reinterpret_cast<NMLISTVIEW*>(header);
                if (refreshing_ || !(change->uChanged & LVIF_STATE)) return 0;
                if (change->iItem >= 0 && static_cast<std::size_t>(change->iItem) < m.lvAddFiles.items.size())
                    m.lvAddFiles.items[static_cast<std::size_t>(change->iItem)].selected =
                        (change->uNewState & LVIS_SELECTED) != 0;
                return 0;
            }
            case LVN_KEYDOWN:
                if (reinterpret_cast<NMLVKEYDOWN*>(header)->wVKey == VK_DELETE)
                    forward([this] { model_->sbRemoveAddFileClick(); });
                return 0;
            case LVN_GETINFOTIPW: {
                // A row's tip is its full name; the package stores the names
                // too, so it says what it cannot store of one.
                auto* tip = reinterpret_cast<NMLVGETINFOTIPW*>(header);
                if (tip->iItem < 0 || static_cast<std::size_t>(tip->iItem) >= m.lvAddFiles.items.size() ||
                    !tip->pszText || tip->cchTextMax <= 0)
                    return 0;
                const std::string& name = m.lvAddFiles.items[static_cast<std::size_t>(tip->iItem)].fullPath;
                std::wstring text = Wide(name);
                if (const std::optional<std::string> refusal = StoredTextRefusal(name)) text += L"\r\n" + Wide(*refusal);
                const std::size_t n = std::min<std::size_t>(text.size(), static_cast<std::size_t>(tip->cchTextMax - 1));
                std::copy_n(text.data(), n, tip->pszText);
                tip->pszText[n] = L'\0';
                return 0;
            }
            case NM_RCLICK: {
                if (ListView_GetSelectedCount(filesList_) == 0) return 0;
                HMENU menu = CreatePopupMenu();
                AppendMenuW(menu, MF_STRING, kCmdDeleteFiles, Wide(m.PopupAddFilesDelete.caption).c_str());
                POINT pt;
                GetCursorPos(&pt);
                const int chosen = TrackPopupMenu(menu, TPM_RETURNCMD | TPM_RIGHTBUTTON, pt.x, pt.y, 0, hwnd_, nullptr);
                DestroyMenu(menu);
                if (chosen == kCmdDeleteFiles) forward([this] { model_->sbRemoveAddFileClick(); });
                return 0;
            }
            default:
                return 0;
        }
    });
    addRefresher([this] { refreshFileList(); });
}

void GeneratorWindow::refreshFileList() {
    TfVexelSCREENModel& m = *model_;
    const auto& items = m.lvAddFiles.items;
    const auto& icons = m.AddFilesIcons.icons;
    if (icons.size() < fileIconsShown_) {  // the icon list was emptied
        ImageList_RemoveAll(fileImages_);
        fileIconsShown_ = 0;
    }
    const int side = px(16);
    while (fileIconsShown_ < icons.size()) {
        const auto& icon = icons[fileIconsShown_];
        HICON h = icon ? MakeIcon(*icon, side) : nullptr;
        if (!h) h = static_cast<HICON>(LoadImageW(nullptr, MAKEINTRESOURCEW(32512), IMAGE_ICON, side, side, LR_SHARED));
        ImageList_AddIcon(fileImages_, h);
        if (icon) DestroyIcon(h);
        ++fileIconsShown_;
    }
    auto text = [this](int item, int column) { return ListText(filesList_, item, column); };
    bool same = ListView_GetItemCount(filesList_) == static_cast<int>(items.size());
    for (std::size_t i = 0; same && i < items.size(); ++i)
        same = text(static_cast<int>(i), 0) == items[i].caption && text(static_cast<int>(i), 1) == items[i].folder;
    if (!same) {
        ListView_DeleteAllItems(filesList_);
        for (std::size_t i = 0; i < items.size(); ++i) {
            std::wstring caption = Wide(items[i].caption), folder = Wide(items[i].folder);
            LVITEMW lv{};
            lv.mask = LVIF_TEXT | LVIF_IMAGE;
            lv.iItem = static_cast<int>(i);
            lv.pszText = caption.data();
            lv.iImage = items[i].imageIndex >= 0 && static_cast<std::size_t>(items[i].imageIndex) < fileIconsShown_
                            ? items[i].imageIndex
                            : I_IMAGENONE;
            SendMessageW(filesList_, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&lv));
            LVITEMW sub{};
            sub.iSubItem = 1;
            sub.pszText = folder.data();
            SendMessageW(filesList_, LVM_SETITEMTEXTW, i, reinterpret_cast<LPARAM>(&sub));
        }
        ListView_SetColumnWidth(filesList_, 0, LVSCW_AUTOSIZE_USEHEADER);
        ListView_SetColumnWidth(filesList_, 1, LVSCW_AUTOSIZE_USEHEADER);
    }
    for (std::size_t i = 0; i < items.size(); ++i) {
        const UINT want = items[i].selected ? LVIS_SELECTED : 0;
        if ((ListView_GetItemState(filesList_, static_cast<int>(i), LVIS_SELECTED) & LVIS_SELECTED) != want)
            ListView_SetItemState(filesList_, static_cast<int>(i), want, LVIS_SELECTED);
    }
}

void GeneratorWindow::buildAppearancePage(HWND page) {
    TfVexelSCREENModel& m = *model_;
    pageHeading(page, m.btAppearance.caption,
                "The shape of the projector's window, its border and caption, and how it shows.");
    groupBox(page, "Window shape", leftHalf(18, 68, -24, 132));
    radio(page, m.rbRectangle, leftHalf(30, 92, -48, 22), true);
    radio(page, m.rbInsDesktop, leftHalf(30, 118, -48, 22));
    radio(page, m.rbShape, at(30, 144, 190, 22));
    button(page, m.btEditShape, at(226, 141, 120, 28), [this] { model_->btEditShapeClick(); });

    groupBox(page, "Border", rightHalf(6, 68, -24, 132), &m.paBorder);
    shownBy_.push_back(&m.paBorder);
    radio(page, m.rbBorderNone, rightHalf(18, 90, -48, 22), true);
    radio(page, m.rbBorderOnly, rightHalf(18, 116, -48, 22));
    radio(page, m.rbBorderTool, rightHalf(18, 142, -48, 22));
    radio(page, m.rbBorderCaption, rightHalf(18, 168, -48, 22));
    shownBy_.pop_back();

    groupBox(page, "Caption", wide(18, 212, 18, 62));
    label(page, m.edCaption.caption, at(30, 240, 170, 20), FontKind::Normal, true);
    edit(page, m.edCaption, wide(200, 236, 30, 24));

    groupBox(page, "Options", wide(18, 286, 18, 104));
    check(page, m.cbHideCursor, wide(30, 308, 30, 22));
    shownBy_.push_back(&m.paStayOnTop);
    check(page, m.cbStayOnTop, wide(30, 334, 30, 22));
    shownBy_.pop_back();
    shownBy_.push_back(&m.paShowInTaskbar);
    check(page, m.cbShowInTaskbar, wide(30, 360, 30, 22));
    shownBy_.pop_back();
}

void GeneratorWindow::buildDimensionsPage(HWND page) {
    TfVexelSCREENModel& m = *model_;
    pageHeading(page, m.btDimensions.caption,
                "How large the projector's window is, where it opens, and how it may be resized.");
    groupBox(page, "Window size", leftHalf(18, 68, -24, 132), &m.paSize);
    shownBy_.push_back(&m.paSize);
    radio(page, m.rbMaximized, leftHalf(30, 90, -48, 22), true);
    radio(page, m.rbUseFlash, leftHalf(30, 114, -48, 22));
    radio(page, m.rbCustomSize, leftHalf(30, 138, -48, 22));
    shownBy_.push_back(&m.paCustomSize);
    label(page, m.seWidth.caption, at(54, 170, 50, 20), FontKind::Normal, true);
    spin(page, m.seWidth, at(106, 166, 86, 24));
    label(page, m.seHeight.caption, at(210, 170, 54, 20), FontKind::Normal, true);
    spin(page, m.seHeight, at(266, 166, 86, 24));
    shownBy_.pop_back();
    shownBy_.pop_back();

    groupBox(page, "Resizing", rightHalf(6, 68, -24, 132), &m.paResizeable);
    shownBy_.push_back(&m.paResizeable);
    check(page, m.cbResizeable, rightHalf(18, 90, -48, 22));
    check(page, m.cbKeepRatio, rightHalf(18, 114, -48, 22));
    shownBy_.pop_back();

    shownBy_.push_back(&m.paPosition);
    groupBox(page, "Horizontal position", leftHalf(18, 212, -24, 132));
    radio(page, m.rbAllignLeft, leftHalf(30, 234, -48, 22), true);
    radio(page, m.rbAllignXCenter, leftHalf(30, 258, -48, 22));
    radio(page, m.rbAllignRight, leftHalf(30, 282, -48, 22));
    radio(page, m.rbXposCustom, leftHalf(30, 306, -48, 22));
    groupBox(page, "Vertical position", rightHalf(6, 212, -24, 132));
    radio(page, m.rbAllignTop, rightHalf(18, 234, -48, 22), true);
    radio(page, m.rbAllignYCenter, rightHalf(18, 258, -48, 22));
    radio(page, m.rbAllignBottom, rightHalf(18, 282, -48, 22));
    radio(page, m.rbYposCustom, rightHalf(18, 306, -48, 22));
    groupBox(page, "Custom position", wide(18, 356, 18, 62), &m.paCustomPos);
    shownBy_.push_back(&m.paCustomPos);
    label(page, m.seLeft.caption, at(30, 384, 44, 20), FontKind::Normal, true);
    spin(page, m.seLeft, at(76, 380, 96, 24));
    label(page, m.seTop.caption, at(200, 384, 40, 20), FontKind::Normal, true);
    spin(page, m.seTop, at(242, 380, 96, 24));
    shownBy_.pop_back();
    shownBy_.pop_back();
}

void GeneratorWindow::buildBehaviourPage(HWND page) {
    TfVexelSCREENModel& m = *model_;
    pageHeading(page, m.btBehaviour.caption,
                "What mouse clicks and key presses do while the movie runs, and what the projector keeps from "
                "happening.");
    const Place columns[3] = {Place{18, 68, -20, 112, 0, 33}, Place{7, 68, -14, 112, 33, 33},
                              Place{8, 68, -26, 112, 66, 34}};
    const char* titles[3] = {"Left mouse button", "Right mouse button", "Keyboard"};
    const std::vector<RadioButton*> boxes[3] = {{&m.rbLAllow, &m.rbLDrag, &m.rbLIgnore},
                                                {&m.rbRAllow, &m.rbRPopup, &m.rbRIgnore},
                                                {&m.rbKAllow, &m.rbKIgnore}};
    for (int c = 0; c < 3; ++c) {
        groupBox(page, titles[c], columns[c]);
        int y = 90;
        for (RadioButton* rb : boxes[c]) {
            Place p = columns[c];
            p.x += 12;
            p.w -= 24;
            p.y = y;
            p.h = 22;
            radio(page, *rb, p, rb == boxes[c].front());
            y += 24;
        }
    }
    groupBox(page, "Options", wide(18, 192, 18, 104));
    check(page, m.cbCloseOnEscape, wide(30, 214, 30, 22));
    check(page, m.cbDisablescreensaver, wide(30, 240, 30, 22));
    check(page, m.cbDisableALTTAB, wide(30, 266, 30, 22));
}

void GeneratorWindow::buildBuildPage(HWND page) {
    TfVexelSCREENModel& m = *model_;
    pageHeading(page, m.btBuild.caption,
                "Where the new projector goes, its icon, its version information and how tightly its files are "
                "packed.");
    groupBox(page, "Output", leftHalf(18, 68, -24, 172));
    label(page, m.OutputProjector.caption, leftHalf(30, 90, -48, 20), FontKind::Normal, true);
    fileName(page, m.OutputProjector, leftHalf(30, 110, -48, 24), [this] { model_->OutputProjectorBrowse(); },
             [this](const std::string& text) { model_->OutputProjectorEdited(text); });
    label(page, m.OpenIcon.caption, leftHalf(30, 146, -110, 20), FontKind::Normal, true);
    iconField_ = fileName(page, m.OpenIcon, leftHalf(30, 166, -110, 24), [this] { model_->OpenIconBrowse(); });
    iconPreview_ = add(page, WC_STATICW, "", SS_ICON | SS_CENTERIMAGE | SS_REALSIZECONTROL, WS_EX_CLIENTEDGE,
                       Place{-68, 154, 46, 46, 50, 0});
    bind(iconPreview_, &m.imIcon);
    hint(iconPreview_, "The icon of the new projector");
    iconDrop_ = iconField_;
    previewShown_ = std::make_shared<TIcon>();
    addRefresher([this] {
        const TIcon& icon = model_->imIcon.icon;
        if (icon == *previewShown_ && shownIcon_) return;
        *previewShown_ = icon;
        HICON old = shownIcon_;
        shownIcon_ = MakeIcon(icon, px(32));
        SendMessageW(iconPreview_, STM_SETICON, reinterpret_cast<WPARAM>(shownIcon_), 0);
        if (old) DestroyIcon(old);
    });

    groupBox(page, "Compression", leftHalf(18, 252, -24, 124));
    label(page, m.tbCompression.caption, leftHalf(30, 274, -48, 20), FontKind::Normal, true);
    trackBar(page, m.tbCompression, leftHalf(30, 298, -48, 36));
    label(page, "Faster launch", at(30, 340, 140, 18));
    HWND small = label(page, "Smaller file", Place{-166, 340, 140, 18, 50, 0});
    SetWindowLongW(small, GWL_STYLE, GetWindowLongW(small, GWL_STYLE) | SS_RIGHT);

    // Signing takes the bottom of the right half, under a shorter version
    // grid: the left half is full down to the compression box, and the page
    // is not much taller than that at the smallest window. Captions stand
    // above their fields, which keeps the fields wide enough for a path.
    constexpr int kSigningHeight = 176;
    groupBox(page, "Version information", filled(rightHalf(6, 68, -24, 0), kSigningHeight + 24));
    SpinEdit* numbers[4] = {&m.seVI_1, &m.seVI_2, &m.seVI_3, &m.seVI_4};
    for (int i = 0; i < 4; ++i) {
        label(page, numbers[i]->caption, Place{18 + i * 98, 90, 94, 18, 50, 0}, FontKind::Normal, true);
        spin(page, *numbers[i], Place{18 + i * 98, 110, 88, 24, 50, 0});
    }
    grid(page, m.pgVI, filled(rightHalf(18, 146, -48, 0), kSigningHeight + 36));

    auto fromBottom = [](Place p) {
        p.fromBottom = true;
        return p;
    };
    groupBox(page, "Signing", fromBottom(rightHalf(6, kSigningHeight + 12, -24, kSigningHeight)));
    int row = kSigningHeight - 10;  // the top of a caption, from the page's bottom
    auto underCaption = [&](const std::string& text) {
        label(page, text, fromBottom(rightHalf(18, row, -48, 20)), FontKind::Normal, true);
        row -= 20;
        return fromBottom(rightHalf(18, row, -48, 24));
    };
    fileName(page, m.edSignCertificate, underCaption(m.edSignCertificate.caption), [this] { model_->edSignCertificateBrowse(); });
    row -= 28;
    edit(page, m.edSignDescription, underCaption(m.edSignDescription.caption));
    row -= 28;
    edit(page, m.edSignTimestamp, underCaption(m.edSignTimestamp.caption));
}

void GeneratorWindow::buildDateTimePage(HWND page) {
    TfVexelSCREENModel& m = *model_;
    pageHeading(page, m.qbtVarFile.hint,
                "The projector can write the date and time of its launch into a text file that the movie loads.");
    richText(page, m.edDateTimeInfo, filled(wide(18, 68, 18, 0), 212));
    Place box = wide(18, 200, 18, 188);
    box.fromBottom = true;
    groupBox(page, "Variable file", box);
    Place p = leftHalf(30, 176, -40, 22);
    p.fromBottom = true;
    check(page, m.cbVarFile, p);
    p = leftHalf(30, 146, -40, 20);
    p.fromBottom = true;
    label(page, m.edVarFilename.caption, p, FontKind::Normal, true);
    p = leftHalf(30, 124, -60, 24);
    p.fromBottom = true;
    edit(page, m.edVarFilename, p);
    p = at(30, 86, 180, 30);
    p.fromBottom = true;
    button(page, m.btCreateSampleVar, p, [this] { model_->btCreateSampleVarClick(); });
    p = rightHalf(0, 180, -30, 166);
    p.fromBottom = true;
    grid(page, m.pgDateTime, p);
}

void GeneratorWindow::buildHelpPage(HWND page, RichText& text) { richText(page, text, filled(wide(18, 12, 12, 0), 12)); }

void GeneratorWindow::buildBusyPage(HWND page) {
    TfVexelSCREENModel& m = *model_;
    HWND busy = add(page, WC_STATICW, m.lbBusyLabel.caption, SS_CENTER | SS_NOPREFIX, 0, Place{18, -24, -36, 28, 0, 100, 40},
                    FontKind::Heading);
    addRefresher([this, busy] {
        if (WindowTextOf(busy) != model_->lbBusyLabel.caption) SetWindowTextUtf8(busy, model_->lbBusyLabel.caption);
    });
    busyProgress_ = add(page, PROGRESS_CLASSW, "", PBS_MARQUEE | PBS_SMOOTH, 0, Place{-160, 16, 320, 18, 50, 0, 40});
    // Cancel acts while the build runs, so it goes to the model at once
    // rather than waiting behind the running action as other clicks do.
    const int id = newId();
    HWND cancel = add(page, WC_BUTTONW, m.btCancel.caption, BS_PUSHBUTTON | WS_TABSTOP, 0, Place{-50, 52, 100, 30, 50, 0, 40},
                      FontKind::Normal, id);
    bind(cancel, &m.btCancel);
    hint(cancel, m.btCancel.hint);
    onCommand(id, [this](int code) {
        if (code != BN_CLICKED) return;
        model_->btCancelClick();
        requestCancel();
    });
}

// ---------------------------------------------------------------- start and the frame's messages

void GeneratorWindow::start(const std::vector<std::string>& arguments, int showCommand) {
    forward([&] { model_->FormCreate(arguments); });
    bool placed = false;
    model_->Run([&] {
        const std::optional<WindowPlacement> p = store_.placement(kPlacementName);
        if (!p || p->width < kMinRestoredSide || p->height < kMinRestoredSide) return;
        // The placement comes back whole onto the monitor it was on (the
        // nearest one when that is gone), no larger than the monitor's work
        // area: a placement of another resolution, or of a screen that was
        // larger, would otherwise hang over the edges with its buttons.
        RECT r{p->left, p->top, p->left + p->width, p->top + p->height};
        MONITORINFO mi{};
        mi.cbSize = sizeof mi;
        GetMonitorInfoW(MonitorFromRect(&r, MONITOR_DEFAULTTONEAREST), &mi);
        // No smaller than the window lets itself be made (WM_GETMINMAXINFO),
        // which would otherwise grow it again from where it was put.
        r.right = std::max<LONG>(r.right, r.left + px(kMinWidth));
        r.bottom = std::max<LONG>(r.bottom, r.top + px(kMinHeight));
        r = FitInto(r, mi.rcWork);
        // Workspace coordinates: the work area's corner is their origin.
        OffsetRect(&r, mi.rcMonitor.left - mi.rcWork.left, mi.rcMonitor.top - mi.rcWork.top);
        WINDOWPLACEMENT wp{};
        wp.length = sizeof wp;
        wp.rcNormalPosition = r;
        wp.showCmd = p->maximized ? SW_SHOWMAXIMIZED : static_cast<UINT>(showCommand);
        SetWindowPlacement(hwnd_, &wp);
        placed = true;
    });
    if (!placed) {
        // Centred on the monitor, no larger than its work area.
        HMONITOR monitor = MonitorFromWindow(hwnd_, MONITOR_DEFAULTTOPRIMARY);
        MONITORINFO mi{};
        mi.cbSize = sizeof mi;
        GetMonitorInfoW(monitor, &mi);
        const RECT& work = mi.rcWork;
        const int w = std::min<int>(px(kDefaultWidth), work.right - work.left);
        const int h = std::min<int>(px(kDefaultHeight), work.bottom - work.top);
        SetWindowPos(hwnd_, nullptr, work.left + (work.right - work.left - w) / 2, work.top + (work.bottom - work.top - h) / 2,
                     w, h, SWP_NOZORDER | SWP_NOACTIVATE);
        ShowWindow(hwnd_, showCommand);
    }
    UpdateWindow(hwnd_);
    PostMessageW(hwnd_, kFirstShowMessage, 0, 0);
}

LRESULT GeneratorWindow::handle(UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
        case kFirstShowMessage:
            if (!shownOnce_) {
                shownOnce_ = true;
                forward([this] { model_->FormShow(); });
            }
            return 0;
        case WM_GETMINMAXINFO: {
            // Never more than the monitor's work area holds.
            auto* info = reinterpret_cast<MINMAXINFO*>(lp);
            MONITORINFO mi{};
            mi.cbSize = sizeof mi;
            GetMonitorInfoW(MonitorFromWindow(hwnd_, MONITOR_DEFAULTTONEAREST), &mi);
            info->ptMinTrackSize.x = std::min<LONG>(px(kMinWidth), mi.rcWork.right - mi.rcWork.left);
            info->ptMinTrackSize.y = std::min<LONG>(px(kMinHeight), mi.rcWork.bottom - mi.rcWork.top);
            return 0;
        }
        case WM_DPICHANGED: {
            const LRESULT r = Form::handle(msg, wp, lp);
            scalePictures();
            refresh();
            return r;
        }
        case WM_DROPFILES:
            dropFiles(reinterpret_cast<HDROP>(wp));
            return 0;
        case WM_CLOSE:
            close();
            return 0;
        case WM_QUERYENDSESSION:
            // Windows is about to log off or shut down: a running build is
            // given up, as on Cancel (the window stays, should the session
            // go on after all).
            if (acting()) model_->btCancelClick(), requestCancel();
            return TRUE;
        case WM_ENDSESSION:
            // The process may end as soon as this returns, before the build
            // has unwound: its temporary files go now (they are removed when
            // their last handle closes, at the process's end at the latest).
            if (wp) RemoveLiveTempFiles();
            return 0;
        case WM_DESTROY:
            PostQuitMessage(0);
            return 0;
        default:
            return Form::handle(msg, wp, lp);
    }
}

void GeneratorWindow::dropFiles(HDROP drop) {
    std::vector<std::string> names;
    const UINT count = DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
    for (UINT i = 0; i < count; ++i) {
        const UINT n = DragQueryFileW(drop, i, nullptr, 0);
        std::wstring name(n + 1, L'\0');
        DragQueryFileW(drop, i, name.data(), n + 1);
        name.resize(n);
        names.push_back(Utf8(name));
    }
    POINT pt{};
    DragQueryPoint(drop, &pt);
    DragFinish(drop);
    if (names.empty()) return;
    ClientToScreen(hwnd_, &pt);
    auto over = [&pt](HWND zone) {
        if (!zone || !IsWindowVisible(zone)) return false;
        RECT r;
        GetWindowRect(zone, &r);
        return PtInRect(&r, pt) != FALSE;
    };
    if (over(projectorDrop_)) {
        forward([this, name = names.front()] { model_->DragDropPorjectorFileDropped(name); });
    } else if (over(addFilesDrop_)) {
        forward([this, names] {
            for (const std::string& name : names) model_->paAddFilesFileDropped(name);
        });
    } else if (over(iconDrop_) || over(iconPreview_)) {
        forward([this, name = names.front()] { model_->OpenIconDropFiles(name); });
    }
}

void GeneratorWindow::close() {
    if (acting()) {
        // A build or a preview is given up at once; a project save or load
        // ends first. Either way the window closes after it.
        closeRequested_ = true;
        return;
    }
    closing_ = true;
    model_->Run([this] {
        WINDOWPLACEMENT wp{};
        wp.length = sizeof wp;
        GetWindowPlacement(hwnd_, &wp);
        const RECT& r = wp.rcNormalPosition;
        store_.setPlacement(kPlacementName, {r.left, r.top, r.right - r.left, r.bottom - r.top, IsZoomed(hwnd_) != FALSE});
    });
    forward([this] { model_->FormClose(); });
    DestroyWindow(hwnd_);
}

// ---------------------------------------------------------------- the host

void GeneratorWindow::showShapeWindowModal() { shapeWindow_->runModal(); }

void GeneratorWindow::closeShapeWindow() { shapeWindow_->closeWindow(); }

void GeneratorWindow::showAboutModal() {
    AboutWindow about(hwnd_);
    about.runModal();
}

void GeneratorWindow::showFileMenu() {
    TfVexelSCREENModel& m = *model_;
    HMENU menu = CreatePopupMenu();
    std::set<wchar_t> taken;
    auto item = [&](const MenuItem& entry, int id) {
        if (!entry.visible) return;
        AppendMenuW(menu, MF_STRING | (entry.enabled ? 0 : MF_GRAYED), static_cast<UINT_PTR>(id),
                    WithMnemonic(Wide(entry.caption), &taken).c_str());
    };
    item(m.Saveas, kCmdSaveProject);
    item(m.Load, kCmdLoadProject);
    AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
    item(m.SaveMovie, kCmdSaveMovie);
    item(m.SaveMovieCompressed, kCmdSaveMovieCompressed);
    AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
    item(m.About1, kCmdAbout);
    AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
    item(m.Close1, kCmdExit);
    // At the pointer when it is over the window (a click); below the button
    // when the keyboard pressed it.
    POINT pt;
    GetCursorPos(&pt);
    RECT frame;
    GetWindowRect(hwnd_, &frame);
    if (!PtInRect(&frame, pt)) {
        HWND focus = GetFocus();
        RECT r{};
        if (focus) GetWindowRect(focus, &r);
        pt = {r.left, r.bottom};
    }
    SetForegroundWindow(hwnd_);
    const int chosen = TrackPopupMenu(menu, TPM_RETURNCMD | TPM_LEFTALIGN | TPM_TOPALIGN, pt.x, pt.y, 0, hwnd_, nullptr);
    DestroyMenu(menu);
    // The entry runs once the action that opened the menu has ended.
    if (chosen) PostMessageW(hwnd_, WM_COMMAND, static_cast<WPARAM>(chosen), 0);
}

void GeneratorWindow::hideMainWindow() { ShowWindow(hwnd_, SW_HIDE); }

void GeneratorWindow::showMainWindow() {
    if (closing_ || !hwnd_ || IsWindowVisible(hwnd_)) return;
    ShowWindow(hwnd_, SW_SHOW);
    SetForegroundWindow(hwnd_);
}

void GeneratorWindow::closeMainWindow() {
    // The handler that asks is still running; the window closes after it.
    PostMessageW(hwnd_, WM_CLOSE, 0, 0);
}

}  // namespace vs::win32
