#pragma once
// Movies and players as files: a projector made of a standalone player and a
// movie, and the movie taken back out of a Flash projector, a built
// projector or a project.
#include <cstdint>
#include <string>
#include <vector>

#include "swf/projector_movie.h"

namespace vs {

// Whether the file begins as a bare movie does ("FWS", "CWS" or "ZWS"); a file
// that cannot be read is none.
bool IsMovieFile(const std::string& fileName);

// Refuses, naming it, a player that is no Windows program or that is a movie.
void CheckPlayerFile(const std::string& player);

// The projector of a standalone player and a movie file, made in memory: the
// player without any movie of its own, the movie uncompressed, and the
// trailer. Fails naming the file at fault.
std::vector<std::uint8_t> MakeProjectorOfFiles(const std::string& player, const std::string& movie);

// The uncompressed movie of a bare movie, of a Flash projector, or of the
// packed projector of a built projector or a project. Fails naming the file.
std::vector<std::uint8_t> MovieOfFile(const std::string& fileName);

// Writes a movie, packed as asked, through a temporary file that replaces the
// target only when complete. Refuses to write over `source`.
void WriteMovieFile(const std::string& target, const std::vector<std::uint8_t>& fws, MovieCompression compression,
                    const std::string& source);

}  // namespace vs
