#include "package/store_win_region.h"

#include <cfenv>
#include <cmath>
#include <cstring>

#include "package/filer.h"
#include "platform/errors.h"

namespace vs {

const ClassInfo& TRegionType::StaticClassInfo() {
    static const ClassInfo info{"TRegionType", &TPersistent::StaticClassInfo(), {}, {}};
    return info;
}

const ClassInfo& TStoreWinRegion::StaticClassInfo() {
    static const ClassInfo info = [] {
        ClassInfo c{"TStoreWinRegion", &TPersistent::StaticClassInfo(), {}, {}};
        c.props.push_back(IntegerProp("Width", &TStoreWinRegion::Width));
        c.props.push_back(IntegerProp("Height", &TStoreWinRegion::Height));
        c.methods = {"ReadData", "WriteData", "Assign", "ScaleRegion", "Empty"};
        return c;
    }();
    return info;
}

void TStoreWinRegion::WriteData(TStream& stream) const {
    if (const Region* r = holder_.Handle()) {
        std::vector<std::uint8_t> bytes = r->regionData();
        auto n = static_cast<std::uint32_t>(bytes.size());
        stream.WriteBuffer(&n, 4);
        stream.WriteBuffer(bytes.data(), bytes.size());
    } else {
        std::uint32_t zero = 0;
        stream.WriteBuffer(&zero, 4);
    }
}

void TStoreWinRegion::ReadData(TStream& stream) {
    std::int32_t n = 0;
    stream.ReadBuffer(&n, 4);
    regionDataSize_ = n;
    holder_.Release();
    if (n == 0) return;
    // A count that is negative or larger than what follows is not region data.
    if (n < 0 || n > stream.Size() - stream.Position()) throw EReadError(msg::StreamRead);
    regionData_.assign(static_cast<std::size_t>(n), 0);
    stream.ReadBuffer(regionData_.data(), regionData_.size());
    if (auto region = Region::fromRegionData(regionData_)) holder_.SetHandle(std::move(*region));
}

void TStoreWinRegion::Assign(const TPersistent& source) {
    auto* src = dynamic_cast<const TStoreWinRegion*>(&source);
    if (!src || src == this) return;
    regionData_.clear();
    holder_.Release();
    const Region* live = src->holder_.Handle();
    if (!live) {
        regionDataSize_ = 0;
        return;
    }
    regionData_ = live->regionData();
    regionDataSize_ = static_cast<std::int32_t>(regionData_.size());
    if (auto region = Region::fromRegionData(regionData_)) holder_.SetHandle(std::move(*region));
    Width = src->Width;
    Height = src->Height;
}

void TStoreWinRegion::Clear() {
    regionData_.clear();
    holder_.Release();
    regionDataSize_ = 0;
}

std::int32_t ScaleCoordinate(std::int32_t value, double factor) {
    long double product = static_cast<long double>(value) * static_cast<long double>(factor);
    if (std::isnan(product)) return 0;
    if (product >= static_cast<long double>(INT32_MAX)) return INT32_MAX;
    if (product <= static_cast<long double>(INT32_MIN)) return INT32_MIN;
    // The default rounding mode takes ties to the even integer.
    return static_cast<std::int32_t>(std::nearbyintl(product));
}

void TStoreWinRegion::ScaleRegion(double factor) {
    if (regionData_.empty()) {
        if (const Region* live = holder_.Handle()) {
            regionData_ = live->regionData();
            regionDataSize_ = static_cast<std::int32_t>(regionData_.size());
        }
    }
    holder_.Release();
    auto scaleAt = [&](std::size_t off) {
        std::int32_t v;
        std::memcpy(&v, regionData_.data() + off, 4);
        v = ScaleCoordinate(v, factor);
        std::memcpy(regionData_.data() + off, &v, 4);
    };
    if (regionData_.size() >= kRgnHeaderSize) {
        std::uint32_t count;
        std::memcpy(&count, regionData_.data() + 8, 4);
        // Only rectangles that lie inside the cached bytes are touched.
        std::size_t fit = (regionData_.size() - kRgnHeaderSize) / 16;
        std::size_t n = std::min<std::size_t>(count, fit);
        for (std::size_t i = 0; i < n; ++i)
            for (int k = 0; k < 4; ++k) scaleAt(kRgnHeaderSize + 16 * i + 4 * static_cast<std::size_t>(k));
        for (int k = 0; k < 4; ++k) scaleAt(16 + 4 * static_cast<std::size_t>(k));
    }
    Width = ScaleCoordinate(Width, factor);
    Height = ScaleCoordinate(Height, factor);
    if (!regionData_.empty())
        if (auto region = Region::fromRegionData(regionData_)) holder_.SetHandle(std::move(*region));
}

void TStoreWinRegion::DefineProperties(TFiler& filer) {
    filer.DefineBinaryProperty(
        "TheRegion", [this](TStream& s) { ReadData(s); }, [this](TStream& s) { WriteData(s); }, !Empty());
}

}  // namespace vs
