#pragma once
// The controls of the generator's windows as plain objects: what the logic
// reads and writes of each (checked, text, value, visible, enabled, limits).
// A view shows them and forwards the user's actions; the logic never sees a
// widget.
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "exe/icon.h"
#include "shape/bitmap.h"

namespace vs {

struct Control {
    explicit Control(std::string objectName, std::string caption = {}, std::string hint = {})
        : name(std::move(objectName)), caption(std::move(caption)), hint(std::move(hint)) {}
    std::string name;     // the object name of the widget that shows it
    std::string caption;  // its text as the window shows it
    std::string hint;
    bool visible = true;
    bool enabled = true;
};

struct Panel : Control {
    using Control::Control;
};

struct Button : Control {
    using Control::Control;
};

// Changing a check box runs its click handler.
struct CheckBox : Control {
    CheckBox(std::string name, std::string caption, bool checked = false)
        : Control(std::move(name), std::move(caption)), checked_(checked) {}
    bool checked() const { return checked_; }
    void setChecked(bool on) {
        if (on == checked_) return;
        checked_ = on;
        if (onClick) onClick();
    }
    std::function<void()> onClick;

private:
    bool checked_;
};

struct RadioGroup;

// Checking a radio button unchecks the others of its group and runs its click
// handler; checking one that is checked already, or unchecking one, does
// nothing else.
struct RadioButton : Control {
    RadioButton(std::string name, std::string caption, RadioGroup& group, bool checked = false);
    bool checked() const { return checked_; }
    void setChecked(bool on);
    std::function<void()> onClick;

private:
    RadioGroup& group_;
    bool checked_;
};

struct RadioGroup {
    std::vector<RadioButton*> buttons;
};

// What a field whose text goes into a package or a project file says when
// the text holds a character that those cannot store (they hold Windows-1252
// text): the first such character and why it is refused; nothing when the
// whole text can be stored.
std::optional<std::string> StoredTextRefusal(std::string_view text);

struct Edit : Control {
    Edit(std::string name, std::string label = {}, std::string text = {})
        : Control(std::move(name), std::move(label)), text(std::move(text)) {}
    std::string text;
    bool storedText = false;  // its text goes into the package: see StoredTextRefusal
};

// A file-name field with a browse button; `dialog` is how its dialog looks.
struct FileNameEdit : Control {
    FileNameEdit(std::string name, std::string label = {}) : Control(std::move(name), std::move(label)) {}
    std::string fileName;
    bool typing = true;  // whether the user may type the name
    bool storedText = false;  // the name goes into the package or a project
    bool save = false;   // a save dialog rather than an open one
    struct Dialog {
        std::string title, filter, defaultExtension;
        bool overwritePrompt = false;
    } dialog;
};

// A spin field: its value is its text read as an integer, or the lower limit
// (0 without one) when the text is not an integer; values are clamped to
// the limits. The text is kept as typed until the field settles: when it
// loses the focus and before the controls are mapped.
struct SpinEdit : Control {
    SpinEdit(std::string name, std::string label, int value, std::optional<int> min = {}, std::optional<int> max = {});
    std::optional<int> min, max;
    std::string text;
    int value() const { return valueOf(text); }
    // The value that a text gives in this field.
    int valueOf(std::string_view text) const;
    void setValue(long long v);
    int clamp(long long v) const;
    // The text becomes the value it gives ("20" in 55 to 5000 becomes "55",
    // an empty text the lower limit).
    void settle() { setValue(value()); }
};

struct TrackBar : Control {
    TrackBar(std::string name, std::string label, int min, int max, int position)
        : Control(std::move(name), std::move(label)), min(min), max(max), position(position) {}
    int min, max, position;
    void setPosition(int p) { position = p < min ? min : (p > max ? max : p); }
};

// A two-column grid: labels in column 0, values in column 1; a title row, when
// there is one, is row 0 and holds the headings.
struct PropertyGrid : Control {
    struct Row {
        std::string label, value;
        bool readOnly = false;
    };
    explicit PropertyGrid(std::string name) : Control(std::move(name)) {}
    std::vector<Row> rows;
    bool titleRow = false;
    bool storedText = false;  // its values go into the package
    std::string& value(std::size_t row) { return rows.at(row).value; }
    const std::string& value(std::size_t row) const { return rows.at(row).value; }
};

// The report-style list of additional files.
struct FileListView : Control {
    struct Item {
        std::string caption;   // the file name without folder
        std::string folder;    // sub-item 0: the folder with its trailing separator
        std::string fullPath;  // sub-item 1: the full name
        int imageIndex = -1;
        bool selected = false;
    };
    explicit FileListView(std::string name) : Control(std::move(name)) {}
    std::vector<Item> items;
};

// Icons are appended only; an index, once given, keeps its icon.
struct ImageList {
    std::vector<std::optional<TIcon>> icons;
    int add(std::optional<TIcon> icon) {
        icons.push_back(std::move(icon));
        return static_cast<int>(icons.size()) - 1;
    }
};

// The 32 x 32 icon preview (the icon keeps the bytes of the icon file it
// was read from, when it was read from one).
struct IconImage : Control {
    explicit IconImage(std::string name) : Control(std::move(name)) {}
    TIcon icon;
};

// A picture control of the shape window.
struct PictureImage : Control {
    explicit PictureImage(std::string name) : Control(std::move(name)) {}
    std::optional<TBitmap> picture;
};

// A rich-text view filled from a document; empty when it could not be loaded.
struct RichText : Control {
    using Control::Control;
    std::string rtf;
};

struct ColorSwatch : Control {
    using Control::Control;
    Colour color = 0;
};

struct ProgressBar : Control {
    using Control::Control;
    int position = 0, maximum = 100;
};

// Pages whose tabs are never shown, brought to the front by their buttons.
struct PageControl : Control {
    PageControl(std::string name, std::vector<std::string> pages)
        : Control(std::move(name)), pages(std::move(pages)) {}
    std::vector<std::string> pages;
    int active = 0;
    const std::string& activePage() const { return pages.at(static_cast<std::size_t>(active)); }
    void show(const std::string& page);
    int indexOf(const std::string& page) const;
};

// Buttons of which one is down: pressing one releases the others.
struct ButtonGroup {
    std::vector<Button*> buttons;
    Button* down = nullptr;
};

struct MenuItem : Control {
    using Control::Control;
};

}  // namespace vs
