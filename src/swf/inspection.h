#pragma once
// Inspecting a Flash projector: the movie facts shown in the movie information
// grid, and rewriting the movie's print, exec, save and load commands in the
// file itself so that a built projector routes them to the tools and to the
// local variable service.
#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "swf/bmh.h"
#include "swf/projector_movie.h"
#include "swf/swf_reader.h"

namespace vs {

class s_TVexelProjector;

// Labels of the nine rows of the movie information grid.
inline constexpr std::array<const char*, 9> kMovieInfoLabels = {
    "Movie width", "Movie height", "Flash version", "SWF size", "Framerate",
    "Framecount", "Uses VexelPRINT", "Uses VexelEXEC", "Uses VexelSTORE"};

// The rewritten forms of single commands. `command` is the command as read from
// the file, up to and including its terminating zero byte; the result is the
// rewritten text without its terminating zero bytes.
std::string PatchPrintCommand(const std::string& command);
std::string PatchEXECCommand(const std::string& command);
std::string PatchSTORECommand(const std::string& command);

// Longest command, terminating zero included, that is rewritten.
inline constexpr std::size_t kMaxCommandBytes = 255;

enum class CommandKind { Print, Exec, Save, Load };
const char* CommandKindName(CommandKind kind);  // "print", "exec", "save", "load"

enum class RewriteOutcome {
    Rewritten,
    // Left as it is: the rewritten form with its zero bytes would need more
    // bytes than the command with its terminating zero.
    SkippedDoesNotFit,
    // Left as it is: the command with its terminating zero is longer than
    // kMaxCommandBytes.
    SkippedTooLong,
};
const char* RewriteOutcomeName(RewriteOutcome outcome);  // "rewritten", "does not fit", "too long"

struct CommandRewrite {
    CommandKind kind = CommandKind::Print;
    std::uint64_t offset = 0;   // file offset of the command's first letter
    std::string oldText;        // the command without its terminating zero
    std::string newText;        // the rewritten text without its zero bytes
    std::size_t oldSize = 0;    // bytes of the command with its terminating zero
    std::size_t newSize = 0;    // bytes of the rewritten text with its zero bytes
    RewriteOutcome outcome = RewriteOutcome::Rewritten;
};

struct CommandScan {
    bool HasPrint = false;
    bool HasEXEC = false;
    bool HasVarStore = false;
    std::vector<CommandRewrite> commands;  // in the order the passes met them
    bool anyRewritten() const;
};

// Runs the print, exec, save and load passes over the bytes of a whole file, in
// place. Linear in the size of the bytes; the result is the same as searching
// the whole file again from its start after every rewritten command. Only the
// bytes [offset, offset + newSize) of rewritten commands change.
CommandScan RewriteCommands(std::span<std::uint8_t> file);

struct InspectOptions {
    bool dryRun = false;  // report what would be rewritten; open and change nothing for writing
};

struct InspectionResult {
    bool missing = false;   // no file of that name: refused without a word
    bool refused = false;   // the file is not a Flash projector
    bool accepted = false;  // the file passed the signature test
    // Searches of the movie that gave up (shown before the refusal they cause).
    std::vector<ScanFailure> scanFailures;
    TSWF_Header header{};
    // Column 1 of the movie information grid, as the window shows it. Rows 0 to
    // 5 are set once the file is accepted, rows 6 to 8 when the inspection is
    // complete; rows not yet set are empty.
    std::array<std::string, 9> grid;
    bool complete = false;
    bool HasPrint = false;
    bool HasEXEC = false;
    bool HasVarStore = false;
    std::vector<CommandRewrite> commands;
    bool fileWritten = false;
    // How the movie is stored in the file. A compressed movie is unpacked in
    // memory and the file is never written: `unpacked` then holds the
    // projector as a build packs it (the player, the movie uncompressed with
    // its commands rewritten, and a trailer with its new length), and the
    // offsets of `commands` are offsets in it.
    MovieCompression compression = MovieCompression::None;
    std::shared_ptr<const std::vector<std::uint8_t>> unpacked;
};

// The inspection. Returns false for a missing file (`missing`) or for a file
// that is not a Flash projector (`refused`, with the searches that failed in
// `scanFailures`). Fails with "Cannot open file %s" when the file cannot be
// opened for reading and writing (for reading, when its movie is
// compressed), with "Stream read error" for a movie header cut short, with
// "Stream write error" when writing back fails, and with EMovieError, naming
// the file, for a compressed movie that cannot be unpacked. `result`
// is filled as the inspection goes, so a caller that catches an error sees
// how far it got.
bool InspectProjector(const std::string& fileName, InspectionResult& result, const InspectOptions& options = {});

// The same, also setting HasPrint, HasEXEC and HasVarStore of the settings
// object: all false once the file is accepted, then as the passes found them.
// A refused file leaves them as they were.
bool InspectProjector(const std::string& fileName, s_TVexelProjector& settings, InspectionResult& result,
                      const InspectOptions& options = {});

}  // namespace vs
