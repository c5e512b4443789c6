#pragma once
// Little-endian output: numbers, records and bytes appended to a growing
// buffer, and numbers or records put back at an offset already written (for
// lengths and offsets that are known only later). Putting anything outside
// what has been written is a mistake of the caller and throws instead of
// writing outside the buffer.
#include <bit>
#include <cstdint>
#include <cstring>
#include <span>
#include <string_view>
#include <type_traits>
#include <vector>

#include "platform/errors.h"

namespace vs {

// Records are written as they lie in memory.
static_assert(std::endian::native == std::endian::little);

class ByteWriter {
public:
    ByteWriter() = default;
    explicit ByteWriter(std::vector<std::uint8_t> start) : out_(std::move(start)) {}

    std::size_t size() const { return out_.size(); }
    const std::vector<std::uint8_t>& bytes() const { return out_; }
    std::vector<std::uint8_t> take() { return std::move(out_); }
    void reserve(std::size_t n) { out_.reserve(n); }

    void u8(std::uint8_t v) { out_.push_back(v); }
    void u16(std::uint16_t v) {
        out_.push_back(static_cast<std::uint8_t>(v));
        out_.push_back(static_cast<std::uint8_t>(v >> 8));
    }
    void u32(std::uint32_t v) {
        u16(static_cast<std::uint16_t>(v));
        u16(static_cast<std::uint16_t>(v >> 16));
    }
    void bytes(std::span<const std::uint8_t> b) { out_.insert(out_.end(), b.begin(), b.end()); }
    void zeros(std::size_t n) { out_.resize(out_.size() + n, 0); }
    // Zeros up to the next multiple of `alignment`.
    void alignTo(std::size_t alignment) { zeros((alignment - out_.size() % alignment) % alignment); }
    // UTF-16 code units, each as a 16-bit number.
    void utf16(std::u16string_view s) {
        for (char16_t c : s) u16(static_cast<std::uint16_t>(c));
    }
    // A plain on-disk record, whole.
    template <typename T>
    void record(const T& r) {
        static_assert(std::is_trivially_copyable_v<T>);
        const auto* p = reinterpret_cast<const std::uint8_t*>(&r);
        out_.insert(out_.end(), p, p + sizeof(T));
    }

    void putU16(std::size_t at, std::uint16_t v) {
        require(at, 2);
        out_[at] = static_cast<std::uint8_t>(v);
        out_[at + 1] = static_cast<std::uint8_t>(v >> 8);
    }
    void putU32(std::size_t at, std::uint32_t v) {
        require(at, 4);
        putU16(at, static_cast<std::uint16_t>(v));
        putU16(at + 2, static_cast<std::uint16_t>(v >> 16));
    }
    void putBytes(std::size_t at, std::span<const std::uint8_t> b) {
        require(at, b.size());
        if (!b.empty()) std::memcpy(out_.data() + at, b.data(), b.size());
    }
    template <typename T>
    void putRecord(std::size_t at, const T& r) {
        static_assert(std::is_trivially_copyable_v<T>);
        putBytes(at, {reinterpret_cast<const std::uint8_t*>(&r), sizeof(T)});
    }

private:
    void require(std::size_t at, std::size_t n) const {
        if (at > out_.size() || n > out_.size() - at) throw EWriteError(msg::StreamWrite);
    }

    std::vector<std::uint8_t> out_;
};

}  // namespace vs
