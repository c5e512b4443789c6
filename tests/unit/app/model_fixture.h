#pragma once
// A generator installed in a fresh folder (a synthetic engine whose first icon
// image is 32 x 32 with 256 colours, the hook library and the tools, each in
// a 32-bit family in tools/ and a 64-bit one in tools/x64/ with bytes of its
// own, the five help documents) and its model, driven through scripted ports.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "app/generator_model.h"
#include "support/bmp_builder.h"
#include "support/pe_builder.h"
#include "support/projector_builder.h"
#include "support/recording_interface.h"
#include "support/scripted_ports.h"
#include "support/swf_builder.h"
#include "support/temp_dir.h"

namespace vs::test {

inline const char* const kHelpFiles[] = {"VexelScreenPrinting.rtf", "VexelScreenDateTime.rtf", "VexelScreenExec.rtf",
                                         "VexelScreenStore.rtf", "VexelScreenGeneral.rtf"};

class ModelTest : public TempDirTest {
protected:
    void SetUp() override {
        TempDirTest::SetUp();
        namespace fs = std::filesystem;
        fs::create_directories(dir_ / "gen" / "tools" / "x64");
        fs::create_directories(dir_ / "gen" / "Docs");
        fs::create_directories(dir_ / "tmp");
        Engine(false).Write(Gen("tools/VSengine.exe"));
        Engine(true).Write(Gen("tools/x64/VSengine.exe"));
        for (const char* tool : {"mhproc.dll", "VSP.exe", "VSE.exe", "VSS.exe", "VSD.exe"}) {
            Text(Gen(std::string("tools/") + tool), std::string("tool ") + tool);
            Text(Gen(std::string("tools/x64/") + tool), std::string("x64 tool ") + tool);
        }
        for (const char* doc : kHelpFiles) Text(Gen(std::string("Docs/") + doc), std::string("{\\rtf1 ") + doc + "}");
        MakeModel();
    }

    // The text that each family's engine carries in a data resource, which a
    // build keeps, so that an output tells which engine it was made from.
    static std::string EngineMark(bool x64) { return x64 ? "engine of the x86_64 family" : "engine of the i686 family"; }
    static PeBuilder Engine(bool x64) {
        const std::string mark = EngineMark(x64);
        PeBuilder b;
        b.Pe32Plus(x64)
            .IconImage(1, MakeIconImage(32, 32, 8, 7))
            .IconGroup(1, {1})
            .Version(VersionSpec{})
            .Resource(10, 1, 1033, PeBytes(mark.begin(), mark.end()));
        return b;
    }

    void MakeModel() {
        model.reset();
        model = std::make_unique<TfVexelSCREENModel>(ui, shell, store, host,
                                                     GeneratorPaths{Gen(""), (dir_ / "tmp").string() + "/"});
        model->clock = [] { return LocalDateTime{2001, 3, 5, 9, 7, 3, 45}; };
    }

    // The model as the program starts it: created, then shown.
    TfVexelSCREENModel& Started(std::vector<std::string> arguments = {}) {
        model->FormCreate(arguments);
        model->FormShow();
        return *model;
    }

    std::string Gen(const std::string& rel) const {
        std::filesystem::path p = dir_ / "gen" / rel;
        return p.make_preferred().string();  // the separator the program itself writes
    }

    std::string Text(const std::string& path, const std::string& content) {
        std::ofstream(path, std::ios::binary) << content;
        return path;
    }

    // A projector whose movie uses the services asked for.
    std::string Projector(const std::string& name = "movie.exe", bool print = true, bool exec = true,
                          bool store = false) {
        SwfBuilder b;
        if (print) b.fsExec("vexelprint(0,0,0,0)");
        if (exec) b.fsExec("vexelexec(readme.txt, )");
        if (store) b.getUrl("vexelscreen:savevariables(scores.txt)", "");
        std::string p = Path(name);
        WriteProjectorFile(p, BuildProjector(b.build()));
        return p;
    }

    // A projector whose player is a 64-bit executable (AMD64, PE32+).
    std::string Projector64(const std::string& name = "movie64.exe", bool print = true, bool exec = true,
                            bool store = false) {
        return PlayerWithMovie(name, PeBuilder().Pe32Plus(), print, exec, store);
    }
    // A projector of the given player image, its player text behind it.
    std::string PlayerWithMovie(const std::string& name, PeBuilder player, bool print = true, bool exec = true,
                                bool store = false) {
        SwfBuilder b;
        if (print) b.fsExec("vexelprint(0,0,0,0)");
        if (exec) b.fsExec("vexelexec(readme.txt, )");
        if (store) b.getUrl("vexelscreen:savevariables(scores.txt)", "");
        const std::string text = "ShockwaveFlash";
        PeBytes tail(text.begin(), text.end());
        tail.push_back(0);
        const ByteVec movie = b.build();
        tail.insert(tail.end(), movie.begin(), movie.end());
        const std::string p = Path(name);
        player.Append(tail).Write(p);
        return p;
    }

    // A bitmap: an opaque disc-like block on a magenta background.
    std::string ShapeBitmap(const std::string& name, int w, int h) {
        std::vector<std::uint32_t> pixels(static_cast<std::size_t>(w * h), 0xFF00FF);
        for (int y = h / 4; y < 3 * h / 4; ++y)
            for (int x = w / 4; x < 3 * w / 4; ++x) pixels[static_cast<std::size_t>(y * w + x)] = 0x336699;
        std::string p = Path(name);
        WriteFileBytes(p, MakeBmp({}, w, h, pixels));
        return p;
    }

    // Chooses a shape from a bitmap as the user does: the radio button, the
    // picture dialog, OK in the shape window.
    void TakeShape(const std::string& bitmap) {
        ui.fileAnswers.push_back(bitmap);
        host.shapeWindow = [this] { model->fShapeSelect.btOKClick(); };
        model->rbShape.setChecked(true);
        host.shapeWindow = nullptr;
    }

    static std::vector<std::uint8_t> Slurp(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), {}};
    }

    RecordingInterface ui;
    ScriptedShell shell;
    MemorySettingsStore store;
    ScriptedHost host;
    std::unique_ptr<TfVexelSCREENModel> model;
};

}  // namespace vs::test
