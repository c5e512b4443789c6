// The sample of the date/time variable file.
#include "app/generator_model.h"
#include "app/tools_folder.h"
#include "package/var_file.h"
#include "platform/atomic_file.h"

namespace vs {

void TfVexelSCREENModel::btCreateSampleVarClick() {
    FileDialog dialog;
    dialog.defaultExtension = ".txt";
    dialog.filter = "Text file|*.txt";
    dialog.overwritePrompt = true;
    dialog.initialName = edVarFilename.text;
    std::optional<std::string> name = ui_.saveFileName(dialog);
    if (!name) return;
    RefuseOutputOverInput(*name, false);
    SaveSampleFileName = *name;
    CreateVarFile(*name, true);
}

void TfVexelSCREENModel::CreateVarFile(const std::string& fileName, bool openAfterwards) {
    RefuseToolsFolderOutput(paths_.generatorDir, fileName);
    const LocalDateTime now = clock();
    std::array<std::string, 7> names;
    for (std::size_t i = 0; i < names.size(); ++i) names[i] = pgDateTime.value(i + 1);
    const AnsiString line = VarFileLine(names, now);
    WriteFileAtomic(fileName, line.bytes().data(), line.size());
    if (openAfterwards) shell_.openDocument(fileName);
}

}  // namespace vs
