#include "package/var_file.h"

namespace vs {

AnsiString VarFileLine(const std::array<std::string, 7>& names, const LocalDateTime& t) {
    const int values[7] = {t.year, t.month, t.day, t.hour, t.minute, t.second, t.millisecond};
    std::string line;
    for (std::size_t i = 0; i < names.size(); ++i)
        line += names[i] + "=" + std::to_string(values[i]) + "&";
    line += "VexelDateTimeLOADED=1";
    return AnsiString::FromUtf8(line);
}

}  // namespace vs
