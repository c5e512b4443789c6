#include "exe/icon_replace.h"

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

bool ReplaceExeIcon(const std::string& fileName, const TIcon& icon) {
    if (!FileExists(fileName)) return false;

    std::optional<IconSlot> slot;
    int width = 32, height = 32;
    {
        TExeImage image(fileName);
        FindFirstIconImage(image.ResourceTree(), slot);
        if (slot) {
            const auto bytes = image.FileBytes();
            if (!fitsIn(slot->offset, slot->size, bytes.size())) throw EExeError(exe_msg::Unrecognized);
            // The written image takes the size of the image it replaces.
            if (auto info = ReadIconImageInfo(bytes.subspan(slot->offset, slot->size))) {
                width = info->width;
                height = info->height;
            }
        }
    }

    TMemoryStream converted;
    TjvIcon::WriteIconFile(converted, ScaleIcon(icon, width, height));
    if (!slot) return false;

    const auto image = converted.bytes().subspan(kIconFileImageOffset);
    if (image.size() > slot->size)
        throw EInvalidGraphic("The first icon image of " + fileName + " has no room for a " + std::to_string(width) +
                              " x " + std::to_string(height) + " image with 256 colours");

    // The whole file is written anew, so that a failure leaves it as it was.
    std::vector<std::uint8_t> file = ReadWholeFile(fileName);
    if (!fitsIn(slot->offset, image.size(), file.size())) throw EExeError(exe_msg::Unrecognized);
    std::copy(image.begin(), image.end(), file.begin() + slot->offset);
    WriteFileAtomic(fileName, file.data(), file.size());
    return true;
}

}  // namespace vs
