#include "app/projector_inspection.h"

#include "app/messages.h"
#include "package/vexel_projector.h"

namespace vs {

bool InspectProjectorFile(const std::string& fileName, s_TVexelProjector* settings, UserInterface& ui,
                          InspectionResult& result, const InspectOptions& options) {
    const bool accepted = settings ? InspectProjector(fileName, *settings, result, options)
                                   : InspectProjector(fileName, result, options);
    for (const ScanFailure& failure : result.scanFailures) ReportScanFailure(ui, failure);
    if (result.refused) ui.warning(kNotAFlashProjector);
    return accepted;
}

}  // namespace vs
