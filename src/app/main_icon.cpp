#include "app/main_icon.h"

#include <cstddef>

namespace vs {

extern const unsigned char kMainIconFile[];
extern const std::size_t kMainIconFileSize;

std::span<const std::uint8_t> MainIconFile() { return {kMainIconFile, kMainIconFileSize}; }

}  // namespace vs
