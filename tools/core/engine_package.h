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

// The files to write, in order: MainFile, DLLFile, then Files. Entries of
// Files that carry a name but no data (a file missing at build time) are left
// out. Fails with EPackageError when there is no movie, when a name breaks
// the rules of package/file_name_rules.h (not a plain file name, two files of
// one name, a file named like the date/time file or the tools' sub-folder),
// or when a size does not fit its stored bytes.
std::vector<ExtractItem> PlanExtraction(const s_TVexelProjector& settings);

// Inflates a packed file to the end of its zlib stream and hands its bytes
// to the sink in blocks of at most blockSize. The whole stream is checked on
// the way: its check value, its length against Filesize, and that nothing
// follows its end. Fails with EPackageError when any of that does not hold;
// the sink may have seen bytes by then, so whatever it wrote is to be thrown
// away.
inline constexpr std::size_t kInflateBlock = 1 << 20;
void InflatePackedFile(const TPackedFile& file, const std::function<void(const std::uint8_t*, std::size_t)>& sink,
                       std::size_t blockSize = kInflateBlock);

}  // namespace vs::engine
