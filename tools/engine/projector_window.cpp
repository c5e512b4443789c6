#include "projector_window.h"

#include "core/window_layout.h"

namespace vs::win32 {

namespace {

ProjectorWindow* g_window = nullptr;

struct FindData {
    DWORD pid;
    HWND found;
};

BOOL CALLBACK findWindow(HWND w, LPARAM lp) {
    auto* d = reinterpret_cast<FindData*>(lp);
    DWORD pid = 0;
    GetWindowThreadProcessId(w, &pid);
    if (pid == d->pid && IsWindowVisible(w) && !GetWindow(w, GW_OWNER)) {
        d->found = w;
        return FALSE;
    }
    return TRUE;
}

// The player's window is sized, placed and shaped in the player's own
// coordinates. The engine is per-monitor aware (its manifest): its hooks and
// menu work in physical pixels. A player that is not DPI aware sees scaled
// pixels on a monitor above 100 %, so while the engine changes the player's
// window, its thread takes the player's awareness: the work area, the screen,
// the window's rectangle and the region are then all in the player's units.
// (The functions exist from Windows 10 1607; before, the system scales
// nothing per monitor.)
class PlayerDpiScope {
public:
    explicit PlayerDpiScope(HWND window) {
        using GetContext = HANDLE(WINAPI*)(HWND);
        using SetContext = HANDLE(WINAPI*)(HANDLE);
        static const HMODULE user = GetModuleHandleW(L"user32.dll");
        static const auto get =
            reinterpret_cast<GetContext>(reinterpret_cast<void*>(GetProcAddress(user, "GetWindowDpiAwarenessContext")));
        static const auto set =
            reinterpret_cast<SetContext>(reinterpret_cast<void*>(GetProcAddress(user, "SetThreadDpiAwarenessContext")));
        if (!get || !set) return;
        if (HANDLE player = get(window)) {
            set_ = set;
            previous_ = set(player);
        }
    }
    ~PlayerDpiScope() {
        if (previous_) set_(previous_);
    }
    PlayerDpiScope(const PlayerDpiScope&) = delete;
    PlayerDpiScope& operator=(const PlayerDpiScope&) = delete;

private:
    HANDLE (WINAPI* set_)(HANDLE) = nullptr;
    HANDLE previous_ = nullptr;
};

void CALLBACK locationChanged(HWINEVENTHOOK, DWORD, HWND w, LONG object, LONG, DWORD, DWORD) {
    if (g_window && w == g_window->handle() && object == OBJID_WINDOW) g_window->OnLocationChange();
}

}  // namespace

HWND FindProcessWindow(DWORD processId) {
    FindData d{processId, nullptr};
    EnumWindows(findWindow, reinterpret_cast<LPARAM>(&d));
    return d.found;
}

ProjectorWindow::ProjectorWindow(HWND window, const s_TVexelProjector& settings, HWND engineWindow)
    : window_(window), settings_(settings), engine_(engineWindow) {
    g_window = this;
}

ProjectorWindow::~ProjectorWindow() {
    if (eventHook_) UnhookWinEvent(eventHook_);
    g_window = nullptr;
}

void ProjectorWindow::Apply() {
    using namespace engine;
    PlayerDpiScope units(window_);
    const s_TVexelProjector& s = settings_;
    WindowStyles ws = StylesFor(s);
    LONG st = GetWindowLongW(window_, GWL_STYLE), ex = GetWindowLongW(window_, GWL_EXSTYLE);
    st = static_cast<LONG>((static_cast<DWORD>(st) & ~style::Managed) | ws.style);
    ex = static_cast<LONG>((static_cast<DWORD>(ex) & ~style::ExManaged) | ws.exStyle);

    // The task bar looks at a window when it is shown: hide it while it changes.
    ShowWindow(window_, SW_HIDE);
    SetWindowLongW(window_, GWL_STYLE, st);
    SetWindowLongW(window_, GWL_EXSTYLE, ex);
    // An owned window has no task-bar button.
    SetWindowLongPtrW(window_, GWLP_HWNDPARENT, s.ShowInTaskbar ? 0 : reinterpret_cast<LONG_PTR>(engine_));

    RECT work{};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    const Rect screen{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    const Rect r = PlaceWindow(s, screen, Rect{work.left, work.top, work.right, work.bottom});
    width_ = r.right - r.left;
    height_ = r.bottom - r.top;
    adjusting_ = true;
    SetWindowPos(window_, s.StayOnTop ? HWND_TOPMOST : HWND_NOTOPMOST, r.left, r.top, width_, height_,
                 SWP_FRAMECHANGED | SWP_NOACTIVATE);
    applyShape(width_);
    ShowWindow(window_, SW_SHOW);
    adjusting_ = false;
    SetForegroundWindow(window_);
    SetWindowTextW(window_, Wide(s.CaptionText).c_str());

    DWORD pid = 0;
    GetWindowThreadProcessId(window_, &pid);
    eventHook_ = SetWinEventHook(EVENT_OBJECT_LOCATIONCHANGE, EVENT_OBJECT_LOCATIONCHANGE, nullptr, locationChanged,
                                 pid, 0, WINEVENT_OUTOFCONTEXT);
}

void ProjectorWindow::applyShape(int width) {
    const TStoreWinRegion& shape = settings_.Shape();
    if (shape.Empty()) return;
    std::vector<std::uint8_t> bytes = shape.RegionData();
    if (shape.Width > 0 && width != shape.Width) {
        auto scaled = engine::ScaledRegionData(bytes, static_cast<double>(width) / shape.Width);
        if (!scaled) return;
        bytes = std::move(*scaled);
    }
    HRGN rgn = ExtCreateRegion(nullptr, static_cast<DWORD>(bytes.size()), reinterpret_cast<const RGNDATA*>(bytes.data()));
    // The window owns the region from here on; on failure it is ours to free.
    if (rgn && !SetWindowRgn(window_, rgn, TRUE)) DeleteObject(rgn);
}

void ProjectorWindow::OnLocationChange() {
    if (adjusting_ || IsIconic(window_) || IsZoomed(window_)) return;
    PlayerDpiScope units(window_);
    RECT now{};
    GetWindowRect(window_, &now);
    engine::Extent proposed{now.right - now.left, now.bottom - now.top};
    if (proposed.width == width_ && proposed.height == height_) return;
    engine::Extent size = proposed;
    if (settings_.ResizeKeepRatio) {
        engine::Extent base{settings_.WindowWidth, settings_.WindowHeight};
        size = engine::KeepRatio(base, {width_, height_}, proposed);
    }
    adjusting_ = true;
    if (size.width != proposed.width || size.height != proposed.height)
        SetWindowPos(window_, nullptr, 0, 0, size.width, size.height, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    width_ = size.width;
    height_ = size.height;
    if (settings_.ResizeKeepRatio) applyShape(width_);
    adjusting_ = false;
}

}  // namespace vs::win32
