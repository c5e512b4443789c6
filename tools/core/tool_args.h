#pragma once
// What the tools make of the command lines that the movie's rewritten
// commands give them: TAB-separated fields behind the program's name.
#include <string>
#include <string_view>
#include <vector>

namespace vs::engine {

// The fields of a command line (UTF-8): the program's name (quoted or not) is
// skipped, then one separating TAB or the spaces before the first field; a
// rest wholly enclosed in double quotes loses them; the rest is split at TABs.
std::vector<std::string> ToolFields(std::string_view commandLine);

struct PrintRequest {
    int left = 0, top = 0, width = 0, height = 0;  // 0 width or height: the whole window
    std::string footer, header;
    bool noDialog = false, fitPage = false, landscape = false, portrait = false, invert = false;
};

// The four numbers (missing or bad ones are 0), the "F=" and "H=" texts in
// double quotes (byte 0xFE, or its UTF-8 form, read back as a space) and the
// ~ flags, in any order.
PrintRequest ParsePrintFields(const std::vector<std::string>& fields);

// Where a launch looks for its file, in order: an absolute name as it is;
// a relative one in the projector's folder, then in the engine's temporary
// folder. Names with ".." components are still taken as written: the user
// of the movie asked for that file.
std::vector<std::string> LaunchCandidates(const std::string& file, const std::string& projectorDir,
                                          const std::string& temporaryDir);

bool IsAbsoluteWindowsPath(std::string_view path);

}  // namespace vs::engine
