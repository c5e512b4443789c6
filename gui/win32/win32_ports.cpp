#include "gui/win32/win32_ports.h"

#include <commdlg.h>
#include <shellapi.h>
#include <shlobj.h>

#include <cstdio>
#include <mutex>
#include <thread>
#include <vector>

#include "gui/win32/win32_support.h"
#include "platform/atomic_file.h"
#include "platform/errors.h"
#include "platform/stream.h"

namespace vs::win32 {

namespace {

// How long a started projector gets to become idle before the generator goes on.
constexpr DWORD kInputIdleLimitMs = 30000;
// Each wait of a running projector lasts at most this long, so that the window
// stays responsive while the machine is left alone.
constexpr DWORD kPollMs = 50;
// Room for the names the multi-selection dialog returns.
constexpr std::size_t kNameBuffer = 64 * 1024;

const char* const kValuesSection = "Values";

std::string placementSection(std::string_view window) { return "Window." + std::string(window); }

bool isHexDigit(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }

std::string trim(std::string_view s) {
    std::size_t b = 0, e = s.size();
    while (b < e && (s[b] == ' ' || s[b] == '\t')) ++b;
    while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t' || s[e - 1] == '\r')) --e;
    return std::string(s.substr(b, e - b));
}

void appendUtf8(std::string& out, unsigned long code) {
    std::wstring w;
    if (code > 0xFFFF) {
        code -= 0x10000;
        w += static_cast<wchar_t>(0xD800 + (code >> 10));
        w += static_cast<wchar_t>(0xDC00 + (code & 0x3FF));
    } else {
        w += static_cast<wchar_t>(code);
    }
    out += Utf8(w);
}

// A value as the file writes it: backslash escapes for control characters,
// quotes and backslashes, and quotes around a value that holds ";", ",", "="
// or starts or ends with a blank.
std::string escapeValue(const std::string& value) {
    std::string out;
    bool quotes = false, escapeHex = false;
    for (char c : value) {
        const auto u = static_cast<unsigned char>(c);
        if (c == ';' || c == ',' || c == '=') quotes = true;
        if (escapeHex && isHexDigit(c)) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\x%x", u);
            out += buf;
            continue;
        }
        escapeHex = false;
        switch (c) {
            case '\a': out += "\\a"; break;
            case '\b': out += "\\b"; break;
            case '\f': out += "\\f"; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            case '\t': out += "\\t"; break;
            case '\v': out += "\\v"; break;
            case '"':
            case '\\':
                out += '\\';
                out += c;
                break;
            default:
                if (u <= 0x1F) {
                    char buf[8];
                    std::snprintf(buf, sizeof buf, "\\x%x", u);
                    out += buf;
                    escapeHex = true;
                } else {
                    out += c;
                }
        }
    }
    if (!out.empty() && (out.front() == ' ' || out.back() == ' ')) quotes = true;
    return quotes ? "\"" + out + "\"" : out;
}

std::string unescapeValue(std::string_view text) {
    // Quotes only keep blanks and separators in; they are not part of the value.
    std::string out;
    std::size_t i = 0;
    const std::string t = trim(text);
    while (i < t.size()) {
        const char c = t[i++];
        if (c == '"') continue;
        if (c != '\\' || i >= t.size()) {
            out += c;
            continue;
        }
        const char e = t[i++];
        switch (e) {
            case 'a': out += '\a'; break;
            case 'b': out += '\b'; break;
            case 'f': out += '\f'; break;
            case 'n': out += '\n'; break;
            case 'r': out += '\r'; break;
            case 't': out += '\t'; break;
            case 'v': out += '\v'; break;
            case 'x': {
                unsigned long code = 0;
                while (i < t.size() && isHexDigit(t[i]))
                    code = code * 16 + static_cast<unsigned long>(std::stoul(std::string(1, t[i++]), nullptr, 16));
                appendUtf8(out, code);
                break;
            }
            default:
                if (e >= '0' && e <= '7') {
                    unsigned long code = static_cast<unsigned long>(e - '0');
                    while (i < t.size() && t[i] >= '0' && t[i] <= '7') code = code * 8 + static_cast<unsigned long>(t[i++] - '0');
                    appendUtf8(out, code);
                } else {
                    out += e;  // \" \\ \' \? and any other character stand for themselves
                }
        }
    }
    return out;
}

std::optional<int> integerOf(const std::string& text) {
    try {
        std::size_t used = 0;
        const long long v = std::stoll(text, &used);
        if (used != text.size() || v < INT_MIN || v > INT_MAX) return std::nullopt;
        return static_cast<int>(v);
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

// The dialog's structure with the buffer and the strings it points into.
struct DialogState {
    OPENFILENAMEW ofn{};
    std::wstring filter, title, defaultExtension, initialFolder;
    std::vector<wchar_t> buffer = std::vector<wchar_t>(kNameBuffer, L'\0');

    DialogState(const FileDialog& d, DWORD flags) {
        filter = DialogFilter(d.filter);
        title = Wide(d.title);
        defaultExtension = Wide(!d.defaultExtension.empty() && d.defaultExtension[0] == '.' ? d.defaultExtension.substr(1)
                                                                                            : d.defaultExtension);
        initialFolder = Wide(d.initialFolder);
        const std::wstring initial = Wide(d.initialName);
        if (initial.size() < buffer.size()) std::copy(initial.begin(), initial.end(), buffer.begin());
        ofn.lStructSize = sizeof ofn;
        ofn.hwndOwner = DialogOwner();
        ofn.lpstrFilter = filter.empty() ? nullptr : filter.c_str();
        ofn.nFilterIndex = 1;
        ofn.lpstrFile = buffer.data();
        ofn.nMaxFile = static_cast<DWORD>(buffer.size());
        ofn.lpstrTitle = title.empty() ? nullptr : title.c_str();
        ofn.lpstrDefExt = defaultExtension.empty() ? nullptr : defaultExtension.c_str();
        ofn.lpstrInitialDir = initialFolder.empty() ? nullptr : initialFolder.c_str();
        ofn.Flags = flags | OFN_EXPLORER | OFN_HIDEREADONLY | OFN_NOCHANGEDIR;
    }

    // Runs the dialog; a preset name the dialog refuses (a folder that has
    // gone) is dropped and the dialog runs again without it.
    bool run(bool save) {
        auto once = [&] { return save ? GetSaveFileNameW(&ofn) : GetOpenFileNameW(&ofn); };
        if (once()) return true;
        if (CommDlgExtendedError() == 0 || buffer[0] == L'\0') return false;
        std::fill(buffer.begin(), buffer.end(), L'\0');
        return once() != FALSE;
    }
};

DWORD openFlags(const FileDialog& d) {
    return d.mustExist ? (OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST) : 0;
}

// A dialog template made in memory, so that the program needs no dialog
// resource: the header, then one item after another, each DWORD-aligned.
class DialogTemplate {
public:
    DialogTemplate(std::wstring_view title, short width, short height, WORD items) {
        dword(WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT | DS_CENTER);
        dword(0);
        words_.push_back(items);
        for (short v : {short(0), short(0), width, height}) words_.push_back(static_cast<WORD>(v));
        words_.push_back(0);  // no menu
        words_.push_back(0);  // the system's dialog class
        text(title);
        words_.push_back(8);
        text(L"MS Shell Dlg");
    }
    // `atom` is the predefined class: 0x80 button, 0x81 edit, 0x82 static.
    void item(DWORD style, short x, short y, short width, short height, WORD id, WORD atom, std::wstring_view caption) {
        if (words_.size() % 2) words_.push_back(0);
        dword(style | WS_CHILD | WS_VISIBLE);
        dword(0);
        for (short v : {x, y, width, height}) words_.push_back(static_cast<WORD>(v));
        words_.push_back(id);
        words_.push_back(0xFFFF);
        words_.push_back(atom);
        text(caption);
        words_.push_back(0);  // no creation data
    }
    // A vector's storage is aligned for more than a DWORD.
    const DLGTEMPLATE* get() const { return reinterpret_cast<const DLGTEMPLATE*>(words_.data()); }

private:
    void dword(DWORD v) {
        words_.push_back(LOWORD(v));
        words_.push_back(HIWORD(v));
    }
    void text(std::wstring_view s) {
        words_.insert(words_.end(), s.begin(), s.end());
        words_.push_back(0);
    }
    std::vector<WORD> words_;
};

constexpr WORD kPromptId = 100, kPasswordId = 101;

struct PasswordDialog {
    std::wstring prompt;
    std::wstring password;

    static INT_PTR CALLBACK Proc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
        if (message == WM_INITDIALOG) {
            SetWindowLongPtrW(dialog, DWLP_USER, lParam);
            const auto* self = reinterpret_cast<const PasswordDialog*>(lParam);
            SetDlgItemTextW(dialog, kPromptId, self->prompt.c_str());
            return TRUE;  // the focus goes to the password field, the first tab stop
        }
        if (message != WM_COMMAND) return FALSE;
        auto* self = reinterpret_cast<PasswordDialog*>(GetWindowLongPtrW(dialog, DWLP_USER));
        const WORD id = LOWORD(wParam);
        if (id == IDOK && self) {
            HWND field = GetDlgItem(dialog, kPasswordId);
            std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(field)) + 1, L'\0');
            text.resize(static_cast<std::size_t>(GetWindowTextW(field, text.data(), static_cast<int>(text.size()))));
            self->password = std::move(text);
            EndDialog(dialog, IDOK);
            return TRUE;
        }
        if (id == IDCANCEL) {
            EndDialog(dialog, IDCANCEL);
            return TRUE;
        }
        return FALSE;
    }
};

}  // namespace

bool ShowMessage(MessageKind kind, std::string_view text) {
    UINT type = MB_OK | MB_ICONWARNING;
    if (kind == MessageKind::Error) type = MB_OK | MB_ICONERROR;
    if (kind == MessageKind::Confirmation) type = MB_YESNO | MB_ICONQUESTION;
    const std::wstring body = MessageText(text);
    return MessageBoxW(DialogOwner(), body.c_str(), kApplicationTitle, type | MB_SETFOREGROUND) == IDYES;
}

std::wstring DialogFilter(const std::string& filter) {
    if (filter.empty()) return {};
    std::wstring out = Wide(filter);
    for (wchar_t& c : out)
        if (c == L'|') c = L'\0';
    out += L'\0';
    out += L'\0';
    return out;
}

// ---------------------------------------------------------------- user interface

void Win32UserInterface::warning(std::string_view text) { ShowMessage(MessageKind::Warning, text); }
void Win32UserInterface::error(std::string_view text) { ShowMessage(MessageKind::Error, text); }
bool Win32UserInterface::confirm(std::string_view text) { return ShowMessage(MessageKind::Confirmation, text); }

std::optional<std::string> Win32UserInterface::openFileName(const FileDialog& dialog) {
    DialogState state(dialog, openFlags(dialog));
    if (!state.run(false)) return std::nullopt;
    return Utf8(state.buffer.data());
}

std::optional<std::string> Win32UserInterface::askPassword(std::string_view prompt) {
    DialogTemplate layout(kApplicationTitle, 280, 94, 4);
    layout.item(SS_LEFT | SS_NOPREFIX, 7, 7, 266, 40, kPromptId, 0x82, L"");
    layout.item(ES_PASSWORD | ES_AUTOHSCROLL | WS_BORDER | WS_TABSTOP, 7, 52, 266, 14, kPasswordId, 0x81, L"");
    layout.item(BS_DEFPUSHBUTTON | WS_TABSTOP, 169, 73, 50, 14, IDOK, 0x80, L"OK");
    layout.item(BS_PUSHBUTTON | WS_TABSTOP, 223, 73, 50, 14, IDCANCEL, 0x80, L"Cancel");
    PasswordDialog state{MessageText(prompt), {}};
    const INT_PTR result = DialogBoxIndirectParamW(GetModuleHandleW(nullptr), layout.get(), DialogOwner(),
                                                   &PasswordDialog::Proc, reinterpret_cast<LPARAM>(&state));
    std::optional<std::string> password;
    if (result == IDOK) password = Utf8(state.password);
    // The typed password leaves no copy behind in this buffer.
    SecureZeroMemory(state.password.data(), state.password.size() * sizeof(wchar_t));
    return password;
}

std::vector<std::string> Win32UserInterface::openFileNames(const FileDialog& dialog) {
    DialogState state(dialog, openFlags(dialog) | OFN_ALLOWMULTISELECT);
    std::vector<std::string> names;
    if (!state.run(false)) return names;
    // One name, or the folder followed by the names in it, each ended by NUL.
    std::vector<std::wstring> parts;
    for (const wchar_t* p = state.buffer.data(); *p; p += wcslen(p) + 1) parts.emplace_back(p);
    if (parts.size() == 1) {
        names.push_back(Utf8(parts[0]));
        return names;
    }
    std::wstring folder = parts.empty() ? std::wstring() : parts[0];
    if (!folder.empty() && folder.back() != L'\\') folder += L'\\';
    for (std::size_t i = 1; i < parts.size(); ++i) names.push_back(Utf8(folder + parts[i]));
    return names;
}

std::optional<std::string> Win32UserInterface::saveFileName(const FileDialog& dialog) {
    DWORD flags = OFN_PATHMUSTEXIST;
    if (dialog.overwritePrompt) flags |= OFN_OVERWRITEPROMPT;
    DialogState state(dialog, flags);
    if (!state.run(true)) return std::nullopt;
    return Utf8(state.buffer.data());
}

void Win32UserInterface::processPendingMessages() {
    if (beforePendingMessages) beforePendingMessages();
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            PostQuitMessage(static_cast<int>(msg.wParam));
            break;
        }
        if (translate && translate(msg)) continue;
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    if (afterPendingMessages) afterPendingMessages();
}

void Win32UserInterface::progress(int position, int maximum) {
    if (onProgress) onProgress(position, maximum);
}

// ---------------------------------------------------------------- started program

Win32StartedProgram::~Win32StartedProgram() {
    // Releasing the handles leaves the program running.
    CloseHandle(process_.hThread);
    CloseHandle(process_.hProcess);
}

void Win32StartedProgram::waitForInputIdle() {
    // In short steps, so that the window keeps drawing meanwhile; a program
    // without a message loop (or one that ended) answers at once.
    const ULONGLONG start = GetTickCount64();
    while (GetTickCount64() - start < kInputIdleLimitMs) {
        const DWORD r = WaitForInputIdle(process_.hProcess, kPollMs);
        if (r != WAIT_TIMEOUT) return;
        if (WaitForSingleObject(process_.hProcess, 0) == WAIT_OBJECT_0) return;
        MSG msg;
        while (PeekMessageW(&msg, nullptr, WM_PAINT, WM_PAINT, PM_REMOVE)) DispatchMessageW(&msg);
    }
}

bool Win32StartedProgram::running() {
    const DWORD r = MsgWaitForMultipleObjects(1, &process_.hProcess, FALSE, kPollMs, QS_ALLINPUT);
    if (r == WAIT_OBJECT_0) return false;
    if (r == WAIT_FAILED) return WaitForSingleObject(process_.hProcess, 0) == WAIT_TIMEOUT;
    return true;
}

namespace {

std::mutex g_removalsLock;
std::vector<std::thread> g_removals;

}  // namespace

void Win32StartedProgram::removeWhenEnded(const std::string& file) {
    HANDLE process = nullptr;
    if (!DuplicateHandle(GetCurrentProcess(), process_.hProcess, GetCurrentProcess(), &process, SYNCHRONIZE, FALSE, 0))
        return;
    std::lock_guard<std::mutex> lock(g_removalsLock);
    g_removals.emplace_back([process, name = Wide(file)] {
        WaitForSingleObject(process, INFINITE);
        CloseHandle(process);
        // The system lets go of a program's file a moment after its end.
        for (int attempt = 0; attempt < 50 && !DeleteFileW(name.c_str()) &&
                              GetFileAttributesW(name.c_str()) != INVALID_FILE_ATTRIBUTES;
             ++attempt)
            Sleep(100);
    });
}

void WaitForPendingRemovals() {
    std::vector<std::thread> pending;
    {
        std::lock_guard<std::mutex> lock(g_removalsLock);
        pending.swap(g_removals);
    }
    for (std::thread& t : pending) t.join();
}

// ---------------------------------------------------------------- shell

std::optional<TIcon> Win32Shell::largeIcon(const std::string& file) {
    if (!FileExists(file)) return std::nullopt;
    SHFILEINFOW info{};
    if (!SHGetFileInfoW(Wide(file).c_str(), 0, &info, sizeof info, SHGFI_ICON | SHGFI_LARGEICON) || !info.hIcon)
        return std::nullopt;
    std::optional<TIcon> icon = IconFromHandle(info.hIcon);
    DestroyIcon(info.hIcon);
    return icon;
}

std::optional<TIcon> Win32Shell::smallIcon(const std::string& file) {
    if (!FileExists(file)) return std::nullopt;
    SHFILEINFOW info{};
    if (!SHGetFileInfoW(Wide(file).c_str(), 0, &info, sizeof info, SHGFI_ICON | SHGFI_SMALLICON) || !info.hIcon)
        return std::nullopt;
    std::optional<TIcon> icon = IconFromHandle(info.hIcon);
    DestroyIcon(info.hIcon);
    if (icon && (icon->Width() != 16 || icon->Height() != 16)) icon = ScaleIcon(*icon, 16, 16);
    return icon;
}

bool Win32Shell::openDocument(const std::string& file) {
    const auto r = reinterpret_cast<INT_PTR>(
        ShellExecuteW(DialogOwner(), L"open", Wide(file).c_str(), nullptr, nullptr, SW_SHOWNORMAL));
    return r > 32;
}

std::unique_ptr<StartedProgram> Win32Shell::startProgram(const std::string& file) {
    const PROCESS_INFORMATION process = StartProcess(Wide(file), L"", L"");
    if (!process.hProcess) return nullptr;
    return std::make_unique<Win32StartedProgram>(process);
}

// ---------------------------------------------------------------- settings file

std::string IniSettingsStore::DefaultFileName() {
    wchar_t folder[MAX_PATH] = {};
    if (FAILED(SHGetFolderPathW(nullptr, CSIDL_APPDATA | CSIDL_FLAG_CREATE, nullptr, SHGFP_TYPE_CURRENT, folder))) {
        const DWORD n = GetEnvironmentVariableW(L"APPDATA", folder, MAX_PATH);
        if (n == 0 || n >= MAX_PATH) GetTempPathW(MAX_PATH, folder);
    }
    std::wstring dir = folder;
    if (!dir.empty() && dir.back() != L'\\') dir += L'\\';
    return Utf8(dir + L"VexelSCREEN\\VexelSCREEN.dat");
}

IniSettingsStore::IniSettingsStore(std::string fileName) : fileName_(std::move(fileName)) {}

IniSettingsStore::Sections IniSettingsStore::Parse(std::string_view text) {
    Sections sections;
    std::string current;
    std::size_t pos = 0;
    if (text.substr(0, 3) == "\xEF\xBB\xBF") pos = 3;
    while (pos < text.size()) {
        std::size_t end = text.find('\n', pos);
        if (end == std::string_view::npos) end = text.size();
        const std::string line = trim(text.substr(pos, end - pos));
        pos = end + 1;
        if (line.empty() || line[0] == ';' || line[0] == '#') continue;
        if (line.front() == '[') {
            const std::size_t close = line.find(']');
            current = line.substr(1, close == std::string::npos ? std::string::npos : close - 1);
            continue;
        }
        const std::size_t eq = line.find('=');
        if (eq == std::string::npos) continue;
        sections[current][trim(line.substr(0, eq))] = unescapeValue(line.substr(eq + 1));
    }
    return sections;
}

std::string IniSettingsStore::Format(const Sections& sections) {
    std::string out;
    for (const auto& [name, keys] : sections) {
        if (!out.empty()) out += "\r\n";
        out += "[" + name + "]\r\n";
        for (const auto& [key, value] : keys) out += key + "=" + escapeValue(value) + "\r\n";
    }
    return out;
}

std::optional<IniSettingsStore::Sections> IniSettingsStore::read() const {
    // Programs that hold a file for a moment let it go within a second or so.
    constexpr int kAttempts = 10;
    constexpr DWORD kPauseMs = 100;
    for (int attempt = 1;; ++attempt) {
        if (!FileExists(fileName_)) return Sections{};
        try {
            const std::vector<std::uint8_t> bytes = ReadWholeFile(fileName_);
            return Parse(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
        } catch (const VsError&) {
            if (attempt == kAttempts) return std::nullopt;
        }
        Sleep(kPauseMs);
    }
}

void IniSettingsStore::write(const Sections& sections) {
    const std::wstring name = Wide(fileName_);
    const std::size_t cut = name.find_last_of(L"\\/");
    if (cut != std::wstring::npos) {
        const std::wstring folder = name.substr(0, cut);
        if (GetFileAttributesW(folder.c_str()) == INVALID_FILE_ATTRIBUTES) SHCreateDirectoryExW(nullptr, folder.c_str(), nullptr);
    }
    const std::string text = Format(sections);
    try {
        WriteFileAtomic(fileName_, text.data(), text.size());
    } catch (const VsError&) {
        throw EFCreateError(cannotCreateFile(fileName_));
    }
}

std::optional<std::string> IniSettingsStore::value(std::string_view key) {
    const std::optional<Sections> s = read();
    if (!s) return std::nullopt;
    const auto section = s->find(kValuesSection);
    if (section == s->end()) return std::nullopt;
    const auto v = section->second.find(std::string(key));
    if (v == section->second.end()) return std::nullopt;
    return v->second;
}

void IniSettingsStore::setValue(std::string_view key, std::string_view value) {
    std::optional<Sections> s = read();
    if (!s) return;
    (*s)[kValuesSection][std::string(key)] = std::string(value);
    write(*s);
}

std::optional<WindowPlacement> IniSettingsStore::placement(std::string_view window) {
    const std::optional<Sections> s = read();
    if (!s) return std::nullopt;
    const auto section = s->find(placementSection(window));
    if (section == s->end()) return std::nullopt;
    const auto& keys = section->second;
    auto get = [&](const char* key) -> std::optional<int> {
        const auto v = keys.find(key);
        return v == keys.end() ? std::nullopt : integerOf(v->second);
    };
    const auto left = get("Left"), top = get("Top");
    if (!left || !top) return std::nullopt;
    // A placement of the position alone has no size entry at all.
    if (!keys.count("Width") && !keys.count("Height") && !keys.count("Maximized"))
        return WindowPlacement{*left, *top, 0, 0, false, false};
    const auto width = get("Width"), height = get("Height"), maximized = get("Maximized");
    if (!width || !height || !maximized || (*maximized != 0 && *maximized != 1)) return std::nullopt;
    return WindowPlacement{*left, *top, *width, *height, *maximized == 1};
}

void IniSettingsStore::setPlacement(std::string_view window, const WindowPlacement& p) {
    std::optional<Sections> s = read();
    if (!s) return;
    auto& section = (*s)[placementSection(window)];
    section["Left"] = std::to_string(p.left);
    section["Top"] = std::to_string(p.top);
    if (p.sized) {
        section["Width"] = std::to_string(p.width);
        section["Height"] = std::to_string(p.height);
        section["Maximized"] = p.maximized ? "1" : "0";
    } else {
        // A size written before would be read back as this window's size.
        for (const char* key : {"Width", "Height", "Maximized"}) section.erase(key);
    }
    write(*s);
}

}  // namespace vs::win32
