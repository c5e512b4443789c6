#pragma once
// A window region: a set of pixels made of rectangles. Region bytes in and out
// have the layout of the Windows region data (RGNDATA): a 32-byte header
// (dwSize 32, iType 1, nCount, nRgnSize = 16 * nCount, rcBound) followed by
// nCount rectangles (left, top, right, bottom; signed 32-bit), in y-x banded
// order. Built on pixman's 32-bit regions; a Windows build can swap in GDI.
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <vector>

namespace vs {

// A rectangle as region data stores it (RECT).
struct Rect {
    std::int32_t left = 0, top = 0, right = 0, bottom = 0;
    bool operator==(const Rect&) const = default;
};
static_assert(sizeof(Rect) == 16);

// The header of region data (RGNDATAHEADER).
struct RgnDataHeader {
    std::uint32_t dwSize;
    std::uint32_t iType;
    std::uint32_t nCount;
    std::uint32_t nRgnSize;
    Rect rcBound;
};
static_assert(sizeof(RgnDataHeader) == 32);

inline constexpr std::size_t kRgnHeaderSize = sizeof(RgnDataHeader);
inline constexpr std::uint32_t kRdhRectangles = 1;

// The region data of a list of rectangles: the header (bounds = extents)
// and the rectangles as they are given.
std::vector<std::uint8_t> RegionDataOf(std::span<const Rect> rects, const Rect& bounds);

class Region {
public:
    Region();  // empty
    ~Region();
    Region(const Region& other);
    Region& operator=(const Region& other);
    // A region moved from is empty and stays usable.
    Region(Region&& other) noexcept;
    Region& operator=(Region&& other) noexcept;

    // The union of the rectangles, in any order, overlapping or not; empty
    // rectangles (left >= right or top >= bottom) add nothing.
    static Region fromRects(std::span<const Rect> rects);
    // The region that region bytes describe, or nothing when the bytes are not
    // a valid region (short, wrong header size or type, too few rectangles).
    static std::optional<Region> fromRegionData(std::span<const std::uint8_t> bytes);

    std::vector<std::uint8_t> regionData() const;
    std::size_t regionDataSize() const;
    std::vector<Rect> rects() const;
    std::size_t rectCount() const;
    Rect bounds() const;  // all zero when empty
    bool empty() const;
    bool contains(std::int32_t x, std::int32_t y) const;
    std::uint64_t area() const;

    void unite(const Region& other);
    bool operator==(const Region& other) const;

private:
    struct Impl;
    // Null after a move: every operation then sees an empty region, and the
    // first change makes a new one.
    const Impl& impl() const;
    Impl& mutableImpl();
    std::unique_ptr<Impl> impl_;
};

}  // namespace vs
