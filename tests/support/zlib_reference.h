#pragma once
// zlib's own deflate of a whole buffer in one call (window 15, memory level
// 8, default strategy): what the chunked packing is compared with, in tests
// for its bytes and in benchmarks for its speed.
#include <zlib.h>

#include <cstdint>
#include <span>
#include <vector>

namespace vs::test {

inline std::vector<std::uint8_t> ZlibDeflateOnce(std::span<const std::uint8_t> data, int level) {
    z_stream z{};
    deflateInit2(&z, level, Z_DEFLATED, 15, 8, Z_DEFAULT_STRATEGY);
    std::vector<std::uint8_t> out(deflateBound(&z, static_cast<uLong>(data.size())));
    z.next_in = const_cast<Bytef*>(data.data());
    z.avail_in = static_cast<uInt>(data.size());
    z.next_out = out.data();
    z.avail_out = static_cast<uInt>(out.size());
    deflate(&z, Z_FINISH);
    out.resize(z.total_out);
    deflateEnd(&z);
    return out;
}

}  // namespace vs::test
