#include "test_bytes.h"

namespace vs::test {

std::string Hex(const ByteVec& bytes) {
    static const char* digits = "0123456789ABCDEF";
    std::string out;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        std::uint8_t b = bytes[i];
        if (b >= 0x20 && b < 0x7F && b != '\\') {
            out.push_back(static_cast<char>(b));
        } else {
            out += '\\';
            out += digits[b >> 4];
            out += digits[b & 15];
        }
    }
    return out;
}

}  // namespace vs::test
