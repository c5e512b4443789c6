// The engine's reading of its own package: locate, read, plan the files and
// inflate them, on any bytes. Every failure must be a clean EPackageError
// whose message is short and holds no control characters.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "core/engine_package.h"
#include "platform/stream.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    vs::TBytesStream file({data, size});
    vs::s_TVexelProjector settings;
    try {
        vs::engine::ReadEnginePackage(file, settings);
        auto plan = vs::engine::PlanExtraction(settings);
        for (const auto& item : plan) {
            std::size_t total = 0;
            vs::engine::InflatePackedFile(*item.file, [&](const std::uint8_t*, std::size_t n) { total += n; });
            if (total != static_cast<std::size_t>(item.file->Filesize)) __builtin_trap();
            if (item.name.find_first_of("\\/:") != std::string::npos || item.name == "..") __builtin_trap();
        }
    } catch (const vs::engine::EPackageError& e) {
        // What the user reads: never damaged bytes, never a wall of text.
        const std::string said = e.what();
        if (said.size() > 1000) __builtin_trap();
        for (char c : said)
            if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) __builtin_trap();
    }
    return 0;
}
