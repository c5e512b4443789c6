// Files written together, and what a failed write tells.
#include <gtest/gtest.h>
#ifndef _WIN32
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <filesystem>
#include <fstream>

#include "platform/atomic_file.h"
#include "platform/errors.h"
#include "support/temp_dir.h"

namespace vs {
namespace {

namespace fs = std::filesystem;

class AtomicCommit : public test::TempDirTest {
protected:
    static std::string Slurp(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), {}};
    }
};

TEST_F(AtomicCommit, FilesCommittedTogetherAllTakeTheirPlaces) {
    std::ofstream(Path("a")) << "old a";
    {
        AtomicFile a(Path("a")), b(Path("b"));
        a.stream().WriteBuffer("new a", 5);
        b.stream().WriteBuffer("new b", 5);
        EXPECT_EQ(Slurp(Path("a")), "old a") << "nothing changes before the commit";
        EXPECT_FALSE(fs::exists(Path("b")));
        CommitTogether({&a, nullptr, &b});
    }
    EXPECT_EQ(Slurp(Path("a")), "new a");
    EXPECT_EQ(Slurp(Path("b")), "new b");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()), 2);
}

// A write that the system refuses (here: past the size the process may
// write, as on a full disk) names the target, not the temporary file, and
// says why; the target stays as it was.
TEST_F(AtomicCommit, AFailedWriteNamesTheFileAndTheSystemsReason) {
#ifdef _WIN32
    GTEST_SKIP() << "the size limit of a process is a POSIX resource limit";
#else
    const std::string target = Path("out.bin");
    std::ofstream(target) << "previous";
    int pipe[2];
    ASSERT_EQ(::pipe(pipe), 0);
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(pipe[0]);
        ::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{4096, 4096};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        std::string text = "no failure";
        try {
            AtomicFile f(target);
            const std::string bytes(10000, 'x');
            f.stream().WriteBuffer(bytes.data(), bytes.size());
            f.Commit();
        } catch (const VsError& e) {
            text = FailureText(e);
        }
        (void)!::write(pipe[1], text.data(), text.size());
        ::_exit(0);
    }
    ::close(pipe[1]);
    std::string text;
    char buffer[512];
    for (ssize_t n; (n = ::read(pipe[0], buffer, sizeof buffer)) > 0;) text.append(buffer, static_cast<std::size_t>(n));
    ::close(pipe[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    EXPECT_EQ(text, "Stream write error: " + target + ": File too large");
    EXPECT_EQ(Slurp(target), "previous");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()), 1) << "no temporary file is left";
#endif
}

}  // namespace
}  // namespace vs
