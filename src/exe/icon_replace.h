#pragma once
// Overwriting the first icon image of an executable, in place: no resource is
// added, resized or renumbered, only the image's bytes change.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "exe/icon.h"

namespace vs {

class TResourceList;

// The data of an icon image in the file: its offset and the size in its data entry.
struct IconSlot {
    std::uint32_t offset = 0;
    std::uint32_t size = 0;
    bool operator==(const IconSlot&) const = default;
};

// Searches a resource list depth first, in list order, for the first icon
// image: the first group that names an existing image gives that image's first
// language. Sets `found` once; a set `found` ends the search.
void FindFirstIconImage(TResourceList& list, std::optional<IconSlot>& found);
std::optional<IconSlot> FindFirstIconImage(TResourceList& list);

// Writes the icon as a 256-colour image over the executable's first icon
// image, resampled to that image's size when the icon has another one. Returns
// false, writing nothing, when the file does not exist or has no icon image.
// Fails (and writes nothing) with the resource reader's errors, with "Bitmap
// image is not valid" for an icon without a colour image, and when the
// image's data has no room for a 256-colour image of its size.
bool ReplaceExeIcon(const std::string& fileName, const TIcon& icon);

// The same on an executable held in memory (`name` is used in messages only):
// returns false, changing nothing, when it has no icon image.
bool ReplaceIconImage(std::vector<std::uint8_t>& file, const TIcon& icon, const std::string& name);

}  // namespace vs
