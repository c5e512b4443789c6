#include "package/file_name_rules.h"

#include <array>
#include <map>

#include "platform/ascii.h"

namespace vs {

namespace {

// The code points of a UTF-8 text, or nothing when it is not valid UTF-8.
std::optional<std::u32string> decodeUtf8(std::string_view s) {
    std::u32string out;
    for (std::size_t i = 0; i < s.size();) {
        auto c = static_cast<unsigned char>(s[i]);
        std::size_t extra;
        char32_t cp;
        if (c < 0x80) extra = 0, cp = c;
        else if (c >= 0xC2 && c < 0xE0) extra = 1, cp = c & 0x1F;
        else if (c >= 0xE0 && c < 0xF0) extra = 2, cp = c & 0x0F;
        else if (c >= 0xF0 && c < 0xF5) extra = 3, cp = c & 0x07;
        else return std::nullopt;
        if (extra > s.size() - i - 1) return std::nullopt;
        for (std::size_t k = 1; k <= extra; ++k) {
            auto d = static_cast<unsigned char>(s[i + k]);
            if ((d & 0xC0) != 0x80) return std::nullopt;
            cp = (cp << 6) | (d & 0x3F);
        }
        if ((extra == 2 && cp < 0x800) || (extra == 3 && (cp < 0x10000 || cp > 0x10FFFF)) ||
            (cp >= 0xD800 && cp <= 0xDFFF))
            return std::nullopt;
        out.push_back(cp);
        i += extra + 1;
    }
    return out;
}

void appendUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

std::string quoted(std::string_view s) { return "\"" + std::string(s) + "\""; }

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

std::string PlainFileNameProblem(std::string_view name, std::size_t maxBytes) {
    if (name.empty()) return "the name is empty";
    if (name == "." || name == "..") return "the name " + quoted(name) + " stands for a folder";
    const std::optional<std::u32string> points = decodeUtf8(name);
    if (!points) return "the name is not valid UTF-8";
    // The limit is on the stored form, one Windows-1252 byte per character,
    // not on the UTF-8 bytes the program holds.
    if (points->size() > maxBytes)
        return "the name is longer than " + std::to_string(maxBytes) + " characters";
    for (char ch : name) {
        auto c = static_cast<unsigned char>(ch);
        if (c < 0x20 || c == 0x7F) return "Windows does not allow control characters in a file name";
        if (std::string_view("<>:\"/\\|?*").find(ch) != std::string_view::npos)
            return "Windows does not allow " + quoted(std::string_view(&ch, 1)) + " in a file name";
    }
    if (name.front() == ' ') return "the name begins with a space";
    if (name.back() == ' ' || name.back() == '.') return "Windows drops a trailing dot or space from a file name";
    if (IsDeviceName(name)) return "Windows reserves the name " + quoted(name) + " for a device";
    return {};
}

std::string ShownName(std::string_view name, std::size_t longest) {
    bool shown = name.size() <= longest && decodeUtf8(name).has_value();
    for (char ch : name) {
        auto c = static_cast<unsigned char>(ch);
        shown = shown && c >= 0x20 && c != 0x7F;
    }
    return shown ? std::string(name) : "<a name of " + std::to_string(name.size()) + " bytes>";
}

bool IsPlainFileName(std::string_view name, std::size_t maxBytes) { return PlainFileNameProblem(name, maxBytes).empty(); }

std::string_view StoredFilePart(std::string_view stored) {
    std::size_t cut = stored.find_last_of("\\/");
    return cut == std::string_view::npos ? stored : stored.substr(cut + 1);
}

std::string ExtractName(std::string_view stored) {
    std::string_view base = StoredFilePart(stored);
    return IsPlainFileName(base, kMaxPackedFileName) ? std::string(base) : std::string();
}

std::string FileNameKey(std::string_view name) {
    auto points = decodeUtf8(name);
    if (!points) return std::string(name);
    std::string key;
    for (char32_t cp : *points) {
        if ((cp >= U'A' && cp <= U'Z') || (cp >= 0xC0 && cp <= 0xDE && cp != 0xD7)) cp += 0x20;
        else if (cp == 0x152) cp = 0x153;  // OE
        else if (cp == 0x160) cp = 0x161;  // S caron
        else if (cp == 0x17D) cp = 0x17E;  // Z caron
        else if (cp == 0x178) cp = 0xFF;   // Y diaeresis
        appendUtf8(key, cp);
    }
    return key;
}

namespace {

// The engine's lock file lies in the folder it unpacks into, so no packed file
// may take its name.
std::string LockFileProblem(std::string_view part) {
    if (FileNameKey(part) != FileNameKey(kEngineLockFile)) return {};
    return "the projector keeps its lock file \"" + std::string(kEngineLockFile) + "\" under that name";
}

}  // namespace

std::optional<PackedNameProblem> FindPackedNameProblem(const PackedNames& names) {
    using Kind = PackedNameProblem::Kind;
    std::string dateTimeKey;
    if (names.dateTimeFile) {
        std::string_view part = StoredFilePart(*names.dateTimeFile);
        std::string why = PlainFileNameProblem(part, kMaxPackedFileName);
        if (why.empty()) why = LockFileProblem(part);
        if (!why.empty()) return PackedNameProblem{Kind::DateTimeFileNotPlain, 0, *names.dateTimeFile, why};
        dateTimeKey = FileNameKey(part);
    }
    std::map<std::string, std::size_t> taken;
    const std::string toolsKey = FileNameKey(kToolsSubfolder);
    for (std::size_t i = 0; i < names.files.size(); ++i) {
        const std::string& stored = names.files[i];
        if (stored.empty()) continue;  // an entry without a file writes nothing
        std::string_view part = StoredFilePart(stored);
        std::string why = PlainFileNameProblem(part, kMaxPackedFileName);
        if (why.empty()) why = LockFileProblem(part);
        if (!why.empty()) return PackedNameProblem{Kind::NotPlain, i, stored, why};
        const std::string key = FileNameKey(part);
        if (auto [at, fresh] = taken.emplace(key, i); !fresh)
            return PackedNameProblem{Kind::Duplicate, i, stored,
                                     "the projector would write it as " + quoted(part) + ", as it writes " +
                                         quoted(ShownName(names.files[at->second], 260))};
        if (!dateTimeKey.empty() && key == dateTimeKey)
            return PackedNameProblem{Kind::DateTimeFile, i, stored,
                                     "the projector writes its date and time file " + quoted(part) + " under that name"};
        if (names.anyTool && key == toolsKey)
            return PackedNameProblem{Kind::ToolsFolder, i, stored,
                                     "the projector puts the tools of the movie's commands in a folder of that name"};
    }
    return std::nullopt;
}

std::vector<std::string> PackedNameWarnings(const PackedNames& names) {
    std::vector<std::string> warnings;
    auto check = [&](const std::string& stored, const char* what) {
        const std::optional<std::u32string> points = decodeUtf8(StoredFilePart(stored));
        if (!points || points->size() <= kLongestSafeExtractedName) return;
        warnings.push_back(std::string(what) + quoted(stored) + " has a name of " + std::to_string(points->size()) +
                           " characters: where the user's temporary folder is long, Windows may refuse to write it "
                           "(a full path has at most 259 characters), and the projector then does not start. A name "
                           "of up to " + std::to_string(kLongestSafeExtractedName) + " characters is safe.");
    };
    for (const std::string& stored : names.files)
        if (!stored.empty()) check(stored, "The file ");
    if (names.dateTimeFile) check(*names.dateTimeFile, "The date and time file ");
    return warnings;
}

std::vector<std::string> CheckPackedNames(const PackedNames& names) {
    auto problem = FindPackedNameProblem(names);
    if (!problem) return PackedNameWarnings(names);
    if (problem->kind == PackedNameProblem::Kind::DateTimeFileNotPlain)
        throw EPackedNameError("The date and time file " + quoted(problem->stored) + " cannot be written: " +
                               problem->reason);
    throw EPackedNameError("The file " + quoted(problem->stored) + " cannot be packed: " + problem->reason);
}

}  // namespace vs
