// The inspection of arbitrary bytes, on a temporary copy. After every run the
// file keeps its length and no byte outside a rewritten command changed; the
// in-memory passes give the same bytes as the plain rewriting loop; the file
// search agrees with a plain search.
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/errors.h"
#include "support/literal_rewrite.h"
#include "swf/bmh.h"
#include "swf/inspection.h"

namespace {

const std::string& TempName() {
    static const std::string name = [] {
        std::string n = (std::filesystem::temp_directory_path() / ("vs_fuzz_inspect_" + std::to_string(::getpid()) + ".exe")).string();
        std::atexit([] { std::remove(TempName().c_str()); });
        return n;
    }();
    return name;
}

void Check(bool ok, const char* what) {
    if (!ok) {
        std::fprintf(stderr, "fuzz_inspect: %s\n", what);
        std::abort();
    }
}

std::vector<std::uint8_t> ReadAll(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(f), {}};
}

std::int64_t PlainFind(const std::vector<std::uint8_t>& data, const std::string& pattern) {
    auto it = std::search(data.begin(), data.end(), pattern.begin(), pattern.end(),
                          [](std::uint8_t a, char b) { return std::toupper(a) == static_cast<unsigned char>(b); });
    return it == data.end() ? -1 : it - data.begin();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::vector<std::uint8_t> input(data, data + size);
    {
        std::ofstream f(TempName(), std::ios::binary | std::ios::trunc);
        f.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }
    Check(vs::FindInFile("FWS", TempName()).offset == PlainFind(input, "FWS"), "file search differs");

    vs::InspectionResult result;
    try {
        vs::InspectProjector(TempName(), result);
    } catch (const vs::VsError&) {
        // Header cut short: reported, nothing written.
        Check(!result.fileWritten, "written after an error");
    }
    const std::vector<std::uint8_t> after = ReadAll(TempName());
    Check(after.size() == input.size(), "length changed");
    // A compressed movie is rewritten in the projector made in memory; the
    // file itself is only read.
    if (result.unpacked) {
        Check(after == input && !result.fileWritten, "the file of a compressed movie changed");
        return 0;
    }
    std::vector<bool> allowed(size, false);
    for (const vs::CommandRewrite& c : result.commands) {
        Check(c.outcome != vs::RewriteOutcome::Rewritten || c.newSize <= c.oldSize, "rewrite larger than the command");
        if (c.outcome != vs::RewriteOutcome::Rewritten) continue;
        Check(c.offset + c.newSize <= size, "rewrite past the end");
        for (std::size_t i = 0; i < c.newSize; ++i) allowed[c.offset + i] = true;
    }
    for (std::size_t i = 0; i < size; ++i) Check(allowed[i] || after[i] == input[i], "byte outside a command changed");
    Check(result.fileWritten || after == input, "changed without being written");

    // The linear passes against the plain loop, on the raw bytes (projector or not).
    if (size <= 16384) {
        std::vector<std::uint8_t> linear = input, literal = input;
        vs::CommandScan scan = vs::RewriteCommands(linear);
        vs::test::LiteralScan lit = vs::test::LiteralRewriteCommands(literal);
        Check(linear == literal, "passes differ from the plain loop");
        Check(scan.HasPrint == lit.HasPrint && scan.HasEXEC == lit.HasEXEC && scan.HasVarStore == lit.HasVarStore,
              "flags differ from the plain loop");
        Check(scan.commands.size() == lit.commands.size(), "commands differ from the plain loop");
        if (result.complete) Check(linear == after, "file differs from the passes");
    }
    return 0;
}
