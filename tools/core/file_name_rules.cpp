#include "file_name_rules.h"

#include <array>

#include "platform/ascii.h"

namespace vs::engine {

namespace {

bool validUtf8(std::string_view s) {
    for (std::size_t i = 0; i < s.size();) {
        auto c = static_cast<unsigned char>(s[i]);
        std::size_t extra;
        char32_t cp;
        if (c < 0x80) extra = 0, cp = c;
        else if (c >= 0xC2 && c < 0xE0) extra = 1, cp = c & 0x1F;
        else if (c >= 0xE0 && c < 0xF0) extra = 2, cp = c & 0x0F;
        else if (c >= 0xF0 && c < 0xF5) extra = 3, cp = c & 0x07;
        else return false;
        if (extra > s.size() - i - 1) return false;
        for (std::size_t k = 1; k <= extra; ++k) {
            auto d = static_cast<unsigned char>(s[i + k]);
            if ((d & 0xC0) != 0x80) return false;
            cp = (cp << 6) | (d & 0x3F);
        }
        if ((extra == 2 && cp < 0x800) || (extra == 3 && (cp < 0x10000 || cp > 0x10FFFF)) ||
            (cp >= 0xD800 && cp <= 0xDFFF))
            return false;
        i += extra + 1;
    }
    return true;
}

}  // namespace

bool IsDeviceName(std::string_view name) {
    std::string_view stem = name.substr(0, name.find('.'));
    while (!stem.empty() && stem.back() == ' ') stem.remove_suffix(1);
    static constexpr std::array<std::string_view, 6> fixed = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"};
    for (std::string_view f : fixed)
        if (SameText(stem, f)) return true;
    if (stem.size() < 4 || !(SameText(stem.substr(0, 3), "COM") || SameText(stem.substr(0, 3), "LPT"))) return false;
    std::string_view number = stem.substr(3);
    // A digit, or a superscript one, two or three (UTF-8), names a port.
    return (number.size() == 1 && number[0] >= '0' && number[0] <= '9') || number == "\xC2\xB9" ||
           number == "\xC2\xB2" || number == "\xC2\xB3";
}

bool IsPlainFileName(std::string_view name, std::size_t maxBytes) {
    if (name.empty() || name.size() > maxBytes || name == "." || name == "..") return false;
    if (!validUtf8(name)) return false;
    for (char ch : name) {
        auto c = static_cast<unsigned char>(ch);
        if (c < 0x20 || c == 0x7F) return false;
        if (std::string_view("<>:\"/\\|?*").find(ch) != std::string_view::npos) return false;
    }
    if (name.front() == ' ' || name.back() == ' ' || name.back() == '.') return false;
    return !IsDeviceName(name);
}

}  // namespace vs::engine
