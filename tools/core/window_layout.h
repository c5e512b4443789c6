#pragma once
// Where the projector's window goes and what it looks like, worked out from
// the settings without touching a window, so that the rules are the same on
// every platform and testable on their own.
#include <cstdint>
#include <optional>
#include <vector>

#include "package/vexel_projector.h"
#include "platform/region.h"

namespace vs::engine {

// The window styles the engine gives the projector's window (Windows values).
namespace style {
inline constexpr std::uint32_t Popup = 0x80000000u, Caption = 0x00C00000u, Border = 0x00800000u,
                               DlgFrame = 0x00400000u, SysMenu = 0x00080000u, ThickFrame = 0x00040000u,
                               MinimizeBox = 0x00020000u, MaximizeBox = 0x00010000u;
inline constexpr std::uint32_t ExToolWindow = 0x00000080u, ExAppWindow = 0x00040000u, ExTopmost = 0x00000008u,
                               ExWindowEdge = 0x00000100u, ExClientEdge = 0x00000200u, ExStaticEdge = 0x00020000u,
                               ExDlgModalFrame = 0x00000001u;
// The bits the engine decides; all others keep what the projector set.
inline constexpr std::uint32_t Managed = Popup | Caption | SysMenu | ThickFrame | MinimizeBox | MaximizeBox;
inline constexpr std::uint32_t ExManaged =
    ExToolWindow | ExAppWindow | ExWindowEdge | ExClientEdge | ExStaticEdge | ExDlgModalFrame;
}  // namespace style

struct WindowStyles {
    std::uint32_t style = 0;    // bits within style::Managed
    std::uint32_t exStyle = 0;  // bits within style::ExManaged
};

WindowStyles StylesFor(const s_TVexelProjector& settings);

// The window's outer rectangle on a screen whose work area is `work`.
// Maximised: the whole screen. Otherwise WindowWidth x WindowHeight (at least
// 1 x 1), placed at the work area's edges, its centre, or WindowX / WindowY.
Rect PlaceWindow(const s_TVexelProjector& settings, const Rect& screen, const Rect& work);

// The size nearest to the proposed one with the ratio base.w : base.h, taking
// the dimension that moved most as the one the user meant.
struct Extent {
    std::int32_t width = 0, height = 0;
};
Extent KeepRatio(Extent base, Extent previous, Extent proposed);

// Region bytes with every rectangle and the bounds multiplied by the factor
// (to the nearest integer, ties to even); nothing when the bytes are no region.
std::optional<std::vector<std::uint8_t>> ScaledRegionData(const std::vector<std::uint8_t>& regionData, double factor);

}  // namespace vs::engine
