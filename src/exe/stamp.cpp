#include "exe/stamp.h"

#include <vector>

#include "exe/icon_replace.h"
#include "exe/resource_updater.h"
#include "platform/atomic_file.h"
#include "platform/stream.h"

namespace vs {

StampResult StampExecutable(const std::string& fileName, const StampRequest& request) {
    StampResult result;
    if (!request.version && !request.icon) return result;
    std::vector<std::uint8_t> file = ReadWholeFile(fileName);

    if (request.version) {
        const std::vector<ResourceChange> changes = {{ResourceId::Number(RT_VERSION_ID), ResourceId::Number(1), LANG_EN_US,
                                                      BuildVersionBlock(*request.version, request.versionLayout)}};
        try {
            file = RewriteResources(file, changes);
            result.versionWritten = true;
        } catch (const EResourceUpdateError& e) {
            if (request.refusedVersion == StampFailure::Throw) throw EResourceUpdateError(fileName, e.Reason());
            result.versionRefusal = e.Reason();
        }
    }
    if (request.icon) {
        if (ReplaceIconImage(file, *request.icon, fileName))
            result.iconWritten = true;
        else if (request.noIconImage == StampFailure::Throw)
            throw ENoIconImageError(fileName);
        else
            result.noIconImage = true;
    }

    if (result.versionWritten || result.iconWritten) WriteFileAtomic(fileName, file.data(), file.size());
    return result;
}

}  // namespace vs
