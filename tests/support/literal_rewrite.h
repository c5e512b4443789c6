#pragma once
// The command rewriting done the plain way, for checking the linear one on
// small inputs: after every command the whole buffer is folded to lower case
// and searched again from its start. A command that is left as it is (its
// rewritten form does not fit, or it is too long) is remembered and not taken
// again by the same pass. Quadratic; header-only so that fuzzers can use it.
#include <algorithm>
#include <cstdint>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "swf/inspection.h"

namespace vs::test {

struct LiteralCommand {
    CommandKind kind;
    std::uint64_t offset;
    RewriteOutcome outcome;
};

struct LiteralScan {
    bool HasPrint = false, HasEXEC = false, HasVarStore = false;
    std::vector<LiteralCommand> commands;
};

inline LiteralScan LiteralRewriteCommands(std::vector<std::uint8_t>& w) {
    using namespace std::string_view_literals;
    struct Pass {
        CommandKind kind;
        std::string_view pattern;
        std::size_t offset;
        std::string_view rewritten;
        std::size_t zeros;
        std::string (*patch)(const std::string&);
    };
    const Pass passes[] = {
        {CommandKind::Print, "fscommand:exec\0vexelprint"sv, 15, "fscommand:exec\0vsp.exe\t"sv, 1, &PatchPrintCommand},
        {CommandKind::Exec, "fscommand:exec\0vexelexec"sv, 15, "fscommand:exec\0vse.exe\t"sv, 3, &PatchEXECCommand},
        {CommandKind::Save, "vexelscreen:savevariables"sv, 0, "http://127.0.0.1:5905/"sv, 1, &PatchSTORECommand},
        {CommandKind::Load, "vexelscreen:loadvariables"sv, 0, ""sv, 1, &PatchSTORECommand},
    };
    auto lowered = [&] {
        std::string s(w.begin(), w.end());
        for (char& c : s)
            if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
        return s;
    };
    LiteralScan scan;
    for (const Pass& pass : passes) {
        std::set<std::size_t> skipped;
        bool found = false;
        for (;;) {
            const std::string low = lowered();
            std::size_t p = low.find(pass.pattern);
            while (p != std::string::npos && skipped.count(p)) p = low.find(pass.pattern, p + 1);
            if (p == std::string::npos) break;
            found = true;
            const std::size_t o = p + pass.offset;
            auto zero = std::find(w.begin() + static_cast<std::ptrdiff_t>(o), w.end(), 0);
            const std::size_t oldSize = zero == w.end() ? w.size() - o : static_cast<std::size_t>(zero - w.begin()) - o + 1;
            RewriteOutcome outcome = RewriteOutcome::SkippedTooLong;
            if (oldSize <= kMaxCommandBytes) {
                std::string command(w.begin() + static_cast<std::ptrdiff_t>(o),
                                    w.begin() + static_cast<std::ptrdiff_t>(o + oldSize));
                std::string r = pass.patch(command);
                if (r.size() + pass.zeros <= oldSize) {
                    std::copy(r.begin(), r.end(), w.begin() + static_cast<std::ptrdiff_t>(o));
                    std::fill_n(w.begin() + static_cast<std::ptrdiff_t>(o + r.size()), pass.zeros, 0);
                    outcome = RewriteOutcome::Rewritten;
                } else {
                    outcome = RewriteOutcome::SkippedDoesNotFit;
                }
            }
            if (outcome != RewriteOutcome::Rewritten) skipped.insert(p);
            scan.commands.push_back({pass.kind, o, outcome});
        }
        bool flag = found || (!pass.rewritten.empty() && lowered().find(pass.rewritten) != std::string::npos);
        switch (pass.kind) {
            case CommandKind::Print: scan.HasPrint = flag; break;
            case CommandKind::Exec: scan.HasEXEC = flag; break;
            case CommandKind::Save: scan.HasVarStore = flag; break;
            case CommandKind::Load: scan.HasVarStore = scan.HasVarStore || found; break;
        }
    }
    return scan;
}

}  // namespace vs::test
