#pragma once
// The inspection of a projector file as the generator runs it: the movie
// facts and service flags of the core's inspection, with the messages the
// user sees for searches that failed and for a file that is not a projector.
#include <cstddef>
#include <string>

#include "app/ports.h"
#include "exe/executable_kind.h"
#include "package/package_file.h"
#include "swf/inspection.h"

namespace vs {

class s_TVexelProjector;

// The row of the movie information grid after the movie's own rows that says
// whether the projector's player is a 32-bit or a 64-bit program.
inline constexpr std::size_t kPlayerRow = kMovieInfoLabels.size();
inline constexpr const char* kPlayerLabel = "Player";

// The family of the Tools folder that builds projectors for a player: a 64-bit
// player needs the 64-bit engine, since a 32-bit hook library cannot enter
// its process.
constexpr ToolsFamily ToolsFamilyFor(ExecutableKind player) {
    return player == ExecutableKind::Bits64 ? ToolsFamily::X86_64 : ToolsFamily::I686;
}

// Returns whether the file was accepted. A missing file is refused without a
// word; a file that is not a Flash projector after the messages of its failed
// searches and the warning kNotAFlashProjector. When `settings` is given its
// HasPrint, HasEXEC and HasVarStore follow the inspection. Fails as
// InspectProjector does.
bool InspectProjectorFile(const std::string& fileName, s_TVexelProjector* settings, UserInterface& ui,
                          InspectionResult& result, const InspectOptions& options = {});

}  // namespace vs
