// Rewriting single commands, and the passes over fixed bytes.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "support/literal_rewrite.h"
#include "swf/inspection.h"

namespace vs {
namespace {

using namespace std::string_literals;

const std::string Q = "\"";
const std::string FE = "\xFE";

TEST(PatchCommands, WorkedExamples) {
    EXPECT_EQ(PatchPrintCommand("vexelprint(1,2,3,4)\0"s), "VSP.exe\t1\t2\t3\t4");
    const std::string withOptions = "vexelprint(1, 1,1,0) /f=" + Q + "My Footer" + Q + " /nodialog /landscape\0"s;
    ASSERT_EQ(withOptions.size(), 56u + 1);  // 56 characters and the zero
    const std::string rewritten = PatchPrintCommand(withOptions);
    EXPECT_EQ(rewritten, "VSP.exe\t1\t1\t1\t0\t" + Q + "F=My" + FE + "Footer" + Q + "\t~NODIALOG\t~LANDSCAPE");
    EXPECT_EQ(rewritten.size(), 50u);
    EXPECT_EQ(PatchPrintCommand("vexelprint(,,,)\0"s), "VSP.exe\t0\t0\t0\t0");
    EXPECT_EQ(PatchEXECCommand("vexelexec(notepad.exe, readme.txt)\0"s), "VSE.exe\tnotepad.exe\treadme.txt");
    EXPECT_EQ(PatchEXECCommand("vexelexec(start.exe)\0"s), "VSE.exe\tstart.exe\t");
    EXPECT_EQ(PatchSTORECommand("vexelscreen:savevariables(scores.txt)\0"s), "http://127.0.0.1:5905/save/scores.txt");
    EXPECT_EQ(PatchSTORECommand("VexelScreen:LoadVariables(scores.txt)\0"s), "http://127.0.0.1:5905/load/scores.txt");
}

TEST(PatchCommands, PrintArgumentsAndOptions) {
    // Two arguments give first, 0, 0, fourth; negatives, blanks, and non-numbers.
    EXPECT_EQ(PatchPrintCommand("vexelprint(7, 9)\0"s), "VSP.exe\t7\t0\t0\t9");
    EXPECT_EQ(PatchPrintCommand("VEXELPRINT( -3 ,+4,x,99999999999)\0"s), "VSP.exe\t-3\t4\t0\t0");
    EXPECT_EQ(PatchPrintCommand("vexelprint\0"s), "VSP.exe\t0\t0\t0\t0");
    // Flags in fixed order whatever their order and case, each once.
    EXPECT_EQ(PatchPrintCommand("vexelprint(1,2,3,4)/INVERT /fitpage /Portrait /invert\0"s),
              "VSP.exe\t1\t2\t3\t4\t~FITPAGE\t~PORTRAIT\t~INVERT");
    // Both quoted options; a leading space in a value is sent as 0xFE too.
    EXPECT_EQ(PatchPrintCommand("vexelprint(1,2,3,4) /H=" + Q + " top" + Q + " /f=" + Q + Q + "\0"s),
              "VSP.exe\t1\t2\t3\t4\t" + Q + "F=" + Q + "\t" + Q + "H=" + FE + "top" + Q);
    // An option without its closing quote ends with the command text, not with its zero byte.
    EXPECT_EQ(PatchPrintCommand("vexelprint(1,2,3,4) /f=" + Q + "a b\0"s),
              "VSP.exe\t1\t2\t3\t4\t" + Q + "F=a" + FE + "b" + Q);
}

TEST(PatchCommands, ExecAndStoreEdges) {
    EXPECT_EQ(PatchEXECCommand("vexelexec\0"s), "");  // no "(": the argument is blanked
    EXPECT_EQ(PatchEXECCommand("vexelexec(  a b.exe  ,  -x  )\0"s), "VSE.exe\ta b.exe\t-x");
    EXPECT_EQ(PatchEXECCommand("vexelexec(run.exe, p\0"s), "VSE.exe\trun.exe\t");  // no ")" after ","
    EXPECT_EQ(PatchEXECCommand("vexelexec(run.exe\0"s), "VSE.exe\t\t");
    // ":loadvariables" is tested first; the name keeps its spaces and case.
    EXPECT_EQ(PatchSTORECommand("vexelscreen:savevariables(A b):loadvariables\0"s),
              "http://127.0.0.1:5905/load/A b");
    // The name is what stands between the first "(" and the first ")": nothing
    // without a ")", or with the ")" before the "(".
    EXPECT_EQ(PatchSTORECommand("vexelscreen:savevariables(scores.txt\0"s), "http://127.0.0.1:5905/save/");
    EXPECT_EQ(PatchSTORECommand("vexelscreen:loadvariables)x(scores.txt)\0"s), "http://127.0.0.1:5905/load/");
    EXPECT_EQ(PatchSTORECommand("vexelscreen:savevariables\0"s), "http://127.0.0.1:5905/save/");
}

std::vector<std::uint8_t> Bytes(const std::string& s) { return {s.begin(), s.end()}; }

std::string Str(const std::vector<std::uint8_t>& b) { return {b.begin(), b.end()}; }

TEST(RewriteCommands, ByteFormsInPlaceWithLeftoversBehindTheNewZero) {
    auto w = Bytes("<FSCommand:exec\0vexelprint(1, 1,1,0) /f=\"My Footer\" /nodialog /landscape\0>"s);
    CommandScan scan = RewriteCommands(w);
    EXPECT_EQ(Str(w), "<FSCommand:exec\0VSP.exe\t1\t1\t1\t0\t\"F=My\xFE" "Footer\"\t~NODIALOG\t~LANDSCAPE\0scape\0>"s);
    EXPECT_TRUE(scan.HasPrint);
    EXPECT_FALSE(scan.HasEXEC);
    ASSERT_EQ(scan.commands.size(), 1u);
    EXPECT_EQ(scan.commands[0].offset, 16u);
    EXPECT_EQ(scan.commands[0].oldSize, 57u);
    EXPECT_EQ(scan.commands[0].newSize, 51u);

    w = Bytes("fscommand:EXEC\0VexelExec(start.exe)\0|fscommand:exec\0vexelexec\0|"s);
    scan = RewriteCommands(w);
    EXPECT_EQ(Str(w), "fscommand:EXEC\0VSE.exe\tstart.exe\t\0\0\0|fscommand:exec\0\0\0\0elexec\0|"s);
    EXPECT_TRUE(scan.HasEXEC);
    EXPECT_EQ(scan.commands.size(), 2u);

    w = Bytes("url=vexelscreen:savevariables(scores.txt)\0;VexelScreen:LoadVariables(scores.txt)\0"s);
    scan = RewriteCommands(w);
    EXPECT_EQ(Str(w), "url=http://127.0.0.1:5905/save/scores.txt\0;http://127.0.0.1:5905/load/scores.txt\0"s);
    EXPECT_TRUE(scan.HasVarStore);
}

TEST(RewriteCommands, RewrittenFormsSetTheFlagsAndAreLeftAlone) {
    auto w = Bytes("fscommand:exec\0VSP.exe\t1\t2\t3\t4\0 fscommand:exec\0vse.exe\tx\t\0 http://127.0.0.1:5905/save/a\0"s);
    const auto before = w;
    CommandScan scan = RewriteCommands(w);
    EXPECT_EQ(w, before);
    EXPECT_TRUE(scan.HasPrint);
    EXPECT_TRUE(scan.HasEXEC);
    EXPECT_TRUE(scan.HasVarStore);
    EXPECT_TRUE(scan.commands.empty());

    auto none = Bytes("nothing to see; fscommand:exec\0other\0"s);
    scan = RewriteCommands(none);
    EXPECT_FALSE(scan.HasPrint || scan.HasEXEC || scan.HasVarStore);
}

TEST(RewriteCommands, CommandsThatDoNotFitAreSkippedUntouched) {
    const std::string cases[] = {
        "fscommand:exec\0vexelprint(5)\0XYZ"s,  // one argument: 16 bytes needed, 14 there
        "fscommand:exec\0vexelprint\0XYZ"s,
        "fscommand:exec\0vexelprint(1,2,3,4)/nodialog/fitpage/landscape/portrait/invert\0XYZ"s,
        "vexelscreen:savevariables\0XYZ"s,        // no "(": needs 28 bytes, 26 there
        "fscommand:exec\0vexelprint(1"s,          // cut off by the end of the file
    };
    for (const std::string& c : cases) {
        auto w = Bytes(c);
        CommandScan scan = RewriteCommands(w);
        EXPECT_EQ(Str(w), c);
        ASSERT_EQ(scan.commands.size(), 1u) << c;
        EXPECT_EQ(scan.commands[0].outcome, RewriteOutcome::SkippedDoesNotFit) << c;
        EXPECT_GT(scan.commands[0].newSize, scan.commands[0].oldSize);
        EXPECT_TRUE(scan.HasPrint || scan.HasVarStore);  // the movie still asks for the service
    }
    // A store command without ")" has an empty name, which fits.
    auto open = Bytes("vexelscreen:loadvariables(abc\0XYZ"s);
    CommandScan scan = RewriteCommands(open);
    ASSERT_EQ(scan.commands.size(), 1u);
    EXPECT_EQ(scan.commands[0].outcome, RewriteOutcome::Rewritten);
    EXPECT_EQ(Str(open), "http://127.0.0.1:5905/load/\0c\0XYZ"s);
    // An exec without "(" always fits: its argument is blanked.
    auto w = Bytes("fscommand:exec\0vexelexec"s);
    RewriteCommands(w);
    EXPECT_EQ(Str(w), "fscommand:exec\0\0\0\0elexec"s);
}

TEST(RewriteCommands, OverlongCommandsAreSkippedAndThePassGoesOn) {
    const std::string longArg(300, 'x');
    auto w = Bytes("fscommand:exec\0vexelprint(1,2,3,4)"s + longArg + "\0fscommand:exec\0vexelprint(5,6,7,8)\0"s);
    auto before = w;
    CommandScan scan = RewriteCommands(w);
    ASSERT_EQ(scan.commands.size(), 2u);
    EXPECT_EQ(scan.commands[0].outcome, RewriteOutcome::SkippedTooLong);
    EXPECT_EQ(scan.commands[0].oldText.size(), kMaxCommandBytes);
    EXPECT_EQ(scan.commands[1].outcome, RewriteOutcome::Rewritten);
    EXPECT_TRUE(std::equal(before.begin(), before.begin() + 15 + 19 + 300, w.begin()));

    // 254 letters and the zero make 255 bytes: still rewritten.
    std::string cmd = "vexelexec(a)" + std::string(254 - 12, ' ');
    auto edge = Bytes("fscommand:exec\0"s + cmd + "\0"s);
    EXPECT_EQ(RewriteCommands(edge).commands.at(0).outcome, RewriteOutcome::Rewritten);
    auto over = Bytes("fscommand:exec\0"s + cmd + " \0"s);
    EXPECT_EQ(RewriteCommands(over).commands.at(0).outcome, RewriteOutcome::SkippedTooLong);
}

TEST(RewriteCommands, RewritingIsIdempotent) {
    auto w = Bytes("fscommand:exec\0vexelprint(1,2,3,4)\0 fscommand:exec\0vexelexec(a.exe, b)\0 "
                   "vexelscreen:savevariables(s)\0 vexelscreen:loadvariables(l)\0"s);
    CommandScan first = RewriteCommands(w);
    EXPECT_EQ(first.commands.size(), 4u);
    auto once = w;
    CommandScan second = RewriteCommands(w);
    EXPECT_EQ(w, once);
    EXPECT_TRUE(second.commands.empty());
    EXPECT_TRUE(second.HasPrint && second.HasEXEC && second.HasVarStore);
}

// A name that holds the save pattern: its rewritten address holds it again,
// which the plain loop would find on its next search from the start.
TEST(RewriteCommands, CommandsThatRewritingCreatesAreHandledAsThePlainLoopDoes) {
    auto w = Bytes("vexelscreen:savevariables(vexelscreen:savevariables(ab)\0tail"s);
    auto reference = w;
    CommandScan scan = RewriteCommands(w);
    test::LiteralScan lit = test::LiteralRewriteCommands(reference);
    EXPECT_EQ(w, reference);
    ASSERT_EQ(scan.commands.size(), lit.commands.size());
    EXPECT_GE(scan.commands.size(), 2u);
}

// Random bytes built from the pieces that matter; the linear passes must give
// the same bytes, flags and commands as the plain loop.
TEST(RewriteCommands, SameResultAsThePlainLoopOnRandomInputs) {
    const std::vector<std::string> pieces = {
        "fscommand:exec\0"s, "FSCOMMAND:EXEC\0"s, "vexelprint"s, "VEXELPRINT"s, "vexelexec"s, "VexelExec"s,
        "vexelscreen:savevariables"s, "VEXELSCREEN:LOADVARIABLES"s, "vexelscreen:"s, "savevariables"s,
        "("s, ")"s, ","s, " "s, "\0"s, "\""s, "/f=\""s, "/h=\""s, "/nodialog"s, "/invert"s, "1"s, "-2"s,
        "abc"s, "vsp.exe\t"s, "vse.exe\t"s, "http://127.0.0.1:5905/"s, ":loadvariables"s, "exec"s, "x"s};
    std::mt19937 rng(12345);
    for (int round = 0; round < 3000; ++round) {
        std::string s;
        int n = static_cast<int>(rng() % 40);
        for (int i = 0; i < n; ++i) s += pieces[rng() % pieces.size()];
        if (rng() % 8 == 0) s += std::string(rng() % 300, 'q');
        auto w = Bytes(s);
        auto reference = w;
        CommandScan scan = RewriteCommands(w);
        test::LiteralScan lit = test::LiteralRewriteCommands(reference);
        ASSERT_EQ(w, reference) << round;
        ASSERT_EQ(scan.HasPrint, lit.HasPrint);
        ASSERT_EQ(scan.HasEXEC, lit.HasEXEC);
        ASSERT_EQ(scan.HasVarStore, lit.HasVarStore);
        ASSERT_EQ(scan.commands.size(), lit.commands.size()) << round;
        for (std::size_t i = 0; i < lit.commands.size(); ++i) {
            ASSERT_EQ(scan.commands[i].offset, lit.commands[i].offset);
            ASSERT_EQ(scan.commands[i].outcome, lit.commands[i].outcome);
        }
    }
}

}  // namespace
}  // namespace vs
