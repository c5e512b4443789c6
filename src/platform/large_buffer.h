#pragma once
// Advice for buffers of many megabytes that are about to be filled once from
// start to end (an unpacked movie): on Linux the system is asked to back them
// with huge pages, so that filling 64 MiB takes 32 page faults instead of
// 16384. Elsewhere, or for small buffers, nothing happens.
#include <cstddef>

namespace vs {

void AdviseLargeBuffer(void* data, std::size_t size) noexcept;

}  // namespace vs
