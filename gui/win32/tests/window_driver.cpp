// Drives vexelscreen-generator.exe from outside, as a person would: it finds
// the controls by their captions, clicks them, types into fields and answers
// the dialogs and message boxes, and checks what the window and the files on
// disk show afterwards.
//
//   window_driver GENERATOR.exe VEXELSCREEN.exe WORKDIR             the flow
//   window_driver GENERATOR.exe VEXELSCREEN.exe WORKDIR --screenshots DIR
//                                                                    every page as BMP
//   window_driver GENERATOR.exe VEXELSCREEN.exe WORKDIR --layout     the window fits the screen
//   window_driver GENERATOR.exe VEXELSCREEN.exe WORKDIR --giving-up  Cancel, log-off, a cut preview
//
// The flow: a project made by the command line is named on the window's
// command line; the pages and rules follow the model; Build writes the same
// projector as the command line; a saved project loads back; the File menu
// saves a projector's movie; the shape window and the date/time sample come
// up. Exit status 0 when every check held.
#include "support/bmp_builder.h"
#include "support/ico_builder.h"
#include "support/projector_builder.h"
#include "support/swf_builder.h"
#include "support/zlib_reference.h"

#include <windows.h>

#include <commctrl.h>
#include <shlobj.h>
#include <tlhelp32.h>

#include <algorithm>
#include <cstdio>
#include <cwctype>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <string>
#include <vector>

#include "gui/win32/command_ids.h"

namespace fs = std::filesystem;
using namespace vs;

namespace {

// How long the driver waits for the window to get somewhere before it gives
// up; a limit for a hung window, not a measure of speed.
constexpr DWORD kPatienceMs = 90000;

int g_failures = 0;
PROCESS_INFORMATION g_window{};

void Check(bool ok, const std::string& what) {
    std::cout << (ok ? "ok    " : "FAIL  ") << what << std::endl;
    if (!ok) ++g_failures;
}

[[noreturn]] void Fatal(const std::string& what) {
    std::cout << "FATAL " << what << std::endl;
    if (g_window.hProcess) TerminateProcess(g_window.hProcess, 1);
    std::exit(1);
}

std::wstring W(const std::string& s) {
    const int n = MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), nullptr, 0);
    std::wstring out(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), out.data(), n);
    return out;
}

std::string U(const std::wstring& s) {
    const int n = WideCharToMultiByte(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), out.data(), n, nullptr, nullptr);
    return out;
}

// Waits until `done` holds; false when the window took too long.
bool WaitFor(const std::function<bool()>& done) {
    const ULONGLONG start = GetTickCount64();
    while (!done()) {
        if (GetTickCount64() - start > kPatienceMs) return false;
        if (g_window.hProcess && WaitForSingleObject(g_window.hProcess, 0) == WAIT_OBJECT_0) return done();
        Sleep(50);
    }
    return true;
}

// Lets the window finish what it is doing.
void Settle() {
    if (g_window.hProcess) WaitForInputIdle(g_window.hProcess, 5000);
    Sleep(400);
}

std::string TextOf(HWND w) {
    wchar_t buffer[4096] = {};
    SendMessageTimeoutW(w, WM_GETTEXT, 4096, reinterpret_cast<LPARAM>(buffer), SMTO_BLOCK, 10000, nullptr);
    return U(buffer);
}

// A caption as shown: the "&" of a mnemonic is not part of it.
std::string WithoutMnemonic(const std::string& raw) {
    std::string out;
    for (std::size_t i = 0; i < raw.size(); ++i) {
        if (raw[i] == '&' && i + 1 < raw.size()) ++i;
        out += raw[i];
    }
    return out;
}

std::string Caption(HWND w) { return WithoutMnemonic(TextOf(w)); }

std::string ClassOf(HWND w) {
    wchar_t name[128] = {};
    GetClassNameW(w, name, 128);
    return U(name);
}

BOOL CALLBACK Collect(HWND w, LPARAM p) {
    reinterpret_cast<std::vector<HWND>*>(p)->push_back(w);
    return TRUE;
}

std::vector<HWND> Descendants(HWND root) {
    std::vector<HWND> all;
    EnumChildWindows(root, Collect, reinterpret_cast<LPARAM>(&all));
    return all;
}

// The controls of a window with a caption; with `onlyShown`, those on the page in front.
std::vector<HWND> ByCaption(HWND root, const std::string& caption, bool onlyShown = false) {
    std::vector<HWND> found;
    for (HWND w : Descendants(root))
        if (Caption(w) == caption && (!onlyShown || IsWindowVisible(w))) found.push_back(w);
    return found;
}

HWND One(HWND root, const std::string& caption, bool onlyShown = true) {
    const std::vector<HWND> found = ByCaption(root, caption, onlyShown);
    if (found.empty()) Fatal("no control \"" + caption + "\"");
    return found.front();
}

// The field after a label (the window makes each field right after its label).
HWND FieldAfter(HWND root, const std::string& label) {
    HWND l = One(root, label, false);
    return GetWindow(l, GW_HWNDNEXT);
}

// What a click on a button sends to its parent.
void Click(HWND button) {
    PostMessageW(GetParent(button), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(button), BN_CLICKED),
                 reinterpret_cast<LPARAM>(button));
}

bool Checked(HWND button) { return SendMessageW(button, BM_GETCHECK, 0, 0) == BST_CHECKED; }

void Type(HWND field, const std::string& text) {
    SendMessageTimeoutW(field, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(W(text).c_str()), SMTO_BLOCK, 10000, nullptr);
}

// A top-level window of the generator's process: by class, or a dialog ("#32770").
struct Search {
    DWORD pid;
    std::wstring cls;
    HWND found;
};

BOOL CALLBACK Match(HWND w, LPARAM p) {
    auto* s = reinterpret_cast<Search*>(p);
    DWORD pid = 0;
    GetWindowThreadProcessId(w, &pid);
    wchar_t name[128] = {};
    GetClassNameW(w, name, 128);
    if (pid == s->pid && s->cls == name && IsWindowVisible(w)) {
        s->found = w;
        return FALSE;
    }
    return TRUE;
}

HWND FindTopLevel(const std::wstring& cls) {
    Search search{g_window.dwProcessId, cls, nullptr};
    EnumWindows(Match, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

HWND WaitTopLevel(const std::wstring& cls, const std::string& what) {
    HWND found = nullptr;
    if (!WaitFor([&] { return (found = FindTopLevel(cls)) != nullptr; })) Fatal(what + " did not appear");
    Settle();
    return found;
}

void WaitGone(HWND w, const std::string& what) {
    if (!WaitFor([&] { return !IsWindow(w) || !IsWindowVisible(w); })) Fatal(what + " did not close");
    Settle();
}

// Answers a file dialog with a name; returns the dialog's title.
std::string AnswerFileDialog(const std::string& name) {
    HWND dialog = WaitTopLevel(L"#32770", "the file dialog");
    const std::string title = TextOf(dialog);
    HWND field = GetDlgItem(dialog, 0x47c);  // the name box of the explorer dialog
    if (!field) field = GetDlgItem(dialog, 0x480);
    if (!field) Fatal("the file dialog has no name field");
    Type(field, name);
    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(dialog, IDOK)));
    WaitGone(dialog, "the file dialog");
    return title;
}

// Answers a message box with one of its buttons; returns its text.
std::string AnswerMessage(int button) {
    HWND box = WaitTopLevel(L"#32770", "the message box");
    std::string text;
    for (HWND w : Descendants(box))
        if (ClassOf(w) == "Static" && !TextOf(w).empty()) text += TextOf(w);
    std::string title = TextOf(box);
    Check(title == "VexelSCREEN Generator", "the message box is titled \"VexelSCREEN Generator\" (" + title + ")");
    PostMessageW(box, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(box, button)));
    WaitGone(box, "the message box");
    return text;
}

std::vector<char> Bytes(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::vector<char>(std::istreambuf_iterator<char>(in), {});
}

bool Run(const std::wstring& commandLine) {
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    std::wstring line = commandLine;
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) return false;
    WaitForSingleObject(pi.hProcess, INFINITE);
    DWORD code = 1;
    GetExitCodeProcess(pi.hProcess, &code);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return code == 0;
}


// The process of a program whose file name starts with `prefix`; 0 when none runs.
DWORD ProcessNamed(const std::wstring& prefix) {
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return 0;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    DWORD found = 0;
    for (BOOL more = Process32FirstW(snapshot, &entry); more && !found; more = Process32NextW(snapshot, &entry))
        if (std::wstring(entry.szExeFile).rfind(prefix, 0) == 0) found = entry.th32ProcessID;
    CloseHandle(snapshot);
    return found;
}

BOOL CALLBACK CloseWindowsOf(HWND w, LPARAM pid) {
    DWORD owner = 0;
    GetWindowThreadProcessId(w, &owner);
    if (owner == static_cast<DWORD>(pid)) PostMessageW(w, WM_CLOSE, 0, 0);
    return TRUE;
}

// Ends a program as its user would, by closing its windows; one that does
// not close is ended.
void EndProgram(DWORD pid) {
    HANDLE process = OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE, FALSE, pid);
    if (!process) return;
    EnumWindows(CloseWindowsOf, static_cast<LPARAM>(pid));
    if (WaitForSingleObject(process, 15000) != WAIT_OBJECT_0) TerminateProcess(process, 0);
    WaitForSingleObject(process, kPatienceMs);
    CloseHandle(process);
}


// Memory in the window's process, for the list view messages that take a
// pointer (both programs are 32-bit).
class Remote {
public:
    explicit Remote(std::size_t size) : size_(size) {
        process_ = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, g_window.dwProcessId);
        if (process_) base_ = VirtualAllocEx(process_, nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
        if (!base_) Fatal("no memory in the window's process");
    }
    ~Remote() {
        VirtualFreeEx(process_, base_, 0, MEM_RELEASE);
        CloseHandle(process_);
    }
    Remote(const Remote&) = delete;
    Remote& operator=(const Remote&) = delete;
    char* at(std::size_t offset) const { return static_cast<char*>(base_) + offset; }
    void write(std::size_t offset, const void* data, std::size_t n) const {
        WriteProcessMemory(process_, at(offset), data, n, nullptr);
    }
    void read(std::size_t offset, void* data, std::size_t n) const {
        ReadProcessMemory(process_, at(offset), data, n, nullptr);
    }

private:
    HANDLE process_ = nullptr;
    void* base_ = nullptr;
    std::size_t size_;
};

// The text of a list view cell.
std::string Cell(HWND list, int item, int column) {
    constexpr std::size_t kChars = 2048;
    Remote remote(sizeof(LVITEMW) + kChars * sizeof(wchar_t));
    LVITEMW lv{};
    lv.iSubItem = column;
    lv.cchTextMax = kChars;
    lv.pszText = reinterpret_cast<wchar_t*>(remote.at(sizeof(LVITEMW)));
    remote.write(0, &lv, sizeof lv);
    const auto n = SendMessageW(list, LVM_GETITEMTEXTW, static_cast<WPARAM>(item), reinterpret_cast<LPARAM>(remote.at(0)));
    std::wstring text(static_cast<std::size_t>(std::max<LRESULT>(n, 0)), L'\0');
    if (n > 0) remote.read(sizeof(LVITEMW), text.data(), text.size() * sizeof(wchar_t));
    return U(text);
}

RECT CellRect(HWND list, int item, int column) {
    Remote remote(sizeof(RECT));
    RECT r{LVIR_BOUNDS, column, 0, 0};
    remote.write(0, &r, sizeof r);
    SendMessageW(list, LVM_GETSUBITEMRECT, static_cast<WPARAM>(item), reinterpret_cast<LPARAM>(remote.at(0)));
    remote.read(0, &r, sizeof r);
    return r;
}

// A double click in the middle of a list view cell.
void DoubleClickCell(HWND list, int item, int column) {
    const RECT r = CellRect(list, item, column);
    const LPARAM at = MAKELPARAM((r.left + r.right) / 2, (r.top + r.bottom) / 2);
    PostMessageW(list, WM_LBUTTONDOWN, MK_LBUTTON, at);
    PostMessageW(list, WM_LBUTTONUP, 0, at);
    PostMessageW(list, WM_LBUTTONDBLCLK, MK_LBUTTON, at);
    PostMessageW(list, WM_LBUTTONUP, 0, at);
}

// The tool tip that a window of the generator shows for one of its controls;
// empty when it shows none.
std::string ToolTipOf(HWND owner, HWND control) {
    constexpr std::size_t kChars = 1024;
    for (HWND tip = nullptr; (tip = FindWindowExW(nullptr, tip, TOOLTIPS_CLASSW, nullptr)) != nullptr;) {
        DWORD pid = 0;
        GetWindowThreadProcessId(tip, &pid);
        if (pid != g_window.dwProcessId) continue;
        Remote remote(sizeof(TOOLINFOW) + kChars * sizeof(wchar_t));
        TOOLINFOW ti{};
        ti.cbSize = sizeof ti;
        ti.uFlags = TTF_IDISHWND;
        ti.hwnd = owner;
        ti.uId = reinterpret_cast<UINT_PTR>(control);
        ti.lpszText = reinterpret_cast<wchar_t*>(remote.at(sizeof ti));
        const wchar_t none = 0;
        remote.write(sizeof ti, &none, sizeof none);
        remote.write(0, &ti, sizeof ti);
        SendMessageW(tip, TTM_GETTEXTW, kChars, reinterpret_cast<LPARAM>(remote.at(0)));
        std::wstring text(kChars, L'\0');
        remote.read(sizeof ti, text.data(), kChars * sizeof(wchar_t));
        text.resize(wcsnlen(text.c_str(), kChars));
        if (!text.empty()) return U(text);
    }
    return {};
}

// Puts a text on the clipboard, as a copy in another program does.
void CopyText(const std::wstring& text) {
    if (!OpenClipboard(nullptr)) Fatal("the clipboard could not be opened");
    EmptyClipboard();
    HGLOBAL data = GlobalAlloc(GMEM_MOVEABLE, (text.size() + 1) * sizeof(wchar_t));
    std::copy_n(text.c_str(), text.size() + 1, static_cast<wchar_t*>(GlobalLock(data)));
    GlobalUnlock(data);
    SetClipboardData(CF_UNICODETEXT, data);
    CloseClipboard();
}

HWND ChildOfClass(HWND parent, const std::string& cls) {
    for (HWND w : Descendants(parent))
        if (ClassOf(w) == cls && IsWindowVisible(w)) return w;
    return nullptr;
}

// A click on the upper or lower arrow of an up-down control.
void ClickArrow(HWND upDown, bool up) {
    RECT r;
    GetClientRect(upDown, &r);
    const LPARAM at = MAKELPARAM(r.right / 2, up ? r.bottom / 4 : r.bottom * 3 / 4);
    PostMessageW(upDown, WM_LBUTTONDOWN, MK_LBUTTON, at);
    PostMessageW(upDown, WM_LBUTTONUP, 0, at);
}


// The letter after the "&" of a caption.
wchar_t Mnemonic(HWND w) {
    const std::string raw = TextOf(w);
    const std::size_t amp = raw.find('&');
    return amp == std::string::npos || amp + 1 >= raw.size() ? 0 : static_cast<wchar_t>(raw[amp + 1]);
}

// The hint by which a field of the window says why it refused a character
// (shown or gone again).
HWND RefusalHint() {
    HWND found = nullptr;
    while ((found = FindWindowExW(nullptr, found, vs::win32::kRefusalHintClass, nullptr)) != nullptr) {
        DWORD pid = 0;
        GetWindowThreadProcessId(found, &pid);
        if (pid == g_window.dwProcessId) return found;
    }
    return nullptr;
}

// What the window says of the first character of Windows-1252 that it lacks.
const std::string kCyrillicRefusal = "\"\xD0\x9F\" is not a character of the Windows-1252 code page";

// A file of noise that takes a while to pack.
void WriteNoise(const fs::path& file, int mebibytes) {
    std::ofstream out(file, std::ios::binary);
    std::uint32_t x = 2463534242u;
    std::vector<std::uint32_t> block(1 << 18);
    for (int i = 0; i < mebibytes; ++i) {
        for (auto& v : block) v = (x ^= x << 13, x ^= x >> 17, x ^= x << 5);
        out.write(reinterpret_cast<const char*>(block.data()), static_cast<std::streamsize>(block.size() * 4));
    }
}

std::vector<fs::path> Listing(const fs::path& dir) {
    std::vector<fs::path> names;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(dir, ec)) names.push_back(entry.path().filename());
    std::sort(names.begin(), names.end());
    return names;
}

HWND FocusOf(HWND window) {
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &info);
    return info.hwndFocus;
}


// Drops files on the window at the middle of `target`, as the shell does: a
// DROPFILES block (here made in the window's own memory) in WM_DROPFILES to
// the window that accepts files.
void DropFiles(HWND window, HWND target, const std::vector<fs::path>& files) {
    std::wstring names;
    for (const fs::path& f : files) names += f.wstring() + L'\0';
    names += L'\0';
    RECT r;
    GetWindowRect(target, &r);
    POINT pt{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
    ScreenToClient(window, &pt);
    DROPFILES header{};
    header.pFiles = sizeof header;
    header.pt = pt;
    header.fWide = TRUE;
    auto* remote = new Remote(sizeof header + names.size() * sizeof(wchar_t));
    remote->write(0, &header, sizeof header);
    remote->write(sizeof header, names.data(), names.size() * sizeof(wchar_t));
    PostMessageW(window, WM_DROPFILES, reinterpret_cast<WPARAM>(remote->at(0)), 0);
    // The block stays: the window releases the drop when it is done with it.
}

void MakeFixtures(const fs::path& dir) {
    fs::create_directories(dir);
    test::SwfBuilder movie;
    movie.frame = {0, 640 * 20, 0, 480 * 20};
    movie.frameRate = 25;
    movie.frameCount = 120;
    movie.fsExec("VexelPRINT(1, 1, 1, 0) /f=\"Sample footer\" /nodialog /landscape");
    movie.getUrl("VexelSCREEN:SaveVariables(scores.txt)", "");
    movie.showFrame();
    // A 64-bit player: its projector runs on the 64-bit engine, which every
    // machine that runs the window runs, also one without 32-bit programs.
    test::WriteProjectorFile((dir / "Sample Projector.exe").string(),
                             test::BuildProjector(movie.build(), {.bits64 = true}));
    const int w = 160, h = 120;
    std::vector<std::uint32_t> pixels(static_cast<std::size_t>(w * h), 0xFF00FF);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const int dx = x - w / 2, dy = y - h / 2;
            if (dx * dx * 9 + dy * dy * 16 <= 70 * 70 * 9)
                pixels[static_cast<std::size_t>(y * w + x)] = 0x2050A0u + static_cast<std::uint32_t>(x / 2);
        }
    test::WriteFileBytes((dir / "shape.bmp").string(), test::MakeBmp({}, w, h, pixels));
    auto image = test::DibIcon(32, 32, 32, {}, [](int x, int y) {
        return 0xFF000000u | static_cast<std::uint32_t>((x * 8) << 16 | (y * 8) << 8 | 0xC0);
    });
    test::WriteBytes((dir / "icon.ico").string(), test::IcoFile({image}));
    std::ofstream(dir / "readme.txt") << "This file travels inside the projector.\n";
}

void StartWindow(const fs::path& generator, const fs::path& project) {
    STARTUPINFOW si{};
    si.cb = sizeof si;
    std::wstring line = L"\"" + generator.wstring() + L"\" \"" + project.wstring() + L"\"";
    if (!CreateProcessW(generator.wstring().c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        generator.parent_path().wstring().c_str(), &si, &g_window))
        Fatal("the generator could not be started");
    WaitForInputIdle(g_window.hProcess, kPatienceMs);
}

// The window's screen image as a 24-bit BMP file, once the window has
// answered and had time to paint what a closed window uncovered.
void Screenshot(HWND window, const fs::path& file) {
    for (int round = 0; round < 2; ++round) {
        SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_BLOCK, 10000, nullptr);
        Sleep(400);
    }
    RECT r;
    GetWindowRect(window, &r);
    const int w = r.right - r.left, h = r.bottom - r.top;
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    BITMAPINFO bi{};
    bi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    bi.bmiHeader.biWidth = w;
    bi.bmiHeader.biHeight = h;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 24;
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(screen, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, w, h, screen, r.left, r.top, SRCCOPY);
    GdiFlush();
    const DWORD stride = ((static_cast<DWORD>(w) * 3 + 3) / 4) * 4;
    const DWORD size = stride * static_cast<DWORD>(h);
    BITMAPFILEHEADER fh{};
    fh.bfType = 0x4D42;
    fh.bfOffBits = sizeof fh + sizeof(BITMAPINFOHEADER);
    fh.bfSize = fh.bfOffBits + size;
    std::ofstream out(file, std::ios::binary);
    out.write(reinterpret_cast<const char*>(&fh), sizeof fh);
    out.write(reinterpret_cast<const char*>(&bi.bmiHeader), sizeof(BITMAPINFOHEADER));
    out.write(static_cast<const char*>(bits), size);
    SelectObject(memory, old);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
}

HWND HeaderButton(HWND main, const std::string& caption) {
    for (HWND w : ByCaption(main, caption))
        if (GetWindowLongW(w, GWL_STYLE) & BS_PUSHLIKE) return w;
    Fatal("no page button \"" + caption + "\"");
}

HWND BottomBuild(HWND main) {
    for (HWND w : ByCaption(main, "Build"))
        if (!(GetWindowLongW(w, GWL_STYLE) & BS_PUSHLIKE)) return w;
    Fatal("no Build button");
}

void ShowPage(HWND main, const std::string& button, const std::string& shownControl) {
    Click(HeaderButton(main, button));
    if (!WaitFor([&] { return !ByCaption(main, shownControl, true).empty(); }))
        Fatal("the page of \"" + button + "\" did not come up");
    Settle();
}

// The preview files in the user's temporary folder.
std::vector<std::wstring> PreviewFiles() {
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    std::vector<std::wstring> found;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(temp, ec))
        if (entry.path().filename().wstring().rfind(L"VexelSCREEN Preview Projector - ", 0) == 0)
            found.push_back(entry.path().filename().wstring());
    std::sort(found.begin(), found.end());
    return found;
}

// The settings file of the window, in the prefix's user profile.
fs::path SettingsFile() {
    wchar_t appData[MAX_PATH] = {};
    GetEnvironmentVariableW(L"APPDATA", appData, MAX_PATH);
    return fs::path(appData) / "VexelSCREEN" / "VexelSCREEN.dat";
}

HWND StartMain(const fs::path& generator, const fs::path& project) {
    StartWindow(generator, project);
    HWND main = WaitTopLevel(vs::win32::kMainWindowClass, "the main window");
    if (!WaitFor([&] { return TextOf(main) == "[" + project.filename().string() + "]  VexelSCREEN 1.0"; }))
        Fatal("the project did not load (caption \"" + TextOf(main) + "\")");
    Settle();
    return main;
}

void CloseMain(HWND main) {
    PostMessageW(main, WM_CLOSE, 0, 0);
    if (WaitForSingleObject(g_window.hProcess, kPatienceMs) != WAIT_OBJECT_0) Fatal("the window did not close");
    CloseHandle(g_window.hThread);
    CloseHandle(g_window.hProcess);
    g_window = {};
}

std::string Text(const RECT& r) {
    return "(" + std::to_string(r.left) + "," + std::to_string(r.top) + ")-(" + std::to_string(r.right) + "," +
           std::to_string(r.bottom) + ")";
}

bool Inside(const RECT& r, const RECT& area) {
    return r.left >= area.left && r.top >= area.top && r.right <= area.right && r.bottom <= area.bottom;
}

// The window and the buttons of both bars lie within the work area, each
// button is shown, and no two of them overlap.
void CheckFits(HWND main, const std::string& when) {
    RECT work{};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    RECT frame{};
    GetWindowRect(main, &frame);
    Check(Inside(frame, work), when + ": the window " + Text(frame) + " lies within the work area " + Text(work));
    std::vector<std::pair<std::string, HWND>> buttons;
    for (const char* caption : {"Files", "Appearance", "Dimensions", "Behaviour", "Build", "Help", "Use date and time",
                                "Printing options", "External File Launch", "Movie variable storage"})
        buttons.emplace_back(caption, HeaderButton(main, caption));
    buttons.emplace_back("File menu", One(main, "File menu"));
    buttons.emplace_back("Preview", One(main, "Preview"));
    buttons.emplace_back("Build (bottom)", BottomBuild(main));
    std::string outside, overlapping;
    for (std::size_t i = 0; i < buttons.size(); ++i) {
        RECT a{};
        GetWindowRect(buttons[i].second, &a);
        if (!IsWindowVisible(buttons[i].second) || !Inside(a, work) || a.right - a.left < 20)
            outside += " " + buttons[i].first + Text(a);
        for (std::size_t j = i + 1; j < buttons.size(); ++j) {
            RECT b{}, both{};
            GetWindowRect(buttons[j].second, &b);
            if (IntersectRect(&both, &a, &b)) overlapping += " " + buttons[i].first + "/" + buttons[j].first;
        }
    }
    Check(outside.empty(), when + ": every bar button is shown within the work area" + outside);
    Check(overlapping.empty(), when + ": no two bar buttons overlap" + overlapping);
}

// The Build page shows the signing fields, each after its caption, within
// the page and clear of every other control but their group's box.
void CheckSigningFields(HWND main, const std::string& when) {
    ShowPage(main, "Build", "Projector icon:");
    for (const char* caption : {"Sign with certificate: ", "Signature description: ", "Timestamp server (optional): "}) {
        const std::vector<HWND> labels = ByCaption(main, caption, true);
        Check(labels.size() == 1, when + ": the Build page shows \"" + caption + "\"");
        if (labels.size() != 1) continue;
        {
            // The caption fits its label whole.
            HDC dc = GetDC(labels[0]);
            HGDIOBJ old = SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageW(labels[0], WM_GETFONT, 0, 0)));
            const std::wstring text = W(caption);
            SIZE extent{};
            GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &extent);
            SelectObject(dc, old);
            ReleaseDC(labels[0], dc);
            RECT client{};
            GetClientRect(labels[0], &client);
            Check(extent.cx <= client.right, when + ": \"" + caption + "\" fits its label (" +
                                                 std::to_string(extent.cx) + " of " + std::to_string(client.right) + ")");
        }
        HWND field = GetWindow(labels[0], GW_HWNDNEXT);
        Check(field && ClassOf(field) == "Edit" && IsWindowVisible(field), when + ": a field follows \"" + caption + "\"");
        if (!field) continue;
        HWND page = GetParent(field);
        RECT area{}, r{};
        GetClientRect(page, &area);
        MapWindowPoints(page, nullptr, reinterpret_cast<POINT*>(&area), 2);
        GetWindowRect(field, &r);
        Check(Inside(r, area) && r.right - r.left >= 40, when + ": the field of \"" + caption + "\" " + Text(r) +
                                                             " lies within the page " + Text(area));
        std::string covering;
        for (HWND other = GetWindow(page, GW_CHILD); other; other = GetWindow(other, GW_HWNDNEXT)) {
            if (other == field || !IsWindowVisible(other) || Caption(other) == "Signing") continue;
            RECT o{}, both{};
            GetWindowRect(other, &o);
            if (IntersectRect(&both, &r, &o)) covering += " [" + Caption(other) + "] " + Text(o);
        }
        Check(covering.empty(), when + ": nothing covers the field of \"" + caption + "\"" + covering);
    }
}

// Opens the File menu with its button; returns the menu's window.
HWND OpenFileMenu(HWND main) {
    SetCursorPos(GetSystemMetrics(SM_CXSCREEN) / 2, GetSystemMetrics(SM_CYSCREEN) / 2);
    Click(One(main, "File menu"));
    return WaitTopLevel(L"#32768", "the file menu");
}

// The captions of an open menu, "-" for a separator. Empty when the menu
// cannot be read from this process: wine keeps a menu private to the
// process that made it.
std::vector<std::string> MenuCaptions(HWND menuWindow) {
    HMENU menu = reinterpret_cast<HMENU>(SendMessageW(menuWindow, MN_GETHMENU, 0, 0));
    const int count = menu ? GetMenuItemCount(menu) : -1;
    std::vector<std::string> captions;
    for (int i = 0; i < count; ++i) {
        wchar_t text[256] = {};
        MENUITEMINFOW info{};
        info.cbSize = sizeof info;
        info.fMask = MIIM_FTYPE | MIIM_STRING;
        info.dwTypeData = text;
        info.cch = 256;
        if (!GetMenuItemInfoW(menu, static_cast<UINT>(i), TRUE, &info)) return {};
        captions.push_back(info.fType & MFT_SEPARATOR ? std::string("-") : WithoutMnemonic(U(text)));
    }
    return captions;
}

// The File menu holds the movie entries after the project's, and each
// saves the movie of a projector: plain, and packed with zlib.
void CheckFileMenu(HWND main, const fs::path& dir) {
    const std::vector<std::string> expected = {"Save project", "Load project",           "-",     "Save movie...",
                                               "Save compressed movie...", "-", "About", "-", "Exit"};
    HWND menu = OpenFileMenu(main);
    const std::vector<std::string> captions = MenuCaptions(menu);
    if (captions.empty()) {
        std::cout << "skip  the File menu's captions: its menu cannot be read from another process here" << std::endl;
    } else {
        std::string listed;
        for (const std::string& c : captions) listed += " [" + c + "]";
        Check(captions == expected, "the File menu holds its entries in order:" + listed);
    }
    PostMessageW(menu, WM_KEYDOWN, VK_ESCAPE, 0);
    WaitGone(menu, "the file menu");

    // A projector of its own, whose movie no inspection has touched.
    test::SwfBuilder builder;
    builder.frame = {0, 320 * 20, 0, 240 * 20};
    builder.showFrame();
    const test::ByteVec movie = builder.build();
    const fs::path projector = dir / "Movie Source.exe";
    test::WriteProjectorFile(projector.string(), test::BuildProjector(movie));

    // Chosen by the keyboard, by their places: what each opens names it.
    const struct {
        int place;  // among the entries, separators left out
        const char* saveTitle;
        const char* file;
    } entries[] = {{2, "Save the movie as", "movie.swf"}, {3, "Save the compressed movie as", "movie-cws.swf"}};
    for (const auto& e : entries) {
        menu = OpenFileMenu(main);
        for (int i = 0; i <= e.place; ++i) PostMessageW(menu, WM_KEYDOWN, VK_DOWN, 0);
        PostMessageW(menu, WM_KEYDOWN, VK_RETURN, 0);
        WaitGone(menu, "the file menu");
        const std::string source = AnswerFileDialog(projector.string());
        Check(source == "Choose the projector whose movie to save",
              "the File menu's entry " + std::to_string(e.place + 1) + " asks for a projector (" + source + ")");
        const std::string target = AnswerFileDialog((dir / e.file).string());
        Check(target == e.saveTitle, std::string("then for the movie file: \"") + e.saveTitle + "\" (" + target + ")");
        WaitFor([&] { return fs::exists(dir / e.file); });
    }
    const std::vector<char> plain = Bytes(dir / "movie.swf"), packed = Bytes(dir / "movie-cws.swf");
    Check(std::vector<char>(movie.begin(), movie.end()) == plain, "\"Save movie...\" writes the projector's movie");
    std::vector<char> cws{'C', 'W', 'S'};
    cws.insert(cws.end(), movie.begin() + 3, movie.begin() + 8);
    const test::ByteVec deflated = test::ZlibDeflateOnce(std::span(movie).subspan(8), 9);
    cws.insert(cws.end(), deflated.begin(), deflated.end());
    Check(packed == cws, "\"Save compressed movie...\" writes it packed with zlib");
}

// The window as it starts at the display's resolution (150 % on a screen of
// 1280 x 900 in its test): fresh, and with remembered placements that do not
// fit the screen.
int CheckLayout(const fs::path& generator, const fs::path& project) {
    std::error_code ec;
    fs::remove(SettingsFile(), ec);
    HWND main = StartMain(generator, project);
    CheckFits(main, "at a fresh start");
    CheckSigningFields(main, "at a fresh start");
    CloseMain(main);
    RECT work{};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    const int workWidth = work.right - work.left, workHeight = work.bottom - work.top;
    const struct {
        const char* what;
        int left, top, width, height;
    } placements[] = {
        {"a remembered placement as large as the screen, moved down and right", 140, 100, workWidth, workHeight},
        {"a remembered placement beyond the screen", workWidth + 500, workHeight + 300, 900, 600},
        {"a remembered placement larger than the screen", -50, -40, workWidth * 2, workHeight * 2},
    };
    for (const auto& p : placements) {
        std::ofstream(SettingsFile(), std::ios::binary)
            << "[Window.TfVexelSCREEN]\r\nHeight=" << p.height << "\r\nLeft=" << p.left << "\r\nMaximized=0\r\nTop="
            << p.top << "\r\nWidth=" << p.width << "\r\n";
        main = StartMain(generator, project);
        CheckFits(main, p.what);
        CloseMain(main);
    }
    std::cout << (g_failures ? "some checks failed" : "every check held") << std::endl;
    return g_failures ? 1 : 0;
}

}  // namespace

// Giving a build or a preview up: Cancel on the busy page, the end of the
// session, and a close while a preview runs.
void CheckGivingUp(const fs::path& generator, const fs::path& project, const fs::path& dir, const fs::path& guiOut) {
    // Cancel on the busy page gives a build up: the temporary file goes, the
    // projector built before stays, and the window goes on.
    HWND main = StartMain(generator, project);
    ShowPage(main, "Files", "Flash projector file: ");
    DropFiles(main, One(main, "Additional files"), {dir / "large.bin"});
    Check(WaitFor([&] {
              for (HWND w : Descendants(main))
                  if (ClassOf(w) == "SysListView32" && Cell(w, 1, 0) == "large.bin") return true;
              return false;
          }),
          "a large file is added");
    ShowPage(main, "Build", "Projector icon:");
    Type(FieldAfter(main, "New projector filename and path:"), guiOut.string());
    {
        const std::vector<char> kept = Bytes(guiOut);
        const std::vector<fs::path> before = Listing(dir);
        // Found before the build: a window that builds answers no question
        // about its controls' texts until it looks at its messages.
        HWND cancel = One(main, "Cancel", false);
        Click(BottomBuild(main));
        Check(WaitFor([&] { return IsWindowVisible(cancel) != FALSE; }), "the busy page shows Cancel");
        Click(cancel);
        Check(WaitFor([&] { return !ByCaption(main, "Projector icon:", true).empty(); }),
              "Cancel brings the page of before back");
        Settle();
        Check(!FindTopLevel(L"#32770"), "Cancel ends the build without a message");
        if (FindTopLevel(L"#32770")) AnswerMessage(IDNO);
        Check(Listing(dir) == before, "Cancel leaves no temporary file beside the output");
        Check(Bytes(guiOut) == kept, "Cancel keeps the projector built before");
        Check(WaitForSingleObject(g_window.hProcess, 0) == WAIT_TIMEOUT, "the window stays open after Cancel");
    }

    // Windows logs off during a build: the window agrees, and when the
    // system ends the process right after the session's end, no temporary
    // file stays.
    {
        const std::vector<fs::path> before = Listing(dir);
        Click(BottomBuild(main));
        WaitFor([&] { return Listing(dir) != before; });
        DWORD_PTR agreed = 0;
        SendMessageTimeoutW(main, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF, SMTO_BLOCK, 10000, &agreed);
        Check(agreed == TRUE, "the window lets the session end during a build");
        SendMessageTimeoutW(main, WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF, SMTO_BLOCK, 10000, nullptr);
        TerminateProcess(g_window.hProcess, 0);
        WaitForSingleObject(g_window.hProcess, kPatienceMs);
        Check(Listing(dir) == before, "a log-off during a build leaves no temporary file");
        CloseHandle(g_window.hThread);
        CloseHandle(g_window.hProcess);
    }

    // A preview cut short (the window closed while the preview runs) cannot
    // take its file at once, since the running projector holds it: it goes
    // when the projector ends, and the generator ends after that.
    main = StartMain(generator, project);
    const std::vector<std::wstring> previewsBefore = PreviewFiles();
    Click(One(main, "Preview"));
    Check(WaitFor([&] { return !IsWindowVisible(main); }), "Preview hides the window while the projector runs");
    DWORD running = 0;
    WaitFor([&] { return (running = ProcessNamed(L"VexelSCREEN Preview Projector - ")) != 0; });
    Check(running != 0, "Preview runs the projector");
    PostMessageW(main, WM_CLOSE, 0, 0);
    Check(WaitFor([&] { return !IsWindow(main); }), "a close while the preview runs closes the window");
    Check(PreviewFiles().size() == previewsBefore.size() + 1, "the running preview keeps its file meanwhile");
    if (running) EndProgram(running);
    Check(WaitFor([&] { return PreviewFiles() == previewsBefore; }), "the preview file goes when the preview ends");
    Check(WaitForSingleObject(g_window.hProcess, kPatienceMs) == WAIT_OBJECT_0, "the generator ends after its preview");
}

int wmain(int argc, wchar_t** argv) {
    if (argc != 4 && argc != 5 && argc != 6) {
        std::cerr << "usage: window_driver GENERATOR.exe VEXELSCREEN.exe WORKDIR [--screenshots DIR | --layout | --giving-up]\n";
        return 2;
    }
    const fs::path generator = fs::absolute(argv[1]), cli = fs::absolute(argv[2]), dir = fs::absolute(argv[3]);
    const bool screenshots = argc == 6 && std::wstring(argv[4]) == L"--screenshots";
    const fs::path shots = screenshots ? fs::absolute(argv[5]) : fs::path();
    std::error_code ec;
    fs::remove_all(dir, ec);
    MakeFixtures(dir);
    if (screenshots) fs::create_directories(shots);

    // The project the command line makes, and the projector it builds from it.
    const fs::path project = dir / "start.vsp", cliOut = dir / "cli.exe", guiOut = dir / "window.exe";
    const std::wstring quoted = L"\"" + cli.wstring() + L"\" build --projector \"" + (dir / "Sample Projector.exe").wstring() +
                                L"\" --add \"" + (dir / "readme.txt").wstring() + L"\" --icon \"" +
                                (dir / "icon.ico").wstring() + L"\" --save-project \"" + project.wstring() + L"\"";
    if (!Run(quoted)) Fatal("the command line could not save the project");
    if (!Run(L"\"" + cli.wstring() + L"\" build \"" + project.wstring() + L"\" -o \"" + cliOut.wstring() + L"\""))
        Fatal("the command line could not build the project");
    if (argc == 5 && std::wstring(argv[4]) == L"--layout") return CheckLayout(generator, project);
    if (argc == 5 && std::wstring(argv[4]) == L"--giving-up") {
        WriteNoise(dir / "large.bin", 32);
        CheckGivingUp(generator, project, dir, cliOut);
        std::cout << (g_failures ? "some checks failed" : "every check held") << std::endl;
        return g_failures ? 1 : 0;
    }

    // 1. The window starts with the project on its command line.
    StartWindow(generator, project);
    HWND main = WaitTopLevel(vs::win32::kMainWindowClass, "the main window");
    if (!WaitFor([&] { return TextOf(main) == "[start.vsp]  VexelSCREEN 1.0"; }))
        Fatal("the project did not load (caption \"" + TextOf(main) + "\")");
    Settle();
    Check(true, "the window loads the project named on its command line");
    Check(TextOf(FieldAfter(main, "Flash projector file: ")) == (dir / "Sample Projector.exe").string(),
          "the projector of the project is in its field");
    HWND movie = nullptr;
    for (HWND w : Descendants(main))
        if (ClassOf(w) == "SysListView32" && Cell(w, 0, 0) == "Movie width") movie = w;
    Check(movie && Cell(movie, 0, 1) == "640" && Cell(movie, 1, 1) == "480",
          "the movie information shows the movie's size");
    HWND files = nullptr;
    for (HWND w : Descendants(main))
        if (ClassOf(w) == "SysListView32" && Cell(w, 0, 0) == "readme.txt") files = w;
    Check(files && Cell(files, 0, 1) == (dir.string() + "\\"), "the additional file is listed with its folder");

    if (screenshots) {
        const std::pair<const char*, const char*> pages[] = {
            {"Files", "Flash projector file: "},       {"Appearance", "Standard rectangle"},
            {"Dimensions", "Use Flash movie's size"},  {"Behaviour", "Quit on Escape"},
            {"Build", "Projector icon:"},              {"Help", ""},
            {"Use date and time", "Create a sample file"}, {"Printing options", ""},
            {"External File Launch", ""},              {"Movie variable storage", ""}};
        int n = 1;
        for (const auto& [button, control] : pages) {
            Click(HeaderButton(main, button));
            if (*control) WaitFor([&] { return !ByCaption(main, control, true).empty(); });
            Settle();
            char name[64];
            std::snprintf(name, sizeof name, "%02d-%s.bmp", n++, button);
            std::string file = name;
            for (char& c : file)
                if (c == ' ') c = '-';
            Screenshot(main, shots / file);
        }
        // The file menu, open at the pointer over the window.
        SetCursorPos((GetSystemMetrics(SM_CXSCREEN)) / 2, GetSystemMetrics(SM_CYSCREEN) / 2);
        Click(One(main, "File menu"));
        if (HWND menu = WaitTopLevel(L"#32768", "the file menu")) {
            Screenshot(main, shots / "15-file-menu.bmp");
            PostMessageW(menu, WM_KEYDOWN, VK_ESCAPE, 0);
            WaitGone(menu, "the file menu");
        }

        // The busy page, while a build packs a large file.
        WriteNoise(dir / "large.bin", 32);
        ShowPage(main, "Files", "Flash projector file: ");
        Click(One(main, "Add files"));
        AnswerFileDialog((dir / "large.bin").string());
        ShowPage(main, "Build", "Projector icon:");
        Type(FieldAfter(main, "New projector filename and path:"), (dir / "busy.exe").string());
        Click(BottomBuild(main));
        const std::string busyText = "Please hold while your projector is being constructed...";
        if (WaitFor([&] { return !ByCaption(main, busyText, true).empty() || FindTopLevel(L"#32770"); }) &&
            !ByCaption(main, busyText, true).empty()) {
            Screenshot(main, shots / "14-busy.bmp");
        }
        AnswerMessage(IDNO);

        ShowPage(main, "Appearance", "Standard rectangle");
        Click(One(main, "Get shape from image"));
        AnswerFileDialog((dir / "shape.bmp").string());
        HWND shape = WaitTopLevel(vs::win32::kShapeWindowClass, "the shape window");
        Screenshot(shape, shots / "11-shape-window.bmp");
        Click(One(shape, "OK"));
        WaitGone(shape, "the shape window");
        Screenshot(main, shots / "12-Appearance-with-shape.bmp");
        // A character the package cannot store, typed into the caption.
        SendMessageW(FieldAfter(main, "Caption / Taskbar text: "), WM_CHAR, 0x041F, 1);
        Screenshot(main, shots / "16-refused-character.bmp");
        PostMessageW(main, WM_COMMAND, vs::win32::kCmdAbout, 0);
        HWND about = WaitTopLevel(vs::win32::kAboutWindowClass, "the about window");
        Screenshot(about, shots / "13-about.bmp");
        Click(One(about, "OK"));
        WaitGone(about, "the about window");
        PostMessageW(main, WM_CLOSE, 0, 0);
        WaitForSingleObject(g_window.hProcess, kPatienceMs);
        std::cout << "screenshots in " << shots.string() << std::endl;
        return 0;
    }

    // Keyboard: Alt and a page button's letter opens its page; Tab moves on.
    HWND behaviour = HeaderButton(main, "Behaviour");
    const wchar_t letter = Mnemonic(behaviour);
    Check(letter != 0, "the page buttons have mnemonics");
    if (letter) {
        HWND focus = FocusOf(main);
        PostMessageW(focus ? focus : main, WM_SYSCHAR, static_cast<WPARAM>(std::towlower(letter)), 1 << 29);
        Check(WaitFor([&] { return !ByCaption(main, "Quit on Escape", true).empty(); }),
              "Alt+" + std::string(1, static_cast<char>(letter)) + " opens the Behaviour page");
        Settle();
    }
    HWND before = FocusOf(main);
    PostMessageW(before ? before : main, WM_KEYDOWN, VK_TAB, 0);
    WaitFor([&] { return FocusOf(main) != before; });
    Check(FocusOf(main) != before && FocusOf(main) != nullptr, "Tab moves the focus to the next control");

    CheckFileMenu(main, dir);

    // 2. The pages and rules follow the model.
    Check(IsWindowEnabled(HeaderButton(main, "Appearance")) != FALSE, "with a projector the Appearance page opens");
    ShowPage(main, "Appearance", "Standard rectangle");
    Check(Checked(One(main, "Standard rectangle")), "\"Standard rectangle\" is checked at first");
    Check(!IsWindowVisible(One(main, "Edit shape ...", false)), "\"Edit shape ...\" is hidden without a shape");
    Check(IsWindowVisible(One(main, "No border", false)), "the border choices show for a rectangle");
    Click(One(main, "Small caption"));
    WaitFor([&] { return IsWindowVisible(One(main, "Show in taskbar", false)) != FALSE; });
    Check(IsWindowVisible(One(main, "Show in taskbar", false)) != FALSE, "\"Small caption\" shows \"Show in taskbar\"");

    // The shape window: a picture, OK makes the shape.
    Click(One(main, "Get shape from image"));
    AnswerFileDialog((dir / "shape.bmp").string());
    HWND shape = WaitTopLevel(vs::win32::kShapeWindowClass, "the shape window");
    Check(TextOf(shape) == "VexelSCREEN - Shaped projector", "the shape window has its caption");
    Check(!ByCaption(shape, "#FF00FF", true).empty(), "the transparent colour starts as the top-left pixel");
    // A click on the picture picks the colour under the pointer.
    HWND picture = ChildOfClass(shape, "VsPicture");
    if (!picture) Fatal("the shape window shows no picture");
    const LPARAM centre = MAKELPARAM(80, 60);
    PostMessageW(picture, WM_MOUSEMOVE, 0, centre);
    PostMessageW(picture, WM_LBUTTONDOWN, MK_LBUTTON, centre);
    PostMessageW(picture, WM_LBUTTONUP, 0, centre);
    WaitFor([&] { return ByCaption(shape, "#2050C8", true).size() == 2; });
    Check(ByCaption(shape, "#2050C8", true).size() == 2, "a click takes the colour under the pointer as transparent");
    Click(One(shape, "OK"));
    WaitGone(shape, "the shape window");
    WaitFor([&] { return IsWindowVisible(One(main, "Edit shape ...", false)) != FALSE; });
    Check(Checked(One(main, "Get shape from image")), "\"Get shape from image\" stays checked with a shape");
    Check(IsWindowVisible(One(main, "Edit shape ...", false)) != FALSE, "\"Get shape from image\" shows \"Edit shape ...\"");
    Check(!IsWindowVisible(One(main, "No border", false)), "a shape hides the border choices");
    ShowPage(main, "Dimensions", "Screen left");
    Check(!IsWindowVisible(One(main, "Use Flash movie's size", false)), "a shape hides the size choices");
    Check(IsWindowVisible(FieldAfter(main, "Left:")) == FALSE, "the custom position is hidden while centred");
    Click(One(main, "Use custom"));
    WaitFor([&] { return IsWindowVisible(FieldAfter(main, "Left:")) != FALSE; });
    Check(IsWindowEnabled(FieldAfter(main, "Left:")) != FALSE, "a custom left position enables \"Left:\"");
    Check(IsWindowEnabled(FieldAfter(main, "Top:")) == FALSE, "the top stays centred and \"Top:\" disabled");

    // "Edit shape ..." brings the shape window back; Exit keeps the shape.
    ShowPage(main, "Appearance", "Standard rectangle");
    Click(One(main, "Edit shape ..."));
    shape = WaitTopLevel(vs::win32::kShapeWindowClass, "the shape window again");
    Click(One(shape, "Exit"));
    WaitGone(shape, "the shape window");
    Check(Checked(One(main, "Get shape from image")), "Exit keeps the shape");
    // "Standard rectangle" lets the shape go (the working shape too, which
    // would otherwise pass on to the next project loaded).
    Click(One(main, "Standard rectangle"));
    WaitFor([&] { return !IsWindowVisible(One(main, "Edit shape ...", false)); });
    Check(!IsWindowVisible(One(main, "Edit shape ...", false)), "\"Standard rectangle\" hides \"Edit shape ...\"");

    // 3. Build writes the projector the command line writes from the same project.
    CheckSigningFields(main, "in the flow");
    // With a certificate chosen, Build first asks for its password, in a
    // field that shows no characters; Cancel there builds nothing.
    {
        HWND certificate = FieldAfter(main, "Sign with certificate: ");
        Type(certificate, (dir / "signer.p12").string());
        Type(FieldAfter(main, "New projector filename and path:"), guiOut.string());
        Settle();
        const std::vector<fs::path> before = Listing(dir);
        Click(BottomBuild(main));
        HWND box = WaitTopLevel(L"#32770", "the password dialog");
        HWND field = nullptr;
        std::string prompt;
        for (HWND w : Descendants(box)) {
            if (ClassOf(w) == "Edit") field = w;
            if (ClassOf(w) == "Static") prompt += TextOf(w);
        }
        Check(TextOf(box) == "VexelSCREEN Generator", "the password dialog is titled \"VexelSCREEN Generator\"");
        Check(prompt.rfind("Password of " + (dir / "signer.p12").string(), 0) == 0,
              "the password dialog names the certificate (" + prompt + ")");
        Check(field && (GetWindowLongW(field, GWL_STYLE) & ES_PASSWORD), "the password field shows no characters");
        PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(box, IDCANCEL)));
        WaitGone(box, "the password dialog");
        Settle();
        Check(!FindTopLevel(L"#32770"), "a cancelled password asks nothing more");
        if (FindTopLevel(L"#32770")) AnswerMessage(IDNO);
        Check(Listing(dir) == before, "a cancelled password builds nothing");
        Type(certificate, "");
        Settle();
    }
    HWND spinBuild = FieldAfter(main, "Build:");
    const std::string buildBefore = TextOf(spinBuild);
    // Back to the project's own settings for the comparison: load it again.
    PostMessageW(main, WM_COMMAND, vs::win32::kCmdLoadProject, 0);
    AnswerFileDialog(project.string());
    WaitFor([&] { return Checked(One(main, "Standard rectangle", false)); });
    Settle();
    Type(FieldAfter(main, "New projector filename and path:"), "");
    Settle();
    Check(!IsWindowEnabled(BottomBuild(main)), "clearing the output name disables Build at once");
    Type(FieldAfter(main, "New projector filename and path:"), guiOut.string());
    Settle();
    Check(IsWindowEnabled(BottomBuild(main)) != FALSE, "typing an output name enables Build again");
    Click(BottomBuild(main));
    const std::string question = AnswerMessage(IDNO);
    Check(question.find("run the projector") != std::string::npos, "Build asks whether to run the projector");
    WaitFor([&] { return fs::exists(guiOut); });
    Check(fs::exists(guiOut), "Build writes the projector");
    const std::vector<char> a = Bytes(guiOut), b = Bytes(cliOut);
    std::size_t differing = 0;
    for (std::size_t i = 0; i < std::min(a.size(), b.size()); ++i) differing += a[i] != b[i];
    Check(a.size() == b.size() && differing == 0,
          "the window's projector equals the command line's (" + std::to_string(a.size()) + " / " +
              std::to_string(b.size()) + " bytes, " + std::to_string(differing) + " differ)");
    WaitFor([&] { return TextOf(FieldAfter(main, "Build:")) != buildBefore; });
    Check(TextOf(FieldAfter(main, "Build:")) == std::to_string(std::stoi(buildBefore.empty() ? "0" : buildBefore) + 1),
          "the Build number advances after a build");

    // Preview: the window hides while the preview runs and comes back when it
    // ends; the preview file goes.
    const std::vector<std::wstring> previewsBefore = PreviewFiles();
    Click(One(main, "Preview"));
    const bool hidden = WaitFor([&] { return !IsWindowVisible(main); });
    Check(hidden, "Preview hides the window while the projector runs");
    DWORD preview = 0;
    WaitFor([&] { return (preview = ProcessNamed(L"VexelSCREEN Preview Projector - ")) != 0; });
    Check(preview != 0, "Preview runs the projector");
    if (preview) EndProgram(preview);
    Check(WaitFor([&] { return IsWindowVisible(main) != FALSE; }), "the window comes back when the preview ends");
    Check(WaitFor([&] { return PreviewFiles() == previewsBefore; }), "the preview file is removed");
    Settle();

    // The spin fields keep to their limits; the arrows go through the model.
    ShowPage(main, "Dimensions", "Screen left");
    if (!Checked(One(main, "Use custom"))) Click(One(main, "Use custom"));
    WaitFor([&] { return IsWindowVisible(FieldAfter(main, "Width:")) != FALSE; });
    HWND width = FieldAfter(main, "Width:");
    HWND widthArrows = GetWindow(width, GW_HWNDNEXT);
    Type(width, "4999");
    ClickArrow(widthArrows, true);
    WaitFor([&] { return TextOf(width) == "5000"; });
    Check(TextOf(width) == "5000", "the up arrow adds one");
    // At a limit a click stays there; the click after it counts again.
    ClickArrow(widthArrows, true);
    ClickArrow(widthArrows, false);
    WaitFor([&] { return TextOf(width) == "4999"; });
    Check(TextOf(width) == "4999", "\"Width:\" stops at 5000");
    Type(width, "55");
    ClickArrow(widthArrows, false);
    ClickArrow(widthArrows, true);
    WaitFor([&] { return TextOf(width) == "56"; });
    Check(TextOf(width) == "56", "\"Width:\" stops at 55");
    // What is typed stays as typed until the field is left or Enter is
    // pressed; then the model makes it a value within the limits.
    PostMessageW(width, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(4, 4));
    PostMessageW(width, WM_LBUTTONUP, 0, MAKELPARAM(4, 4));
    Check(WaitFor([&] { return FocusOf(main) == width; }), "a click puts the focus into \"Width:\"");
    Type(width, "20");
    PostMessageW(width, WM_KEYDOWN, VK_TAB, 0);
    WaitFor([&] { return TextOf(width) == "55"; });
    Check(TextOf(width) == "55", "\"Width:\" takes 20 as typed and makes it 55 when it is left (" + TextOf(width) + ")");
    HWND height = FieldAfter(main, "Height:");
    Type(height, "6000");
    SendMessageTimeoutW(height, WM_CHAR, L'x', 1, SMTO_BLOCK, 10000, nullptr);
    Settle();
    Check(TextOf(height) == "6000", "\"Height:\" keeps 6000 while it is typed and refuses a letter (" + TextOf(height) + ")");
    PostMessageW(height, WM_KEYDOWN, VK_RETURN, 0);
    WaitFor([&] { return TextOf(height) == "5000"; });
    Type(height, "");
    PostMessageW(height, WM_KEYDOWN, VK_RETURN, 0);
    WaitFor([&] { return TextOf(height) == "40"; });
    Check(TextOf(height) == "40", "Enter makes 6000 in \"Height:\" 5000, and an empty one 40");

    // The dialogs of the Build page: the icon's has its title, the output's
    // asks before it replaces a file.
    ShowPage(main, "Build", "Projector icon:");
    Click(GetWindow(FieldAfter(main, "Projector icon:"), GW_HWNDNEXT));
    HWND iconDialog = WaitTopLevel(L"#32770", "the icon dialog");
    Check(TextOf(iconDialog) == "Browse for Icon", "the icon dialog is titled \"Browse for Icon\"");
    PostMessageW(iconDialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    WaitGone(iconDialog, "the icon dialog");
    Click(GetWindow(FieldAfter(main, "New projector filename and path:"), GW_HWNDNEXT));
    HWND saveDialog = WaitTopLevel(L"#32770", "the output dialog");
    HWND nameBox = GetDlgItem(saveDialog, 0x47c) ? GetDlgItem(saveDialog, 0x47c) : GetDlgItem(saveDialog, 0x480);
    Type(nameBox, cliOut.string());
    PostMessageW(saveDialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    HWND prompt = nullptr;
    WaitFor([&] {
        prompt = FindTopLevel(L"#32770");
        return prompt && prompt != saveDialog;
    });
    Check(prompt && prompt != saveDialog, "the output dialog asks before replacing a file");
    if (prompt && prompt != saveDialog) {
        PostMessageW(prompt, WM_COMMAND, MAKEWPARAM(IDNO, BN_CLICKED), 0);
        WaitGone(prompt, "the replace question");
    }
    PostMessageW(saveDialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    WaitGone(saveDialog, "the output dialog");
    Check(TextOf(FieldAfter(main, "New projector filename and path:")) == guiOut.string(),
          "a cancelled dialog leaves the output name as it was");

    // 4. A saved project loads back, with a value edited in the version grid.
    ShowPage(main, "Build", "Projector icon:");
    HWND versions = nullptr;
    for (HWND w : Descendants(main))
        if (ClassOf(w) == "SysListView32" && IsWindowVisible(w) && Cell(w, 1, 0) == "Company name") versions = w;
    if (!versions) Fatal("no version grid");
    DoubleClickCell(versions, 2, 1);  // "File description" cannot be edited
    Settle();
    Check(ChildOfClass(versions, "Edit") == nullptr, "a read-only row of the grid opens no editor");
    DoubleClickCell(versions, 1, 1);
    HWND editor = nullptr;
    WaitFor([&] { return (editor = ChildOfClass(versions, "Edit")) != nullptr; });
    Check(editor != nullptr, "a double click on an editable row opens its editor");
    if (editor) {
        Type(editor, "Example Company");
        SendMessageTimeoutW(editor, WM_CHAR, 0x041F, 1, SMTO_BLOCK, 10000, nullptr);
        Check(TextOf(editor) == "Example Company", "the grid's editor refuses a character the package cannot store");
        PostMessageW(editor, WM_KEYDOWN, VK_RETURN, 0);
        WaitFor([&] { return Cell(versions, 1, 1) == "Example Company"; });
    }
    Check(Cell(versions, 1, 1) == "Example Company", "Enter takes the edited value");
    ShowPage(main, "Appearance", "Standard rectangle");
    // The caption is stored: a character that Windows-1252 lacks is refused
    // as it is typed, and a hint names it; one it holds is taken.
    HWND caption = FieldAfter(main, "Caption / Taskbar text: ");
    const std::string demo = "Demo", taken = "Demo\xC3\xA9";
    Type(caption, demo);
    SendMessageTimeoutW(caption, EM_SETSEL, 4, 4, SMTO_BLOCK, 10000, nullptr);
    SendMessageTimeoutW(caption, WM_CHAR, 0x041F, 1, SMTO_BLOCK, 10000, nullptr);
    const HWND refusalHint = RefusalHint();
    Check(TextOf(caption) == demo && refusalHint && IsWindowVisible(refusalHint) &&
              TextOf(refusalHint) == kCyrillicRefusal,
          "the caption refuses \"\xD0\x9F\" and says why (" + (refusalHint ? TextOf(refusalHint) : "no hint") + ")");
    CopyText(L"\u0416\u0443\u043a");
    SendMessageTimeoutW(caption, WM_PASTE, 0, 0, SMTO_BLOCK, 10000, nullptr);
    Check(TextOf(caption) == demo && TextOf(RefusalHint()) == "\"\xD0\x96\" is not a character of the Windows-1252 code page",
          "the caption refuses a paste of Cyrillic (" + TextOf(RefusalHint()) + ")");
    SendMessageTimeoutW(caption, WM_CHAR, 0x00E9, 1, SMTO_BLOCK, 10000, nullptr);
    Check(TextOf(caption) == taken, "the caption takes \"\xC3\xA9\" (" + TextOf(caption) + ")");
    Click(One(main, "Hide mouse-pointer"));
    WaitFor([&] { return Checked(One(main, "Hide mouse-pointer")); });
    const fs::path saved = dir / "saved.vsp";
    PostMessageW(main, WM_COMMAND, vs::win32::kCmdSaveProject, 0);
    AnswerFileDialog(saved.string());
    WaitFor([&] { return TextOf(main) == "[saved.vsp]  VexelSCREEN 1.0"; });
    Check(fs::exists(saved), "Save project writes the project");
    Click(One(main, "Hide mouse-pointer"));
    WaitFor([&] { return !Checked(One(main, "Hide mouse-pointer")); });
    PostMessageW(main, WM_COMMAND, vs::win32::kCmdLoadProject, 0);
    AnswerFileDialog(saved.string());
    WaitFor([&] { return Checked(One(main, "Hide mouse-pointer", false)); });
    WaitFor([&] { return Cell(versions, 1, 1) == "Example Company"; });
    Check(Checked(One(main, "Hide mouse-pointer", false)) && Cell(versions, 1, 1) == "Example Company" &&
              TextOf(caption) == taken,
          "Load project brings the saved choices back");

    // 5. The date/time sample.
    Click(HeaderButton(main, "Use date and time"));
    WaitFor([&] { return !ByCaption(main, "Create a sample file", true).empty(); });
    Settle();
    const fs::path sample = dir / "sample.txt";
    Click(One(main, "Create a sample file"));
    AnswerFileDialog(sample.string());
    WaitFor([&] { return fs::exists(sample); });
    const std::vector<char> line = Bytes(sample);
    const std::string text(line.begin(), line.end());
    Check(text.rfind("Date_YY=", 0) == 0 && text.find("&Time_MS=") != std::string::npos,
          "the sample holds the date/time variables (" + text + ")");

    // A file that is no Flash projector is refused with a clear message, and
    // the pages that need a projector close.
    ShowPage(main, "Files", "Flash projector file: ");
    Click(GetWindow(FieldAfter(main, "Flash projector file: "), GW_HWNDNEXT));
    AnswerFileDialog((dir / "readme.txt").string());
    const std::string refusal = AnswerMessage(IDOK);
    Check(refusal.find("not a Flash projector") != std::string::npos, "a file that is no projector is refused (" + refusal + ")");
    WaitFor([&] { return !IsWindowEnabled(HeaderButton(main, "Appearance")); });
    Check(!IsWindowEnabled(HeaderButton(main, "Appearance")) && !IsWindowEnabled(One(main, "Preview")),
          "without a projector the pages that need one and Preview are disabled");
    Check(fs::file_size(dir / "readme.txt") == 41, "the refused file is left as it was");

    // Names outside the ANSI code page reach the model and come back intact.
    const fs::path cyrillic = dir / fs::path(L"\u041f\u0440\u043e\u0435\u043a\u0442\u043e\u0440.exe");
    fs::copy_file(dir / "Sample Projector.exe", cyrillic);
    DropFiles(main, One(main, "Flash projector"), {cyrillic});
    WaitFor([&] { return TextOf(FieldAfter(main, "Flash projector file: ")) == U(cyrillic.wstring()); });
    Check(TextOf(FieldAfter(main, "Flash projector file: ")) == U(cyrillic.wstring()) &&
              IsWindowEnabled(HeaderButton(main, "Appearance")),
          "a projector with a Cyrillic name is taken and shown as it is");
    Check(ToolTipOf(main, FieldAfter(main, "Flash projector file: ")) == kCyrillicRefusal,
          "its field's tool tip says which character the package cannot store (" +
              ToolTipOf(main, FieldAfter(main, "Flash projector file: ")) + ")");

    // Drops: a projector on its box, a file on the additional files.
    DropFiles(main, One(main, "Flash projector"), {dir / "Sample Projector.exe"});
    WaitFor([&] { return IsWindowEnabled(HeaderButton(main, "Appearance")) != FALSE; });
    Check(TextOf(FieldAfter(main, "Flash projector file: ")) == (dir / "Sample Projector.exe").string() &&
              IsWindowEnabled(HeaderButton(main, "Appearance")) &&
              ToolTipOf(main, FieldAfter(main, "Flash projector file: ")).empty(),
          "a projector dropped on its box is taken (and its field has no tool tip)");
    DropFiles(main, One(main, "Additional files"), {dir / "shape.bmp"});
    HWND added = nullptr;
    WaitFor([&] {
        for (HWND w : Descendants(main))
            if (ClassOf(w) == "SysListView32" && Cell(w, 1, 0) == "shape.bmp") added = w;
        return added != nullptr;
    });
    Check(added != nullptr, "a file dropped on the additional files is listed");

    // The about window, and closing.
    PostMessageW(main, WM_COMMAND, vs::win32::kCmdAbout, 0);
    HWND about = WaitTopLevel(vs::win32::kAboutWindowClass, "the about window");
    Check(!ByCaption(about, "VexelSCREEN Generator", true).empty(), "the about window names the program");
    Click(One(about, "OK"));
    WaitGone(about, "the about window");

    // Closing the window during a build gives the build up: once its output
    // is on its way (a temporary file beside it) the close comes, the window
    // ends without a message, the temporary file goes and the projector
    // built before stays as it was.
    ShowPage(main, "Files", "Flash projector file: ");
    WriteNoise(dir / "large.bin", 32);
    DropFiles(main, One(main, "Additional files"), {dir / "large.bin"});
    WaitFor([&] { return added && Cell(added, 2, 0) == "large.bin"; });
    const std::vector<char> built = Bytes(guiOut);
    const std::vector<fs::path> listed = Listing(dir);
    Click(BottomBuild(main));
    Check(WaitFor([&] { return Listing(dir) != listed; }), "the build writes beside its output");
    PostMessageW(main, WM_CLOSE, 0, 0);
    WaitFor([&] { return WaitForSingleObject(g_window.hProcess, 0) == WAIT_OBJECT_0 || FindTopLevel(L"#32770"); });
    if (FindTopLevel(L"#32770")) {
        Check(false, "the build was still running when the close came (" + AnswerMessage(IDNO) + ")");
        PostMessageW(main, WM_CLOSE, 0, 0);
    }
    Check(WaitForSingleObject(g_window.hProcess, kPatienceMs) == WAIT_OBJECT_0, "a close during a build ends the window");
    Check(Listing(dir) == listed, "no temporary file stays beside the output");
    Check(Bytes(guiOut) == built, "the projector built before is kept");

    // The settings file keeps the names in use at closing and the placement,
    // in the form the other window of the generator reads.
    wchar_t appData[MAX_PATH] = {};
    GetEnvironmentVariableW(L"APPDATA", appData, MAX_PATH);
    const std::vector<char> stored = Bytes(fs::path(appData) / "VexelSCREEN" / "VexelSCREEN.dat");
    const std::string settings(stored.begin(), stored.end());
    auto escaped = [](const fs::path& p) {
        std::string out;
        for (char c : p.string()) {
            if (c == '\\') out += '\\';
            out += c;
        }
        return out;
    };
    Check(settings.find("[Values]\r\n") != std::string::npos &&
              settings.find("edFlashProjector.FileName=" + escaped(dir / "Sample Projector.exe") + "\r\n") != std::string::npos &&
              settings.find("OutputProjector.FileName=" + escaped(guiOut) + "\r\n") != std::string::npos &&
              settings.find("SaveProject.FileName=" + escaped(saved) + "\r\n") != std::string::npos,
          "the settings file keeps the names in use at closing");
    Check(settings.find("[Window.TfVexelSCREEN]") != std::string::npos && settings.find("Maximized=0") != std::string::npos,
          "the settings file keeps the window's placement");
    // A damaged project named on the command line is reported, and the
    // window goes on without it.
    CloseHandle(g_window.hThread);
    CloseHandle(g_window.hProcess);
    const fs::path damaged = dir / "damaged.vsp";
    std::ofstream(damaged, std::ios::binary) << "TPF0 this is no project";
    StartWindow(generator, damaged);
    const std::string report = AnswerMessage(IDOK);
    Check(!report.empty() && report.find("project") != std::string::npos,
          "a damaged project is reported (" + report + ")");
    main = WaitTopLevel(vs::win32::kMainWindowClass, "the main window");
    Check(TextOf(main) == "VexelSCREEN 1.0" && fs::file_size(damaged) == 23,
          "the window goes on without it, and the file is left as it was");
    PostMessageW(main, WM_CLOSE, 0, 0);
    Check(WaitForSingleObject(g_window.hProcess, kPatienceMs) == WAIT_OBJECT_0, "the window closes");

    CloseHandle(g_window.hThread);
    CloseHandle(g_window.hProcess);
    CheckGivingUp(generator, project, dir, guiOut);

    std::cout << (g_failures ? "some checks failed" : "every check held") << std::endl;
    return g_failures ? 1 : 0;
}
