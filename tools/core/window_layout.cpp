#include "window_layout.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "package/store_win_region.h"
#include "platform/byte_reader.h"

namespace vs::engine {

WindowStyles StylesFor(const s_TVexelProjector& s) {
    using namespace style;
    WindowStyles w;
    const bool resize = s.BorderResizeable;
    switch (s.BorderStyle) {
        case TspBorder::spbNone:
            w.style = Popup;
            w.exStyle = ExToolWindow;
            break;
        case TspBorder::spbBorderOnly:
            w.style = Popup | (resize ? ThickFrame : Border);
            w.exStyle = ExToolWindow;
            break;
        case TspBorder::spbTool:
            w.style = Caption | SysMenu | (resize ? ThickFrame : 0);
            w.exStyle = ExToolWindow;
            break;
        case TspBorder::spbSingle:
            w.style = Caption | SysMenu | MinimizeBox | (resize ? ThickFrame | MaximizeBox : 0);
            break;
    }
    // A window without a caption needs no small one: it drops the tool
    // style for its task-bar button. The small caption is the tool style
    // itself, so it keeps it and is forced onto the task bar. Without the
    // button the engine owns the window.
    if (s.ShowInTaskbar) {
        if (s.BorderStyle != TspBorder::spbTool) w.exStyle &= ~ExToolWindow;
        w.exStyle |= ExAppWindow;
    }
    return w;
}

Rect PlaceWindow(const s_TVexelProjector& s, const Rect& screen, const Rect& work) {
    if (s.WindowSize == TspSize::spsMaximized) return screen;
    const std::int32_t w = std::max(1, s.WindowWidth), h = std::max(1, s.WindowHeight);
    std::int64_t x = s.WindowX, y = s.WindowY;
    switch (s.PositionH) {
        case TspHPosition::spphNone: break;
        case TspHPosition::spphLeft: x = work.left; break;
        case TspHPosition::spphCenter: x = work.left + (std::int64_t(work.right - work.left) - w) / 2; break;
        case TspHPosition::spphRight: x = std::int64_t(work.right) - w; break;
    }
    switch (s.PositionV) {
        case TspVPosition::sppvNone: break;
        case TspVPosition::sppvTop: y = work.top; break;
        case TspVPosition::sppvCenter: y = work.top + (std::int64_t(work.bottom - work.top) - h) / 2; break;
        case TspVPosition::sppvBottom: y = std::int64_t(work.bottom) - h; break;
    }
    auto clamp = [](std::int64_t v) { return static_cast<std::int32_t>(std::clamp<std::int64_t>(v, -(1 << 24), 1 << 24)); };
    Rect r{clamp(x), clamp(y), 0, 0};
    r.right = r.left + w;
    r.bottom = r.top + h;
    return r;
}

Extent KeepRatio(Extent base, Extent previous, Extent proposed) {
    if (base.width <= 0 || base.height <= 0) return proposed;
    const double ratio = static_cast<double>(base.width) / base.height;
    const bool widthLed = std::abs(proposed.width - previous.width) >= std::abs(proposed.height - previous.height);
    Extent out = proposed;
    if (widthLed) out.height = static_cast<std::int32_t>(std::lround(proposed.width / ratio));
    else out.width = static_cast<std::int32_t>(std::lround(proposed.height * ratio));
    out.width = std::max(1, out.width);
    out.height = std::max(1, out.height);
    return out;
}

std::optional<std::vector<std::uint8_t>> ScaledRegionData(const std::vector<std::uint8_t>& data, double factor) {
    if (!Region::fromRegionData(data)) return std::nullopt;
    std::vector<std::uint8_t> out = data;
    ByteReader header(data);
    header.skip(8);
    const std::uint32_t count = header.u32();
    auto scaleAt = [&](std::size_t offset) {
        std::int32_t v;
        std::memcpy(&v, out.data() + offset, 4);
        v = ScaleCoordinate(v, factor);
        std::memcpy(out.data() + offset, &v, 4);
    };
    for (std::size_t i = 0; i < 4; ++i) scaleAt(16 + 4 * i);
    for (std::size_t r = 0; r < count; ++r)
        for (std::size_t i = 0; i < 4; ++i) scaleAt(kRgnHeaderSize + 16 * r + 4 * i);
    return out;
}

}  // namespace vs::engine
