#include "tool_args.h"

#include <charconv>

namespace vs::engine {

std::vector<std::string> ToolFields(std::string_view line) {
    std::size_t i = 0;
    if (!line.empty() && line[0] == '"') {
        std::size_t close = line.find('"', 1);
        i = close == std::string_view::npos ? line.size() : close + 1;
    } else {
        while (i < line.size() && line[i] != ' ' && line[i] != '\t') ++i;
    }
    std::string_view rest = line.substr(i);
    if (!rest.empty() && rest[0] == '\t') {
        rest.remove_prefix(1);
    } else {
        while (!rest.empty() && rest[0] == ' ') rest.remove_prefix(1);
    }
    while (!rest.empty() && (rest.back() == ' ' || rest.back() == '\r' || rest.back() == '\n')) rest.remove_suffix(1);
    // One quoted argument, as a launcher quotes text with blanks or TABs: the
    // quotes go, and its escaped quotes (\") become plain ones.
    std::string text(rest);
    if (rest.size() >= 2 && rest.front() == '"' && rest.back() == '"' && rest[rest.size() - 2] != '\\') {
        text.clear();
        for (std::size_t k = 1; k + 1 < rest.size(); ++k) {
            if (rest[k] == '\\' && rest[k + 1] == '"' && k + 2 < rest.size()) continue;
            text += rest[k];
        }
    }
    std::vector<std::string> fields;
    if (text.empty()) return fields;
    std::string_view left = text;
    while (true) {
        std::size_t tab = left.find('\t');
        fields.emplace_back(left.substr(0, tab));
        if (tab == std::string_view::npos) break;
        left.remove_prefix(tab + 1);
    }
    return fields;
}

namespace {

int number(std::string_view s) {
    while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
    while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
    int v = 0;
    auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
    return ec == std::errc() && end == s.data() + s.size() ? v : 0;
}

std::string spaces(std::string_view s) {
    std::string out;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '\xFE') out += ' ';
        else if (s[i] == '\xC3' && i + 1 < s.size() && s[i + 1] == '\xBE') out += ' ', ++i;  // U+00FE, as UTF-8
        else out += s[i];
    }
    return out;
}

}  // namespace

PrintRequest ParsePrintFields(const std::vector<std::string>& fields) {
    PrintRequest r;
    int* numbers[] = {&r.left, &r.top, &r.width, &r.height};
    for (std::size_t i = 0; i < 4 && i < fields.size(); ++i) *numbers[i] = number(fields[i]);
    for (std::size_t i = 4; i < fields.size(); ++i) {
        std::string_view f = fields[i];
        if (f.size() >= 2 && f.front() == '"' && f.back() == '"') f = f.substr(1, f.size() - 2);
        if (f.starts_with("F=")) r.footer = spaces(f.substr(2));
        else if (f.starts_with("H=")) r.header = spaces(f.substr(2));
        else if (f == "~NODIALOG") r.noDialog = true;
        else if (f == "~FITPAGE") r.fitPage = true;
        else if (f == "~LANDSCAPE") r.landscape = true;
        else if (f == "~PORTRAIT") r.portrait = true;
        else if (f == "~INVERT") r.invert = true;
    }
    if (r.width < 0) r.width = 0;
    if (r.height < 0) r.height = 0;
    return r;
}

bool IsAbsoluteWindowsPath(std::string_view p) {
    if (p.size() >= 3 && ((p[0] >= 'A' && p[0] <= 'Z') || (p[0] >= 'a' && p[0] <= 'z')) && p[1] == ':' &&
        (p[2] == '\\' || p[2] == '/'))
        return true;
    return p.starts_with("\\\\") || p.starts_with("//");
}

std::vector<std::string> LaunchCandidates(const std::string& file, const std::string& projectorDir,
                                          const std::string& temporaryDir) {
    if (file.empty()) return {};
    if (IsAbsoluteWindowsPath(file)) return {file};
    std::string_view rel = file;
    while (rel.starts_with(".\\") || rel.starts_with("./")) rel.remove_prefix(2);
    if (rel.starts_with("\\") || rel.starts_with("/") || (rel.size() >= 2 && rel[1] == ':')) return {file};
    std::vector<std::string> out;
    for (const std::string& dir : {projectorDir, temporaryDir}) {
        if (dir.empty()) continue;
        std::string base = dir;
        if (base.back() != '\\' && base.back() != '/') base += '\\';
        out.push_back(base + std::string(rel));
    }
    return out;
}

}  // namespace vs::engine
