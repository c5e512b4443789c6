#pragma once
// The date/time variable file that the engine writes beside the movie at
// launch: one line of name=value pairs in the settings' variable names.
#include "package/vexel_projector.h"
#include "platform/cp1252.h"

namespace vs::engine {

struct LaunchTime {
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0, millisecond = 0;
};

// "Date_YY=2001&Date_MM=3&...&Time_MS=45&VexelDateTimeLOADED=1" with the names
// of DATE_YY to TIME_MS, no line break. Fails with ETextEncodingError when a
// name cannot be written in Windows-1252.
AnsiString VarFileLine(const s_TVexelProjector& settings, const LaunchTime& time);

}  // namespace vs::engine
