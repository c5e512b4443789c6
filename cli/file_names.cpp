#include "cli/file_names.h"

#include "platform/errors.h"
#include "platform/file_identity.h"

namespace vs::cli {

namespace {

// "name.ext" -> "name (2).ext"; a name without an extension, or one that
// starts with its only dot, takes the number at its end.
std::string Numbered(const std::string& name, int n) {
    const std::size_t dot = name.find_last_of('.');
    if (dot == std::string::npos || dot == 0) return name + " (" + std::to_string(n) + ")";
    return name.substr(0, dot) + " (" + std::to_string(n) + ")" + name.substr(dot);
}

// The name as Windows' file systems compare it, for every letter a package
// can store (Windows-1252): "Ä.txt" and "ä.txt" are one file there, so they
// get distinct names on every system alike.
std::string FoldedName(const std::string& name) {
    std::string out;
    out.reserve(name.size());
    for (std::size_t i = 0; i < name.size();) {
        const unsigned char c = static_cast<unsigned char>(name[i]);
        if (c < 0x80) {
            out += static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
            ++i;
            continue;
        }
        if ((c & 0xE0) != 0xC0 || i + 1 >= name.size()) {  // not a two-byte letter: kept as it is
            out += static_cast<char>(c);
            ++i;
            continue;
        }
        char32_t cp = ((c & 0x1Fu) << 6) | (static_cast<unsigned char>(name[i + 1]) & 0x3Fu);
        if (cp >= 0xC0 && cp <= 0xDE && cp != 0xD7) cp += 0x20;
        else if (cp == 0x152 || cp == 0x160 || cp == 0x17D) cp += 1;  // Œ Š Ž
        else if (cp == 0x178) cp = 0xFF;                              // Ÿ
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
        i += 2;
    }
    return out;
}

}  // namespace

std::string UniqueName(const std::string& name, std::set<std::string>& used) {
    std::string candidate = name;
    for (int n = 2; used.count(FoldedName(candidate)); ++n) candidate = Numbered(name, n);
    used.insert(FoldedName(candidate));
    return candidate;
}

void RefuseOutputOverInput(const std::string& output, const std::string& input, const std::string& role) {
    if (SameFile(output, input))
        throw VsError("\"" + output + "\" is both the output (-o) and " + role + ". Nothing was written; choose another name.");
}

}  // namespace vs::cli
