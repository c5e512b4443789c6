// vexelscreen projector --player PLAYER.exe MOVIE.swf -o PROJECTOR.exe
// vexelscreen movie FILE -o MOVIE.swf [--compress zlib|lzma]
//
// A Flash projector made of a standalone player and a movie, and the movie
// taken back out of a Flash projector, a built projector or a project.
#include <iostream>
#include <map>
#include <string>

#include "app/generator_model.h"
#include "app/movie_files.h"
#include "app/tools_folder.h"
#include "cli/commands.h"
#include "cli/file_names.h"
#include "platform/atomic_file.h"
#include "platform/errors.h"
#include "platform/file_identity.h"
#include "platform/file_system.h"

namespace vs::cli {

void addProjectorCommand(CLI::App& app) {
    auto* cmd = app.add_subcommand(
        "projector", "Make a Flash projector of a standalone player and a movie: the player, the movie uncompressed, "
                     "and the trailer that tells a player where its movie is");
    auto player = std::make_shared<std::string>();
    auto movie = std::make_shared<std::string>();
    auto output = std::make_shared<std::string>();
    const auto named = [](const std::string& name) { return name.empty() ? std::string("the file name is empty") : std::string(); };
    cmd->add_option("MOVIE", *movie, "The movie (.swf: uncompressed, zlib or LZMA)")->required();
    cmd->add_option("--player", *player, "A standalone Flash player (.exe); a movie it already carries is replaced")->required();
    cmd->add_option("-o,--output", *output, "The projector to write (.exe)")->required()->check(named);
    cmd->callback([player, movie, output] {
        runWithReasons([&] {
            RefuseOutputOverInput(*output, *player, "the player (--player)");
            RefuseOutputOverInput(*output, *movie, "the movie");
            RefuseToolsFolderOutput(GeneratorPaths::OfThisProgram().generatorDir, *output);
            const std::vector<std::uint8_t> bytes = MakeProjectorOfFiles(*player, *movie);
            WriteFileAtomic(*output, bytes.data(), bytes.size());
            std::cout << "Made " << *output << ": " << bytes.size() << " bytes\n";
            return 0;
        });
    });
}

void addMovieCommand(CLI::App& app) {
    auto* cmd = app.add_subcommand(
        "movie", "Write the movie of a Flash projector, of a built projector or of a project as a movie file (.swf)");
    auto file = std::make_shared<std::string>();
    auto output = std::make_shared<std::string>();
    auto compress = std::make_shared<MovieCompression>(MovieCompression::None);
    const auto named = [](const std::string& name) { return name.empty() ? std::string("the file name is empty") : std::string(); };
    const std::map<std::string, MovieCompression> methods = {{"zlib", MovieCompression::Zlib},
                                                             {"lzma", MovieCompression::Lzma}};
    cmd->add_option("FILE", *file, "A Flash projector or a bare movie, a built projector (.exe) or a project (.vsp)")->required();
    cmd->add_option("-o,--output", *output, "The movie to write (.swf)")->required()->check(named);
    cmd->add_option("--compress", *compress, "Compress the movie: zlib (\"CWS\", player 6 and later) or lzma (\"ZWS\", "
                                             "player 11 and later); default: uncompressed")
        ->transform(CLI::CheckedTransformer(methods, CLI::ignore_case));
    cmd->callback([file, output, compress] {
        runWithReasons([&] {
            RefuseToolsFolderOutput(GeneratorPaths::OfThisProgram().generatorDir, *output);
            const std::vector<std::uint8_t> movie = MovieOfFile(*file);
            WriteMovieFile(*output, movie, *compress, *file);
            std::cout << "Wrote " << *output << ": " << MovieCompressionName(*compress) << " movie of "
                      << movie.size() << " bytes uncompressed\n";
            return 0;
        });
    });
}

}  // namespace vs::cli
