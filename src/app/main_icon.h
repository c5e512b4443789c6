#pragma once
// The generator's own icon file ("MAINICON"), built into the program.
#include <cstdint>
#include <span>

namespace vs {

std::span<const std::uint8_t> MainIconFile();

}  // namespace vs
