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

#include <functional>
#include <map>
#include <memory>
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
    // dropped.
    void forward(const std::function<void()>& action);
    bool acting() const { return acting_; }
    // Keyboard navigation (tab, arrows, mnemonics) for a message of this window.
    bool translate(MSG& msg);

    static void RegisterClasses(HINSTANCE instance);

protected:
    explicit Form(std::function<void(const std::function<void()>&)> run);

    // Shows the form over a disabled owner and runs its messages until `done`.
    void runModalLoop(HWND owner, const bool& done);

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
    HWND button(HWND parent, Button& b, Place place, std::function<void()> click, bool hintAsText = false,
                DWORD extraStyle = 0);
    HWND pageButton(HWND parent, Button& b, ButtonGroup& group, Place place, std::function<void()> click);
    HWND radio(HWND parent, RadioButton& rb, Place place, bool firstOfGroup = false);
    HWND check(HWND parent, CheckBox& cb, Place place);
    HWND edit(HWND parent, Edit& e, Place place);
    // A file-name field and its browse button ("..."); the field takes typing
    // only when the model lets it.
    HWND fileName(HWND parent, FileNameEdit& field, Place place, std::function<void()> browse);
    HWND spin(HWND parent, SpinEdit& se, Place place);
    HWND grid(HWND parent, PropertyGrid& g, Place place);
    HWND trackBar(HWND parent, TrackBar& tb, Place place);
    HWND richText(HWND parent, RichText& text, Place place);
    // A tool tip for a control.
    void hint(HWND control, const std::string& text);

    // Binds the visibility and enabling of a window to model controls.
    void bind(HWND window, const Control* control, bool followEnabled = true);
    int newId() { return nextId_++; }
    void onCommand(int id, std::function<void(int code)> handler) { commands_[id] = std::move(handler); }
    void onNotify(int id, std::function<LRESULT(NMHDR*)> handler) { notifies_[id] = std::move(handler); }
    void addRefresher(std::function<void()> r) { refreshers_.push_back(std::move(r)); }

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

    void beginEdit(HWND list, PropertyGrid& g, int item);
    void endEdit(bool commit);
    static LRESULT CALLBACK EditorProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR id, DWORD_PTR data);
    static LRESULT CALLBACK PanelProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
    void makeFonts();

    std::function<void(const std::function<void()>&)> run_;
    bool acting_ = false;
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
    std::unique_ptr<GridEditor> editor_;
};

// A caption with a mnemonic: "&" before the first letter that no other
// control of the window has taken yet (none when every letter is taken).
std::wstring WithMnemonic(const std::wstring& caption, std::set<wchar_t>* taken);

}  // namespace vs::win32
