// Running another program: its exit code and output, and a program that is
// not there.
#include <gtest/gtest.h>

#include "platform/run_program.h"

namespace vs {
namespace {

TEST(RunProgram, GivesTheExitCodeAndEverythingTheProgramWrote) {
#ifdef _WIN32
    GTEST_SKIP() << "the shell the test runs is a POSIX one";
#else
    const std::optional<ProgramRun> run = RunProgram("sh", {"-c", "echo out; echo err >&2; exit 3", "with spaces"});
    ASSERT_TRUE(run);
    EXPECT_EQ(run->exitCode, 3);
    EXPECT_EQ(run->output, "out\nerr\n");
    const std::optional<ProgramRun> quoted = RunProgram("sh", {"-c", "printf '%s|' \"$@\"", "sh", "a b", "", "c\"d"});
    ASSERT_TRUE(quoted);
    EXPECT_EQ(quoted->output, "a b||c\"d|");
    EXPECT_FALSE(RunProgram("vexelscreen-no-such-program", {}));
#endif
}

}  // namespace
}  // namespace vs
