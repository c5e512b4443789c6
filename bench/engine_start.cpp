// The engine's start against the work it cannot avoid: the time from
// starting a built projector to the player's window appearing, for a package
// of 80 MiB at the default compression mode, compared with inflating its
// files once. Wine's own start-up is measured with a package of the bare
// player and taken off. Run by bench/engine_start.sh (wine on Xvfb).
//
//   bench_engine_start <tools folder> <stand-in player> <work folder>
#include <sys/wait.h>
#include <zlib.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "core/engine_package.h"
#include "package/package_file.h"
#include "package/vexel_projector.h"
#include "platform/stream.h"

namespace fs = std::filesystem;
using Clock = std::chrono::system_clock;

namespace {

std::string WinePath(const fs::path& p) {
    std::string s = "Z:" + p.string();
    std::replace(s.begin(), s.end(), '/', '\\');
    return s;
}

void Compose(const std::string& out, const std::string& tools, const std::string& player) {
    vs::s_TVexelProjector s;
    fs::copy_file(tools + "/VSengine.exe", out, fs::copy_options::overwrite_existing);
    s.MainFile().CompressMode = 3;
    s.MainFile().SetFilename(player);
    s.DLLFile().CompressMode = 3;
    s.DLLFile().SetFilename(tools + "/mhproc.dll");
    vs::TFileStream f(out, vs::FileMode::OpenReadWrite);
    vs::AppendPackage(f, s);
}

// Inflating every packed file once with zlib into memory: the least work
// any start must do.
double InflateSeconds(const std::string& projector) {
    vs::s_TVexelProjector s;
    vs::TFileStream f(projector, vs::FileMode::OpenRead);
    vs::engine::ReadEnginePackage(f, s);
    auto plan = vs::engine::PlanExtraction(s);
    auto t0 = std::chrono::steady_clock::now();
    for (const auto& item : plan) {
        std::vector<std::uint8_t> out(static_cast<std::size_t>(item.file->Filesize));
        uLongf size = static_cast<uLongf>(out.size());
        const auto& data = item.file->FileData();
        if (uncompress(out.data(), &size, data.data(), static_cast<uLong>(data.size())) != Z_OK || size != out.size())
            std::fprintf(stderr, "the package does not inflate\n");
    }
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

// Seconds from starting the projector to the player's window being shown.
double StartSeconds(const std::string& projector, const fs::path& control) {
    fs::remove_all(control);
    fs::create_directories(control);
    const auto t0 = Clock::now();
    pid_t pid = ::fork();
    if (pid == 0) {
        ::setenv("VS_TEST_PLAYER_DIR", WinePath(control).c_str(), 1);
        ::setenv("VEXELSCREEN_MESSAGES", "stderr", 1);
        // The loader of the player's kind (bench/engine_start.sh chooses it).
        const char* wine = std::getenv("VS_WINE") ? std::getenv("VS_WINE") : "wine";
        ::execlp(wine, wine, projector.c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    while (!fs::exists(control / "shown.txt")) std::this_thread::sleep_for(std::chrono::milliseconds(2));
    unsigned long long shownUs = 0;
    std::ifstream(control / "shown.txt") >> shownUs;
    std::ofstream(control / "close.request").put('\n');
    ::waitpid(pid, nullptr, 0);
    auto start = std::chrono::duration_cast<std::chrono::microseconds>(t0.time_since_epoch()).count();
    return (static_cast<double>(shownUs) - static_cast<double>(start)) / 1e6;
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 4) {
        std::fprintf(stderr, "usage: %s <tools folder> <stand-in player> <work folder>\n", argv[0]);
        return 2;
    }
    const std::string tools = argv[1], player = argv[2];
    const fs::path work = argv[3];
    fs::create_directories(work);

    // An 80 MiB player: the stand-in followed by data that compresses like
    // program code (about half), as a real player with its movie does.
    const std::string big = (work / "big_player.exe").string();
    {
        auto bytes = vs::ReadWholeFile(player);
        std::mt19937 rng(80);
        const std::size_t target = 80u << 20;
        bytes.reserve(target);
        while (bytes.size() < target) {
            for (int i = 0; i < 2048; ++i) bytes.push_back(static_cast<std::uint8_t>(rng()));
            for (int i = 0; i < 2048; ++i) bytes.push_back(static_cast<std::uint8_t>("mov eax, [ebp+8]\n"[i % 17]));
        }
        bytes.resize(target);
        std::ofstream(big, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    }
    const std::string bigProjector = (work / "big.exe").string(), smallProjector = (work / "small.exe").string();
    Compose(bigProjector, tools, big);
    Compose(smallProjector, tools, player);

    std::vector<double> inflate, startBig, startSmall;
    StartSeconds(smallProjector, work / "control");  // wine's first start warms its caches
    for (int i = 0; i < 5; ++i) {
        inflate.push_back(InflateSeconds(bigProjector));
        startSmall.push_back(StartSeconds(smallProjector, work / "control"));
        startBig.push_back(StartSeconds(bigProjector, work / "control"));
    }
    const double inf = Median(inflate), small = Median(startSmall), bigStart = Median(startBig);
    std::printf("package of %.1f MiB (compressed %.1f MiB)\n", 80.0,
                static_cast<double>(fs::file_size(bigProjector) - fs::file_size(tools + "/VSengine.exe")) / (1 << 20));
    std::printf("inflate once:                 %.3f s\n", inf);
    std::printf("start to window, bare player: %.3f s (wine and the player)\n", small);
    std::printf("start to window, 80 MiB:      %.3f s\n", bigStart);
    std::printf("engine's share for 80 MiB:    %.3f s = %.2f x inflate (target at most 1.30)\n", bigStart - small,
                (bigStart - small) / inf);
    fs::remove_all(work);
    return 0;
}
