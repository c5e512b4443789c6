#pragma once
// Helpers for spelling expected stream bytes in tests.
#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

namespace vs::test {

using ByteVec = std::vector<std::uint8_t>;

// Builds bytes from pieces: numbers are single bytes, texts are their bytes.
struct B {
    ByteVec v;
    B& operator()(std::initializer_list<int> bytes) {
        for (int b : bytes) v.push_back(static_cast<std::uint8_t>(b));
        return *this;
    }
    B& operator()(std::string_view text) {
        v.insert(v.end(), text.begin(), text.end());
        return *this;
    }
    // A short string: length byte and text.
    B& s(std::string_view text) {
        v.push_back(static_cast<std::uint8_t>(text.size()));
        return (*this)(text);
    }
    B& u32(std::uint32_t x) {
        for (int i = 0; i < 4; ++i) v.push_back(static_cast<std::uint8_t>(x >> (8 * i)));
        return *this;
    }
};

std::string Hex(const ByteVec& bytes);

}  // namespace vs::test
