#include "app/movie_files.h"

#include "exe/pe_headers.h"
#include "package/package_file.h"
#include "package/vexel_projector.h"
#include "package/filer.h"
#include "platform/atomic_file.h"
#include "platform/errors.h"
#include "platform/file_identity.h"
#include "platform/stream.h"

namespace vs {

namespace {

// The whole of an open file, which must fit in a projector.
std::vector<std::uint8_t> ReadAll(TFileStream& file, const std::string& fileName) {
    const std::int64_t size = file.Size();
    if (static_cast<std::uint64_t>(size) > kLargestProjector)
        throw EMovieError(fileName + ": the file is larger than a projector can be (2 GiB)");
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(size));
    file.SetPosition(0);
    file.ReadBuffer(bytes.data(), bytes.size());
    return bytes;
}

std::vector<std::uint8_t> ReadNamed(const std::string& fileName) {
    TFileStream file(fileName, FileMode::OpenRead);
    return ReadAll(file, fileName);
}

void CheckPlayer(const std::string& player, const std::vector<std::uint8_t>& bytes) {
    if (IsBareMovie(bytes)) throw EMovieError(player + " is a Flash movie, not a player. Choose a standalone Flash player (.exe).");
    try {
        ReadPeHeaders(bytes);
    } catch (const VsError&) {
        throw EMovieError(player + " is not a Windows program. Choose a standalone Flash player (.exe).");
    }
}

template <class F>
auto Naming(const std::string& fileName, F&& f) {
    try {
        return f();
    } catch (const EMovieError& e) {
        throw EMovieError(fileName + ": " + e.what());
    }
}

}  // namespace

bool IsMovieFile(const std::string& fileName) {
    try {
        TFileStream file(fileName, FileMode::OpenRead);
        std::uint8_t head[8] = {};
        if (file.Read(head, sizeof head) != sizeof head) return false;
        return IsBareMovie(head);
    } catch (const VsError&) {
        return false;
    }
}

void CheckPlayerFile(const std::string& player) { CheckPlayer(player, ReadNamed(player)); }

std::vector<std::uint8_t> MakeProjectorOfFiles(const std::string& player, const std::string& movie) {
    const std::vector<std::uint8_t> playerBytes = ReadNamed(player);
    CheckPlayer(player, playerBytes);
    const std::vector<std::uint8_t> movieBytes = ReadNamed(movie);
    if (!IsBareMovie(movieBytes))
        throw EMovieError(movie + ": the file is not a Flash movie (it does not begin with \"FWS\", \"CWS\" or \"ZWS\")");
    try {
        return MakeProjector(playerBytes, movieBytes);
    } catch (const EPlayerError& e) {
        throw EMovieError(player + ": " + e.what());
    } catch (const EMovieError& e) {
        throw EMovieError(movie + ": " + e.what());
    }
}

std::vector<std::uint8_t> MovieOfFile(const std::string& fileName) {
    TFileStream file(fileName, FileMode::OpenRead);
    const std::vector<std::uint8_t> bytes = ReadAll(file, fileName);
    if (IsBareMovie(bytes)) return Naming(fileName, [&] { return UncompressedMovie(bytes); });
    // A built projector or a project carries the Flash projector packed; a
    // damaged signature is an error of its own, not a sign of another kind of file.
    std::optional<LocatedSettings> where;
    try {
        where = LocateSettings(file);
    } catch (const ECertificateTableError&) {
        throw;
    } catch (const EReadError&) {
    }
    if (!where) return Naming(fileName, [&] { return MovieOfProjector(bytes); });
    file.SetPosition(where->offset);
    s_TVexelProjector settings;
    ReadComponentFromStream(file, settings);
    const TPackedFile& main = settings.MainFile();
    if (main.IsEmpty()) throw EMovieError(fileName + ": it carries no Flash projector, so it has no movie");
    try {
        return MovieOfProjector(main.Extract());
    } catch (const EMovieError& e) {
        throw EMovieError(fileName + ": its Flash projector " + main.Filename() + ": " + e.what());
    }
}

void WriteMovieFile(const std::string& target, const std::vector<std::uint8_t>& fws, MovieCompression compression,
                    const std::string& source) {
    const std::optional<FileIdentity> existing = IdentityOf(target);
    if (existing && existing == IdentityOf(source))
        throw VsError("The movie \"" + target + "\" would be written over the file it comes from. Nothing was written; "
                      "choose another name.");
    const std::vector<std::uint8_t> bytes = PackMovie(fws, compression);
    WriteFileAtomic(target, bytes.data(), bytes.size());
}

}  // namespace vs
