// Makes the files of the bundled example (scripts/example.sh builds a
// projector from them with `vexelscreen build`).
//
//   make_example files DIR
//       DIR/Sample Projector.exe  a Flash projector: the stand-in player
//                                 (tests/player) followed by a movie that asks
//                                 for printing, launching and stored variables;
//                                 a synthetic player part that does not run when
//                                 the stand-in was not built (no mingw-w64)
//       DIR/shape.bmp             a 24-bit picture with a rounded shape
//       DIR/icon.ico              a 32 x 32 icon
//       DIR/readme.txt            an additional file
#include <cmath>
#include <filesystem>
#include <fstream>
#include <iostream>

#include "platform/errors.h"
#include "support/bmp_builder.h"
#include "support/ico_builder.h"
#include "support/projector_builder.h"

namespace fs = std::filesystem;
using namespace vs;

namespace {

// The stand-in player's program, the player text that the inspection looks
// for, and the movie: the form of a real Flash projector, so that the built
// projector opens the player's window.
test::ByteVec ProjectorBytes(const test::ByteVec& movie) {
#ifdef VS_STANDIN_PLAYER
    if (fs::exists(VS_STANDIN_PLAYER)) {
        test::ByteVec bytes = test::ReadProjectorFile(VS_STANDIN_PLAYER);
        const std::string text = test::PlayerOptions{}.playerText;
        bytes.insert(bytes.end(), text.begin(), text.end());
        bytes.push_back(0);
        bytes.insert(bytes.end(), movie.begin(), movie.end());
        return bytes;
    }
#endif
    std::cerr << "make_example: the stand-in player was not built (no mingw-w64 cross compiler); "
                 "the sample projector holds a synthetic player that does not run\n";
    return test::BuildProjector(movie);
}

void makeFiles(const fs::path& dir) {
    fs::create_directories(dir);
    test::SwfBuilder movie;
    movie.frame = {0, 640 * 20, 0, 480 * 20};
    movie.frameRate = 25;
    movie.frameCount = 120;
    movie.fsExec("VexelPRINT(1, 1, 1, 0) /f=\"Sample footer\" /nodialog /landscape");
    movie.fsExec("VexelEXEC(notepad.exe, readme.txt)");
    movie.getUrl("VexelSCREEN:SaveVariables(scores.txt)", "");
    movie.getUrl("VexelSCREEN:LoadVariables(scores.txt)", "");
    movie.showFrame();
    test::WriteProjectorFile((dir / "Sample Projector.exe").string(), ProjectorBytes(movie.build()));

    const int w = 320, h = 240;  // half the movie's size
    std::vector<std::uint32_t> pixels(static_cast<std::size_t>(w * h), 0xFF00FF);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            double dx = (x - w / 2.0) / (w / 2.0 - 4), dy = (y - h / 2.0) / (h / 2.0 - 4);
            if (std::pow(std::fabs(dx), 4) + std::pow(std::fabs(dy), 4) <= 1.0)
                pixels[static_cast<std::size_t>(y * w + x)] = 0x204080 + (static_cast<std::uint32_t>(y * 127 / h) << 8) + static_cast<std::uint32_t>(x * 127 / w);
        }
    test::WriteFileBytes((dir / "shape.bmp").string(), test::MakeBmp({}, w, h, pixels));

    auto image = test::DibIcon(32, 32, 32, {}, [](int x, int y) {
        return 0xFF000000u | static_cast<std::uint32_t>((x * 8) << 16 | (y * 8) << 8 | 0xC0);
    });
    test::WriteBytes((dir / "icon.ico").string(), test::IcoFile({image}));
    std::ofstream(dir / "readme.txt") << "This file travels inside the sample projector.\n";
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    try {
        if (args.size() == 2 && args[0] == "files") {
            makeFiles(args[1]);
            return 0;
        }
        std::cerr << "usage: make_example files DIR\n";
        return 2;
    } catch (const VsError& e) {
        std::cerr << "make_example: " << e.what() << "\n";
        return 1;
    }
}
