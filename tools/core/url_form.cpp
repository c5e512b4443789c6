#include "url_form.h"

namespace vs::engine {

namespace {
int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}
}  // namespace

std::optional<std::string> PercentDecode(std::string_view text, bool plusIsSpace) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c == '%') {
            if (i + 2 >= text.size()) return std::nullopt;
            int hi = hexValue(text[i + 1]), lo = hexValue(text[i + 2]);
            if (hi < 0 || lo < 0) return std::nullopt;
            out += static_cast<char>(hi * 16 + lo);
            i += 2;
        } else if (c == '+' && plusIsSpace) {
            out += ' ';
        } else {
            out += c;
        }
    }
    return out;
}

std::string PercentEncode(std::string_view text) {
    static constexpr char digits[] = "0123456789ABCDEF";
    std::string out;
    for (char ch : text) {
        auto c = static_cast<unsigned char>(ch);
        if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '_' ||
            c == '.' || c == '~') {
            out += ch;
        } else {
            out += '%';
            out += digits[c >> 4];
            out += digits[c & 15];
        }
    }
    return out;
}

std::optional<FormVariables> ParseForm(std::string_view text) {
    FormVariables vars;
    while (!text.empty()) {
        std::size_t amp = text.find('&');
        std::string_view piece = text.substr(0, amp);
        text = amp == std::string_view::npos ? std::string_view() : text.substr(amp + 1);
        if (piece.empty()) continue;
        std::size_t eq = piece.find('=');
        auto name = PercentDecode(piece.substr(0, eq), true);
        auto value = PercentDecode(eq == std::string_view::npos ? std::string_view() : piece.substr(eq + 1), true);
        if (!name || !value) return std::nullopt;
        vars.emplace_back(std::move(*name), std::move(*value));
    }
    return vars;
}

std::string EncodeForm(const FormVariables& variables) {
    std::string out;
    for (const auto& [name, value] : variables) {
        if (!out.empty()) out += '&';
        out += PercentEncode(name) + "=" + PercentEncode(value);
    }
    return out;
}

}  // namespace vs::engine
