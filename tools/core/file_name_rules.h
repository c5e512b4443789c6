#pragma once
// Names that come from outside (packed file names, the variable service's
// NAME) become files inside one folder of ours. A name passes only when every
// Windows file system takes it as a plain file in that folder: no separator,
// no drive, no device, nothing the system would silently change.
#include <cstddef>
#include <string_view>

namespace vs::engine {

// The file name of a reserved device (CON, PRN, AUX, NUL, COM0-9, LPT0-9,
// CONIN$, CONOUT$), with or without an extension, in any case.
bool IsDeviceName(std::string_view name);

// A plain file name of at most maxBytes bytes: valid UTF-8, not "." or "..",
// none of the characters < > : " / \ | ? * or controls, no leading space, no
// trailing dot or space, and not a device name.
bool IsPlainFileName(std::string_view name, std::size_t maxBytes);

}  // namespace vs::engine
