#pragma once
// Bounds-checked cursor over bytes that come from outside (files, streams).
// Every read checks what remains first; a read past the end throws, it never
// touches memory outside the span.
#include <cstdint>
#include <cstring>
#include <optional>
#include <span>
#include <string>
#include <type_traits>

#include "platform/errors.h"

namespace vs {

using Bytes = std::span<const std::uint8_t>;

// offset + size without overflow, and inside a buffer of `total` bytes.
constexpr bool fitsIn(std::uint64_t offset, std::uint64_t size, std::uint64_t total) {
    return offset <= total && size <= total - offset;
}

class ByteReader {
public:
    explicit ByteReader(Bytes data, const char* errorText = msg::StreamRead)
        : data_(data), error_(errorText) {}

    std::size_t position() const { return pos_; }
    std::size_t size() const { return data_.size(); }
    std::size_t remaining() const { return data_.size() - pos_; }
    bool atEnd() const { return pos_ >= data_.size(); }
    Bytes data() const { return data_; }

    void seek(std::size_t pos) {
        if (pos > data_.size()) fail();
        pos_ = pos;
    }
    void skip(std::size_t n) {
        require(n);
        pos_ += n;
    }

    std::uint8_t u8() { return read<std::uint8_t>(); }
    std::int8_t i8() { return read<std::int8_t>(); }
    std::uint16_t u16() { return read<std::uint16_t>(); }
    std::int16_t i16() { return read<std::int16_t>(); }
    std::uint32_t u32() { return read<std::uint32_t>(); }
    std::int32_t i32() { return read<std::int32_t>(); }
    std::uint64_t u64() { return read<std::uint64_t>(); }

    // Reads a little-endian trivially copyable value (a plain on-disk record).
    template <typename T>
    T read() {
        static_assert(std::is_trivially_copyable_v<T>);
        require(sizeof(T));
        T v;
        std::memcpy(&v, data_.data() + pos_, sizeof(T));
        pos_ += sizeof(T);
        return v;
    }

    Bytes bytes(std::size_t n) {
        require(n);
        Bytes out = data_.subspan(pos_, n);
        pos_ += n;
        return out;
    }
    std::string string(std::size_t n) {
        Bytes b = bytes(n);
        return std::string(reinterpret_cast<const char*>(b.data()), b.size());
    }

    // A view of `size` bytes at absolute `offset`, or nothing when it does not fit.
    std::optional<Bytes> at(std::uint64_t offset, std::uint64_t size) const {
        if (!fitsIn(offset, size, data_.size())) return std::nullopt;
        return data_.subspan(static_cast<std::size_t>(offset), static_cast<std::size_t>(size));
    }

    void require(std::size_t n) const {
        if (n > remaining()) fail();
    }

private:
    [[noreturn]] void fail() const { throw EReadError(error_); }

    Bytes data_;
    std::size_t pos_ = 0;
    const char* error_;
};

}  // namespace vs
