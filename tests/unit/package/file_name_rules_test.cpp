// The names a projector can write into its folder, shared by the engine and
// the build.
#include <gtest/gtest.h>

#include "package/file_name_rules.h"

namespace vs {
namespace {

TEST(FileNameRules, NamesMustBePlainFilesOfTheFolder) {
    EXPECT_EQ(ExtractName("C:\\Movies\\intro.exe"), "intro.exe");
    EXPECT_EQ(ExtractName("/home/a/b/caf\xC3\xA9.swf"), "caf\xC3\xA9.swf");
    EXPECT_EQ(ExtractName("..\\..\\evil.dll"), "evil.dll");  // reduced to its file part
    for (const char* bad : {"", "C:\\x\\", "C:\\x\\..", "C:\\x\\.", "C:evil.exe", "C:\\x\\CON", "C:\\x\\nul.txt",
                            "C:\\x\\com1.dat", "C:\\x\\LPT\xC2\xB9", "x\\a?b", "x\\a\"b", "x\\a|b", "x\\a*b",
                            "x\\trail.", "x\\trail ", "x\\ lead", "x\\tab\tname", "x\\\xC3\x28"})
        EXPECT_EQ(ExtractName(bad), "") << bad;
    EXPECT_EQ(ExtractName(std::string(200, 'a')), std::string(200, 'a'));
    EXPECT_EQ(ExtractName(std::string(201, 'a')), "");
    EXPECT_FALSE(IsDeviceName("CONSOLE.txt"));
    EXPECT_TRUE(IsDeviceName("conout$"));
    EXPECT_EQ(PlainFileNameProblem("What?.txt", 200), "Windows does not allow \"?\" in a file name");
    EXPECT_EQ(PlainFileNameProblem("aux.txt", 200), "Windows reserves the name \"aux.txt\" for a device");
    EXPECT_EQ(PlainFileNameProblem("trailing.", 200), "Windows drops a trailing dot or space from a file name");
    EXPECT_EQ(FileNameKey("Caf\xC3\x89 OK.TXT"), FileNameKey("caf\xC3\xA9 ok.txt"));
    EXPECT_NE(FileNameKey("a\xC3\x97"), FileNameKey("a\xC3\xB7"));  // multiplication and division signs
    EXPECT_EQ(ShownName("caf\xC3\xA9.swf", 64), "caf\xC3\xA9.swf");
    EXPECT_EQ(ShownName(std::string("a\x01", 2), 64), "<a name of 2 bytes>");
    EXPECT_EQ(ShownName("caf\xC3", 64), "<a name of 4 bytes>");
    EXPECT_EQ(ShownName(std::string(65, 'n'), 64), "<a name of 65 bytes>");
}

TEST(FileNameRules, APackageMustBeWritableAsAWhole) {
    auto problem = [](const PackedNames& n) {
        auto p = FindPackedNameProblem(n);
        return p ? std::to_string(static_cast<int>(p->kind)) + " " + std::to_string(p->index) + " " + p->reason
                 : std::string("none");
    };
    PackedNames n{{"", "C:\\m\\movie.exe", "C:\\t\\mhproc.dll", "/home/u/Datetime.txt", "/home/u/fscommand"}, false, std::nullopt};
    EXPECT_EQ(problem(n), "none");
    n.dateTimeFile = "DATETIME.TXT";
    EXPECT_EQ(problem(n), "2 3 the projector writes its date and time file \"Datetime.txt\" under that name");
    n.dateTimeFile = "Datetime.txt";
    n.files.erase(n.files.begin() + 3);
    n.anyTool = true;
    EXPECT_EQ(problem(n), "3 3 the projector puts the tools of the movie's commands in a folder of that name");
    n.files = {"C:\\m\\movie.exe", "/a/x.txt", "/b/X.TXT"};
    EXPECT_EQ(problem(n), "1 2 the projector would write it as \"X.TXT\", as it writes \"/a/x.txt\"");
    n.files = {"C:\\m\\movie.exe", "/a/a:b.txt"};
    EXPECT_EQ(problem(n), "0 1 Windows does not allow \":\" in a file name");
    n.files = {"C:\\m\\movie.exe"};
    n.dateTimeFile = "C:\\x\\";
    EXPECT_EQ(problem(n), "4 0 the name is empty");
    try {
        n.dateTimeFile.reset();
        n.files.push_back("/u/What?.txt");
        CheckPackedNames(n);
        ADD_FAILURE();
    } catch (const EPackedNameError& e) {
        EXPECT_STREQ(e.what(), "The file \"/u/What?.txt\" cannot be packed: Windows does not allow \"?\" in a file name");
    }
}

// The limit counts the stored form, one Windows-1252 byte per character:
// 200 accented letters pass as 200 ASCII ones do, the date/time file alike.
TEST(FileNameRules, TheLengthLimitCountsStoredCharacters) {
    std::string accented;
    for (int i = 0; i < 196; ++i) accented += "\xC3\xA9";
    EXPECT_EQ(ExtractName("C:\\x\\" + accented + ".txt"), accented + ".txt");
    EXPECT_EQ(PlainFileNameProblem(accented + "e.txt", 200), "the name is longer than 200 characters");
    PackedNames n{{"C:\\m\\movie.exe"}, false, "C:\\" + accented + ".txt"};
    EXPECT_FALSE(FindPackedNameProblem(n));
    n.dateTimeFile = accented + "e.txt";
    ASSERT_TRUE(FindPackedNameProblem(n));
}

TEST(FileNameRules, TheEngineLockFileNameIsTakenAndLongNamesAreWarnedOf) {
    auto problem = [](const PackedNames& n) {
        auto p = FindPackedNameProblem(n);
        return p ? std::to_string(static_cast<int>(p->kind)) + " " + p->reason : std::string("none");
    };
    PackedNames n{{"C:\\m\\movie.exe", "/u/vexelscreen.LOCK"}, false, std::nullopt};
    EXPECT_EQ(problem(n), "0 the projector keeps its lock file \"VexelSCREEN.lock\" under that name");
    n.files.pop_back();
    n.dateTimeFile = "VEXELSCREEN.lock";
    EXPECT_EQ(problem(n), "4 the projector keeps its lock file \"VexelSCREEN.lock\" under that name");
    n.dateTimeFile = "VexelSCREEN.lock.txt";
    EXPECT_EQ(problem(n), "none");

    // 189 characters surely fit under a long temporary folder; 190 may not.
    n.files.push_back("/u/" + std::string(185, 'a') + ".txt");
    EXPECT_TRUE(CheckPackedNames(n).empty());
    n.files.push_back("/u/" + std::string(186, 'b') + ".txt");
    n.dateTimeFile = std::string(186, 'd') + ".txt";
    const std::vector<std::string> warnings = CheckPackedNames(n);
    ASSERT_EQ(warnings.size(), 2u);
    EXPECT_EQ(warnings[0].substr(0, 20), "The file \"/u/bbbbbbb");
    EXPECT_NE(warnings[0].find("has a name of 190 characters"), std::string::npos) << warnings[0];
    EXPECT_EQ(warnings[1].substr(0, 26), "The date and time file \"dd");
}

}  // namespace
}  // namespace vs
