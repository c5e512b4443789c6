#pragma once
// Appending little-endian numbers to byte vectors, for the fixture builders.
#include <cstdint>
#include <vector>

namespace vs::test {

inline void AppendLe16(std::vector<std::uint8_t>& out, std::uint32_t v) {
    out.push_back(static_cast<std::uint8_t>(v));
    out.push_back(static_cast<std::uint8_t>(v >> 8));
}

inline void AppendLe32(std::vector<std::uint8_t>& out, std::uint32_t v) {
    AppendLe16(out, v & 0xFFFF);
    AppendLe16(out, v >> 16);
}

}  // namespace vs::test
