#include "gui/win32/shape_window.h"

#include <windowsx.h>

#include <cstdio>

#include "gui/win32/command_ids.h"
#include "gui/win32/win32_support.h"
#include "shape/region_from_bitmap.h"

namespace vs::win32 {

namespace {

constexpr const wchar_t* kPictureClass = L"VsPicture";
// The live preview scans the picture on every click; beyond this many pixels
// that would make the click feel slow, and the shape shows only after OK.
constexpr std::int64_t kMaxPreviewPixels = 4'000'000;
constexpr int kSideWidth = 250;

std::string ColourName(Colour c) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "#%06X", static_cast<unsigned>(c & 0xFFFFFFu));
    return buf;
}

COLORREF ColorRefOf(Colour c) { return RGB(RedOf(c), GreenOf(c), BlueOf(c)); }

HRGN RegionOf(const std::vector<Rect>& rects) {
    std::vector<std::uint8_t> data(sizeof(RGNDATAHEADER) + rects.size() * sizeof(RECT));
    auto* header = reinterpret_cast<RGNDATA*>(data.data());
    header->rdh.dwSize = sizeof(RGNDATAHEADER);
    header->rdh.iType = RDH_RECTANGLES;
    header->rdh.nCount = static_cast<DWORD>(rects.size());
    header->rdh.nRgnSize = static_cast<DWORD>(rects.size() * sizeof(RECT));
    RECT bounds{0, 0, 0, 0};
    auto* out = reinterpret_cast<RECT*>(header->Buffer);
    for (std::size_t i = 0; i < rects.size(); ++i) {
        out[i] = RECT{rects[i].left, rects[i].top, rects[i].right, rects[i].bottom};
        UnionRect(&bounds, &bounds, &out[i]);
    }
    header->rdh.rcBound = bounds;
    return ExtCreateRegion(nullptr, static_cast<DWORD>(data.size()), header);
}

}  // namespace

ShapeWindow::ShapeWindow(TfShapeSelectModel& model, UserInterface& ui, SettingsStore& store, HWND owner,
                         std::function<void(const std::function<void()>&)> run)
    : Form(std::move(run)), model_(model), ui_(ui), store_(store), owner_(owner) {
    RegisterFrameClass(kShapeWindowClass, true);
    static bool registered = false;
    if (!registered) {
        registered = true;
        WNDCLASSEXW wc{};
        wc.cbSize = sizeof wc;
        wc.lpfnWndProc = PictureProc;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.hCursor = LoadCursorW(nullptr, IDC_CROSS);
        wc.hbrBackground = GetSysColorBrush(COLOR_APPWORKSPACE);
        wc.lpszClassName = kPictureClass;
        RegisterClassExW(&wc);
    }
    // A sizeable tool window without caption buttons.
    createFrame(kShapeWindowClass, TfShapeSelectModel::kCaption, WS_POPUP | WS_CAPTION | WS_THICKFRAME | WS_CLIPCHILDREN,
                WS_EX_TOOLWINDOW, owner, 780, 540);

    HWND body = panel(hwnd_, false, Place{0, 0, 0, 0, 0, 100, 0, true});
    label(body, TfShapeSelectModel::kPrompt, Place{12, 10, -24, 20, 0, 100}, FontKind::Bold);
    picture_ = add(body, kPictureClass, "", WS_HSCROLL | WS_VSCROLL | WS_TABSTOP, WS_EX_CLIENTEDGE,
                   Place{12, 38, -(24 + kSideWidth), 56, 0, 100, 0, true});
    SetWindowLongPtrW(picture_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    bind(picture_, &model_.ShapeImage, false);

    const int side = -(12 + kSideWidth);
    label(body, "Picture:", Place{side, 38, kSideWidth, 18, 100}, FontKind::Normal, false);
    fileName(body, model_.OpenShape, Place{side, 58, kSideWidth, 24, 100}, [this] {
        FileDialog dialog;
        dialog.filter = model_.OpenShape.dialog.filter;
        dialog.initialName = model_.OpenShape.fileName;
        if (std::optional<std::string> name = ui_.openFileName(dialog)) {
            model_.OpenShapeAfterDialog(*name);
            showModelPicture();
        }
    });
    label(body, "Under the pointer:", Place{side, 100, kSideWidth, 18, 100});
    trackSwatch_ = add(body, WC_STATICW, "", SS_SUNKEN | SS_NOPREFIX, 0, Place{side, 120, 52, 28, 100});
    HWND trackText = label(body, "", Place{side + 62, 126, kSideWidth - 62, 18, 100});
    label(body, "Transparent colour:", Place{side, 162, kSideWidth, 18, 100});
    colorSwatch_ = add(body, WC_STATICW, "", SS_SUNKEN | SS_NOPREFIX, 0, Place{side, 182, 52, 28, 100});
    HWND colorText = label(body, "", Place{side + 62, 188, kSideWidth - 62, 18, 100});
    label(body,
          "Click the picture to choose the transparent colour. The hatched parts will be cut out of the projector's "
          "window.",
          Place{side, 228, kSideWidth, 72, 100});

    shownBy_.push_back(&model_.paButtons);
    Place ok{-(12 + 96 + 8 + 96), 44, 96, 30, 100};
    ok.fromBottom = true;
    HWND okButton = button(body, model_.btOK, ok, [this] { model_.btOKClick(); }, false, BS_DEFPUSHBUTTON);
    SetWindowLongPtrW(okButton, GWLP_ID, IDOK);
    Place cancel{-(12 + 96), 44, 96, 30, 100};
    cancel.fromBottom = true;
    HWND cancelButton = button(body, model_.btCancel, cancel, [this] { model_.btCancelClick(); });
    SetWindowLongPtrW(cancelButton, GWLP_ID, IDCANCEL);
    shownBy_.pop_back();
    // The buttons answer by their standard identifiers (Enter and Escape too).
    onCommand(IDOK, [this](int code) {
        if (code == BN_CLICKED && model_.btOK.enabled) forward([this] { model_.btOKClick(); });
    });
    onCommand(IDCANCEL, [this](int code) {
        if (code == BN_CLICKED && model_.btCancel.enabled) forward([this] { model_.btCancelClick(); });
    });

    shownBy_.push_back(&model_.paProgress);
    Place text{12, 40, 240, 20};
    text.fromBottom = true;
    label(body, TfShapeSelectModel::kProgressText, text);
    Place bar{260, 42, -272, 20, 0, 100};
    bar.fromBottom = true;
    pb_ = add(body, PROGRESS_CLASSW, "", PBS_SMOOTH, 0, bar);
    bind(pb_, &model_.pb, false);
    shownBy_.pop_back();

    addRefresher([this, trackText, colorText] {
        auto swatch = [](HWND w, HBRUSH& brush, Colour& shown, Colour c) {
            if (shown == c) return;
            shown = c;
            if (brush) DeleteObject(brush);
            brush = CreateSolidBrush(ColorRefOf(c));
            InvalidateRect(w, nullptr, TRUE);
        };
        swatch(trackSwatch_, trackBrush_, trackShown_, model_.paTrackColor.color);
        swatch(colorSwatch_, colorBrush_, colorShown_, model_.paColor.color);
        if (WindowTextOf(trackText) != ColourName(model_.paTrackColor.color))
            SetWindowTextUtf8(trackText, ColourName(model_.paTrackColor.color));
        if (WindowTextOf(colorText) != ColourName(model_.paColor.color))
            SetWindowTextUtf8(colorText, ColourName(model_.paColor.color));
        const int maximum = std::max(model_.pb.maximum, 1);
        SendMessageW(pb_, PBM_SETRANGE32, 0, maximum);
        SendMessageW(pb_, PBM_SETPOS, static_cast<WPARAM>(std::clamp(model_.pb.position, 0, maximum)), 0);
        if (model_.btOK.enabled) updatePreview();
    });
    layoutAll();
}

ShapeWindow::~ShapeWindow() {
    if (bitmap_) DeleteObject(bitmap_);
    if (veil_) DeleteObject(veil_);
    if (trackBrush_) DeleteObject(trackBrush_);
    if (colorBrush_) DeleteObject(colorBrush_);
}

void ShapeWindow::runModal() {
    // The window opens at its own size each time; only where it stood last
    // comes back, when that is on a monitor still.
    RECT self;
    GetWindowRect(hwnd_, &self);
    const int w = self.right - self.left, h = self.bottom - self.top;
    bool placed = false;
    std::optional<WindowPlacement> stored;
    run([&] { stored = store_.placement(kPlacementName); });
    if (stored) {
        const WindowPlacement p = TfShapeSelectModel::KeptPlacement(*stored);
        RECT r{p.left, p.top, p.left + w, p.top + h};
        if (MonitorFromRect(&r, MONITOR_DEFAULTTONULL)) {
            SetWindowPos(hwnd_, nullptr, p.left, p.top, 0, 0, SWP_NOZORDER | SWP_NOSIZE | SWP_NOACTIVATE);
            placed = true;
        }
    }
    if (!placed) {
        // Centred on the screen.
        RECT work;
        SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
        SetWindowPos(hwnd_, nullptr, work.left + (work.right - work.left - w) / 2,
                     work.top + (work.bottom - work.top - h) / 2, 0, 0, SWP_NOZORDER | SWP_NOSIZE | SWP_NOACTIVATE);
    }
    showModelPicture();
    refresh();
    done_ = false;
    runModalLoop(owner_, done_);
    done_ = true;
    RECT r;
    GetWindowRect(hwnd_, &r);
    run([&] {
        store_.setPlacement(kPlacementName,
                            TfShapeSelectModel::KeptPlacement({r.left, r.top, r.right - r.left, r.bottom - r.top}));
    });
}

void ShapeWindow::closeWindow() {
    done_ = true;
    if (hwnd_) PostMessageW(hwnd_, WM_NULL, 0, 0);
}

void ShapeWindow::progress(int position, int maximum) {
    if (!pb_ || maximum <= 0) return;
    SendMessageW(pb_, PBM_SETRANGE32, 0, maximum);
    SendMessageW(pb_, PBM_SETPOS, static_cast<WPARAM>(position), 0);
}

void ShapeWindow::showModelPicture() {
    if (bitmap_) DeleteObject(bitmap_);
    bitmap_ = nullptr;
    const auto& picture = model_.ShapeImage.picture;
    pictureWidth_ = picture ? picture->Width() : 0;
    pictureHeight_ = picture ? picture->Height() : 0;
    if (picture) bitmap_ = MakeBitmap(*picture);
    scrollX_ = scrollY_ = 0;
    previewColour_.reset();
    setVeil(nullptr);
    // A shape made from this picture shows as it is until another colour is picked.
    const TStoreWinRegion& shape = model_.ShapeRegion;
    if (picture && shape.RegionHolder().Handle() && shape.Width == picture->Width() && shape.Height == picture->Height()) {
        const std::vector<Rect> rects = shape.RegionHolder().Handle()->rects();
        setVeil(&rects);
        previewColour_ = model_.paColor.color;
    }
    updateScrollBars();
    InvalidateRect(picture_, nullptr, TRUE);
}

void ShapeWindow::setVeil(const std::vector<Rect>* opaque) {
    if (veil_) DeleteObject(veil_);
    veil_ = nullptr;
    if (!opaque) return;
    veil_ = CreateRectRgn(0, 0, pictureWidth_, pictureHeight_);
    if (!opaque->empty()) {
        HRGN kept = RegionOf(*opaque);
        if (kept) {
            CombineRgn(veil_, veil_, kept, RGN_DIFF);
            DeleteObject(kept);
        }
    }
}

void ShapeWindow::updatePreview() {
    const auto& picture = model_.ShapeImage.picture;
    if (!picture || picture->Empty()) {
        if (veil_) {
            setVeil(nullptr);
            InvalidateRect(picture_, nullptr, TRUE);
        }
        previewColour_.reset();
        return;
    }
    if (previewColour_ == model_.paColor.color) return;
    previewColour_ = model_.paColor.color;
    if (std::int64_t{picture->Width()} * picture->Height() > kMaxPreviewPixels) {
        setVeil(nullptr);
    } else {
        const std::vector<Rect> opaque = OpaqueRuns(*picture, model_.paColor.color);
        setVeil(&opaque);
    }
    InvalidateRect(picture_, nullptr, FALSE);
}

void ShapeWindow::updateScrollBars() {
    RECT rc;
    GetClientRect(picture_, &rc);
    SCROLLINFO si{};
    si.cbSize = sizeof si;
    si.fMask = SIF_RANGE | SIF_PAGE | SIF_POS;
    si.nMin = 0;
    si.nMax = std::max(pictureWidth_ - 1, 0);
    si.nPage = static_cast<UINT>(rc.right);
    scrollX_ = std::clamp(scrollX_, 0, std::max<int>(pictureWidth_ - rc.right, 0));
    si.nPos = scrollX_;
    SetScrollInfo(picture_, SB_HORZ, &si, TRUE);
    si.nMax = std::max(pictureHeight_ - 1, 0);
    si.nPage = static_cast<UINT>(rc.bottom);
    scrollY_ = std::clamp(scrollY_, 0, std::max<int>(pictureHeight_ - rc.bottom, 0));
    si.nPos = scrollY_;
    SetScrollInfo(picture_, SB_VERT, &si, TRUE);
}

void ShapeWindow::scroll(int bar, WPARAM wp) {
    SCROLLINFO si{};
    si.cbSize = sizeof si;
    si.fMask = SIF_ALL;
    GetScrollInfo(picture_, bar, &si);
    int pos = si.nPos;
    switch (LOWORD(wp)) {
        case SB_LINEUP: pos -= 16; break;
        case SB_LINEDOWN: pos += 16; break;
        case SB_PAGEUP: pos -= static_cast<int>(si.nPage); break;
        case SB_PAGEDOWN: pos += static_cast<int>(si.nPage); break;
        case SB_THUMBTRACK:
        case SB_THUMBPOSITION: pos = si.nTrackPos; break;
        default: break;
    }
    pos = std::clamp(pos, 0, std::max(si.nMax - static_cast<int>(si.nPage) + 1, 0));
    (bar == SB_HORZ ? scrollX_ : scrollY_) = pos;
    si.fMask = SIF_POS;
    si.nPos = pos;
    SetScrollInfo(picture_, bar, &si, TRUE);
    InvalidateRect(picture_, nullptr, FALSE);
}

LRESULT CALLBACK ShapeWindow::PictureProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    auto* self = reinterpret_cast<ShapeWindow*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (!self || self->picture_ != hwnd) return DefWindowProcW(hwnd, msg, wp, lp);
    return Guarded([&] { return self->picture(msg, wp, lp); });
}

LRESULT ShapeWindow::picture(UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
        case WM_PAINT: {
            PAINTSTRUCT ps;
            HDC dc = BeginPaint(picture_, &ps);
            RECT rc;
            GetClientRect(picture_, &rc);
            if (bitmap_) {
                HDC memory = CreateCompatibleDC(dc);
                HGDIOBJ old = SelectObject(memory, bitmap_);
                BitBlt(dc, 0, 0, pictureWidth_ - scrollX_, pictureHeight_ - scrollY_, memory, scrollX_, scrollY_, SRCCOPY);
                SelectObject(memory, old);
                DeleteDC(memory);
                if (veil_) {
                    HRGN shown = CreateRectRgn(0, 0, 0, 0);
                    CombineRgn(shown, veil_, nullptr, RGN_COPY);
                    OffsetRgn(shown, -scrollX_, -scrollY_);
                    HBRUSH hatch = CreateHatchBrush(HS_DIAGCROSS, RGB(220, 40, 40));
                    SetBkMode(dc, TRANSPARENT);
                    FillRgn(dc, shown, hatch);
                    DeleteObject(hatch);
                    DeleteObject(shown);
                }
                ExcludeClipRect(dc, 0, 0, pictureWidth_ - scrollX_, pictureHeight_ - scrollY_);
            }
            FillRect(dc, &rc, GetSysColorBrush(COLOR_APPWORKSPACE));
            EndPaint(picture_, &ps);
            return 0;
        }
        case WM_ERASEBKGND:
            return 1;
        case WM_SIZE:
            updateScrollBars();
            return 0;
        case WM_HSCROLL:
            scroll(SB_HORZ, wp);
            return 0;
        case WM_VSCROLL:
            scroll(SB_VERT, wp);
            return 0;
        case WM_MOUSEWHEEL:
            scroll(SB_VERT, GET_WHEEL_DELTA_WPARAM(wp) > 0 ? SB_LINEUP : SB_LINEDOWN);
            return 0;
        case WM_MOUSEMOVE: {
            const int x = GET_X_LPARAM(lp) + scrollX_, y = GET_Y_LPARAM(lp) + scrollY_;
            if (x < pictureWidth_ && y < pictureHeight_) forward([this, x, y] { model_.ShapeImageMouseMove(x, y); });
            return 0;
        }
        case WM_LBUTTONDOWN: {
            SetFocus(picture_);
            const int x = GET_X_LPARAM(lp) + scrollX_, y = GET_Y_LPARAM(lp) + scrollY_;
            if (x < pictureWidth_ && y < pictureHeight_)
                forward([this, x, y] {
                    model_.ShapeImageMouseMove(x, y);
                    model_.ShapeImageClick();
                });
            return 0;
        }
        case WM_KEYDOWN:
            // The arrows scroll a picture larger than the view.
            switch (wp) {
                case VK_LEFT: scroll(SB_HORZ, SB_LINEUP); return 0;
                case VK_RIGHT: scroll(SB_HORZ, SB_LINEDOWN); return 0;
                case VK_UP: scroll(SB_VERT, SB_LINEUP); return 0;
                case VK_DOWN: scroll(SB_VERT, SB_LINEDOWN); return 0;
                case VK_PRIOR: scroll(SB_VERT, SB_PAGEUP); return 0;
                case VK_NEXT: scroll(SB_VERT, SB_PAGEDOWN); return 0;
                default: break;
            }
            return DefWindowProcW(picture_, msg, wp, lp);
        case WM_GETDLGCODE:
            return DLGC_WANTARROWS;
        default:
            return DefWindowProcW(picture_, msg, wp, lp);
    }
}

LRESULT ShapeWindow::handle(UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
        case WM_CTLCOLORSTATIC: {
            HWND control = reinterpret_cast<HWND>(lp);
            if (control == trackSwatch_ && trackBrush_) return reinterpret_cast<LRESULT>(trackBrush_);
            if (control == colorSwatch_ && colorBrush_) return reinterpret_cast<LRESULT>(colorBrush_);
            return Form::handle(msg, wp, lp);
        }
        case WM_CLOSE:
            // As Exit; while the shape is being made the window closes itself.
            if (model_.btCancel.enabled) forward([this] { model_.btCancelClick(); });
            return 0;
        default:
            return Form::handle(msg, wp, lp);
    }
}

}  // namespace vs::win32
