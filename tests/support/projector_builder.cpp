#include "support/projector_builder.h"

#include <cstring>
#include <fstream>
#include <stdexcept>

namespace vs::test {

namespace {
void Put(ByteVec& out, std::size_t at, std::uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) out[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}
}  // namespace

ByteVec BuildPlayerPart(const PlayerOptions& options) {
    const std::size_t size = std::max<std::size_t>(options.size, 1024);
    ByteVec out(size);
    // Filler of control bytes only: no letters, so nothing in it matches by chance.
    for (std::size_t i = 0; i < size; ++i) out[i] = static_cast<std::uint8_t>((i * 13) % 31);

    std::memset(out.data(), 0, 0x200);
    out[0] = 'M';
    out[1] = 'Z';
    Put(out, 0x3C, 0x80, 4);  // offset of the PE headers
    const char stub[] = "This program cannot be run in DOS mode.";
    std::memcpy(out.data() + 0x4E, stub, sizeof stub - 1);

    const std::size_t pe = 0x80;
    const bool wide = options.bits64;
    const std::size_t optSize = wide ? 0xF0 : 0xE0;
    std::memcpy(out.data() + pe, "PE\0\0", 4);
    Put(out, pe + 4, wide ? 0x8664 : 0x014C, 2);  // AMD64 or i386
    Put(out, pe + 6, 1, 2);                       // one section
    Put(out, pe + 20, static_cast<std::uint32_t>(optSize), 2);
    Put(out, pe + 22, wide ? 0x0022 : 0x0102, 2);  // executable, large addresses or 32-bit
    const std::size_t opt = pe + 24;
    const std::uint32_t raw = static_cast<std::uint32_t>(size - 0x200);
    Put(out, opt, wide ? 0x20B : 0x10B, 2);  // PE32+ or PE32
    Put(out, opt + 16, 0x1000, 4);           // entry point
    if (wide)
        Put(out, opt + 24, 0x40000000, 4);   // image base (64 bits, high half zero)
    else
        Put(out, opt + 28, 0x400000, 4);     // image base
    Put(out, opt + 32, 0x1000, 4);       // section alignment
    Put(out, opt + 36, 0x200, 4);        // file alignment
    Put(out, opt + 56, 0x1000 + ((raw + 0xFFF) & ~0xFFFu), 4);  // size of image
    Put(out, opt + 60, 0x200, 4);        // size of headers
    Put(out, opt + 68, 2, 2);            // windows GUI
    Put(out, opt + (wide ? 108 : 92), 16, 4);  // data directories
    const std::size_t sec = opt + optSize;
    std::memcpy(out.data() + sec, ".text", 5);
    Put(out, sec + 8, raw, 4);           // virtual size
    Put(out, sec + 12, 0x1000, 4);       // virtual address
    Put(out, sec + 16, raw, 4);          // size of raw data
    Put(out, sec + 20, 0x200, 4);        // pointer to raw data
    Put(out, sec + 36, 0x60000020, 4);   // code, execute, read

    if (!options.playerText.empty()) {
        std::size_t at = 0x200 + (size - 0x200) / 2;
        std::memcpy(out.data() + at, options.playerText.data(), options.playerText.size());
        out[at + options.playerText.size()] = 0;
    }
    return out;
}

ByteVec BuildProjector(const ByteVec& movie, const PlayerOptions& options) {
    ByteVec out = BuildPlayerPart(options);
    out.insert(out.end(), movie.begin(), movie.end());
    return out;
}

void WriteProjectorFile(const std::string& path, const ByteVec& bytes) {
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    f.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!f) throw std::runtime_error("cannot write " + path);
}

ByteVec ReadProjectorFile(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    if (!f) throw std::runtime_error("cannot read " + path);
    return ByteVec(std::istreambuf_iterator<char>(f), {});
}

}  // namespace vs::test
