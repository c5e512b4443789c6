#pragma once
// File dialogs described in the system's form (vs::FileDialog) set up on a
// QFileDialog, so that every dialog of the window is made the same way.
#include <QStringList>

#include <string_view>

#include "app/ports.h"

class QFileDialog;

namespace vs::gui {

enum class DialogKind { Open, OpenMany, Save };

// The system's filter, pairs of description and patterns joined by "|"
// ("Icon files|*.ico|Other files (get icon)|*.*"), as Qt's name filters
// ("Icon files (*.ico)", "Other files (get icon) (*)"). Patterns separated by
// ";" become space-separated, and "*.*" means every file, as on the system,
// where Qt would ask for a dot. A description that already ends with its
// patterns in parentheses is kept as it is.
QStringList QtNameFilters(std::string_view systemFilter);

// Title, filters, default suffix, preset name and folder, overwrite prompt
// and whether the file must exist, for a dialog of the given kind.
void SetUpFileDialog(QFileDialog& dialog, const FileDialog& description, DialogKind kind);

}  // namespace vs::gui
