#include "app/controls.h"

#include <charconv>
#include <climits>

#include "platform/cp1252.h"
#include "platform/errors.h"

namespace vs {

std::optional<std::string> StoredTextRefusal(std::string_view text) {
    if (std::optional<std::string> character = FirstCharacterNotInCp1252(text)) return NotInCp1252Text(*character);
    return std::nullopt;
}

RadioButton::RadioButton(std::string name, std::string caption, RadioGroup& group, bool checked)
    : Control(std::move(name), std::move(caption)), group_(group), checked_(checked) {
    group_.buttons.push_back(this);
}

void RadioButton::setChecked(bool on) {
    if (on == checked_) return;
    checked_ = on;
    if (!on) return;
    for (RadioButton* other : group_.buttons)
        if (other != this) other->checked_ = false;
    if (onClick) onClick();
}

SpinEdit::SpinEdit(std::string name, std::string label, int value, std::optional<int> min, std::optional<int> max)
    : Control(std::move(name), std::move(label)), min(min), max(max) {
    setValue(value);
}

int SpinEdit::clamp(long long v) const {
    if (min && v < *min) return *min;
    if (max && v > *max) return *max;
    if (v < INT_MIN) return INT_MIN;
    if (v > INT_MAX) return INT_MAX;
    return static_cast<int>(v);
}

int SpinEdit::valueOf(std::string_view text) const {
    // Leading and trailing blanks are allowed, as a typed number may carry them.
    std::size_t b = text.find_first_not_of(' '), e = text.find_last_not_of(' ');
    if (b == std::string::npos) return min.value_or(0);
    const char* first = text.data() + b;
    const char* last = text.data() + e + 1;
    if (*first == '+') ++first;
    long long v = 0;
    auto [end, ec] = std::from_chars(first, last, v);
    if (ec != std::errc() || end != last || v < INT_MIN || v > INT_MAX) return min.value_or(0);
    return clamp(v);
}

void SpinEdit::setValue(long long v) { text = std::to_string(clamp(v)); }

int PageControl::indexOf(const std::string& page) const {
    for (std::size_t i = 0; i < pages.size(); ++i)
        if (pages[i] == page) return static_cast<int>(i);
    return -1;
}

void PageControl::show(const std::string& page) {
    const int i = indexOf(page);
    if (i < 0) throw VsError("No page " + page);
    active = i;
}

}  // namespace vs
