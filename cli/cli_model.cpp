#include "cli/cli_model.h"

#include <unistd.h>

#include <iostream>

#include "app/main_icon.h"
#include "platform/ascii.h"
#include "platform/errors.h"
#include "platform/file_system.h"

namespace vs::cli {

void CliInterface::error(std::string_view text) {
    ++errorsShown;
    ConsoleInterface::error(text);
}

bool CliInterface::confirm(std::string_view text) {
    if (!retrievals_.empty()) return true;
    return ConsoleInterface::confirm(text);
}

std::optional<std::string> CliInterface::openFileName(const FileDialog&) {
    std::optional<std::string> name = std::move(fileAnswer_);
    fileAnswer_.reset();
    return name;
}

std::optional<std::string> CliInterface::saveFileName(const FileDialog& dialog) {
    for (Retrieval& r : retrievals_)
        if (!r.used && r.stored == dialog.initialName) {
            r.used = true;
            return r.target;
        }
    return std::nullopt;
}

void CliInterface::progress(int position, int maximum) {
    if (maximum <= 0 || !::isatty(STDERR_FILENO)) return;
    std::cerr << "\rPacking files: " << position << " of " << maximum << std::flush;
    progressShown_ = true;
}

void CliInterface::endProgress() {
    if (progressShown_) std::cerr << "\n";
    progressShown_ = false;
}

std::optional<TIcon> CliShell::largeIcon(const std::string& file) {
    if (EndsWithText(file, ".exe") || EndsWithText(file, ".dll")) {
        try {
            if (std::optional<TIcon> icon = ExeLargeIcon(file)) return icon;
        } catch (const VsError&) {
            // Not an executable after all: it shows the generator's icon.
        }
    }
    return ReadIconFile(MainIconFile());
}

std::optional<TIcon> CliShell::smallIcon(const std::string& file) {
    std::optional<TIcon> icon = largeIcon(file);
    if (icon) return ScaleIcon(*icon, 16, 16);
    return icon;
}

}  // namespace vs::cli
