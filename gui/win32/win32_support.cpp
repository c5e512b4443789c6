#include "gui/win32/win32_support.h"

#include <commctrl.h>

#include <vector>

namespace vs::win32 {

namespace {
HWND g_mainWindow = nullptr;
}

std::string ListText(HWND list, int item, int column) {
    std::wstring buffer(2048, L'\0');
    LVITEMW lv{};
    lv.iSubItem = column;
    lv.pszText = buffer.data();
    lv.cchTextMax = static_cast<int>(buffer.size());
    const auto n = SendMessageW(list, LVM_GETITEMTEXTW, static_cast<WPARAM>(item), reinterpret_cast<LPARAM>(&lv));
    buffer.resize(static_cast<std::size_t>(n));
    return Utf8(buffer);
}

std::wstring MessageText(std::string_view utf8) {
    const std::wstring in = Wide(utf8);
    std::wstring out;
    out.reserve(in.size() + 8);
    for (std::size_t i = 0; i < in.size(); ++i) {
        out += in[i];
        if (in[i] == L'\r' && (i + 1 >= in.size() || in[i + 1] != L'\n')) out += L'\n';
    }
    return out;
}

std::string WindowTextOf(HWND window) {
    const int n = GetWindowTextLengthW(window);
    std::wstring text(static_cast<std::size_t>(n) + 1, L'\0');
    const int got = GetWindowTextW(window, text.data(), n + 1);
    text.resize(static_cast<std::size_t>(got > 0 ? got : 0));
    return Utf8(text);
}

void SetWindowTextUtf8(HWND window, const std::string& text) { SetWindowTextW(window, Wide(text).c_str()); }

HICON MakeIcon(const TIcon& icon) {
    if (!icon.HasColorImage()) return nullptr;
    const int w = icon.Width(), h = icon.Height();
    BITMAPINFO bi{};
    bi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    bi.bmiHeader.biWidth = w;
    bi.bmiHeader.biHeight = -h;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    bi.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HDC screen = GetDC(nullptr);
    HBITMAP colour = CreateDIBSection(screen, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    ReleaseDC(nullptr, screen);
    if (!colour) return nullptr;
    bool anyAlpha = false;
    for (int y = 0; y < h && !anyAlpha; ++y)
        for (int x = 0; x < w; ++x)
            if ((icon.Pixel(x, y) >> 24) != 0) {
                anyAlpha = true;
                break;
            }
    auto* out = static_cast<std::uint32_t*>(bits);
    const int maskStride = ((w + 15) / 16) * 2;
    std::vector<std::uint8_t> mask(static_cast<std::size_t>(maskStride) * static_cast<std::size_t>(h), 0);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            std::uint32_t p = icon.Pixel(x, y);
            const bool clear = icon.Transparent(x, y);
            if (!anyAlpha) p = (p & 0xFFFFFFu) | (clear ? 0u : 0xFF000000u);
            if (clear && (p >> 24) == 0) p = 0;
            out[static_cast<std::size_t>(y) * static_cast<std::size_t>(w) + static_cast<std::size_t>(x)] = p;
            if (clear) mask[static_cast<std::size_t>(y * maskStride + x / 8)] |= static_cast<std::uint8_t>(0x80 >> (x % 8));
        }
    HBITMAP maskBitmap = CreateBitmap(w, h, 1, 1, mask.data());
    ICONINFO info{};
    info.fIcon = TRUE;
    info.hbmColor = colour;
    info.hbmMask = maskBitmap;
    HICON result = CreateIconIndirect(&info);
    DeleteObject(colour);
    DeleteObject(maskBitmap);
    return result;
}

HICON MakeIcon(const TIcon& icon, int side) {
    if (!icon.HasColorImage()) return nullptr;
    if (icon.Width() == side && icon.Height() == side) return MakeIcon(icon);
    return MakeIcon(ScaleIcon(icon, side, side));
}

std::optional<TIcon> IconFromHandle(HICON handle) {
    if (!handle) return std::nullopt;
    ICONINFO info{};
    if (!GetIconInfo(handle, &info)) return std::nullopt;
    BITMAP bm{};
    HBITMAP source = info.hbmColor ? info.hbmColor : info.hbmMask;
    GetObjectW(source, sizeof bm, &bm);
    const int w = bm.bmWidth;
    const int h = info.hbmColor ? bm.bmHeight : bm.bmHeight / 2;
    std::optional<TIcon> result;
    if (w > 0 && h > 0 && w <= kMaxIconSide && h <= kMaxIconSide) {
        auto read = [&](HBITMAP bitmap, int rows) {
            std::vector<std::uint32_t> pixels(static_cast<std::size_t>(w) * static_cast<std::size_t>(rows));
            BITMAPINFO bi{};
            bi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
            bi.bmiHeader.biWidth = w;
            bi.bmiHeader.biHeight = -rows;
            bi.bmiHeader.biPlanes = 1;
            bi.bmiHeader.biBitCount = 32;
            bi.bmiHeader.biCompression = BI_RGB;
            HDC dc = GetDC(nullptr);
            const int got = GetDIBits(dc, bitmap, 0, static_cast<UINT>(rows), pixels.data(), &bi, DIB_RGB_COLORS);
            ReleaseDC(nullptr, dc);
            if (got == 0) pixels.clear();
            return pixels;
        };
        // A monochrome icon keeps its AND mask above its XOR picture.
        const std::vector<std::uint32_t> mask = read(info.hbmMask, info.hbmColor ? h : 2 * h);
        std::vector<std::uint32_t> colour;
        if (info.hbmColor) colour = read(info.hbmColor, h);
        else if (!mask.empty()) colour.assign(mask.begin() + static_cast<std::ptrdiff_t>(w) * h, mask.end());
        if (!colour.empty()) {
            TIcon icon(w, h);
            bool anyAlpha = false;
            for (std::uint32_t p : colour) anyAlpha = anyAlpha || (p >> 24) != 0;
            for (int y = 0; y < h; ++y)
                for (int x = 0; x < w; ++x) {
                    const std::size_t i = static_cast<std::size_t>(y) * static_cast<std::size_t>(w) + static_cast<std::size_t>(x);
                    const bool clear = !mask.empty() && (mask[i] & 0xFFFFFFu) != 0;
                    std::uint32_t p = colour[i];
                    if (!anyAlpha) p = (p & 0xFFFFFFu) | (clear ? 0u : 0xFF000000u);
                    icon.SetPixel(x, y, p);
                    icon.SetTransparent(x, y, anyAlpha ? (p >> 24) == 0 : clear);
                }
            result = std::move(icon);
        }
    }
    if (info.hbmColor) DeleteObject(info.hbmColor);
    if (info.hbmMask) DeleteObject(info.hbmMask);
    return result;
}

HBITMAP MakeBitmap(const TBitmap& bitmap) {
    if (bitmap.Empty()) return nullptr;
    BITMAPINFO bi{};
    bi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    bi.bmiHeader.biWidth = bitmap.Width();
    bi.bmiHeader.biHeight = -bitmap.Height();
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    bi.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP result = CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (!result) return nullptr;
    auto* out = static_cast<std::uint32_t*>(bits);
    for (std::int32_t y = 0; y < bitmap.Height(); ++y) {
        const std::span<const Colour> row = bitmap.Row(y);
        for (std::size_t x = 0; x < row.size(); ++x) *out++ = row[x] & 0xFFFFFFu;
    }
    return result;
}

UINT DpiOf(HWND window) {
    using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
    static const auto getDpi = reinterpret_cast<GetDpiForWindowFn>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"user32.dll"), "GetDpiForWindow")));
    if (getDpi && window) {
        const UINT dpi = getDpi(window);
        if (dpi) return dpi;
    }
    HDC dc = GetDC(nullptr);
    const int dpi = GetDeviceCaps(dc, LOGPIXELSY);
    ReleaseDC(nullptr, dc);
    return dpi > 0 ? static_cast<UINT>(dpi) : 96;
}

HFONT MessageFont(UINT dpi, int weight, int percent) {
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof metrics;
    LOGFONTW font{};
    if (SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0)) font = metrics.lfMessageFont;
    else wcscpy_s(font.lfFaceName, L"Segoe UI");
    font.lfHeight = -MulDiv(9 * percent, static_cast<int>(dpi), 72 * 100);
    font.lfWidth = 0;
    font.lfWeight = weight;
    font.lfQuality = CLEARTYPE_QUALITY;
    return CreateFontIndirectW(&font);
}

void SetMainWindow(HWND window) { g_mainWindow = window; }

HWND DialogOwner() {
    HWND active = GetActiveWindow();
    if (active && IsWindowVisible(active) && IsWindowEnabled(active)) return active;
    return g_mainWindow && IsWindowVisible(g_mainWindow) ? g_mainWindow : active;
}

}  // namespace vs::win32
