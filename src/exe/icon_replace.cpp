#include "exe/icon_replace.h"

#include <algorithm>
#include <utility>
#include <vector>

#include "exe/exe_image.h"
#include "exe/jv_icon.h"
#include "platform/atomic_file.h"
#include "platform/byte_reader.h"
#include "platform/errors.h"
#include "platform/stream.h"

namespace vs {

namespace {

// Resource trees are three levels deep; anything deeper is a damaged file
// that might loop back on itself.
constexpr int kMaxDepth = 8;

void search(TResourceList& list, std::optional<IconSlot>& found, int depth) {
    if (found || depth > kMaxDepth) return;
    for (int i = 0; i < list.Count(); ++i) {
        TResourceItem& item = list.Items(i);
        if (item.HasChildren()) {
            search(item.Children(), found, depth + 1);
        } else if (item.TypeId() == RT_ICON_ID) {
            if (!found) found = IconSlot{item.DataFileOffset(), item.DataSize()};
            return;
        }
    }
}

}  // namespace

void FindFirstIconImage(TResourceList& list, std::optional<IconSlot>& found) { search(list, found, 0); }

std::optional<IconSlot> FindFirstIconImage(TResourceList& list) {
    std::optional<IconSlot> found;
    FindFirstIconImage(list, found);
    return found;
}

namespace {

// The image to write and where: nothing when the executable has no icon
// image. The icon is converted in any case, so that an icon without a colour
// image fails whether or not there is a slot.
std::optional<std::pair<IconSlot, std::vector<std::uint8_t>>> planImage(TExeImage& image, const TIcon& icon) {
    std::optional<IconSlot> slot;
    int width = 32, height = 32;
    FindFirstIconImage(image.ResourceTree(), slot);
    const auto bytes = image.FileBytes();
    if (slot) {
        if (!fitsIn(slot->offset, slot->size, bytes.size())) throw EExeError(exe_msg::Unrecognized);
        // The written image takes the size of the image it replaces.
        if (auto info = ReadIconImageInfo(bytes.subspan(slot->offset, slot->size))) {
            width = info->width;
            height = info->height;
        }
    }

    TMemoryStream converted;
    TjvIcon::WriteIconFile(converted, ScaleIcon(icon, width, height));
    if (!slot) return std::nullopt;

    const auto written = converted.bytes().subspan(kIconFileImageOffset);
    if (written.size() > slot->size)
        throw EInvalidGraphic("The first icon image of " + image.FileName() + " has no room for a " +
                              std::to_string(width) + " x " + std::to_string(height) + " image with 256 colours");
    return std::pair{*slot, std::vector<std::uint8_t>(written.begin(), written.end())};
}

}  // namespace

bool ReplaceExeIcon(const std::string& fileName, const TIcon& icon) {
    if (!FileExists(fileName)) return false;
    std::vector<std::uint8_t> file;
    {
        TExeImage image(fileName);
        auto planned = planImage(image, icon);
        if (!planned) return false;
        const auto bytes = image.FileBytes();
        file.assign(bytes.begin(), bytes.end());
        std::copy(planned->second.begin(), planned->second.end(), file.begin() + planned->first.offset);
    }
    // The whole file is written anew, so that a failure leaves it as it was.
    WriteFileAtomic(fileName, file.data(), file.size());
    return true;
}

bool ReplaceIconImage(std::vector<std::uint8_t>& file, const TIcon& icon, const std::string& name) {
    std::optional<std::pair<IconSlot, std::vector<std::uint8_t>>> planned;
    {
        TExeImage image(TExeImage::Borrowed{file}, name);
        planned = planImage(image, icon);
    }
    if (!planned) return false;
    std::copy(planned->second.begin(), planned->second.end(), file.begin() + planned->first.offset);
    return true;
}

}  // namespace vs
