#pragma once
// What the engine does with its own package before anything runs: find and
// read the settings, decide under which names the packed files are written
// into the engine's temporary folder, and inflate them. Everything here is
// checked before a byte is written, so a bad package stops the engine with a
// clear message and leaves nothing behind.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "package/vexel_projector.h"
#include "platform/errors.h"
#include "platform/stream.h"

namespace vs::engine {

// A package the engine cannot run; the text says why.
class EPackageError : public VsError { public: using VsError::VsError; };

inline constexpr std::size_t kMaxExtractName = 200;
// deflate never expands data by more than about 1032:1; a size beyond that
// cannot come from the stored bytes.
inline constexpr std::uint64_t kMaxInflateRatio = 1032;

// Reads the settings of a built projector (the last 4 bytes give the offset
// of the settings stream). Fails with EPackageError "The projector holds no
// package" when the file has none, and "The projector's package is damaged: %s"
// when the stream cannot be read.
std::int64_t ReadEnginePackage(TStream& file, s_TVexelProjector& settings);

struct ExtractItem {
    const TPackedFile* file;
    std::string name;  // plain file name inside the temporary folder
    bool tool;         // one of the Tools folder programs
};

// The file part of a stored name (after the last '\' or '/'), or empty when
// that part is not a plain file name.
std::string ExtractName(std::string_view storedName);

// The files to write, in order: MainFile, DLLFile, then Files. Entries of
// Files that carry a name but no data (a file missing at build time) are left
// out. Fails with EPackageError when there is no movie, when a name is not a
// plain file name, when two files would get the same name (compared without
// regard to case) or when a size does not fit its stored bytes.
std::vector<ExtractItem> PlanExtraction(const s_TVexelProjector& settings);

// Inflates a packed file and hands exactly Filesize bytes to the sink, in
// blocks. Fails with EPackageError when the stored bytes are not a zlib
// stream or end before Filesize bytes.
void InflatePackedFile(const TPackedFile& file, const std::function<void(const std::uint8_t*, std::size_t)>& sink);

}  // namespace vs::engine
