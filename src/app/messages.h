#pragma once
// The system's own texts for what the core reports as values: failed file
// searches and refused projector files.
#include <string>

#include "app/ports.h"
#include "swf/bmh.h"

namespace vs {

inline constexpr const char* kNotAFlashProjector =
    "The selected file is not a Flash projector. Please use another file.";
inline constexpr const char* kNotEnoughMemoryForSearch = "Not enough memory to perform search.";

// "Cannot scan NAME." + CR + the reason for a DOS file error code + ".", the
// name in capitals.
std::string CannotScanMessage(const std::string& fileName, int code);

// Shows a search that gave up: a warning when memory ran out, an error for a
// file that could not be read.
void ReportScanFailure(UserInterface& ui, const ScanFailure& failure);

}  // namespace vs
