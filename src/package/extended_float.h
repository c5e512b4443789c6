#pragma once
// 80-bit x87 extended floats, the stream's float values (10 bytes, little-endian).
#include <cstdint>

namespace vs {

void DoubleToExtended(long double value, std::uint8_t out[10]);
long double ExtendedToDouble(const std::uint8_t in[10]);

}  // namespace vs
