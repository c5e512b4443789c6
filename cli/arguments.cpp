#include "cli/arguments.h"

#include <charconv>

#include "package/vexel_projector.h"
#include "platform/errors.h"

namespace vs::cli {

std::array<int, 4> ParseVersionNumbers(const std::string& text) {
    std::array<int, 4> numbers{0, 0, 0, 0};
    std::size_t part = 0, at = 0;
    while (true) {
        const std::size_t end = text.find('.', at);
        const std::string piece = text.substr(at, end == std::string::npos ? std::string::npos : end - at);
        int value = -1;
        auto [p, ec] = std::from_chars(piece.data(), piece.data() + piece.size(), value);
        if (part >= 4 || piece.empty() || ec != std::errc() || p != piece.data() + piece.size() || value < 0 ||
            value > 65535)
            throw VsError("--version wants up to four numbers from 0 to 65535 joined by dots "
                          "(MAJOR.MINOR.RELEASE.BUILD), not \"" + text + "\"");
        numbers[part++] = value;
        if (end == std::string::npos) break;
        at = end + 1;
    }
    return numbers;
}

std::optional<Colour> ParseColour(std::string text) {
    if (!text.empty() && text[0] == '#') text.erase(0, 1);
    if (text.size() != 6) return std::nullopt;
    Colour c = 0;
    for (char ch : text) {
        int digit;
        if (ch >= '0' && ch <= '9') digit = ch - '0';
        else if (ch >= 'a' && ch <= 'f') digit = ch - 'a' + 10;
        else if (ch >= 'A' && ch <= 'F') digit = ch - 'A' + 10;
        else return std::nullopt;
        c = c * 16 + static_cast<Colour>(digit);
    }
    return c;
}

std::pair<std::string, std::string> ParseAssignment(const std::string& text) {
    const std::size_t eq = text.find('=');
    if (eq == std::string::npos || eq == 0)
        throw VsError("--set wants Property=Value with a property of the settings (StayOnTop=True, "
                      "BorderStyle=spbNone, WindowX=10, CaptionText=...), not \"" + text + "\"");
    return {text.substr(0, eq), text.substr(eq + 1)};
}

namespace {

const PropInfo& SettableProperty(const std::string& name) {
    const PropInfo* p = s_TVexelProjector::StaticClassInfo().findProp(name);
    if (!p || !(p->kind == PropKind::Integer || p->kind == PropKind::Enumeration || p->kind == PropKind::String) ||
        !p->writable() || p->name == "Name")
        throw VsError("--set: \"" + name + "\" is not a Boolean, enumeration, integer or string property of the settings");
    return *p;
}

std::int64_t OrdinalOf(const PropInfo& p, const std::string& value) {
    if (p.kind == PropKind::Enumeration) {
        if (std::optional<int> v = p.enumType->find(value)) return *v;
        std::string spellings;
        for (const std::string& id : p.enumType->idents) spellings += (spellings.empty() ? "" : ", ") + id;
        throw VsError("--set " + p.name + " takes one of " + spellings + ", not \"" + value + "\"");
    }
    long long v = 0;
    auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), v);
    if (value.empty() || ec != std::errc() || end != value.data() + value.size() || v < INT32_MIN || v > INT32_MAX)
        throw VsError("--set " + p.name + " takes an integer, not \"" + value + "\"");
    return v;
}

}  // namespace

void CheckSettingsAssignments(const std::vector<std::pair<std::string, std::string>>& assignments) {
    for (const auto& [name, value] : assignments) {
        const PropInfo& p = SettableProperty(name);
        if (p.kind != PropKind::String) OrdinalOf(p, value);
    }
}

void ApplySettingsAssignments(s_TVexelProjector& settings,
                              const std::vector<std::pair<std::string, std::string>>& assignments) {
    for (const auto& [name, value] : assignments) {
        const PropInfo& p = SettableProperty(name);
        if (p.kind == PropKind::String)
            p.setStr(settings, value);
        else
            p.setOrd(settings, OrdinalOf(p, value));
    }
}

}  // namespace vs::cli
