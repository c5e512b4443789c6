#pragma once
// The window shape: a region made of rectangles and the size of the picture it
// was cut from. Its bytes travel as the binary entry "TheRegion".
#include <cstdint>
#include <memory>
#include <vector>

#include "package/persistent.h"
#include "platform/region.h"
#include "platform/stream.h"

namespace vs {

// Holds the live region (Handle); empty when there is none.
class TRegionType final : public Published<TRegionType, TPersistent> {
public:
    static const ClassInfo& StaticClassInfo();

    const Region* Handle() const { return handle_.get(); }
    void SetHandle(std::unique_ptr<Region> region) { handle_ = std::move(region); }
    void SetHandle(Region region) { handle_ = std::make_unique<Region>(std::move(region)); }
    void Release() { handle_.reset(); }

private:
    std::unique_ptr<Region> handle_;
};

class TStoreWinRegion final : public Published<TStoreWinRegion, TPersistent> {
public:
    TStoreWinRegion() = default;
    static const ClassInfo& StaticClassInfo();

    TRegionType& RegionHolder() { return holder_; }
    const TRegionType& RegionHolder() const { return holder_; }
    const std::vector<std::uint8_t>& RegionData() const { return regionData_; }
    std::int32_t RegionDataSize() const { return regionDataSize_; }

    std::int32_t Width = 0;
    std::int32_t Height = 0;

    // True when no region bytes are cached, whatever the live region.
    bool Empty() const { return regionDataSize_ == 0; }
    void WriteData(TStream& stream) const;
    void ReadData(TStream& stream);
    void Assign(const TPersistent& source) override;
    void Clear();
    void ScaleRegion(double factor);
    void DefineProperties(TFiler& filer) override;

private:
    TRegionType holder_;
    std::vector<std::uint8_t> regionData_;
    std::int32_t regionDataSize_ = 0;
};

// x * factor in extended precision, to the nearest integer, ties to even;
// kept inside the 32-bit range.
std::int32_t ScaleCoordinate(std::int32_t value, double factor);

}  // namespace vs
