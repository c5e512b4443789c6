#include "app/messages.h"

#include "platform/ascii.h"

namespace vs {

std::string CannotScanMessage(const std::string& fileName, int code) {
    return "Cannot scan " + AsciiUpperCase(fileName) + ".\r" + DosErrorReason(code) + ".";
}

void ReportScanFailure(UserInterface& ui, const ScanFailure& failure) {
    if (failure.kind == ScanFailure::Kind::OutOfMemory)
        ui.warning(kNotEnoughMemoryForSearch);
    else
        ui.error(CannotScanMessage(failure.file, failure.code));
}

}  // namespace vs
