// VSP.exe, the print tool: prints a part of the projector's window (or all
// of it) with an optional header and footer line, as the movie's print
// command asks. Without a printer it says so and ends with a non-zero code.
#include <algorithm>
#include <vector>

#include "core/tool_args.h"
#include "win32/win32_util.h"

#include <commdlg.h>

namespace vs::win32 {
namespace {

constexpr const wchar_t* kTitle = L"VexelSCREEN";

// The window's pixels, top-down 32-bit.
struct Picture {
    int width = 0, height = 0;
    std::vector<std::uint32_t> pixels;
};

Picture Capture(HWND window, const engine::PrintRequest& r) {
    RECT wr;
    GetWindowRect(window, &wr);
    const int ww = wr.right - wr.left, wh = wr.bottom - wr.top;
    int left = std::clamp(r.left, 0, std::max(0, ww - 1)), top = std::clamp(r.top, 0, std::max(0, wh - 1));
    int w = r.width > 0 && r.height > 0 ? std::min(r.width, ww - left) : ww - left;
    int h = r.width > 0 && r.height > 0 ? std::min(r.height, wh - top) : wh - top;
    Picture p;
    if (w <= 0 || h <= 0) return p;
    HDC screen = GetDC(nullptr);
    HDC mem = CreateCompatibleDC(screen);
    HBITMAP whole = CreateCompatibleBitmap(screen, ww, wh);
    HGDIOBJ old = SelectObject(mem, whole);
    if (!PrintWindow(window, mem, 0)) {
        HDC wdc = GetWindowDC(window);
        BitBlt(mem, 0, 0, ww, wh, wdc, 0, 0, SRCCOPY);
        ReleaseDC(window, wdc);
    }
    SelectObject(mem, old);
    BITMAPINFO bi{};
    bi.bmiHeader.biSize = sizeof bi.bmiHeader;
    bi.bmiHeader.biWidth = ww;
    bi.bmiHeader.biHeight = -wh;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    std::vector<std::uint32_t> all(static_cast<std::size_t>(ww) * wh);
    GetDIBits(mem, whole, 0, wh, all.data(), &bi, DIB_RGB_COLORS);
    DeleteObject(whole);
    DeleteDC(mem);
    ReleaseDC(nullptr, screen);
    p.width = w;
    p.height = h;
    p.pixels.resize(static_cast<std::size_t>(w) * h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            std::uint32_t px = all[static_cast<std::size_t>(top + y) * ww + left + x];
            p.pixels[static_cast<std::size_t>(y) * w + x] = r.invert ? (~px & 0x00FFFFFFu) : px;
        }
    return p;
}

// A printer's device context: the print dialog, or the default printer.
HDC Printer(const engine::PrintRequest& r, HWND owner) {
    PRINTDLGW pd{};
    pd.lStructSize = sizeof pd;
    pd.hwndOwner = owner;
    pd.Flags = PD_RETURNDC | PD_NOSELECTION | PD_NOPAGENUMS | (r.noDialog ? PD_RETURNDEFAULT : 0);
    if (!PrintDlgW(&pd)) return nullptr;
    HDC dc = pd.hDC;
    if (pd.hDevMode && (r.landscape || r.portrait)) {
        if (auto* dm = static_cast<DEVMODEW*>(GlobalLock(pd.hDevMode))) {
            dm->dmFields |= DM_ORIENTATION;
            dm->dmOrientation = r.landscape ? DMORIENT_LANDSCAPE : DMORIENT_PORTRAIT;
            ResetDCW(dc, dm);
            GlobalUnlock(pd.hDevMode);
        }
    }
    if (pd.hDevMode) GlobalFree(pd.hDevMode);
    if (pd.hDevNames) GlobalFree(pd.hDevNames);
    return dc;
}

bool Print(HDC dc, const Picture& p, const engine::PrintRequest& r) {
    DOCINFOW doc{};
    doc.cbSize = sizeof doc;
    doc.lpszDocName = L"VexelSCREEN projector";
    if (StartDocW(dc, &doc) <= 0) return false;
    StartPage(dc);
    const int pageW = GetDeviceCaps(dc, HORZRES), pageH = GetDeviceCaps(dc, VERTRES);
    TEXTMETRICW tm{};
    GetTextMetricsW(dc, &tm);
    const int line = tm.tmHeight + tm.tmExternalLeading;
    int top = 0, bottom = pageH;
    if (!r.header.empty()) {
        std::wstring t = Wide(r.header);
        TextOutW(dc, 0, 0, t.c_str(), static_cast<int>(t.size()));
        top += line * 2;
    }
    if (!r.footer.empty()) {
        std::wstring t = Wide(r.footer);
        bottom -= line;
        TextOutW(dc, 0, bottom, t.c_str(), static_cast<int>(t.size()));
        bottom -= line;
    }
    const int areaW = pageW, areaH = std::max(1, bottom - top);
    // At the screen's size unless that does not fit, or filling the page.
    const double toPrinter = static_cast<double>(GetDeviceCaps(dc, LOGPIXELSX)) / 96.0;
    double scale = toPrinter;
    const double fit = std::min(static_cast<double>(areaW) / p.width, static_cast<double>(areaH) / p.height);
    if (r.fitPage || scale > fit) scale = fit;
    BITMAPINFO bi{};
    bi.bmiHeader.biSize = sizeof bi.bmiHeader;
    bi.bmiHeader.biWidth = p.width;
    bi.bmiHeader.biHeight = -p.height;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    StretchDIBits(dc, 0, top, static_cast<int>(p.width * scale), static_cast<int>(p.height * scale), 0, 0, p.width,
                  p.height, p.pixels.data(), &bi, DIB_RGB_COLORS, SRCCOPY);
    EndPage(dc);
    return EndDoc(dc) > 0;
}

int Run() {
    const engine::PrintRequest r = engine::ParsePrintFields(engine::ToolFields(Utf8(GetCommandLineW())));
    HWND window = FindProjectorWindow(L"");
    if (!window) {
        Tell(kTitle, L"There is no projector window to print.", true);
        return 1;
    }
    const Picture picture = Capture(window, r);
    if (picture.pixels.empty()) {
        Tell(kTitle, L"The part of the window to print is empty.", true);
        return 1;
    }
    HDC dc = Printer(r, window);
    if (!dc) {
        if (CommDlgExtendedError() == 0) return 2;  // the user cancelled the dialog
        Tell(kTitle, L"No printer is installed, so the projector cannot print.", true);
        return 1;
    }
    const bool ok = Print(dc, picture, r);
    DeleteDC(dc);
    if (!ok) {
        Tell(kTitle, L"The printer refused the page.", true);
        return 1;
    }
    return 0;
}

}  // namespace
}  // namespace vs::win32

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    vs::win32::RestrictDllSearch();
    return vs::win32::Run();
}
