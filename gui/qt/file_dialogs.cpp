#include "gui/qt/file_dialogs.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>

namespace vs::gui {

QStringList QtNameFilters(std::string_view systemFilter) {
    QStringList filters;
    if (systemFilter.empty()) return filters;
    const QStringList parts = QString::fromUtf8(systemFilter.data(), static_cast<qsizetype>(systemFilter.size())).split(u'|');
    for (qsizetype i = 0; i < parts.size(); i += 2) {
        const QString description = parts[i].trimmed();
        QStringList patterns;
        if (i + 1 < parts.size())
            for (const QString& p : parts[i + 1].split(u';', Qt::SkipEmptyParts)) {
                const QString pattern = p.trimmed();
                if (!pattern.isEmpty()) patterns << (pattern == u"*.*" ? QStringLiteral("*") : pattern);
            }
        if (patterns.isEmpty()) patterns << QStringLiteral("*");
        const QString list = patterns.join(u' ');
        if (description.isEmpty()) filters << QStringLiteral("(%1)").arg(list);
        else if (description.endsWith(QStringLiteral("(%1)").arg(list))) filters << description;
        else filters << QStringLiteral("%1 (%2)").arg(description, list);
    }
    return filters;
}

void SetUpFileDialog(QFileDialog& dialog, const FileDialog& d, DialogKind kind) {
    if (!d.title.empty()) dialog.setWindowTitle(QString::fromStdString(d.title));
    const QStringList filters = QtNameFilters(d.filter);
    if (!filters.isEmpty()) dialog.setNameFilters(filters);

    QString suffix = QString::fromStdString(d.defaultExtension);
    if (suffix.startsWith(u'.')) suffix.remove(0, 1);
    dialog.setDefaultSuffix(suffix);

    switch (kind) {
        case DialogKind::Open:
            dialog.setAcceptMode(QFileDialog::AcceptOpen);
            dialog.setFileMode(d.mustExist ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
            break;
        case DialogKind::OpenMany:
            dialog.setAcceptMode(QFileDialog::AcceptOpen);
            dialog.setFileMode(QFileDialog::ExistingFiles);
            break;
        case DialogKind::Save:
            dialog.setAcceptMode(QFileDialog::AcceptSave);
            dialog.setFileMode(QFileDialog::AnyFile);
            break;
    }
    dialog.setOption(QFileDialog::DontConfirmOverwrite, !(kind == DialogKind::Save && d.overwritePrompt));

    // A preset name with a folder opens in that folder; the initial folder
    // counts only for a bare name, as on the system.
    const QString name = QDir::fromNativeSeparators(QString::fromStdString(d.initialName));
    const QFileInfo info(name);
    if (!name.isEmpty() && name.contains(u'/')) {
        dialog.setDirectory(info.absolutePath());
        dialog.selectFile(info.fileName());
    } else {
        if (!d.initialFolder.empty()) dialog.setDirectory(QString::fromStdString(d.initialFolder));
        if (!name.isEmpty()) dialog.selectFile(name);
    }
}

}  // namespace vs::gui
