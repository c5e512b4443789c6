#include "platform/region.h"

// Windows builds use the platform's own regions (region_gdi.cpp).
#ifndef _WIN32

#include <pixman.h>

#include <cstring>

namespace vs {

struct Region::Impl {
    pixman_region32_t r;
    Impl() { pixman_region32_init(&r); }
    ~Impl() { pixman_region32_fini(&r); }
};

Region::Region() : impl_(std::make_unique<Impl>()) {}
Region::~Region() = default;

Region::Region(const Region& other) : impl_(std::make_unique<Impl>()) {
    pixman_region32_copy(&impl_->r, &other.impl_->r);
}

Region& Region::operator=(const Region& other) {
    if (this != &other) pixman_region32_copy(&impl_->r, &other.impl_->r);
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

std::optional<Region> Region::fromRegionData(std::span<const std::uint8_t> bytes) {
    if (bytes.size() < kRgnHeaderSize) return std::nullopt;
    std::uint32_t dwSize, iType, nCount;
    std::memcpy(&dwSize, bytes.data(), 4);
    std::memcpy(&iType, bytes.data() + 4, 4);
    std::memcpy(&nCount, bytes.data() + 8, 4);
    if (dwSize < kRgnHeaderSize || iType != kRdhRectangles) return std::nullopt;
    std::uint64_t need = std::uint64_t{dwSize} + std::uint64_t{nCount} * 16;
    if (need > bytes.size()) return std::nullopt;
    if (nCount > static_cast<std::uint32_t>(INT32_MAX)) return std::nullopt;
    std::vector<Rect> rects(nCount);
    if (nCount) std::memcpy(rects.data(), bytes.data() + kRgnHeaderSize, std::size_t{nCount} * 16);
    return fromRects(rects);
}

std::size_t Region::rectCount() const {
    return static_cast<std::size_t>(pixman_region32_n_rects(&impl_->r));
}

std::vector<Rect> Region::rects() const {
    int n = 0;
    const pixman_box32_t* boxes = pixman_region32_rectangles(&impl_->r, &n);
    std::vector<Rect> out(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i) out[static_cast<std::size_t>(i)] = {boxes[i].x1, boxes[i].y1, boxes[i].x2, boxes[i].y2};
    return out;
}

Rect Region::bounds() const {
    if (empty()) return {};
    const pixman_box32_t* e = pixman_region32_extents(&impl_->r);
    return {e->x1, e->y1, e->x2, e->y2};
}

bool Region::empty() const { return !pixman_region32_not_empty(&impl_->r); }

bool Region::contains(std::int32_t x, std::int32_t y) const {
    return pixman_region32_contains_point(&impl_->r, x, y, nullptr);
}

std::uint64_t Region::area() const {
    std::uint64_t a = 0;
    for (const Rect& r : rects())
        a += std::uint64_t(std::int64_t(r.right) - r.left) * std::uint64_t(std::int64_t(r.bottom) - r.top);
    return a;
}

std::size_t Region::regionDataSize() const { return kRgnHeaderSize + 16 * rectCount(); }

std::vector<std::uint8_t> Region::regionData() const {
    int n = 0;
    const pixman_box32_t* boxes = pixman_region32_rectangles(&impl_->r, &n);
    std::vector<std::uint8_t> out(kRgnHeaderSize + 16 * static_cast<std::size_t>(n));
    auto put = [&](std::size_t off, std::uint32_t v) { std::memcpy(out.data() + off, &v, 4); };
    Rect b = bounds();
    put(0, kRgnHeaderSize);
    put(4, kRdhRectangles);
    put(8, static_cast<std::uint32_t>(n));
    put(12, static_cast<std::uint32_t>(16 * n));
    put(16, static_cast<std::uint32_t>(b.left));
    put(20, static_cast<std::uint32_t>(b.top));
    put(24, static_cast<std::uint32_t>(b.right));
    put(28, static_cast<std::uint32_t>(b.bottom));
    for (int i = 0; i < n; ++i) {
        std::size_t off = kRgnHeaderSize + 16 * static_cast<std::size_t>(i);
        put(off, static_cast<std::uint32_t>(boxes[i].x1));
        put(off + 4, static_cast<std::uint32_t>(boxes[i].y1));
        put(off + 8, static_cast<std::uint32_t>(boxes[i].x2));
        put(off + 12, static_cast<std::uint32_t>(boxes[i].y2));
    }
    return out;
}

void Region::unite(const Region& other) { pixman_region32_union(&impl_->r, &impl_->r, &other.impl_->r); }

bool Region::operator==(const Region& other) const { return rects() == other.rects(); }

}  // namespace vs

#endif  // _WIN32
