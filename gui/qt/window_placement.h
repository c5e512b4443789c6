#pragma once
// A window's placement in the settings file: where it stood, how large it was
// and whether it was maximized. A placement that no screen shows any more
// keeps its size and lets the window system place the window; a placement of
// the position alone moves the window there when a screen shows it.
#include <QWidget>

#include <string_view>

#include "app/ports.h"

namespace vs::gui {

WindowPlacement PlacementOf(const QWidget& window);
void ApplyPlacement(QWidget& window, const WindowPlacement& placement);

// Restores the window's placement when the store holds one for it; true then.
bool RestorePlacement(QWidget& window, SettingsStore& store, std::string_view name);
void StorePlacement(const QWidget& window, SettingsStore& store, std::string_view name);

}  // namespace vs::gui
