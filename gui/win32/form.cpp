// The model's headers come before the system's, whose macros would take
// some of the model's names.
#include "app/generator_model.h"
#include "gui/win32/form.h"

#include <richedit.h>
#include <windowsx.h>

#include <climits>
#include <cwctype>

#include "gui/win32/command_ids.h"
#include "gui/win32/win32_ports.h"
#include "gui/win32/win32_support.h"

namespace vs::win32 {

namespace {

constexpr const wchar_t* kPageClass = L"VsPage";
constexpr const wchar_t* kBarClass = L"VsBar";
constexpr int kBrowseWidth = 28;
// Long enough to read a sentence; a new refusal shows again at once.
constexpr UINT kRefusalHintMs = 6000;
constexpr UINT_PTR kRefusalTimer = 1;
constexpr UINT_PTR kFieldFilterId = 2;

HINSTANCE Instance() { return GetModuleHandleW(nullptr); }

// The rich text read into a RichEdit control in pieces.
struct RtfSource {
    const std::string* text;
    std::size_t position;
};

DWORD CALLBACK ReadRtf(DWORD_PTR cookie, LPBYTE buffer, LONG wanted, LONG* got) {
    auto* source = reinterpret_cast<RtfSource*>(cookie);
    const std::size_t left = source->text->size() - source->position;
    const std::size_t n = std::min<std::size_t>(left, static_cast<std::size_t>(wanted));
    std::copy_n(source->text->data() + source->position, n, buffer);
    source->position += n;
    *got = static_cast<LONG>(n);
    return 0;
}

void SetListText(HWND list, int item, int column, const std::string& text) {
    std::wstring w = Wide(text);
    LVITEMW lv{};
    lv.iSubItem = column;
    lv.pszText = w.data();
    SendMessageW(list, LVM_SETITEMTEXTW, static_cast<WPARAM>(item), reinterpret_cast<LPARAM>(&lv));
}

std::string Trimmed(std::string s) {
    while (!s.empty() && (s.back() == ' ' || s.back() == ':')) s.pop_back();
    return s;
}

// What a paste into a single-line field would insert: the first line of the
// clipboard's text; nothing when the clipboard holds no text.
std::optional<std::wstring> PastedText(HWND field) {
    if (!IsClipboardFormatAvailable(CF_UNICODETEXT) || !OpenClipboard(field)) return std::nullopt;
    std::optional<std::wstring> text;
    if (HANDLE data = GetClipboardData(CF_UNICODETEXT)) {
        if (const auto* chars = static_cast<const wchar_t*>(GlobalLock(data))) {
            text = std::wstring(chars);
            GlobalUnlock(data);
        }
    }
    CloseClipboard();
    if (text) text->erase(std::min(text->find_first_of(L"\r\n"), text->size()));
    return text;
}

// A spin field's text may hold digits, signs and blanks; what they make is
// the model's affair.
std::optional<std::string> RefuseNonNumber(const std::string& inserted) {
    for (char c : inserted)
        if ((c < '0' || c > '9') && c != '-' && c != '+' && c != ' ') return std::string();
    return std::nullopt;
}

// Whether a window message could insert text other than by WM_CHAR or
// WM_PASTE (the context menu, an input method, undo); the field checks its
// text after it.
bool MayInsertText(UINT msg) {
    return msg == WM_CONTEXTMENU || msg == WM_IME_COMPOSITION || msg == WM_IME_ENDCOMPOSITION ||
           msg == EM_REPLACESEL || msg == WM_UNDO || msg == EM_UNDO;
}

std::wstring TextOfWindow(HWND w) {
    std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(w)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(GetWindowTextW(w, text.data(), static_cast<int>(text.size()))));
    return text;
}

bool g_reporting = false;

}  // namespace

struct Form::GridEditor {
    HWND editor = nullptr;
    HWND list = nullptr;
    PropertyGrid* grid = nullptr;
    std::size_t row = 0;
};

std::wstring WithMnemonic(const std::wstring& caption, std::set<wchar_t>* taken) {
    std::wstring out;
    bool placed = taken == nullptr;
    for (wchar_t c : caption) {
        if (c == L'&') {
            out += L"&&";
            continue;
        }
        if (!placed && std::iswalpha(c) && !taken->count(static_cast<wchar_t>(std::towupper(c)))) {
            taken->insert(static_cast<wchar_t>(std::towupper(c)));
            out += L'&';
            placed = true;
        }
        out += c;
    }
    return out;
}

void ReportFailure(const std::exception& failure) {
    if (dynamic_cast<const EOperationCancelled*>(&failure)) return;
    // A failure while the report of another is up (a paint that fails again
    // and again) is not reported on top of it.
    if (g_reporting) return;
    g_reporting = true;
    try {
        ShowMessage(MessageKind::Error, GeneralErrorText(failure));
    } catch (...) {
    }
    g_reporting = false;
}

Form::Form(std::function<void(const std::function<void()>&)> run) : run_(std::move(run)) {}

Form::~Form() {
    editor_.reset();
    if (hwnd_) {
        SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
        DestroyWindow(hwnd_);
    }
    for (HFONT f : fonts_)
        if (f) DeleteObject(f);
}

void Form::RegisterFrameClass(const wchar_t* name, bool withIcon) {
    HINSTANCE instance = Instance();
    WNDCLASSEXW existing{};
    existing.cbSize = sizeof existing;
    if (GetClassInfoExW(instance, name, &existing)) return;
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = FormProc;
    wc.hInstance = instance;
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
    if (withIcon) {
        wc.hIcon = LoadIconW(instance, L"MAINICON");
        wc.hIconSm = static_cast<HICON>(LoadImageW(instance, L"MAINICON", IMAGE_ICON, GetSystemMetrics(SM_CXSMICON),
                                                   GetSystemMetrics(SM_CYSMICON), 0));
    }
    wc.lpszClassName = name;
    RegisterClassExW(&wc);
}

void Form::RegisterClasses(HINSTANCE instance) {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = PanelProc;
    wc.hInstance = instance;
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = GetSysColorBrush(COLOR_WINDOW);
    wc.lpszClassName = kPageClass;
    RegisterClassExW(&wc);
    wc.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
    wc.lpszClassName = kBarClass;
    RegisterClassExW(&wc);
    wc.lpfnWndProc = HintProc;
    wc.hbrBackground = GetSysColorBrush(COLOR_INFOBK);
    wc.lpszClassName = kRefusalHintClass;
    RegisterClassExW(&wc);
}

LRESULT CALLBACK Form::PanelProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
        case WM_COMMAND:
        case WM_NOTIFY:
        case WM_HSCROLL:
        case WM_VSCROLL:
        case WM_CTLCOLORSTATIC:
        case WM_CTLCOLORBTN:
        case WM_DRAWITEM:
            return SendMessageW(GetAncestor(hwnd, GA_ROOT), msg, wp, lp);
        default:
            return DefWindowProcW(hwnd, msg, wp, lp);
    }
}

LRESULT CALLBACK Form::FormProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_NCCREATE) {
        auto* form = static_cast<Form*>(reinterpret_cast<CREATESTRUCTW*>(lp)->lpCreateParams);
        form->hwnd_ = hwnd;
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(form));
    }
    auto* form = reinterpret_cast<Form*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (!form) return DefWindowProcW(hwnd, msg, wp, lp);
    // Nothing thrown may leave a window procedure: the system's frames
    // between it and the message loop cannot pass it on.
    return Guarded([&] { return form->handle(msg, wp, lp); });
}

HWND Form::createFrame(const wchar_t* className, const std::string& title, DWORD style, DWORD exStyle, HWND owner,
                       int width96, int height96) {
    // The frame is made at the primary monitor's resolution and follows the
    // monitor it is moved to.
    dpi_ = DpiOf(nullptr);
    makeFonts();
    CreateWindowExW(exStyle | WS_EX_CONTROLPARENT, className, Wide(title).c_str(), style, CW_USEDEFAULT, CW_USEDEFAULT,
                    Scale(width96, dpi_), Scale(height96, dpi_), owner, nullptr, Instance(), this);
    if (hwnd_) {
        const UINT actual = DpiOf(hwnd_);
        if (actual != dpi_) {
            dpi_ = actual;
            makeFonts();
        }
        tooltip_ = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX,
                                   CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, hwnd_, nullptr,
                                   Instance(), nullptr);
    }
    return hwnd_;
}

void Form::makeFonts() {
    for (HFONT& f : fonts_) {
        if (f) DeleteObject(f);
        f = nullptr;
    }
    fonts_[static_cast<int>(FontKind::Normal)] = MessageFont(dpi_);
    fonts_[static_cast<int>(FontKind::Bold)] = MessageFont(dpi_, FW_BOLD);
    fonts_[static_cast<int>(FontKind::Title)] = MessageFont(dpi_, FW_BOLD, 135);
    fonts_[static_cast<int>(FontKind::Heading)] = MessageFont(dpi_, FW_BOLD, 125);
}

HFONT Form::font(FontKind kind) const { return fonts_[static_cast<int>(kind)]; }

int Form::px(int v) const { return Scale(v, dpi_); }

void Form::applyFonts() {
    for (const Item& item : items_) SendMessageW(item.window, WM_SETFONT, reinterpret_cast<WPARAM>(font(item.font)), TRUE);
}

HWND Form::panel(HWND parent, bool page, Place place) {
    // Group boxes leave their inside to the panel, so the panel paints under
    // its controls too.
    HWND w = CreateWindowExW(WS_EX_CONTROLPARENT, page ? kPageClass : kBarClass, L"",
                             WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS, 0, 0, 0, 0, parent, nullptr,
                             Instance(), nullptr);
    items_.push_back({w, parent, place, FontKind::Normal});
    return w;
}

HWND Form::add(HWND parent, const wchar_t* cls, const std::string& text, DWORD style, DWORD exStyle, Place place,
               FontKind fontKind, int id) {
    HWND w = CreateWindowExW(exStyle, cls, Wide(text).c_str(), style | WS_CHILD | WS_VISIBLE, 0, 0, 0, 0, parent,
                             reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), Instance(), nullptr);
    items_.push_back({w, parent, place, fontKind});
    SendMessageW(w, WM_SETFONT, reinterpret_cast<WPARAM>(font(fontKind)), FALSE);
    if (!shownBy_.empty()) bind(w, nullptr);
    return w;
}

void Form::bind(HWND window, const Control* control, bool followEnabled) {
    // A window bound twice keeps its last binding with every condition.
    std::vector<const Control*> shownBy = shownBy_;
    if (control) shownBy.push_back(control);
    for (Binding& b : bindings_)
        if (b.window == window) {
            b.shownBy = shownBy;
            b.enabledBy = followEnabled ? control : nullptr;
            return;
        }
    bindings_.push_back({window, std::move(shownBy), followEnabled ? control : nullptr});
}

HWND Form::label(HWND parent, const std::string& text, Place place, FontKind fontKind, bool mnemonic) {
    HWND w = add(parent, WC_STATICW, "", SS_LEFT | (mnemonic ? 0 : SS_NOPREFIX), 0, place, fontKind);
    SetWindowTextW(w, (mnemonic ? WithMnemonic(Wide(text), mnemonics_) : Wide(text)).c_str());
    return w;
}

HWND Form::groupBox(HWND parent, const std::string& text, Place place, const Control* control) {
    HWND w = add(parent, WC_BUTTONW, text, BS_GROUPBOX, 0, place);
    if (control) bind(w, control, false);
    return w;
}

void Form::hint(HWND control, const std::string& text) {
    if (!tooltip_ || text.empty()) return;
    std::wstring w = Wide(text);
    TOOLINFOW ti{};
    ti.cbSize = sizeof ti;
    ti.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    ti.hwnd = hwnd_;
    ti.uId = reinterpret_cast<UINT_PTR>(control);
    ti.lpszText = w.data();
    SendMessageW(tooltip_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&ti));
}

void Form::setHint(HWND control, const std::string& text) {
    if (!tooltip_) return;
    TOOLINFOW ti{};
    ti.cbSize = sizeof ti;
    ti.hwnd = hwnd_;
    ti.uId = reinterpret_cast<UINT_PTR>(control);
    SendMessageW(tooltip_, TTM_DELTOOLW, 0, reinterpret_cast<LPARAM>(&ti));
    hint(control, text);
}

void Form::showRefusal(HWND field, const std::string& text) {
    if (!hwnd_) return;
    if (!refusalHint_ || !IsWindow(refusalHint_)) {
        refusalHint_ = CreateWindowExW(WS_EX_TOOLWINDOW | WS_EX_TOPMOST | WS_EX_NOACTIVATE, kRefusalHintClass, L"",
                                       WS_POPUP | WS_BORDER, 0, 0, 0, 0, hwnd_, nullptr, Instance(), this);
        if (!refusalHint_) return;
    }
    const std::wstring wide = Wide(text);
    SetWindowTextW(refusalHint_, wide.c_str());
    // As wide as the text needs, up to a few hundred pixels, then wrapped.
    RECT size{0, 0, px(420), 0};
    HDC dc = GetDC(refusalHint_);
    HGDIOBJ old = SelectObject(dc, font(FontKind::Normal));
    DrawTextW(dc, wide.c_str(), -1, &size, DT_CALCRECT | DT_NOPREFIX | DT_WORDBREAK);
    SelectObject(dc, old);
    ReleaseDC(refusalHint_, dc);
    RECT below;
    GetWindowRect(field, &below);
    const int border = 2 * GetSystemMetrics(SM_CXBORDER);
    SetWindowPos(refusalHint_, HWND_TOPMOST, below.left, below.bottom + px(2), size.right + 2 * px(6) + border,
                 size.bottom + 2 * px(4) + border, SWP_NOACTIVATE | SWP_SHOWWINDOW);
    InvalidateRect(refusalHint_, nullptr, TRUE);
    SetTimer(refusalHint_, kRefusalTimer, kRefusalHintMs, nullptr);
    refusalFor_ = field;
}

void Form::hideRefusal(HWND field) {
    if (field != refusalFor_ || !refusalHint_ || !IsWindow(refusalHint_)) return;
    KillTimer(refusalHint_, kRefusalTimer);
    ShowWindow(refusalHint_, SW_HIDE);
    refusalFor_ = nullptr;
}

LRESULT CALLBACK Form::HintProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_NCCREATE)
        SetWindowLongPtrW(hwnd, GWLP_USERDATA,
                          reinterpret_cast<LONG_PTR>(reinterpret_cast<CREATESTRUCTW*>(lp)->lpCreateParams));
    auto* form = reinterpret_cast<Form*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    switch (msg) {
        case WM_PAINT: {
            PAINTSTRUCT ps;
            HDC dc = BeginPaint(hwnd, &ps);
            RECT rc;
            GetClientRect(hwnd, &rc);
            FillRect(dc, &rc, GetSysColorBrush(COLOR_INFOBK));
            const int dx = form ? form->px(6) : 6, dy = form ? form->px(4) : 4;
            InflateRect(&rc, -dx, -dy);
            HGDIOBJ old = form ? SelectObject(dc, form->font(FontKind::Normal)) : nullptr;
            SetBkMode(dc, TRANSPARENT);
            SetTextColor(dc, GetSysColor(COLOR_INFOTEXT));
            const std::wstring text = TextOfWindow(hwnd);
            DrawTextW(dc, text.c_str(), -1, &rc, DT_NOPREFIX | DT_WORDBREAK);
            if (old) SelectObject(dc, old);
            EndPaint(hwnd, &ps);
            return 0;
        }
        case WM_TIMER:
        case WM_LBUTTONDOWN:
            KillTimer(hwnd, kRefusalTimer);
            ShowWindow(hwnd, SW_HIDE);
            if (form) form->refusalFor_ = nullptr;
            return 0;
        case WM_MOUSEACTIVATE:
            return MA_NOACTIVATE;
        default:
            return DefWindowProcW(hwnd, msg, wp, lp);
    }
}

void Form::filter(HWND edit, FieldFilter filter) {
    auto* owned = new FieldFilter(std::move(filter));
    owned->form = this;
    SetWindowSubclass(edit, FieldProc, kFieldFilterId, reinterpret_cast<DWORD_PTR>(owned));
}

void Form::guardStoredText(HWND edit) {
    FieldFilter f;
    f.refuse = [](const std::string& inserted) { return StoredTextRefusal(inserted); };
    filter(edit, std::move(f));
}

LRESULT CALLBACK Form::FieldProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR id, DWORD_PTR data) {
    // The filter is not touched after the message has gone on: the control
    // may be destroyed meanwhile (a grid's editor ends on Enter).
    auto* f = reinterpret_cast<FieldFilter*>(data);
    // A read-only field takes nothing anyway: it refuses nothing and says nothing.
    const bool typing = f->refuse && (GetWindowLongW(hwnd, GWL_STYLE) & ES_READONLY) == 0;
    // Ctrl+V, Shift+Insert and the paste message all insert the clipboard's text.
    auto pasteRefused = [&] {
        if (!typing) return false;
        if (const std::optional<std::wstring> pasted = PastedText(hwnd)) {
            if (const std::optional<std::string> refusal = f->refuse(Utf8(*pasted))) {
                if (!refusal->empty()) f->form->showRefusal(hwnd, *refusal);
                return true;
            }
        }
        f->form->hideRefusal(hwnd);
        return false;
    };
    return Guarded([&]() -> LRESULT {
        switch (msg) {
            case WM_GETDLGCODE:
                if (f->enter && lp && reinterpret_cast<MSG*>(lp)->message == WM_KEYDOWN &&
                    reinterpret_cast<MSG*>(lp)->wParam == VK_RETURN)
                    return DefSubclassProc(hwnd, msg, wp, lp) | DLGC_WANTMESSAGE;
                break;
            case WM_KEYDOWN:
                if (wp == VK_RETURN && f->enter) {
                    f->enter();
                    return 0;
                }
                if (wp == VK_INSERT && GetKeyState(VK_SHIFT) < 0 && GetKeyState(VK_CONTROL) >= 0 && pasteRefused()) return 0;
                break;
            case WM_CHAR: {
                if (wp == L'\r' && f->enter) return 0;
                if (wp == 0x16 && pasteRefused()) return 0;  // Ctrl+V
                if (!typing || wp < 0x20 || wp == 0x7F) break;  // keys that edit, not characters
                const auto c = static_cast<wchar_t>(wp);
                if (IS_HIGH_SURROGATE(c)) {
                    f->highSurrogate = c;  // the character is whole with its second half
                    return 0;
                }
                std::wstring typed;
                if (IS_LOW_SURROGATE(c) && f->highSurrogate) typed += f->highSurrogate;
                typed += c;
                f->highSurrogate = 0;
                if (const std::optional<std::string> refusal = f->refuse(Utf8(typed))) {
                    if (!refusal->empty()) f->form->showRefusal(hwnd, *refusal);
                    return 0;
                }
                f->form->hideRefusal(hwnd);
                if (typed.size() == 2) DefSubclassProc(hwnd, msg, static_cast<WPARAM>(typed[0]), lp);
                break;
            }
            case WM_PASTE:
                if (pasteRefused()) return 0;
                break;
            case WM_KILLFOCUS:
                f->form->hideRefusal(hwnd);
                break;
            case WM_NCDESTROY:
                f->form->hideRefusal(hwnd);
                RemoveWindowSubclass(hwnd, FieldProc, id);
                delete f;
                return DefSubclassProc(hwnd, msg, wp, lp);
            default:
                if (typing && MayInsertText(msg)) {
                    // Text that came by another road is checked afterwards, and
                    // what it brought that cannot be stored is taken back.
                    const std::wstring before = TextOfWindow(hwnd);
                    DWORD start = 0, end = 0;
                    SendMessageW(hwnd, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
                    auto refuse = f->refuse;
                    Form* form = f->form;
                    const LRESULT r = DefSubclassProc(hwnd, msg, wp, lp);
                    if (!IsWindow(hwnd)) return r;
                    const std::wstring after = TextOfWindow(hwnd);
                    if (after == before) return r;
                    const std::optional<std::string> refusal = refuse(Utf8(after));
                    if (refusal && refusal != refuse(Utf8(before))) {
                        SetWindowTextW(hwnd, before.c_str());
                        SendMessageW(hwnd, EM_SETSEL, start, static_cast<LPARAM>(end));
                        if (!refusal->empty()) form->showRefusal(hwnd, *refusal);
                    }
                    return r;
                }
                break;
        }
        return DefSubclassProc(hwnd, msg, wp, lp);
    });
}

HWND Form::button(HWND parent, Button& b, Place place, std::function<void()> click, bool hintAsText, DWORD extraStyle,
                  bool cancellable) {
    const int id = newId();
    const std::string& text = b.caption.empty() && hintAsText ? b.hint : b.caption;
    HWND w = add(parent, WC_BUTTONW, "", BS_PUSHBUTTON | WS_TABSTOP | extraStyle, 0, place, FontKind::Normal, id);
    SetWindowTextW(w, WithMnemonic(Wide(text), mnemonics_).c_str());
    bind(w, &b);
    if (!b.hint.empty() && b.hint != text) hint(w, b.hint);
    onCommand(id, [this, click = std::move(click), cancellable](int code) {
        if (code == BN_CLICKED) forward(click, cancellable);
    });
    return w;
}

HWND Form::pageButton(HWND parent, Button& b, ButtonGroup& group, Place place, std::function<void()> click,
                      std::function<bool()> current) {
    const int id = newId();
    const std::string& text = b.caption.empty() ? b.hint : b.caption;
    HWND w = add(parent, WC_BUTTONW, "", BS_CHECKBOX | BS_PUSHLIKE | WS_TABSTOP, 0, place, FontKind::Normal, id);
    SetWindowTextW(w, WithMnemonic(Wide(text), mnemonics_).c_str());
    bind(w, &b);
    if (!b.hint.empty() && b.hint != text) hint(w, b.hint);
    onCommand(id, [this, click = std::move(click)](int code) {
        if (code == BN_CLICKED) forward(click);
    });
    addRefresher([w, &b, &group, current = std::move(current)] {
        const bool chosen = group.down == &b && (!current || current());
        const WPARAM down = chosen ? BST_CHECKED : BST_UNCHECKED;
        if (static_cast<WPARAM>(SendMessageW(w, BM_GETCHECK, 0, 0)) != down) SendMessageW(w, BM_SETCHECK, down, 0);
    });
    return w;
}

HWND Form::radio(HWND parent, RadioButton& rb, Place place, bool firstOfGroup) {
    const int id = newId();
    HWND w = add(parent, WC_BUTTONW, "", BS_RADIOBUTTON | WS_TABSTOP | (firstOfGroup ? WS_GROUP : 0), 0, place,
                 FontKind::Normal, id);
    SetWindowTextW(w, WithMnemonic(Wide(rb.caption), mnemonics_).c_str());
    bind(w, &rb);
    onCommand(id, [this, &rb](int code) {
        if (code == BN_CLICKED) forward([&rb] { rb.setChecked(true); });
    });
    addRefresher([w, &rb] {
        const WPARAM on = rb.checked() ? BST_CHECKED : BST_UNCHECKED;
        if (static_cast<WPARAM>(SendMessageW(w, BM_GETCHECK, 0, 0)) != on) SendMessageW(w, BM_SETCHECK, on, 0);
    });
    return w;
}

HWND Form::check(HWND parent, CheckBox& cb, Place place) {
    const int id = newId();
    HWND w = add(parent, WC_BUTTONW, "", BS_CHECKBOX | WS_TABSTOP, 0, place, FontKind::Normal, id);
    SetWindowTextW(w, WithMnemonic(Wide(cb.caption), mnemonics_).c_str());
    bind(w, &cb);
    onCommand(id, [this, &cb](int code) {
        if (code == BN_CLICKED) forward([&cb] { cb.setChecked(!cb.checked()); });
    });
    addRefresher([w, &cb] {
        const WPARAM on = cb.checked() ? BST_CHECKED : BST_UNCHECKED;
        if (static_cast<WPARAM>(SendMessageW(w, BM_GETCHECK, 0, 0)) != on) SendMessageW(w, BM_SETCHECK, on, 0);
    });
    return w;
}

HWND Form::edit(HWND parent, Edit& e, Place place) {
    const int id = newId();
    HWND w = add(parent, WC_EDITW, e.text, ES_AUTOHSCROLL | WS_TABSTOP, WS_EX_CLIENTEDGE, place, FontKind::Normal, id);
    bind(w, &e);
    if (e.storedText) guardStoredText(w);
    onCommand(id, [this, w, &e](int code) {
        if (code == EN_CHANGE && !refreshing_) e.text = WindowTextOf(w);
    });
    addRefresher([w, &e] {
        if (WindowTextOf(w) != e.text) SetWindowTextUtf8(w, e.text);
    });
    return w;
}

HWND Form::fileName(HWND parent, FileNameEdit& field, Place place, std::function<void()> browse,
                    std::function<void(const std::string&)> edited) {
    Place editPlace = place;
    editPlace.w -= kBrowseWidth + 4;
    Place buttonPlace = place;
    buttonPlace.x = place.x + place.w - kBrowseWidth;
    buttonPlace.xPct = place.xPct + place.wPct;
    buttonPlace.w = kBrowseWidth;
    buttonPlace.wPct = 0;
    const int id = newId();
    HWND w = add(parent, WC_EDITW, field.fileName, ES_AUTOHSCROLL | WS_TABSTOP, WS_EX_CLIENTEDGE, editPlace,
                 FontKind::Normal, id);
    bind(w, &field);
    if (field.storedText) guardStoredText(w);
    onCommand(id, [this, w, &field, edited = std::move(edited)](int code) {
        if (code != EN_CHANGE || refreshing_ || !field.typing) return;
        if (!edited) {
            field.fileName = WindowTextOf(w);
            return;
        }
        const std::string text = WindowTextOf(w);
        forward([&edited, text] { edited(text); });
    });
    const int browseId = newId();
    HWND b = add(parent, WC_BUTTONW, "...", BS_PUSHBUTTON | WS_TABSTOP, 0, buttonPlace, FontKind::Normal, browseId);
    bind(b, &field);
    hint(b, "Browse for " + Trimmed(field.caption));
    onCommand(browseId, [this, browse = std::move(browse)](int code) {
        if (code == BN_CLICKED) forward(browse);
    });
    if (field.storedText) {
        // A name that came by dialog or drop is not typed: the field's tool
        // tip says what the package cannot store of it.
        auto shown = std::make_shared<std::string>();
        addRefresher([this, w, &field, shown] {
            const std::string refusal = StoredTextRefusal(field.fileName).value_or(std::string());
            if (refusal == *shown) return;
            *shown = refusal;
            setHint(w, refusal);
        });
    }
    addRefresher([w, &field] {
        const bool readOnly = (GetWindowLongW(w, GWL_STYLE) & ES_READONLY) != 0;
        if (readOnly == field.typing) SendMessageW(w, EM_SETREADONLY, field.typing ? FALSE : TRUE, 0);
        if (WindowTextOf(w) != field.fileName) {
            SetWindowTextUtf8(w, field.fileName);
            // The end of a long name is the part that tells files apart.
            const auto n = GetWindowTextLengthW(w);
            SendMessageW(w, EM_SETSEL, static_cast<WPARAM>(n), n);
            SendMessageW(w, EM_SCROLLCARET, 0, 0);
        }
    });
    return w;
}

HWND Form::spin(HWND parent, SpinEdit& se, Place place) {
    const int id = newId();
    HWND w = add(parent, WC_EDITW, se.text, ES_AUTOHSCROLL | WS_TABSTOP, WS_EX_CLIENTEDGE, place, FontKind::Normal, id);
    bind(w, &se);
    const int upDownId = newId();
    HWND ud = CreateWindowExW(0, UPDOWN_CLASSW, L"",
                              WS_CHILD | WS_VISIBLE | UDS_ALIGNRIGHT | UDS_ARROWKEYS | UDS_NOTHOUSANDS | UDS_HOTTRACK, 0,
                              0, 0, 0, parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(upDownId)), Instance(),
                              nullptr);
    SendMessageW(ud, UDM_SETRANGE32, static_cast<WPARAM>(se.min.value_or(INT_MIN + 1)), se.max.value_or(INT_MAX));
    bind(ud, &se);
    // The arrows sit on the field's right edge wherever the layout puts it.
    columnFits_[w] = [w, ud] { SendMessageW(ud, UDM_SETBUDDY, reinterpret_cast<WPARAM>(w), 0); };
    onNotify(upDownId, [this, &se](NMHDR* header) -> LRESULT {
        if (header->code != UDN_DELTAPOS) return 0;
        const int delta = reinterpret_cast<NMUPDOWN*>(header)->iDelta;
        forward([&se, delta] { se.setValue(static_cast<long long>(se.value()) + delta); });
        return TRUE;  // the model has moved the value; the control must not
    });
    // The text goes to the model as typed, also a number beyond the limits
    // for the moment (the up-down control does not write its buddy); the
    // model settles it when the field is left or Enter is pressed.
    auto settle = [this, &se] {
        se.settle();
        if (!acting()) refresh();
    };
    FieldFilter numbers;
    numbers.refuse = RefuseNonNumber;
    numbers.enter = settle;
    filter(w, std::move(numbers));
    onCommand(id, [this, w, &se, settle](int code) {
        if (code == EN_CHANGE && !refreshing_) se.text = WindowTextOf(w);
        if (code == EN_KILLFOCUS) settle();
    });
    addRefresher([w, &se] {
        if (WindowTextOf(w) != se.text) SetWindowTextUtf8(w, se.text);
    });
    return w;
}

HWND Form::grid(HWND parent, PropertyGrid& g, Place place) {
    const int id = newId();
    DWORD style = LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS | LVS_NOSORTHEADER | WS_TABSTOP;
    if (!g.titleRow) style |= LVS_NOCOLUMNHEADER;
    HWND w = add(parent, WC_LISTVIEWW, "", style, WS_EX_CLIENTEDGE, place, FontKind::Normal, id);
    bind(w, &g);
    ListView_SetExtendedListViewStyle(w, LVS_EX_FULLROWSELECT | LVS_EX_DOUBLEBUFFER);
    const std::size_t first = g.titleRow ? 1 : 0;
    for (int c = 0; c < 2; ++c) {
        std::wstring heading = g.titleRow && !g.rows.empty() ? Wide(c == 0 ? g.rows[0].label : g.rows[0].value) : L"";
        LVCOLUMNW col{};
        col.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
        col.pszText = heading.data();
        col.cx = 100;
        col.iSubItem = c;
        SendMessageW(w, LVM_INSERTCOLUMNW, static_cast<WPARAM>(c), reinterpret_cast<LPARAM>(&col));
    }
    for (std::size_t i = first; i < g.rows.size(); ++i) {
        std::wstring text = Wide(g.rows[i].label);
        LVITEMW item{};
        item.mask = LVIF_TEXT;
        item.iItem = static_cast<int>(i - first);
        item.pszText = text.data();
        SendMessageW(w, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item));
        SetListText(w, static_cast<int>(i - first), 1, g.rows[i].value);
    }
    columnFits_[w] = [w] {
        RECT rc;
        GetClientRect(w, &rc);
        const int first = rc.right * 9 / 20;
        ListView_SetColumnWidth(w, 0, first);
        ListView_SetColumnWidth(w, 1, rc.right - first);
    };
    onNotify(id, [this, w, &g](NMHDR* header) -> LRESULT {
        switch (header->code) {
            case NM_DBLCLK:
                beginEdit(w, g, reinterpret_cast<NMITEMACTIVATE*>(header)->iItem);
                return 0;
            case NM_RETURN:
                beginEdit(w, g, ListView_GetNextItem(w, -1, LVNI_SELECTED));
                return 0;
            case LVN_KEYDOWN:
                if (reinterpret_cast<NMLVKEYDOWN*>(header)->wVKey == VK_F2)
                    beginEdit(w, g, ListView_GetNextItem(w, -1, LVNI_SELECTED));
                return 0;
            case NM_CUSTOMDRAW: {
                // Values that cannot be edited are shown greyed.
                auto* draw = reinterpret_cast<NMLVCUSTOMDRAW*>(header);
                if (draw->nmcd.dwDrawStage == CDDS_PREPAINT) return CDRF_NOTIFYITEMDRAW;
                if (draw->nmcd.dwDrawStage == CDDS_ITEMPREPAINT) return CDRF_NOTIFYSUBITEMDRAW;
                if (draw->nmcd.dwDrawStage == (CDDS_ITEMPREPAINT | CDDS_SUBITEM)) {
                    const std::size_t row = static_cast<std::size_t>(draw->nmcd.dwItemSpec) + (g.titleRow ? 1 : 0);
                    const bool grey = draw->iSubItem == 1 && row < g.rows.size() && g.rows[row].readOnly;
                    draw->clrText = GetSysColor(grey ? COLOR_GRAYTEXT : COLOR_WINDOWTEXT);
                    return CDRF_DODEFAULT;
                }
                return CDRF_DODEFAULT;
            }
            default:
                return 0;
        }
    });
    addRefresher([w, &g] {
        const std::size_t first = g.titleRow ? 1 : 0;
        for (std::size_t i = first; i < g.rows.size(); ++i) {
            const int item = static_cast<int>(i - first);
            if (ListText(w, item, 0) != g.rows[i].label) SetListText(w, item, 0, g.rows[i].label);
            if (ListText(w, item, 1) != g.rows[i].value) SetListText(w, item, 1, g.rows[i].value);
        }
    });
    return w;
}

void Form::beginEdit(HWND list, PropertyGrid& g, int item) {
    endEdit(true);
    if (item < 0) return;
    const std::size_t row = static_cast<std::size_t>(item) + (g.titleRow ? 1 : 0);
    if (row >= g.rows.size() || g.rows[row].readOnly) return;
    ListView_EnsureVisible(list, item, FALSE);
    RECT rc{};
    rc.top = 1;
    rc.left = LVIR_BOUNDS;
    SendMessageW(list, LVM_GETSUBITEMRECT, static_cast<WPARAM>(item), reinterpret_cast<LPARAM>(&rc));
    HWND editor = CreateWindowExW(0, WC_EDITW, Wide(g.rows[row].value).c_str(),
                                  WS_CHILD | WS_VISIBLE | WS_BORDER | ES_AUTOHSCROLL, rc.left, rc.top - 1,
                                  rc.right - rc.left, rc.bottom - rc.top + 2, list, nullptr, Instance(), nullptr);
    SendMessageW(editor, WM_SETFONT, reinterpret_cast<WPARAM>(font(FontKind::Normal)), FALSE);
    editor_ = std::make_unique<GridEditor>(GridEditor{editor, list, &g, row});
    SetWindowSubclass(editor, EditorProc, 1, reinterpret_cast<DWORD_PTR>(this));
    if (g.storedText) guardStoredText(editor);
    SendMessageW(editor, EM_SETSEL, 0, -1);
    SetFocus(editor);
}

void Form::endEdit(bool commit) {
    if (!editor_) return;
    std::unique_ptr<GridEditor> e = std::move(editor_);
    if (commit && e->row < e->grid->rows.size()) e->grid->value(e->row) = WindowTextOf(e->editor);
    const bool hadFocus = GetFocus() == e->editor;
    DestroyWindow(e->editor);
    if (hadFocus) SetFocus(e->list);
    refresh();
}

LRESULT CALLBACK Form::EditorProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR id, DWORD_PTR data) {
    return Guarded([&] { return reinterpret_cast<Form*>(data)->editorMessage(hwnd, msg, wp, lp, id); });
}

LRESULT Form::editorMessage(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR id) {
    switch (msg) {
        case WM_GETDLGCODE:
            return DLGC_WANTALLKEYS;
        case WM_KEYDOWN:
            if (wp == VK_RETURN || wp == VK_ESCAPE || wp == VK_TAB) {
                endEdit(wp != VK_ESCAPE);
                return 0;
            }
            break;
        case WM_CHAR:
            if (wp == L'\r' || wp == 27 || wp == L'\t') return 0;
            break;
        case WM_KILLFOCUS:
            if (editor_ && editor_->editor == hwnd) {
                DefSubclassProc(hwnd, msg, wp, lp);
                endEdit(true);
                return 0;
            }
            break;
        case WM_NCDESTROY:
            RemoveWindowSubclass(hwnd, EditorProc, id);
            break;
        default:
            break;
    }
    return DefSubclassProc(hwnd, msg, wp, lp);
}

HWND Form::trackBar(HWND parent, TrackBar& tb, Place place) {
    HWND w = add(parent, TRACKBAR_CLASSW, "", TBS_AUTOTICKS | TBS_HORZ | TBS_BOTTOM | WS_TABSTOP, 0, place);
    bind(w, &tb);
    SendMessageW(w, TBM_SETRANGEMIN, FALSE, tb.min);
    SendMessageW(w, TBM_SETRANGEMAX, FALSE, tb.max);
    SendMessageW(w, TBM_SETPAGESIZE, 0, 1);
    SendMessageW(w, TBM_SETPOS, TRUE, tb.position);
    scrolls_[w] = [this, w, &tb] {
        if (!refreshing_) tb.setPosition(static_cast<int>(SendMessageW(w, TBM_GETPOS, 0, 0)));
    };
    addRefresher([w, &tb] {
        if (SendMessageW(w, TBM_GETPOS, 0, 0) != tb.position) SendMessageW(w, TBM_SETPOS, TRUE, tb.position);
    });
    return w;
}

HWND Form::richText(HWND parent, RichText& text, Place place) {
    HWND w = add(parent, MSFTEDIT_CLASS, "", ES_MULTILINE | ES_READONLY | WS_VSCROLL | ES_AUTOVSCROLL | WS_TABSTOP,
                 0, place);
    if (!w) return nullptr;
    bind(w, &text);
    SendMessageW(w, EM_SETBKGNDCOLOR, 0, static_cast<LPARAM>(GetSysColor(COLOR_WINDOW)));
    auto shown = std::make_shared<std::string>();
    addRefresher([w, shown, &text] {
        if (*shown == text.rtf) return;
        *shown = text.rtf;
        if (shown->empty()) {
            SetWindowTextW(w, L"");
            return;
        }
        RtfSource source{shown.get(), 0};
        EDITSTREAM stream{};
        stream.dwCookie = reinterpret_cast<DWORD_PTR>(&source);
        stream.pfnCallback = ReadRtf;
        SendMessageW(w, EM_STREAMIN, SF_RTF, reinterpret_cast<LPARAM>(&stream));
        SendMessageW(w, EM_SETSEL, 0, 0);
        SendMessageW(w, EM_SCROLLCARET, 0, 0);
    });
    return w;
}

void Form::layout(HWND parent) {
    RECT rc;
    GetClientRect(parent, &rc);
    const int W = MulDiv(rc.right, 96, static_cast<int>(dpi_));
    const int H = MulDiv(rc.bottom, 96, static_cast<int>(dpi_));
    for (const Item& item : items_) {
        if (item.parent != parent) continue;
        const Place& p = item.place;
        const int left = p.x + W * p.xPct / 100;
        const int width = p.w + W * p.wPct / 100;
        const int top = p.fromBottom ? H - p.y : p.y + H * p.yPct / 100;
        const int height = p.fillY ? H - top - p.h : p.h;
        SetWindowPos(item.window, nullptr, px(left), px(top), px(std::max(width, 0)), px(std::max(height, 0)),
                     SWP_NOZORDER | SWP_NOACTIVATE);
        if (auto fit = columnFits_.find(item.window); fit != columnFits_.end()) fit->second();
    }
    if (auto own = panelLayouts_.find(parent); own != panelLayouts_.end()) own->second(W, H);
    for (const Item& item : items_)
        if (item.parent == parent && GetWindowLongPtrW(item.window, GWLP_WNDPROC) == reinterpret_cast<LONG_PTR>(PanelProc))
            layout(item.window);
}

void Form::layoutAll() {
    if (hwnd_) layout(hwnd_);
}

void Form::refresh() {
    if (refreshing_ || !hwnd_) return;
    refreshing_ = true;
    for (const auto& r : refreshers_) r();
    for (const Binding& b : bindings_) {
        bool visible = true;
        for (const Control* c : b.shownBy) visible = visible && c->visible;
        const bool shown = (GetWindowLongW(b.window, GWL_STYLE) & WS_VISIBLE) != 0;
        if (shown != visible) ShowWindow(b.window, visible ? SW_SHOWNA : SW_HIDE);
        if (b.enabledBy) {
            const bool enabled = IsWindowEnabled(b.window) != FALSE;
            if (enabled != b.enabledBy->enabled) EnableWindow(b.window, b.enabledBy->enabled);
        }
    }
    refreshing_ = false;
}

void Form::forward(const std::function<void()>& action, bool cancellable) {
    if (acting_) return;
    acting_ = true;
    cancellable_ = cancellable;
    run_(action);
    acting_ = false;
    cancellable_ = false;
    cancelAsked_ = false;
    refresh();
    if (closeRequested_ && hwnd_) {
        // The close that came while the action ran.
        closeRequested_ = false;
        PostMessageW(hwnd_, WM_CLOSE, 0, 0);
    }
}

void Form::runModalLoop(HWND owner, const bool& done) {
    if (owner) EnableWindow(owner, FALSE);
    ShowWindow(hwnd_, SW_SHOW);
    SetForegroundWindow(hwnd_);
    MSG msg;
    while (!done && hwnd_) {
        const BOOL r = GetMessageW(&msg, nullptr, 0, 0);
        if (r == 0) {
            PostQuitMessage(static_cast<int>(msg.wParam));  // for the main loop
            break;
        }
        if (r == -1) break;
        if (translate(msg)) continue;
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    if (owner) EnableWindow(owner, TRUE);
    if (hwnd_) ShowWindow(hwnd_, SW_HIDE);
    if (owner) {
        SetActiveWindow(owner);
        // What the form covered shows again at once, also while the action
        // that opened it goes on.
        RedrawWindow(owner, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    }
}

bool Form::translate(MSG& msg) {
    if (!hwnd_ || !IsWindowVisible(hwnd_)) return false;
    if (msg.hwnd != hwnd_ && !IsChild(hwnd_, msg.hwnd)) return false;
    return IsDialogMessageW(hwnd_, &msg) != FALSE;
}

LRESULT Form::handle(UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
        case WM_COMMAND: {
            const auto it = commands_.find(LOWORD(wp));
            if (it != commands_.end()) {
                const auto handler = it->second;  // the handler may add commands
                handler(HIWORD(wp));
            }
            return 0;
        }
        case WM_NOTIFY: {
            auto* header = reinterpret_cast<NMHDR*>(lp);
            const auto it = notifies_.find(static_cast<int>(header->idFrom));
            if (it != notifies_.end()) return it->second(header);
            return 0;
        }
        case WM_HSCROLL:
        case WM_VSCROLL: {
            const auto it = scrolls_.find(reinterpret_cast<HWND>(lp));
            if (it != scrolls_.end()) it->second();
            return 0;
        }
        case WM_CTLCOLORSTATIC:
        case WM_CTLCOLORBTN: {
            // Labels and buttons take the colour of the panel they are on.
            auto* dc = reinterpret_cast<HDC>(wp);
            HWND control = reinterpret_cast<HWND>(lp);
            auto brush = reinterpret_cast<HBRUSH>(GetClassLongPtrW(GetParent(control), GCLP_HBRBACKGROUND));
            if (!brush) brush = GetSysColorBrush(COLOR_BTNFACE);
            SetBkMode(dc, TRANSPARENT);
            LOGBRUSH lb{};
            GetObjectW(brush, sizeof lb, &lb);
            SetBkColor(dc, lb.lbColor);
            return reinterpret_cast<LRESULT>(brush);
        }
        case WM_SIZE:
            layoutAll();
            return 0;
        case WM_NCDESTROY: {
            HWND self = hwnd_;
            hwnd_ = nullptr;
            SetWindowLongPtrW(self, GWLP_USERDATA, 0);
            return DefWindowProcW(self, msg, wp, lp);
        }
        case WM_DPICHANGED: {
            dpi_ = HIWORD(wp);
            makeFonts();
            applyFonts();
            const RECT* suggested = reinterpret_cast<RECT*>(lp);
            SetWindowPos(hwnd_, nullptr, suggested->left, suggested->top, suggested->right - suggested->left,
                         suggested->bottom - suggested->top, SWP_NOZORDER | SWP_NOACTIVATE);
            layoutAll();
            return 0;
        }
        default:
            return DefWindowProcW(hwnd_, msg, wp, lp);
    }
}

}  // namespace vs::win32
