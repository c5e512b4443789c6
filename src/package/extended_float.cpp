#include "package/extended_float.h"

#include <cmath>
#include <cstring>

namespace vs {

void DoubleToExtended(long double value, std::uint8_t out[10]) {
    double d = static_cast<double>(value);
    std::uint16_t signExp = std::signbit(d) ? 0x8000 : 0;
    std::uint64_t mant = 0;
    if (std::isnan(d)) {
        signExp |= 0x7FFF;
        mant = 0xC000000000000000ull;
    } else if (std::isinf(d)) {
        signExp |= 0x7FFF;
        mant = 0x8000000000000000ull;
    } else if (d != 0.0) {
        int e = 0;
        double m = std::frexp(std::fabs(d), &e);  // m in [0.5, 1)
        mant = static_cast<std::uint64_t>(std::ldexp(m, 64));
        signExp |= static_cast<std::uint16_t>(e - 1 + 16383);
    }
    std::memcpy(out, &mant, 8);
    std::memcpy(out + 8, &signExp, 2);
}

long double ExtendedToDouble(const std::uint8_t in[10]) {
    std::uint64_t mant;
    std::uint16_t signExp;
    std::memcpy(&mant, in, 8);
    std::memcpy(&signExp, in + 8, 2);
    bool negative = signExp & 0x8000;
    int exp = signExp & 0x7FFF;
    double v;
    if (exp == 0x7FFF)
        v = (mant << 1) ? std::nan("") : HUGE_VAL;
    else if (exp == 0 && mant == 0)
        v = 0.0;
    else
        v = std::ldexp(static_cast<double>(mant), exp - 16383 - 63);
    return negative ? -v : v;
}

}  // namespace vs
