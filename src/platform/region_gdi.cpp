// vs::Region over the platform's own regions, for the Windows programs of the
// Tools folder. Region bytes keep the RGNDATA layout that GDI itself uses.
#ifdef _WIN32

#include <windows.h>

#include <cstring>

#include "platform/region.h"

namespace vs {

struct Region::Impl {
    HRGN h;
    Impl() : h(CreateRectRgn(0, 0, 0, 0)) {}
    ~Impl() {
        if (h) DeleteObject(h);
    }
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
    CombineRgn(impl_->h, other.impl().h, nullptr, RGN_COPY);
}

Region& Region::operator=(const Region& other) {
    if (this != &other) CombineRgn(mutableImpl().h, other.impl().h, nullptr, RGN_COPY);
    return *this;
}

Region::Region(Region&& other) noexcept : impl_(std::move(other.impl_)) {}
Region& Region::operator=(Region&& other) noexcept {
    impl_.swap(other.impl_);
    return *this;
}

Region Region::fromRects(std::span<const Rect> rects) {
    std::vector<RECT> kept;
    kept.reserve(rects.size());
    for (const Rect& rc : rects)
        if (rc.left < rc.right && rc.top < rc.bottom) kept.push_back({rc.left, rc.top, rc.right, rc.bottom});
    Region out;
    if (kept.empty()) return out;
    // ExtCreateRegion is given only rectangles in y-x banded order (what region
    // data holds); any other list is united rectangle by rectangle.
    bool banded = true;
    for (std::size_t i = 1; i < kept.size() && banded; ++i) {
        const RECT& a = kept[i - 1];
        const RECT& b = kept[i];
        const bool sameBand = b.top == a.top && b.bottom == a.bottom && b.left >= a.right;
        banded = sameBand || b.top >= a.bottom;
    }
    if (!banded) {
        for (const RECT& r : kept) {
            HRGN one = CreateRectRgn(r.left, r.top, r.right, r.bottom);
            CombineRgn(out.impl_->h, out.impl_->h, one, RGN_OR);
            DeleteObject(one);
        }
        return out;
    }
    std::vector<std::uint8_t> data(sizeof(RGNDATAHEADER) + kept.size() * sizeof(RECT));
    auto* rgn = reinterpret_cast<RGNDATA*>(data.data());
    rgn->rdh.dwSize = sizeof(RGNDATAHEADER);
    rgn->rdh.iType = RDH_RECTANGLES;
    rgn->rdh.nCount = static_cast<DWORD>(kept.size());
    rgn->rdh.nRgnSize = static_cast<DWORD>(kept.size() * sizeof(RECT));
    RECT bound = kept[0];
    for (const RECT& r : kept) {
        bound.left = r.left < bound.left ? r.left : bound.left;
        bound.top = r.top < bound.top ? r.top : bound.top;
        bound.right = r.right > bound.right ? r.right : bound.right;
        bound.bottom = r.bottom > bound.bottom ? r.bottom : bound.bottom;
    }
    rgn->rdh.rcBound = bound;
    std::memcpy(data.data() + sizeof(RGNDATAHEADER), kept.data(), kept.size() * sizeof(RECT));
    if (HRGN h = ExtCreateRegion(nullptr, static_cast<DWORD>(data.size()), rgn)) {
        DeleteObject(out.impl_->h);
        out.impl_->h = h;
        return out;
    }
    // Refused (too many rectangles for one call): unite them one by one.
    for (const RECT& r : kept) {
        HRGN one = CreateRectRgn(r.left, r.top, r.right, r.bottom);
        CombineRgn(out.impl_->h, out.impl_->h, one, RGN_OR);
        DeleteObject(one);
    }
    return out;
}

std::vector<Rect> Region::rects() const {
    const DWORD size = GetRegionData(impl().h, 0, nullptr);
    if (size < sizeof(RGNDATAHEADER)) return {};
    std::vector<std::uint8_t> data(size);
    if (GetRegionData(impl().h, size, reinterpret_cast<RGNDATA*>(data.data())) == 0) return {};
    const auto* rgn = reinterpret_cast<const RGNDATA*>(data.data());
    std::vector<Rect> out(rgn->rdh.nCount);
    const std::size_t at = rgn->rdh.dwSize;
    if (at + out.size() * 16 <= data.size() && !out.empty()) std::memcpy(out.data(), data.data() + at, out.size() * 16);
    return out;
}

std::size_t Region::rectCount() const { return rects().size(); }

Rect Region::bounds() const {
    RECT r;
    if (GetRgnBox(impl().h, &r) == NULLREGION) return {};
    return {r.left, r.top, r.right, r.bottom};
}

bool Region::empty() const {
    RECT r;
    return GetRgnBox(impl().h, &r) == NULLREGION;
}

bool Region::contains(std::int32_t x, std::int32_t y) const { return PtInRegion(impl().h, x, y) != 0; }

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
    CombineRgn(mine.h, mine.h, other.impl().h, RGN_OR);
}

bool Region::operator==(const Region& other) const { return rects() == other.rects(); }

}  // namespace vs

#endif  // _WIN32
