#include "gui/qt/window_placement.h"

#include <QGuiApplication>
#include <QScreen>

namespace vs::gui {

namespace {

// The smallest placement taken back: anything smaller was not a real window.
constexpr int kMinSide = 100;

bool onSomeScreen(const QRect& frame) {
    for (const QScreen* screen : QGuiApplication::screens())
        if (screen->availableGeometry().intersects(frame)) return true;
    return false;
}

}  // namespace

WindowPlacement PlacementOf(const QWidget& window) {
    // A maximized window keeps the placement it returns to.
    const QRect r = window.isMaximized() ? window.normalGeometry() : window.geometry();
    return {r.left(), r.top(), r.width(), r.height(), window.isMaximized()};
}

void ApplyPlacement(QWidget& window, const WindowPlacement& p) {
    if (!p.sized) {
        const QRect r(QPoint(p.left, p.top), window.size());
        if (onSomeScreen(r)) window.setGeometry(r);
        return;
    }
    if (p.width < kMinSide || p.height < kMinSide) return;
    const QRect r(p.left, p.top, p.width, p.height);
    if (onSomeScreen(r)) window.setGeometry(r);
    else window.resize(r.size());
    window.setWindowState(p.maximized ? (window.windowState() | Qt::WindowMaximized)
                                      : (window.windowState() & ~Qt::WindowMaximized));
}

bool RestorePlacement(QWidget& window, SettingsStore& store, std::string_view name) {
    const std::optional<WindowPlacement> p = store.placement(name);
    if (!p) return false;
    ApplyPlacement(window, *p);
    return true;
}

void StorePlacement(const QWidget& window, SettingsStore& store, std::string_view name) {
    store.setPlacement(name, PlacementOf(window));
}

}  // namespace vs::gui
