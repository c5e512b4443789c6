// Arbitrary bytes as a settings stream: the reader must fail cleanly or give
// an object that the writer and the descriptions can handle.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "package/describe.h"
#include "package/filer.h"
#include "package/vexel_projector.h"
#include "platform/errors.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    vs::s_TVexelProjector settings;
    vs::TMemoryStream in(std::vector<std::uint8_t>(data, data + size));
    try {
        vs::ReadComponentFromStream(in, settings);
    } catch (const vs::VsError&) {
    }
    if (in.Position() > static_cast<std::int64_t>(size)) __builtin_trap();
    try {
        vs::TMemoryStream out;
        vs::WriteComponentToStream(out, settings);
        (void)vs::DescribeSettings(settings);
        (void)vs::DescribeSettingsJson(settings);
        for (int i = 0; i < settings.Files().Count(); ++i)
            if (settings.Files().Items(i).Filesize > 0 && settings.Files().Items(i).Filesize < (1 << 20))
                (void)settings.Files().Items(i).Extract();
        settings.Shape().ScaleRegion(0.5);
    } catch (const vs::VsError&) {
    }
    return 0;
}
