#include "platform/region.h"

#include "platform/byte_reader.h"
#include "platform/byte_writer.h"

namespace vs {

// Region bytes are the same on every platform.

std::vector<std::uint8_t> RegionDataOf(std::span<const Rect> rects, const Rect& bounds) {
    ByteWriter out;
    out.reserve(kRgnHeaderSize + sizeof(Rect) * rects.size());
    const auto count = static_cast<std::uint32_t>(rects.size());
    out.record(RgnDataHeader{static_cast<std::uint32_t>(kRgnHeaderSize), kRdhRectangles, count,
                             static_cast<std::uint32_t>(sizeof(Rect) * rects.size()), bounds});
    for (const Rect& r : rects) out.record(r);
    return out.take();
}

std::optional<Region> Region::fromRegionData(std::span<const std::uint8_t> bytes) {
    ByteReader in(bytes);
    if (in.remaining() < kRgnHeaderSize) return std::nullopt;
    const auto header = in.read<RgnDataHeader>();
    if (header.dwSize < kRgnHeaderSize || header.iType != kRdhRectangles) return std::nullopt;
    // A header that claims to be larger must leave room for it too; the
    // rectangles are read right behind the 32 bytes, as the platform does.
    if (!fitsIn(header.dwSize, std::uint64_t{header.nCount} * sizeof(Rect), bytes.size())) return std::nullopt;
    std::vector<Rect> rects;
    rects.reserve(header.nCount);
    for (std::uint32_t i = 0; i < header.nCount; ++i) rects.push_back(in.read<Rect>());
    return fromRects(rects);
}

}  // namespace vs

// Windows builds use the platform's own regions (region_gdi.cpp).
#ifndef _WIN32

#include <pixman.h>

namespace vs {

struct Region::Impl {
    pixman_region32_t r;
    Impl() { pixman_region32_init(&r); }
    ~Impl() { pixman_region32_fini(&r); }
    Impl(const Impl&) = delete;
    Impl& operator=(const Impl&) = delete;
};

const Region::Impl& Region::impl() const {
    static const Impl empty;
    return impl_ ? *impl_ : empty;
}

Region::Impl& Region::mutableImpl() {
    if (!impl_) impl_ = std::make_unique<Impl>();
    return *impl_;
}

Region::Region() : impl_(std::make_unique<Impl>()) {}
Region::~Region() = default;

Region::Region(const Region& other) : impl_(std::make_unique<Impl>()) {
    pixman_region32_copy(&impl_->r, &other.impl().r);
}

Region& Region::operator=(const Region& other) {
    if (this != &other) pixman_region32_copy(&mutableImpl().r, &other.impl().r);
    return *this;
}

Region::Region(Region&& other) noexcept : impl_(std::move(other.impl_)) {}
Region& Region::operator=(Region&& other) noexcept {
    impl_.swap(other.impl_);
    return *this;
}

Region Region::fromRects(std::span<const Rect> rects) {
    std::vector<pixman_box32_t> boxes;
    boxes.reserve(rects.size());
    for (const Rect& rc : rects)
        if (rc.left < rc.right && rc.top < rc.bottom) boxes.push_back({rc.left, rc.top, rc.right, rc.bottom});
    Region out;
    if (!boxes.empty()) {
        pixman_region32_fini(&out.impl_->r);
        if (!pixman_region32_init_rects(&out.impl_->r, boxes.data(), static_cast<int>(boxes.size())))
            pixman_region32_init(&out.impl_->r);
    }
    return out;
}

std::size_t Region::rectCount() const {
    return static_cast<std::size_t>(pixman_region32_n_rects(&impl().r));
}

std::vector<Rect> Region::rects() const {
    int n = 0;
    const pixman_box32_t* boxes = pixman_region32_rectangles(&impl().r, &n);
    std::vector<Rect> out(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i) out[static_cast<std::size_t>(i)] = {boxes[i].x1, boxes[i].y1, boxes[i].x2, boxes[i].y2};
    return out;
}

Rect Region::bounds() const {
    if (empty()) return {};
    const pixman_box32_t* e = pixman_region32_extents(&impl().r);
    return {e->x1, e->y1, e->x2, e->y2};
}

bool Region::empty() const { return !pixman_region32_not_empty(&impl().r); }

bool Region::contains(std::int32_t x, std::int32_t y) const {
    return pixman_region32_contains_point(&impl().r, x, y, nullptr);
}

std::uint64_t Region::area() const {
    std::uint64_t a = 0;
    for (const Rect& r : rects())
        a += std::uint64_t(std::int64_t(r.right) - r.left) * std::uint64_t(std::int64_t(r.bottom) - r.top);
    return a;
}

std::size_t Region::regionDataSize() const { return kRgnHeaderSize + 16 * rectCount(); }

std::vector<std::uint8_t> Region::regionData() const { return RegionDataOf(rects(), bounds()); }

void Region::unite(const Region& other) {
    Impl& mine = mutableImpl();
    pixman_region32_union(&mine.r, &mine.r, &other.impl().r);
}

bool Region::operator==(const Region& other) const { return rects() == other.rects(); }

}  // namespace vs

#endif  // _WIN32
