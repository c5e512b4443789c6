#pragma once
// Synthetic Flash projectors for tests and benchmarks: a small PE-shaped player
// part that contains the player text, followed by a movie.
#include <cstdint>
#include <string>
#include <vector>

#include "support/swf_builder.h"

namespace vs::test {

struct PlayerOptions {
    std::size_t size = 4096;                   // bytes of the player part, at least 1024
    std::string playerText = "ShockwaveFlash"; // empty: no player text at all
    bool bits64 = false;                       // an AMD64 image with the PE32+ optional header
};

// The player part: DOS header and stub, PE headers with one section, and the
// player text inside the section. Its filler holds no letters, so no pattern
// of the inspection occurs in it by chance.
ByteVec BuildPlayerPart(const PlayerOptions& options = {});

// The player part followed by the movie.
ByteVec BuildProjector(const ByteVec& movie, const PlayerOptions& options = {});

void WriteProjectorFile(const std::string& path, const ByteVec& bytes);
ByteVec ReadProjectorFile(const std::string& path);

}  // namespace vs::test
