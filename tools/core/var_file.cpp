#include "var_file.h"

namespace vs::engine {

AnsiString VarFileLine(const s_TVexelProjector& s, const LocalDateTime& t) {
    return vs::VarFileLine({s.DATE_YY, s.DATE_MM, s.DATE_DD, s.TIME_HH, s.TIME_MM, s.TIME_SS, s.TIME_MS}, t);
}

}  // namespace vs::engine
