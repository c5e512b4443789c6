#include "var_file.h"

namespace vs::engine {

AnsiString VarFileLine(const s_TVexelProjector& s, const LaunchTime& t) {
    const std::pair<const std::string*, int> rows[] = {
        {&s.DATE_YY, t.year},   {&s.DATE_MM, t.month},  {&s.DATE_DD, t.day},          {&s.TIME_HH, t.hour},
        {&s.TIME_MM, t.minute}, {&s.TIME_SS, t.second}, {&s.TIME_MS, t.millisecond},
    };
    std::string line;
    for (const auto& [name, value] : rows) line += *name + "=" + std::to_string(value) + "&";
    line += "VexelDateTimeLOADED=1";
    return AnsiString::FromUtf8(line);
}

}  // namespace vs::engine
