#pragma once
// The date/time variable file that a projector writes at launch for its
// movie: one line of Windows-1252 text without a line break, the seven
// variables in order as name=value joined by "&", then the fixed
// "VexelDateTimeLOADED=1".
#include <array>
#include <string>

#include "platform/cp1252.h"

namespace vs {

struct LocalDateTime {
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0, millisecond = 0;
};

// The names of year, month, day, hours, minutes, seconds and milliseconds
// (UTF-8); values in decimal without padding. Fails with ETextEncodingError
// for a name the code page cannot hold.
AnsiString VarFileLine(const std::array<std::string, 7>& names, const LocalDateTime& time);

}  // namespace vs
