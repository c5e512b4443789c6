#pragma once
// What every part of the native window shares besides the platform's text
// conversion (the model is UTF-8, the window system UTF-16): icons between the
// model's TIcon and the system's HICON, the scale of the monitor a window is
// on, and the message font at that scale.
#include <optional>
#include <string>
#include <string_view>

#include "exe/icon.h"
#include "platform/win32.h"
#include "shape/bitmap.h"

namespace vs::win32 {

inline constexpr const wchar_t* kApplicationTitle = L"VexelSCREEN Generator";

// Wide and Utf8 (platform/win32.h) convert the texts.
// A message text for a message box: the system joins lines with a lone
// carriage return, the box wants CR LF.
std::wstring MessageText(std::string_view utf8);

// The text of a list-view cell, in UTF-8.
std::string ListText(HWND list, int item, int column);

// The text of a window, in UTF-8.
std::string WindowTextOf(HWND window);
void SetWindowTextUtf8(HWND window, const std::string& text);

// An icon as the system draws it (32-bit colour with alpha and its mask);
// nothing for an icon without a colour image. The caller destroys it.
HICON MakeIcon(const TIcon& icon);
HICON MakeIcon(const TIcon& icon, int side);
// The picture of a system icon.
std::optional<TIcon> IconFromHandle(HICON icon);

// A decoded bitmap as a device-independent bitmap section (top-down, 32 bits).
HBITMAP MakeBitmap(const TBitmap& bitmap);

// The dots per inch of the monitor the window is on (96 at 100 %).
UINT DpiOf(HWND window);
inline int Scale(int value, UINT dpi) { return MulDiv(value, static_cast<int>(dpi), 96); }
// The message font of the system at a resolution; the caller deletes it.
HFONT MessageFont(UINT dpi, int weight = FW_NORMAL, int percent = 100);

// The dialog parent for a message or a dialog: the active window of this
// thread when it is one of ours, the main window otherwise.
void SetMainWindow(HWND window);
HWND DialogOwner();

}  // namespace vs::win32
