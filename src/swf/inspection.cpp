#include "swf/inspection.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <optional>
#include <set>
#include <string_view>

#include "package/vexel_projector.h"
#include "platform/ascii.h"
#include "platform/byte_reader.h"
#include "platform/errors.h"
#include "platform/stream.h"
#include "platform/working_copy.h"
#include "swf/bmh.h"

namespace vs {

using namespace std::string_view_literals;

namespace {

bool IsBlank(char c) { return static_cast<unsigned char>(c) <= ' '; }

// Removes every character up to and including the space from both ends.
std::string Trim(std::string_view s) {
    std::size_t b = 0, e = s.size();
    while (b < e && IsBlank(s[b])) ++b;
    while (e > b && IsBlank(s[e - 1])) --e;
    return std::string(s.substr(b, e - b));
}

// The command text without its terminating zero.
std::size_t TextEnd(const std::string& command) {
    return !command.empty() && command.back() == '\0' ? command.size() - 1 : command.size();
}

// A signed decimal integer with leading blanks and trailing spaces allowed;
// anything else, or a value outside 32 bits, gives 0.
std::int32_t Number(std::string_view t) {
    while (!t.empty() && t.back() == ' ') t.remove_suffix(1);
    std::size_t i = 0;
    while (i < t.size() && (t[i] == ' ' || t[i] == '\t')) ++i;
    bool negative = false;
    if (i < t.size() && (t[i] == '-' || t[i] == '+')) negative = t[i++] == '-';
    if (i == t.size()) return 0;
    long long v = 0;
    for (; i < t.size(); ++i) {
        if (t[i] < '0' || t[i] > '9') return 0;
        v = v * 10 + (t[i] - '0');
        if (v > static_cast<long long>(INT32_MAX) + 1) return 0;
    }
    if (negative) v = -v;
    if (v > INT32_MAX || v < INT32_MIN) return 0;
    return static_cast<std::int32_t>(v);
}

}  // namespace

std::string PatchPrintCommand(const std::string& command) {
    std::string d = command;
    std::int32_t numbers[4] = {0, 0, 0, 0};
    std::size_t open = d.find('(');
    if (open != std::string::npos) {
        d.erase(0, open + 1);
        for (int k = 0; k < 3; ++k) {
            std::size_t comma = d.find(',');
            if (comma == std::string::npos) continue;
            numbers[k] = Number(std::string_view(d).substr(0, comma));
            d.erase(0, comma + 1);
        }
        std::size_t close = d.find(')');
        if (close != std::string::npos) numbers[3] = Number(std::string_view(d).substr(0, close));
    }
    std::string r = "VSP.exe";
    for (std::int32_t n : numbers) r += '\t' + std::to_string(n);

    // Quoted options; a value without its closing quote ends with the command text.
    auto option = [&](std::string_view marker, std::string_view label) {
        std::size_t at = AsciiLowerCase(d).find(marker);
        if (at == std::string::npos) return;
        std::size_t begin = at + marker.size();
        std::size_t end = d.find('"', begin);
        if (end == std::string::npos) end = std::max(begin, TextEnd(d));
        for (std::size_t i = begin; i < end; ++i)
            if (d[i] == ' ') d[i] = static_cast<char>(0xFE);
        r += "\t\"";
        r += label;
        r.append(d, begin, end - begin);
        r += '"';
    };
    option("/f=\"", "F=");
    option("/h=\"", "H=");

    const std::string low = AsciiLowerCase(d);
    static constexpr std::pair<std::string_view, std::string_view> kFlags[] = {
        {"/nodialog", "~NODIALOG"}, {"/fitpage", "~FITPAGE"}, {"/landscape", "~LANDSCAPE"},
        {"/portrait", "~PORTRAIT"}, {"/invert", "~INVERT"}};
    for (const auto& [marker, flag] : kFlags)
        if (low.find(marker) != std::string::npos) {
            r += '\t';
            r += flag;
        }
    return r;
}

std::string PatchEXECCommand(const std::string& command) {
    std::size_t open = command.find('(');
    if (open == std::string::npos) return {};
    std::string_view d = std::string_view(command).substr(open + 1);
    std::string file, params;
    std::size_t comma = d.find(',');
    if (comma != std::string_view::npos) {
        file = Trim(d.substr(0, comma));
        std::size_t close = d.find(')', comma + 1);
        if (close != std::string_view::npos) params = Trim(d.substr(comma + 1, close - comma - 1));
    } else {
        std::size_t close = d.find(')');
        if (close != std::string_view::npos) file = Trim(d.substr(0, close));
    }
    return "VSE.exe\t" + file + "\t" + params;
}

std::string PatchSTORECommand(const std::string& command) {
    std::string r = "http://127.0.0.1:5905/";
    const std::string low = AsciiLowerCase(command);
    if (low.find(":loadvariables") != std::string::npos)
        r += "load/";
    else if (low.find(":savevariables") != std::string::npos)
        r += "save/";
    // The text between the first "(" and the first ")": nothing when the ")"
    // is missing or stands before the "("; everything before the ")" when
    // there is no "(" (which never fits in place).
    const std::size_t open = command.find('(');
    const std::size_t close = command.find(')');
    const std::size_t begin = open == std::string::npos ? 0 : open + 1;
    if (close != std::string::npos && close > begin) r.append(command, begin, close - begin);
    return r;
}

const char* CommandKindName(CommandKind kind) {
    switch (kind) {
        case CommandKind::Print: return "print";
        case CommandKind::Exec: return "exec";
        case CommandKind::Save: return "save";
        case CommandKind::Load: return "load";
    }
    return "";
}

const char* RewriteOutcomeName(RewriteOutcome outcome) {
    switch (outcome) {
        case RewriteOutcome::Rewritten: return "rewritten";
        case RewriteOutcome::SkippedDoesNotFit: return "does not fit";
        case RewriteOutcome::SkippedTooLong: return "too long";
    }
    return "";
}

bool CommandScan::anyRewritten() const {
    return std::any_of(commands.begin(), commands.end(),
                       [](const CommandRewrite& c) { return c.outcome == RewriteOutcome::Rewritten; });
}

namespace {

struct Pass {
    CommandKind kind;
    std::string_view pattern;    // lower case
    std::size_t commandOffset;   // from the pattern's start to the command's first letter
    std::string_view rewritten;  // lower case; empty: none
    std::size_t zeros;           // zero bytes written after the rewritten text
    std::string (*patch)(const std::string&);
};

constexpr Pass kPrintPass{CommandKind::Print, "fscommand:exec\0vexelprint"sv, 15,
                          "fscommand:exec\0vsp.exe\t"sv, 1, &PatchPrintCommand};
constexpr Pass kExecPass{CommandKind::Exec, "fscommand:exec\0vexelexec"sv, 15,
                         "fscommand:exec\0vse.exe\t"sv, 3, &PatchEXECCommand};
constexpr Pass kSavePass{CommandKind::Save, "vexelscreen:savevariables"sv, 0,
                         "http://127.0.0.1:5905/"sv, 1, &PatchSTORECommand};
constexpr Pass kLoadPass{CommandKind::Load, "vexelscreen:loadvariables"sv, 0, ""sv, 1, &PatchSTORECommand};

// Rewrites one command in place, or records why it was left.
CommandRewrite RewriteOne(std::span<std::uint8_t> w, std::size_t o, const Pass& pass) {
    CommandRewrite c;
    c.kind = pass.kind;
    c.offset = o;
    const std::size_t rest = w.size() - o;
    const std::size_t window = std::min(rest, kMaxCommandBytes);
    const auto* zero = static_cast<const std::uint8_t*>(std::memchr(w.data() + o, 0, window));
    if (!zero && rest > kMaxCommandBytes) {
        c.oldText.assign(reinterpret_cast<const char*>(w.data() + o), kMaxCommandBytes);
        c.oldSize = c.oldText.size();
        c.outcome = RewriteOutcome::SkippedTooLong;
        return c;
    }
    // A command cut off by the end of the file has no terminating zero; its
    // rewritten form must then fit in the bytes up to the end.
    const std::size_t textLength = zero ? static_cast<std::size_t>(zero - (w.data() + o)) : rest;
    c.oldText.assign(reinterpret_cast<const char*>(w.data() + o), textLength);
    c.oldSize = zero ? textLength + 1 : textLength;
    std::string command = c.oldText;
    if (zero) command.push_back('\0');
    c.newText = pass.patch(command);
    c.newSize = c.newText.size() + pass.zeros;
    if (c.newSize > c.oldSize) {
        c.outcome = RewriteOutcome::SkippedDoesNotFit;
        return c;
    }
    std::memcpy(w.data() + o, c.newText.data(), c.newText.size());
    std::memset(w.data() + o + c.newText.size(), 0, pass.zeros);
    c.outcome = RewriteOutcome::Rewritten;
    return c;
}

// Every pattern the passes look for has a colon: the file is scanned once for
// colons (memchr runs at memory speed), and the occurrences of all the
// patterns are kept by offset. A rewrite changes only the bytes it writes, so
// afterwards only the neighbourhood of those bytes is scanned again, and an
// occurrence is checked against the bytes as they are whenever it is used.
// That gives each pass exactly what searching the whole file again would.
class Occurrences {
public:
    explicit Occurrences(std::span<const std::uint8_t> w) { Scan(w, 0, w.size()); }

    // Where `pattern` occurs first at or after `from`, as the bytes are now.
    std::optional<std::size_t> Next(std::span<const std::uint8_t> w, std::string_view pattern, std::size_t from) const {
        const int index = IndexOf(pattern);
        for (auto it = found_.lower_bound({from, 0}); it != found_.end(); ++it)
            if (it->second == index && Matches(w, it->first, pattern)) return it->first;
        return std::nullopt;
    }
    bool Contains(std::span<const std::uint8_t> w, std::string_view pattern) const { return Next(w, pattern, 0).has_value(); }

    // The bytes [begin, end) changed: occurrences that reach into them are
    // looked for again.
    void Changed(std::span<const std::uint8_t> w, std::size_t begin, std::size_t end) {
        const std::size_t reach = kLongest;
        Scan(w, begin > reach ? begin - reach : 0, std::min(w.size(), end + reach));
    }

private:
    static constexpr std::string_view kPatterns[] = {
        "fscommand:exec\0vexelprint"sv, "fscommand:exec\0vexelexec"sv, "vexelscreen:savevariables"sv,
        "vexelscreen:loadvariables"sv,  "fscommand:exec\0vsp.exe\t"sv,  "fscommand:exec\0vse.exe\t"sv,
        "http://127.0.0.1:5905/"sv};
    static constexpr std::size_t kLongest = 25;

    static int IndexOf(std::string_view pattern) {
        for (std::size_t i = 0; i < std::size(kPatterns); ++i)
            if (kPatterns[i] == pattern) return static_cast<int>(i);
        return -1;
    }

    static bool Matches(std::span<const std::uint8_t> w, std::size_t at, std::string_view pattern) {
        if (!fitsIn(at, pattern.size(), w.size())) return false;
        for (std::size_t i = 0; i < pattern.size(); ++i)
            if (AsciiLower(w[at + i]) != static_cast<std::uint8_t>(pattern[i])) return false;
        return true;
    }

    // Occurrences whose first colon lies in [begin, end).
    void Scan(std::span<const std::uint8_t> w, std::size_t begin, std::size_t end) {
        const std::uint8_t* base = w.data();
        for (std::size_t p = begin; p < end;) {
            const void* hit = std::memchr(base + p, ':', end - p);
            if (!hit) break;
            const std::size_t colon = static_cast<std::size_t>(static_cast<const std::uint8_t*>(hit) - base);
            for (std::size_t i = 0; i < std::size(kPatterns); ++i) {
                const std::size_t c = kPatterns[i].find(':');
                if (colon >= c && Matches(w, colon - c, kPatterns[i])) found_.insert({colon - c, static_cast<int>(i)});
            }
            p = colon + 1;
        }
    }

    // Offsets and the pattern found there.
    std::set<std::pair<std::size_t, int>> found_;

};

// One pass: true when the pattern occurs. Every occurrence is rewritten in
// the order of the offsets, the search going on from the byte after each.
bool RunPass(std::span<std::uint8_t> w, const Pass& pass, Occurrences& occurrences, std::vector<CommandRewrite>& out) {
    std::optional<std::size_t> at = occurrences.Next(w, pass.pattern, 0);
    if (!at) return false;
    while (at) {
        const std::size_t o = *at + pass.commandOffset;
        out.push_back(RewriteOne(w, o, pass));
        if (out.back().outcome == RewriteOutcome::Rewritten) occurrences.Changed(w, o, o + out.back().newSize);
        at = occurrences.Next(w, pass.pattern, *at + 1);
    }
    return true;
}

}  // namespace

CommandScan RewriteCommands(std::span<std::uint8_t> w) {
    CommandScan scan;
    Occurrences found(w);
    scan.HasPrint = RunPass(w, kPrintPass, found, scan.commands) || found.Contains(w, kPrintPass.rewritten);
    scan.HasEXEC = RunPass(w, kExecPass, found, scan.commands) || found.Contains(w, kExecPass.rewritten);
    scan.HasVarStore = RunPass(w, kSavePass, found, scan.commands) || found.Contains(w, kSavePass.rewritten);
    if (RunPass(w, kLoadPass, found, scan.commands)) scan.HasVarStore = true;
    return scan;
}

namespace {

const char* YesNo(bool b) { return b ? "Yes" : "No"; }

// Writes back the byte ranges that rewritten commands changed.
void WriteChangedRanges(TFileStream& file, std::span<const std::uint8_t> w,
                        const std::vector<CommandRewrite>& commands) {
    std::vector<std::pair<std::uint64_t, std::uint64_t>> ranges;
    for (const CommandRewrite& c : commands)
        if (c.outcome == RewriteOutcome::Rewritten && c.newSize > 0)
            ranges.emplace_back(c.offset, c.offset + c.newSize);
    std::sort(ranges.begin(), ranges.end());
    std::size_t i = 0;
    while (i < ranges.size()) {
        auto [begin, end] = ranges[i];
        for (++i; i < ranges.size() && ranges[i].first <= end; ++i) end = std::max(end, ranges[i].second);
        file.SetPosition(static_cast<std::int64_t>(begin));
        file.WriteBuffer(w.data() + begin, static_cast<std::size_t>(end - begin));
    }
}

void Accept(InspectionResult& result) {
    const TSWF_Header& h = result.header;
    result.accepted = true;
    result.grid[0] = std::to_string(h.FrameSize.Right / 20);
    result.grid[1] = std::to_string(h.FrameSize.Bottom / 20);
    result.grid[2] = std::to_string(h.Version);
    result.grid[3] = std::to_string(h.FileLength);
    result.grid[4] = std::to_string(h.FrameRate);
    result.grid[5] = std::to_string(h.FrameCount);
}

void TakeScan(InspectionResult& result, CommandScan&& scan) {
    result.HasPrint = scan.HasPrint;
    result.HasEXEC = scan.HasEXEC;
    result.HasVarStore = scan.HasVarStore;
    result.commands = std::move(scan.commands);
}

void Complete(InspectionResult& result) {
    result.grid[6] = YesNo(result.HasPrint);
    result.grid[7] = YesNo(result.HasEXEC);
    result.grid[8] = YesNo(result.HasVarStore);
    result.complete = true;
}

// A compressed movie that the trailer located: the projector is made again in
// memory with the movie unpacked, and inspected there. The file is only read.
bool InspectCompressed(const std::string& fileName, TSWFReader& reader, InspectionResult& result) {
    const auto offset = static_cast<std::size_t>(reader.MovieOffset);
    const auto length = static_cast<std::size_t>(*reader.TrailerMovieLength);
    TFileStream file(fileName, FileMode::OpenRead);
    WorkingCopy copy(file);
    const std::span<const std::uint8_t> bytes = copy.bytes();
    auto unpacked = std::make_shared<std::vector<std::uint8_t>>();
    try {
        *unpacked = MakeProjector(bytes.first(offset + length + sizeof(ProjectorTrailer)), bytes.subspan(offset, length));
    } catch (const EMovieError& e) {
        throw EMovieError(fileName + ": " + e.what());
    }
    result.compression = *CompressionOfSignature(bytes.subspan(offset, length));
    reader.ParseMovieHeader(std::span<const std::uint8_t>(*unpacked).subspan(offset), result.header);
    Accept(result);
    TakeScan(result, RewriteCommands(*unpacked));
    result.unpacked = std::move(unpacked);
    Complete(result);
    return true;
}

}  // namespace

bool InspectProjector(const std::string& fileName, InspectionResult& result, const InspectOptions& options) {
    result = InspectionResult{};
    if (!FileExists(fileName)) {
        result.missing = true;
        return false;
    }

    TSWFReader reader;
    struct KeepFailures {
        TSWFReader& reader;
        InspectionResult& result;
        ~KeepFailures() { result.scanFailures = reader.ScanFailures; }
    } keep{reader, result};
    reader.ParseFileHeader(fileName, result.header);
    const TSWF_Header& h = result.header;
    const std::optional<MovieCompression> compression = CompressionOfSignature(h.Signature);
    if (compression && *compression != MovieCompression::None && reader.TrailerMovieLength)
        return InspectCompressed(fileName, reader, result);
    if (compression != MovieCompression::None) {
        result.refused = true;
        return false;
    }
    Accept(result);

    // Opened for writing even when nothing will be rewritten, as the window
    // does: a file that cannot be written is reported either way.
    TFileStream file(fileName, options.dryRun ? FileMode::OpenRead : FileMode::OpenReadWrite);
    WorkingCopy copy(file);
    const std::span<std::uint8_t> w = copy.bytes();

    CommandScan scan = RewriteCommands(w);
    const bool rewritten = scan.anyRewritten();
    TakeScan(result, std::move(scan));
    if (!options.dryRun && rewritten) {
        result.fileWritten = true;
        WriteChangedRanges(file, w, result.commands);
    }

    Complete(result);
    return true;
}

bool InspectProjector(const std::string& fileName, s_TVexelProjector& settings, InspectionResult& result,
                      const InspectOptions& options) {
    auto copyFlags = [&] {
        settings.HasPrint = result.HasPrint;
        settings.HasEXEC = result.HasEXEC;
        settings.HasVarStore = result.HasVarStore;
    };
    try {
        bool accepted = InspectProjector(fileName, result, options);
        if (accepted) copyFlags();
        return accepted;
    } catch (...) {
        if (result.accepted) copyFlags();
        throw;
    }
}

}  // namespace vs
