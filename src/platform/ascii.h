#pragma once
// Case folding of the ASCII letters only: the comparisons of names and file
// contents fold "A" to "Z" and leave every other byte (and code unit) alone.
#include <string>
#include <string_view>

namespace vs {

template <typename Char>
constexpr Char AsciiLower(Char c) {
    return (c >= Char('A') && c <= Char('Z')) ? static_cast<Char>(c + ('a' - 'A')) : c;
}
template <typename Char>
constexpr Char AsciiUpper(Char c) {
    return (c >= Char('a') && c <= Char('z')) ? static_cast<Char>(c - ('a' - 'A')) : c;
}

inline std::string AsciiLowerCase(std::string_view s) {
    std::string out(s);
    for (char& c : out) c = AsciiLower(c);
    return out;
}
inline std::string AsciiUpperCase(std::string_view s) {
    std::string out(s);
    for (char& c : out) c = AsciiUpper(c);
    return out;
}

// Equal without regard to the case of ASCII letters.
template <typename Char>
constexpr bool SameText(std::basic_string_view<Char> a, std::basic_string_view<Char> b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
    return true;
}
constexpr bool SameText(std::string_view a, std::string_view b) { return SameText<char>(a, b); }
constexpr bool SameText(std::u16string_view a, std::u16string_view b) { return SameText<char16_t>(a, b); }

constexpr bool EndsWithText(std::string_view s, std::string_view suffix) {
    return s.size() >= suffix.size() && SameText(s.substr(s.size() - suffix.size()), suffix);
}

}  // namespace vs
