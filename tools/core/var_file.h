#pragma once
// The date/time variable file that the engine writes beside the movie at
// launch, in the settings' variable names.
#include "package/var_file.h"
#include "package/vexel_projector.h"

namespace vs::engine {

// "Date_YY=2001&Date_MM=3&...&Time_MS=45&VexelDateTimeLOADED=1" with the names
// of DATE_YY to TIME_MS, no line break. Fails with ETextEncodingError when a
// name cannot be written in Windows-1252.
AnsiString VarFileLine(const s_TVexelProjector& settings, const LocalDateTime& time);

}  // namespace vs::engine
