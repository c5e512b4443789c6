#include "platform/cp1252.h"

namespace vs {

namespace {

constexpr char16_t kHigh[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

constexpr char32_t kInvalid = 0xFFFFFFFF;

// The code point that starts at s[i], advancing i; kInvalid for a broken
// sequence (an overlong form, a surrogate, a cut or stray byte).
char32_t NextCodePoint(std::string_view s, std::size_t& i) {
    const auto b = static_cast<std::uint8_t>(s[i++]);
    if (b < 0x80) return b;
    std::size_t len;
    char32_t cp;
    if ((b & 0xE0) == 0xC0) { cp = b & 0x1F; len = 1; }
    else if ((b & 0xF0) == 0xE0) { cp = b & 0x0F; len = 2; }
    else if ((b & 0xF8) == 0xF0) { cp = b & 0x07; len = 3; }
    else return kInvalid;
    for (std::size_t k = 0; k < len; ++k) {
        if (i >= s.size() || (static_cast<std::uint8_t>(s[i]) & 0xC0) != 0x80) return kInvalid;
        cp = (cp << 6) | (static_cast<std::uint8_t>(s[i++]) & 0x3F);
    }
    constexpr char32_t kLeast[4] = {0, 0x80, 0x800, 0x10000};
    if (cp < kLeast[len] || cp > 0x10FFFF || (cp >= 0xD800 && cp < 0xE000)) return kInvalid;
    return cp;
}

void AppendUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

// The text as it can be shown in a message: broken sequences as U+FFFD.
std::string Printable(std::string_view utf8) {
    std::string out;
    for (std::size_t i = 0; i < utf8.size();) {
        char32_t cp = NextCodePoint(utf8, i);
        AppendUtf8(out, cp == kInvalid ? 0xFFFD : cp);
    }
    return out;
}

}  // namespace

char32_t Cp1252ToUnicode(std::uint8_t byte) {
    if (byte >= 0x80 && byte < 0xA0) return kHigh[byte - 0x80];
    return byte;
}

std::optional<std::uint8_t> UnicodeToCp1252(char32_t cp) {
    if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) return static_cast<std::uint8_t>(cp);
    for (int i = 0; i < 32; ++i)
        if (kHigh[i] == cp) return static_cast<std::uint8_t>(0x80 + i);
    return std::nullopt;
}

AnsiString AnsiString::FromUtf8(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size());
    for (std::size_t i = 0; i < utf8.size();) {
        const std::size_t start = i;
        const char32_t cp = NextCodePoint(utf8, i);
        if (cp == kInvalid)
            throw ETextEncodingError("\"" + Printable(utf8) + "\" cannot be stored: it is not valid UTF-8 text");
        const auto byte = UnicodeToCp1252(cp);
        if (!byte)
            throw ETextEncodingError("\"" + Printable(utf8) + "\" cannot be stored: " +
                                     NotInCp1252Text(utf8.substr(start, i - start)));
        out.push_back(static_cast<char>(*byte));
    }
    return AnsiString(std::move(out));
}

std::string AnsiString::ToUtf8() const {
    std::string out;
    out.reserve(bytes_.size());
    for (char ch : bytes_) AppendUtf8(out, Cp1252ToUnicode(static_cast<std::uint8_t>(ch)));
    return out;
}

std::u16string AnsiString::ToUtf16() const {
    std::u16string out;
    out.reserve(bytes_.size());
    for (char ch : bytes_) out.push_back(static_cast<char16_t>(Cp1252ToUnicode(static_cast<std::uint8_t>(ch))));
    return out;
}

bool FitsCp1252(std::string_view utf8) {
    for (std::size_t i = 0; i < utf8.size();) {
        const char32_t cp = NextCodePoint(utf8, i);
        if (cp == kInvalid || !UnicodeToCp1252(cp)) return false;
    }
    return true;
}

std::optional<std::string> FirstCharacterNotInCp1252(std::string_view utf8) {
    for (std::size_t i = 0; i < utf8.size();) {
        const std::size_t start = i;
        const char32_t cp = NextCodePoint(utf8, i);
        if (cp == kInvalid) return "\xEF\xBF\xBD";
        if (!UnicodeToCp1252(cp)) return std::string(utf8.substr(start, i - start));
    }
    return std::nullopt;
}

std::string NotInCp1252Text(std::string_view character) {
    return "\"" + std::string(character) + "\" is not a character of the Windows-1252 code page";
}

std::string Utf16ToUtf8(std::u16string_view s) {
    std::string out;
    for (std::size_t i = 0; i < s.size(); ++i) {
        char32_t c = s[i];
        if (c >= 0xD800 && c < 0xDC00 && i + 1 < s.size() && s[i + 1] >= 0xDC00 && s[i + 1] < 0xE000)
            c = 0x10000 + ((c - 0xD800) << 10) + (s[++i] - 0xDC00);
        else if (c >= 0xD800 && c < 0xE000)
            c = 0xFFFD;
        AppendUtf8(out, c);
    }
    return out;
}

std::u16string Utf8ToUtf16(std::string_view s) {
    std::u16string out;
    for (std::size_t i = 0; i < s.size();) {
        char32_t cp = NextCodePoint(s, i);
        if (cp == kInvalid) cp = 0xFFFD;
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(cp));
        }
    }
    return out;
}

}  // namespace vs
