// `vexelscreen inspect FILE [--dry-run] [--json]`: the movie facts of a Flash
// projector and the services its movie uses, rewriting its commands in the
// file as the generator window does.
#include <cstdio>
#include <iostream>
#include <sstream>

#include "app/generator_model.h"
#include "app/movie_files.h"
#include "app/projector_inspection.h"
#include "cli/commands.h"
#include "cli/console_interface.h"
#include "exe/executable_kind.h"
#include "package/package_file.h"
#include "platform/cp1252.h"
#include "platform/errors.h"
#include "platform/stream.h"
#include "swf/inspection.h"

namespace vs::cli {

namespace {

// Printable ASCII as it is; everything else as an escape.
std::string Escaped(const std::string& text) {
    std::string out;
    for (unsigned char c : text) {
        if (c == '\\' || c == '"') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c == '\t') {
            out += "\\t";
        } else if (c < 0x20 || c > 0x7E) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\x%02X", c);
            out += buf;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

std::string JsonString(const std::string& utf8) {
    std::string out = "\"";
    for (unsigned char c : utf8) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c == '\t') {
            out += "\\t";
        } else if (c < 0x20) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\u%04x", c);
            out += buf;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out + "\"";
}

// Movie texts are Windows-1252.
std::string JsonText(const std::string& ansi) { return JsonString(AnsiString::FromBytes(ansi).ToUtf8()); }

const char* Bool(bool b) { return b ? "true" : "false"; }

// The player's kind and the engine that a build for it takes.
struct PlayerFacts {
    ExecutableKind kind;
    std::string engine;
};

PlayerFacts PlayerOf(const std::string& file) {
    const ExecutableKind kind = ExecutableKindOfFile(file);
    return {kind, ToolsFile(GeneratorPaths::OfThisProgram().generatorDir, tools::Engine, ToolsFamilyFor(kind))};
}

void PrintText(const InspectionResult& r, const PlayerFacts& player, bool dryRun) {
    for (std::size_t i = 0; i < r.grid.size(); ++i) std::cout << kMovieInfoLabels[i] << ": " << r.grid[i] << "\n";
    const std::string_view kind = ExecutableKindText(player.kind);
    std::cout << kPlayerLabel << ": " << kind << " (a build uses the " << kind << " engine " << player.engine << ")\n";
    if (r.unpacked)
        std::cout << "Movie: " << MovieCompressionName(r.compression) << "-compressed (" << MovieSignature(r.compression)
                  << "); the file is left as it is, and a build packs it with the movie unpacked (" << r.unpacked->size()
                  << " bytes; the offsets below are in that projector)\n";
    std::size_t rewritten = 0;
    for (const CommandRewrite& c : r.commands) rewritten += c.outcome == RewriteOutcome::Rewritten;
    if (r.commands.empty()) {
        std::cout << "No command to rewrite\n";
        return;
    }
    const bool inMemory = r.unpacked != nullptr;
    std::cout << (dryRun ? "Would rewrite " : inMemory ? "Rewrote (in the unpacked projector) " : "Rewrote ") << rewritten << " of " << r.commands.size()
              << (r.commands.size() == 1 ? " command" : " commands") << (dryRun ? " (dry run, file unchanged)" : "")
              << "\n";
    for (const CommandRewrite& c : r.commands) {
        std::cout << "  " << CommandKindName(c.kind) << " at " << c.offset << ": \"" << Escaped(c.oldText) << "\"";
        if (c.outcome == RewriteOutcome::Rewritten)
            std::cout << " -> \"" << Escaped(c.newText) << "\"\n";
        else
            std::cout << " left unchanged (" << RewriteOutcomeName(c.outcome) << ": " << c.newSize << " bytes needed, "
                      << c.oldSize << " there)\n";
    }
}

void PrintJson(const std::string& file, const InspectionResult& r, const PlayerFacts& player, bool dryRun) {
    const TSWF_Header& h = r.header;
    std::ostringstream o;
    o << "{\n  \"file\": " << JsonString(file) << ",\n  \"dryRun\": " << Bool(dryRun) << ",\n";
    o << "  \"movieInfo\": {";
    for (std::size_t i = 0; i < r.grid.size(); ++i)
        o << (i ? ", " : "") << JsonString(kMovieInfoLabels[i]) << ": " << JsonString(r.grid[i]);
    o << "},\n";
    o << "  \"player\": " << JsonString(std::string(ExecutableKindText(player.kind)))
      << ",\n  \"engine\": " << JsonString(player.engine) << ",\n";
    o << "  \"header\": {\"signature\": " << JsonText(std::string(reinterpret_cast<const char*>(h.Signature), 3))
      << ", \"version\": " << int(h.Version) << ", \"fileLength\": " << h.FileLength << ", \"frameSize\": {\"left\": "
      << h.FrameSize.Left << ", \"top\": " << h.FrameSize.Top << ", \"right\": " << h.FrameSize.Right
      << ", \"bottom\": " << h.FrameSize.Bottom << "}, \"frameRate\": " << int(h.FrameRate)
      << ", \"frameRateFraction\": " << int(h.FrameRateFraction) << ", \"frameCount\": " << h.FrameCount << "},\n";
    o << "  \"HasPrint\": " << Bool(r.HasPrint) << ",\n  \"HasEXEC\": " << Bool(r.HasEXEC)
      << ",\n  \"HasVarStore\": " << Bool(r.HasVarStore) << ",\n  \"fileWritten\": " << Bool(r.fileWritten)
      << ",\n  \"movieCompression\": \"" << MovieCompressionName(r.compression) << "\""
      << ",\n  \"unpackedSize\": " << (r.unpacked ? r.unpacked->size() : 0)
      << ",\n  \"commands\": [";
    for (std::size_t i = 0; i < r.commands.size(); ++i) {
        const CommandRewrite& c = r.commands[i];
        o << (i ? "," : "") << "\n    {\"kind\": \"" << CommandKindName(c.kind) << "\", \"offset\": " << c.offset
          << ", \"outcome\": \"" << RewriteOutcomeName(c.outcome) << "\", \"oldText\": " << JsonText(c.oldText)
          << ", \"newText\": " << JsonText(c.newText) << ", \"oldSize\": " << c.oldSize
          << ", \"newSize\": " << c.newSize << "}";
    }
    o << (r.commands.empty() ? "]\n}\n" : "\n  ]\n}\n");
    std::cout << o.str();
}

}  // namespace

void addInspectCommand(CLI::App& app) {
    auto* cmd = app.add_subcommand(
        "inspect", "Show the movie facts of a Flash projector and rewrite its print, exec, save and load commands");
    auto file = std::make_shared<std::string>();
    auto dryRun = std::make_shared<bool>(false);
    auto json = std::make_shared<bool>(false);
    cmd->add_option("FILE", *file, "A Flash projector (.exe)")->required();
    cmd->add_flag("--dry-run", *dryRun, "Report what would be rewritten (offset, old text, new text); change nothing");
    cmd->add_flag("--json", *json, "Print JSON for scripts");
    cmd->callback([file, dryRun, json] {
        runWithReasons([&] {
            if (!FileExists(*file)) throw EFOpenError(cannotOpenFile(*file));
            ConsoleInterface ui;
            InspectionResult result;
            if (IsMovieFile(*file))
                throw VsError(*file + " is a Flash movie, not a projector: make one with `vexelscreen projector "
                              "--player PLAYER.exe " + *file + " -o PROJECTOR.exe`");
            if (!InspectProjectorFile(*file, nullptr, ui, result, InspectOptions{.dryRun = *dryRun})) return 1;
            const PlayerFacts player = PlayerOf(*file);
            if (*json)
                PrintJson(*file, result, player, *dryRun);
            else
                PrintText(result, player, *dryRun);
            return 0;
        });
    });
}

}  // namespace vs::cli
