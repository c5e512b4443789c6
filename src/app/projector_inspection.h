#pragma once
// The inspection of a projector file as the generator runs it: the movie
// facts and service flags of the core's inspection, with the messages the
// user sees for searches that failed and for a file that is not a projector.
#include <string>

#include "app/ports.h"
#include "swf/inspection.h"

namespace vs {

class s_TVexelProjector;

// Returns whether the file was accepted. A missing file is refused without a
// word; a file that is not a Flash projector after the messages of its failed
// searches and the warning kNotAFlashProjector. When `settings` is given its
// HasPrint, HasEXEC and HasVarStore follow the inspection. Fails as
// InspectProjector does.
bool InspectProjectorFile(const std::string& fileName, s_TVexelProjector* settings, UserInterface& ui,
                          InspectionResult& result, const InspectOptions& options = {});

}  // namespace vs
