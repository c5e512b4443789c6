// The model's headers come before the system's, whose macros would take
// some of the model's names.
#include "app/generator_model.h"
#include "app/program_version.h"
#include "gui/win32/about_window.h"
#include "gui/win32/command_ids.h"
#include "gui/win32/win32_support.h"

namespace vs::win32 {

AboutWindow::AboutWindow(HWND owner) : Form([](const std::function<void()>& action) { action(); }), owner_(owner) {
    HINSTANCE instance = GetModuleHandleW(nullptr);
    RegisterFrameClass(kAboutWindowClass, false);
    const std::string title = std::string("About ") + TfVexelSCREENModel::kApplicationTitle;
    createFrame(kAboutWindowClass, title, WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN, WS_EX_DLGMODALFRAME,
                owner, 520, 250);
    HWND body = panel(hwnd_, false, Place{0, 0, 0, 0, 0, 100, 0, true});
    HWND picture = add(body, WC_STATICW, "", SS_ICON | SS_REALSIZECONTROL, 0, Place{24, 24, 96, 96});
    icon_ = static_cast<HICON>(LoadImageW(instance, L"MAINICON", IMAGE_ICON, px(96), px(96), 0));
    SendMessageW(picture, STM_SETICON, reinterpret_cast<WPARAM>(icon_), 0);
    label(body, TfVexelSCREENModel::kApplicationTitle, Place{140, 24, -160, 30, 0, 100}, FontKind::Title);
    label(body, std::string("Version ") + kProgramVersion, Place{140, 58, -160, 20, 0, 100});
    label(body,
          "Turns a Flash projector into a customised one for 32-bit Windows: the shape, border, size and position of "
          "its window, what clicks and keys do, its icon and version information, and the further files its movie "
          "needs, packed inside.",
          Place{140, 86, -160, 72, 0, 100});
    Place ok{-(20 + 96), 46, 96, 30, 100};
    ok.fromBottom = true;
    HWND okButton = add(body, WC_BUTTONW, "OK", BS_DEFPUSHBUTTON | WS_TABSTOP, 0, ok, FontKind::Normal, IDOK);
    onCommand(IDOK, [this](int) { done_ = true; });
    onCommand(IDCANCEL, [this](int) { done_ = true; });
    layoutAll();
    SetFocus(okButton);
}

AboutWindow::~AboutWindow() {
    if (icon_) DestroyIcon(icon_);
}

void AboutWindow::runModal() {
    RECT self, parent;
    GetWindowRect(hwnd_, &self);
    if (owner_ && IsWindowVisible(owner_)) GetWindowRect(owner_, &parent);
    else SystemParametersInfoW(SPI_GETWORKAREA, 0, &parent, 0);
    const int w = self.right - self.left, h = self.bottom - self.top;
    SetWindowPos(hwnd_, nullptr, parent.left + (parent.right - parent.left - w) / 2,
                 parent.top + (parent.bottom - parent.top - h) / 2, 0, 0, SWP_NOZORDER | SWP_NOSIZE | SWP_NOACTIVATE);
    done_ = false;
    runModalLoop(owner_, done_);
}

LRESULT AboutWindow::handle(UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_CLOSE) {
        done_ = true;
        return 0;
    }
    return Form::handle(msg, wp, lp);
}

}  // namespace vs::win32
