#pragma once
// The commands of the main window's file menu: a chosen entry sends
// WM_COMMAND with its identifier to the main window, as its accelerator does.
// The window classes are the windows' own names, so that a program that
// drives the window finds them.

namespace vs::win32 {

enum MenuCommand : int {
    kCmdSaveProject = 100,
    kCmdLoadProject = 101,
    kCmdAbout = 102,
    kCmdExit = 103,
    kCmdSaveMovie = 104,
    kCmdSaveMovieCompressed = 105,
    kCmdDeleteFiles = 110,
};

inline constexpr const wchar_t* kMainWindowClass = L"TfVexelSCREEN";
inline constexpr const wchar_t* kShapeWindowClass = L"TfShapeSelect";
inline constexpr const wchar_t* kAboutWindowClass = L"TfAbout";
// The hint that says why a field refused a character.
inline constexpr const wchar_t* kRefusalHintClass = L"VsRefusalHint";

}  // namespace vs::win32
