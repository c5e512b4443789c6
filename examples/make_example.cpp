// Makes the files of the bundled example, and packs a projector the way a
// build does until the generator's own build command exists.
//
//   make_example files DIR
//       DIR/Sample Projector.exe  a synthetic Flash projector whose movie asks
//                                 for printing, launching and stored variables
//       DIR/shape.bmp             a 24-bit picture with a rounded shape
//       DIR/icon.ico              a 32 x 32 icon
//       DIR/readme.txt            an additional file
//   make_example pack OUT.exe PROJECTOR SHAPE.bmp TOOLSDIR [FILE...]
//       appends the settings package (projector, hook library, shape, files,
//       and the tools the movie's services need) to OUT.exe
#include <cmath>
#include <filesystem>
#include <fstream>
#include <iostream>

#include "package/package_file.h"
#include "package/vexel_projector.h"
#include "platform/errors.h"
#include "shape/bitmap.h"
#include "shape/region_from_bitmap.h"
#include "support/bmp_builder.h"
#include "support/ico_builder.h"
#include "support/projector_builder.h"
#include "swf/inspection.h"

namespace fs = std::filesystem;
using namespace vs;

namespace {

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
    test::WriteProjectorFile((dir / "Sample Projector.exe").string(), test::BuildProjector(movie.build()));

    const int w = 200, h = 150;
    std::vector<std::uint32_t> pixels(static_cast<std::size_t>(w * h), 0xFF00FF);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            double dx = (x - w / 2.0) / (w / 2.0 - 4), dy = (y - h / 2.0) / (h / 2.0 - 4);
            if (std::pow(std::fabs(dx), 4) + std::pow(std::fabs(dy), 4) <= 1.0)
                pixels[static_cast<std::size_t>(y * w + x)] = 0x2060C0 + static_cast<std::uint32_t>(y);
        }
    test::WriteFileBytes((dir / "shape.bmp").string(), test::MakeBmp({}, w, h, pixels));

    auto image = test::DibIcon(32, 32, 32, {}, [](int x, int y) {
        return 0xFF000000u | static_cast<std::uint32_t>((x * 8) << 16 | (y * 8) << 8 | 0xC0);
    });
    test::WriteBytes((dir / "icon.ico").string(), test::IcoFile({image}));
    std::ofstream(dir / "readme.txt") << "This file travels inside the sample projector.\n";
}

int pack(const std::vector<std::string>& args) {
    if (args.size() < 4) throw VsError("pack wants OUT.exe PROJECTOR SHAPE.bmp TOOLSDIR [FILE...]");
    const std::string& out = args[0];
    const std::string& projector = args[1];
    const std::string& toolsParent = fs::path(args[3]).parent_path().string();
    s_TVexelProjector settings;
    InspectionResult facts;
    if (!InspectProjector(projector, settings, facts)) throw VsError(projector + " is not a Flash projector");
    settings.MovieWidth = std::atoi(facts.grid[0].c_str());
    settings.MovieHeight = std::atoi(facts.grid[1].c_str());
    settings.CaptionText = "Sample projector";
    settings.BorderStyle = TspBorder::spbNone;

    TBitmap bitmap = TBitmap::FromFile(args[2]);
    // As the shape window does: a working store, copied into the settings.
    TStoreWinRegion working;
    SetShapeFromBitmap(working, bitmap, bitmap.Pixel(0, 0));
    settings.Shape().Assign(working);
    settings.WindowWidth = settings.Shape().Width;
    settings.WindowHeight = settings.Shape().Height;

    const std::uint8_t mode = 3;
    settings.MainFile().CompressMode = mode;
    settings.MainFile().SetFilename(projector);
    settings.DLLFile().CompressMode = mode;
    settings.DLLFile().SetFilename(ToolsFile(toolsParent, tools::HookLibrary));
    settings.Files().DefaultCompressMode = mode;
    for (std::size_t i = 4; i < args.size(); ++i) settings.Files().AddFile(args[i]);
    if (settings.HasPrint) settings.Files().AddFile(ToolsFile(toolsParent, tools::PrintTool));
    if (settings.HasEXEC) settings.Files().AddFile(ToolsFile(toolsParent, tools::ExecTool));
    if (settings.HasVarStore) settings.Files().AddFile(ToolsFile(toolsParent, tools::StoreTool));

    TFileStream file(out, FileMode::OpenReadWrite);
    std::int64_t offset = AppendPackage(file, settings);
    std::cout << "Packed " << out << ": settings stream at offset " << offset << "\n";
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    // Packed files carry full paths, as the window gives them.
    if (!args.empty() && args[0] == "pack")
        for (std::size_t i = 2; i < args.size(); ++i) args[i] = fs::absolute(args[i]).string();
    try {
        if (args.size() == 2 && args[0] == "files") {
            makeFiles(args[1]);
            return 0;
        }
        if (!args.empty() && args[0] == "pack") return pack({args.begin() + 1, args.end()});
        std::cerr << "usage: make_example files DIR | make_example pack OUT.exe PROJECTOR SHAPE.bmp TOOLSDIR [FILE...]\n";
        return 2;
    } catch (const VsError& e) {
        std::cerr << "make_example: " << e.what() << "\n";
        return 1;
    }
}
