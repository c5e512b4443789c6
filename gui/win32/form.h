#pragma once
// A window built from code over model controls: panels (child windows that
// hold controls, one per page or bar), a layout in 96-dpi units with anchors
// that is scaled to the monitor's resolution, and one small binder per kind
// of control. A binder creates the control with the model's caption,
// forwards the user's action to the model and registers what refresh()
// copies back; refresh() runs after every action, so the window always shows
// the model.
#include <windows.h>

#include <commctrl.h>

#include <exception>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "app/controls.h"

namespace vs::win32 {

// Where a control goes, in 96-dpi units inside its panel of width W and
// height H: left = x + W * xPct / 100, width = w + W * wPct / 100; the top is
// y + H * yPct / 100, or H - y when fromBottom; the height is h, or H - top - h when fillY.
struct Place {
    int x = 0, y = 0, w = 0, h = 0;
    int xPct = 0, wPct = 0;
    int yPct = 0;
    bool fillY = false;
    bool fromBottom = false;
};

enum class FontKind { Normal, Bold, Title, Heading };

class Form {
public:
    virtual ~Form();
    Form(const Form&) = delete;
    Form& operator=(const Form&) = delete;

    HWND hwnd() const { return hwnd_; }
    // Copies the whole model into the controls.
    void refresh();
    // Runs a user action through `run` and shows the result. An action that
    // arrives while another runs (messages let through during a build) is
    // dropped. A close asked for while an action runs closes the window
    // after it; a `cancellable` action (a build, a preview) is given up at
    // once (see cancelRequested).
    void forward(const std::function<void()>& action, bool cancellable = false);
    bool acting() const { return acting_; }
    // Whether the action that runs is to be given up: it is cancellable and
    // the user asked to close the window meanwhile.
    bool cancelRequested() const { return cancellable_ && (closeRequested_ || cancelAsked_); }
    // Gives the running cancellable action up as a close would, leaving the
    // window open (the busy page's Cancel, the end of the session).
    void requestCancel() { cancelAsked_ = acting_ && cancellable_; }
    // Keyboard navigation (tab, arrows, mnemonics) for a message of this window.
    bool translate(MSG& msg);

    static void RegisterClasses(HINSTANCE instance);

protected:
    explicit Form(std::function<void(const std::function<void()>&)> run);

    // Registers, once, a frame class whose window procedure is Form's, with
    // the program's icon when `withIcon`.
    static void RegisterFrameClass(const wchar_t* name, bool withIcon);

    // Shows the form over a disabled owner and runs its messages until `done`.
    void runModalLoop(HWND owner, const bool& done);
    // Runs a piece of work through `run` (failures are reported), without
    // the bookkeeping of a user action.
    void run(const std::function<void()>& work) { run_(work); }

    // The window procedure of the form; the default handles commands,
    // notifications, colours, layout and the resolution.
    virtual LRESULT handle(UINT msg, WPARAM wp, LPARAM lp);
    static LRESULT CALLBACK FormProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
    // Creates the top-level window of the form (class registered by RegisterClasses).
    HWND createFrame(const wchar_t* className, const std::string& title, DWORD style, DWORD exStyle, HWND owner,
                     int width96, int height96);

    // A panel: a child window that holds controls; `page` panels have the
    // window colour, bars the face colour.
    HWND panel(HWND parent, bool page, Place place);

    // Controls. Each is placed in `parent` and shown only while every control
    // of `shownBy` (the enclosing model panels) is visible.
    HWND add(HWND parent, const wchar_t* cls, const std::string& text, DWORD style, DWORD exStyle, Place place,
             FontKind font = FontKind::Normal, int id = 0);
    HWND label(HWND parent, const std::string& text, Place place, FontKind font = FontKind::Normal, bool mnemonic = false);
    HWND groupBox(HWND parent, const std::string& text, Place place, const Control* control = nullptr);
    // A `cancellable` button starts an action that a close of the window gives up.
    HWND button(HWND parent, Button& b, Place place, std::function<void()> click, bool hintAsText = false,
                DWORD extraStyle = 0, bool cancellable = false);
    // A button of a page bar. It shows pushed only while it is the
    // group's chosen one and `current` (its page is the one shown) holds, so
    // that of two bars only the button of the page in view looks chosen.
    HWND pageButton(HWND parent, Button& b, ButtonGroup& group, Place place, std::function<void()> click,
                    std::function<bool()> current = {});
    HWND radio(HWND parent, RadioButton& rb, Place place, bool firstOfGroup = false);
    HWND check(HWND parent, CheckBox& cb, Place place);
    // A field whose text is stored (Edit::storedText) refuses a character
    // the package cannot hold, as it is typed or pasted, and says why.
    HWND edit(HWND parent, Edit& e, Place place);
    // A file-name field and its browse button ("..."); the field takes typing
    // only when the model lets it. A stored name that came by dialog or drop
    // is taken as it is; the field's tool tip says what cannot be stored.
    // `edited`, when given, takes every typed change instead of the field
    // (so that the controls that depend on it follow at each key).
    HWND fileName(HWND parent, FileNameEdit& field, Place place, std::function<void()> browse,
                  std::function<void(const std::string&)> edited = {});
    // A spin field takes what is typed (digits, signs, blanks) and hands it
    // to the model as it is; the model settles it into a value within the
    // limits when the field is left or Enter is pressed.
    HWND spin(HWND parent, SpinEdit& se, Place place);
    HWND grid(HWND parent, PropertyGrid& g, Place place);
    HWND trackBar(HWND parent, TrackBar& tb, Place place);
    HWND richText(HWND parent, RichText& text, Place place);
    // A tool tip for a control.
    void hint(HWND control, const std::string& text);
    // Replaces the tool tip of a control; an empty text removes it.
    void setHint(HWND control, const std::string& text);
    // A hint below a field that says why the field refused what was typed;
    // it goes after a while, or when the field is left or takes a key.
    void showRefusal(HWND field, const std::string& text);
    void hideRefusal(HWND field);

    // Binds the visibility and enabling of a window to model controls.
    void bind(HWND window, const Control* control, bool followEnabled = true);
    int newId() { return nextId_++; }
    void onCommand(int id, std::function<void(int code)> handler) { commands_[id] = std::move(handler); }
    void onNotify(int id, std::function<LRESULT(NMHDR*)> handler) { notifies_[id] = std::move(handler); }
    void addRefresher(std::function<void()> r) { refreshers_.push_back(std::move(r)); }
    // A layout of its own for the controls of `panel`, run after their
    // places have been applied, with the panel's size in 96-dpi units.
    void onLayout(HWND panel, std::function<void(int width, int height)> layout) {
        panelLayouts_[panel] = std::move(layout);
    }
    // Puts a control at a place in 96-dpi units of its parent.
    void placeControl(HWND w, int x, int y, int width, int height) const {
        SetWindowPos(w, nullptr, px(x), px(y), px(std::max(width, 0)), px(std::max(height, 0)), SWP_NOZORDER | SWP_NOACTIVATE);
    }

    // The model panels enclosing the controls being made.
    std::vector<const Control*> shownBy_;
    // Mnemonic letters taken in the window being filled.
    std::set<wchar_t>* mnemonics_ = nullptr;
    std::set<wchar_t> barMnemonics_;

    void layout(HWND panel);
    void layoutAll();
    void applyFonts();
    HFONT font(FontKind kind) const;
    UINT dpi() const { return dpi_; }
    int px(int v) const;

    HWND hwnd_ = nullptr;
    bool refreshing_ = false;
    // The user asked to close the window while an action ran.
    bool closeRequested_ = false;

private:
    struct Item {
        HWND window;
        HWND parent;
        Place place;
        FontKind font;
    };
    struct Binding {
        HWND window;
        std::vector<const Control*> shownBy;
        const Control* enabledBy;
    };
    struct GridEditor;
    // What a field refuses of a typed or pasted text, and what Enter does in it.
    struct FieldFilter {
        Form* form = nullptr;
        // The refusal of an inserted text: the hint to show (empty for a
        // quiet refusal), or nothing when the text is taken.
        std::function<std::optional<std::string>(const std::string& inserted)> refuse;
        std::function<void()> enter;
        wchar_t highSurrogate = 0;  // the first half of a character typed in two
    };

    // Subclasses an edit control with a filter; the filter lives as long as the control.
    void filter(HWND edit, FieldFilter filter);
    void guardStoredText(HWND edit);
    static LRESULT CALLBACK FieldProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR id, DWORD_PTR data);
    static LRESULT CALLBACK HintProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);

    void beginEdit(HWND list, PropertyGrid& g, int item);
    void endEdit(bool commit);
    static LRESULT CALLBACK EditorProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR id, DWORD_PTR data);
    LRESULT editorMessage(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR id);
    static LRESULT CALLBACK PanelProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
    void makeFonts();

    std::function<void(const std::function<void()>&)> run_;
    bool acting_ = false;
    bool cancellable_ = false;
    bool cancelAsked_ = false;
    HWND refusalHint_ = nullptr;
    HWND refusalFor_ = nullptr;
    UINT dpi_ = 96;
    HFONT fonts_[4] = {};
    HWND tooltip_ = nullptr;
    int nextId_ = 1000;
    std::vector<Item> items_;
    std::vector<Binding> bindings_;
    std::map<int, std::function<void(int)>> commands_;
    std::map<int, std::function<LRESULT(NMHDR*)>> notifies_;
    std::map<HWND, std::function<void()>> scrolls_;
    std::vector<std::function<void()>> refreshers_;
    std::map<HWND, std::function<void()>> columnFits_;
    std::map<HWND, std::function<void(int, int)>> panelLayouts_;
    std::unique_ptr<GridEditor> editor_;
};

// A caption with a mnemonic: "&" before the first letter that no other
// control of the window has taken yet (none when every letter is taken).
std::wstring WithMnemonic(const std::wstring& caption, std::set<wchar_t>* taken);

// Shows a failure that escaped a handler as the general error report: a
// stop-icon message box titled "VexelSCREEN Generator" with the failure's
// text and a full stop. A cancelled operation is not reported.
void ReportFailure(const std::exception& failure);

// Runs the part of a window procedure that may fail; a failure is reported
// and the message counts as handled (0).
template <class Work>
LRESULT Guarded(Work&& work) {
    try {
        return work();
    } catch (const std::exception& failure) {
        ReportFailure(failure);
        return 0;
    }
}

}  // namespace vs::win32
