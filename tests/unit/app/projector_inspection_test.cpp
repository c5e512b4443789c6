// The inspection as the generator runs it: the messages of failed searches
// and of refused files.
#include "app/projector_inspection.h"

#include <gtest/gtest.h>

#include <cctype>

#include "app/messages.h"
#include "package/vexel_projector.h"
#include "support/projector_builder.h"
#include "support/recording_interface.h"
#include "support/swf_builder.h"
#include "support/temp_dir.h"

namespace vs {
namespace {

using test::ByteVec;

class ProjectorInspection : public test::TempDirTest {
protected:
    std::string Write(const ByteVec& bytes, const std::string& name = "projector.exe") {
        std::string p = Path(name);
        test::WriteProjectorFile(p, bytes);
        return p;
    }
    test::RecordingInterface ui;
    InspectionResult result;
};

TEST_F(ProjectorInspection, RefusalsKeepTheFlags) {
    s_TVexelProjector settings;
    settings.HasPrint = settings.HasEXEC = settings.HasVarStore = true;

    EXPECT_FALSE(InspectProjectorFile(Path("missing.exe"), &settings, ui, result));
    EXPECT_FALSE(InspectProjectorFile(dir_.string(), &settings, ui, result));  // a folder is no file
    EXPECT_TRUE(ui.messages.empty());

    const ByteVec notProjectors[] = {
        {},                                                                     // empty file
        test::BuildProjector(test::SwfBuilder().build(), {.playerText = ""}),   // no player text
        test::BuildPlayerPart(),                                                // no movie
        [] {  // small letters "fws" before the movie
            ByteVec v = test::BuildPlayerPart();
            for (char c : std::string("fws...")) v.push_back(static_cast<std::uint8_t>(c));
            ByteVec m = test::SwfBuilder().build();
            v.insert(v.end(), m.begin(), m.end());
            return v;
        }(),
    };
    for (const ByteVec& bytes : notProjectors) {
        ui.messages.clear();
        std::string p = Write(bytes);
        EXPECT_FALSE(InspectProjectorFile(p, &settings, ui, result));
        ASSERT_EQ(ui.messages.size(), 1u);
        EXPECT_EQ(ui.messages[0].kind, "warning");
        EXPECT_EQ(ui.messages[0].text, "The selected file is not a Flash projector. Please use another file.");
        EXPECT_EQ(test::ReadProjectorFile(p), bytes);
    }
    EXPECT_TRUE(settings.HasPrint && settings.HasEXEC && settings.HasVarStore);
}

TEST_F(ProjectorInspection, FileErrorsShowTheScanMessage) {
    std::string missing = Path("no such file.exe");
    ReportScanFailure(ui, *FindInFile("FWS", missing).failure);
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].kind, "error");
    std::string upper = missing;
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    EXPECT_EQ(ui.messages[0].text, "Cannot scan " + upper + ".\rFile not found.");

    ui.messages.clear();
    ReportScanFailure(ui, *FindInFile("FWS", dir_.string()).failure);  // a folder
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_NE(ui.messages[0].text.find(".\rFile access denied."), std::string::npos);

    ui.messages.clear();
    ReportScanFailure(ui, {ScanFailure::Kind::OutOfMemory, missing, 0});
    EXPECT_EQ(ui.texts("warning"), std::vector<std::string>{"Not enough memory to perform search."});
}

TEST(CannotScanMessage, UnknownCodesGiveAnEmptyReasonAndNamesStayUtf8) {
    EXPECT_EQ(CannotScanMessage("c:\\x.exe", 100), "Cannot scan C:\\X.EXE.\rDisk read error.");
    EXPECT_EQ(CannotScanMessage("a", 999), "Cannot scan A.\r.");
    // Only the ASCII letters are put in capitals; the rest of a UTF-8 name stays as it is.
    EXPECT_EQ(CannotScanMessage("/tmp/caf\xc3\xa9.exe", 2), "Cannot scan /TMP/CAF\xc3\xa9.EXE.\rFile not found.");
}

}  // namespace
}  // namespace vs
