// The longest stall of the window's event loop during a build of 60 MiB.
//
// Creates the real main window offscreen, chooses a projector and 60 MiB of
// additional files, and presses Build with the run question answered No. A
// 10 ms timer records the gaps between its ticks; the longest gap is how long
// the window could not answer the user.
//
//   bench_window_stall [MiB] [files]     (defaults: 60 MiB in 6 files)
#include <QAbstractButton>
#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>

#include "gui/qt/generator_window.h"
#include "support/projector_builder.h"
#include "support/scripted_ports.h"

namespace fs = std::filesystem;
using namespace vs;

namespace {

// Questions answered No, dialogs cancelled, messages printed; pending events
// really run, as in the window.
class PumpingInterface : public UserInterface {
public:
    void warning(std::string_view t) override { std::fprintf(stderr, "warning: %.*s\n", int(t.size()), t.data()); }
    void error(std::string_view t) override {
        ++errors;
        std::fprintf(stderr, "error: %.*s\n", int(t.size()), t.data());
    }
    bool confirm(std::string_view) override { return false; }
    std::optional<std::string> openFileName(const FileDialog&) override { return std::nullopt; }
    std::vector<std::string> openFileNames(const FileDialog&) override { return {}; }
    std::optional<std::string> saveFileName(const FileDialog&) override { return std::nullopt; }
    std::optional<std::string> askPassword(std::string_view) override { return std::nullopt; }
    void processPendingMessages() override { QCoreApplication::processEvents(); }
    void progress(int, int) override {}
    int errors = 0;
};

// Movie-like bytes: runs of text and noise, so that deflate has real work.
void writeFiller(const fs::path& file, std::size_t size, unsigned seed) {
    std::mt19937 random(seed);
    std::vector<char> bytes(size);
    for (std::size_t i = 0; i < size;) {
        const std::size_t run = std::min<std::size_t>(size - i, 64 + random() % 512);
        if (random() % 2)
            for (std::size_t k = 0; k < run; ++k) bytes[i + k] = static_cast<char>(random());
        else
            for (std::size_t k = 0; k < run; ++k) bytes[i + k] = "frame data of the movie "[k % 24];
        i += run;
    }
    std::ofstream(file, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const std::size_t mib = argc > 1 ? std::stoul(argv[1]) : 60;
    const std::size_t count = argc > 2 ? std::stoul(argv[2]) : 6;

    const fs::path root = fs::temp_directory_path() / ("vs_window_stall_" + std::to_string(QCoreApplication::applicationPid()));
    fs::create_directories(root / "generator" / "tools");
    struct Cleanup {
        fs::path dir;
        ~Cleanup() {
            std::error_code ec;
            fs::remove_all(dir, ec);
        }
    } cleanup{root};
    if (!fs::exists(fs::path(VS_TOOLS_DIR) / "VSengine.exe")) {
        std::fprintf(stderr, "no %s/VSengine.exe: the Tools folder is not built\n", VS_TOOLS_DIR);
        return 2;
    }
    fs::copy(VS_TOOLS_DIR, root / "generator" / "tools", fs::copy_options::recursive);
    fs::copy(VS_DOCS_DIR, root / "generator" / "Docs", fs::copy_options::recursive);

    test::SwfBuilder movie;
    movie.frame = {0, 640 * 20, 0, 480 * 20};
    movie.showFrame();
    const std::string projector = (root / "movie.exe").string();
    test::WriteProjectorFile(projector, test::BuildProjector(movie.build()));
    std::vector<std::string> files;
    for (std::size_t i = 0; i < count; ++i) {
        files.push_back((root / ("part" + std::to_string(i) + ".bin")).string());
        writeFiller(files.back(), mib * 1024 * 1024 / count, static_cast<unsigned>(i + 1));
    }

    PumpingInterface ui;
    test::ScriptedShell shell;
    test::MemorySettingsStore store;
    gui::TfVexelSCREEN window(ui, shell, store, GeneratorPaths{(root / "generator").string() + "/", (root).string() + "/"});
    window.start({});
    while (window.model().firstShow) QCoreApplication::processEvents();
    TfVexelSCREENModel& m = window.model();
    window.forward([&] { m.DragDropPorjectorFileDropped(projector); });
    for (const std::string& f : files) window.forward([&] { m.paAddFilesFileDropped(f); });
    const std::string output = (root / "built.exe").string();
    window.forward([&] {
        m.OutputProjector.fileName = output;
        m.SetControls();
    });

    QElapsedTimer clock, sinceTick;
    qint64 longest = 0;
    int ticks = 0;
    QTimer timer;
    timer.setInterval(10);
    QObject::connect(&timer, &QTimer::timeout, [&] {
        longest = std::max(longest, sinceTick.restart());
        ++ticks;
    });
    auto* build = window.findChild<QAbstractButton*>(QStringLiteral("qbtBuild"));
    if (!build || !build->isEnabled()) {
        std::fprintf(stderr, "the Build button is not usable\n");
        return 2;
    }
    timer.start();
    clock.start();
    sinceTick.start();
    build->click();
    longest = std::max(longest, sinceTick.elapsed());
    const qint64 total = clock.elapsed();
    timer.stop();

    std::error_code ec;
    const auto size = fs::file_size(output, ec);
    std::printf("build of %zu MiB in %zu files through the window: %lld ms, output %llu bytes\n", mib, count,
                static_cast<long long>(total), static_cast<unsigned long long>(ec ? 0 : size));
    std::printf("event loop: %d ticks of 10 ms, longest stall %lld ms (budget 200 ms)\n", ticks,
                static_cast<long long>(longest));
    if (ui.errors || ec) return 2;
    return longest <= 200 ? 0 : 1;
}
