#include "qt_file_dialog_backend.h"

#include <QComboBox>
#include <QFileDialog>

namespace pixelcast {

std::optional<QString> QtFileDialogBackend::show(const FileDialogRequest& request)
{
    QFileDialog dialog(m_parent, request.title);
    dialog.setObjectName(QStringLiteral("fileDialog"));
    dialog.setOption(QFileDialog::DontUseNativeDialog);

    const bool save = request.kind == DialogKind::Save;
    dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(!save && (request.flags & kFileMustExist) != 0 ? QFileDialog::ExistingFile
                                                                      : QFileDialog::AnyFile);
    dialog.setOption(QFileDialog::DontConfirmOverwrite, (request.flags & kOverwritePrompt) == 0);
    if (!request.defaultSuffix.isEmpty()) {
        dialog.setDefaultSuffix(request.defaultSuffix);
    }

    // Qt reads a name filter's patterns from its last parentheses, split at blanks, and
    // collapses runs of blanks in the text. So Qt gets "<description> (<patterns>)" with
    // blank-separated patterns, and the file-type list then shows the description itself.
    const std::vector<NameFilter> filters = parseFilter(request.filter);
    QStringList qtFilters;
    for (const NameFilter& filter : filters) {
        qtFilters.append(
            QStringLiteral("%1 (%2)").arg(filter.description, filter.patterns.join(u' ')));
    }
    if (!qtFilters.isEmpty()) {
        dialog.setNameFilters(qtFilters);
    }
    if (auto* fileTypes = dialog.findChild<QComboBox*>(QStringLiteral("fileTypeCombo"));
        fileTypes != nullptr && fileTypes->count() == static_cast<int>(filters.size())) {
        for (int i = 0; i < fileTypes->count(); ++i) {
            fileTypes->setItemText(i, filters[static_cast<std::size_t>(i)].description);
        }
    }

    if (!request.fileName.isEmpty()) {
        dialog.selectFile(request.fileName);
    } else if (!request.folder.isEmpty()) {
        dialog.setDirectory(request.folder);
    }
    if (dialog.exec() != QDialog::Accepted) {
        return std::nullopt;
    }
    const QStringList chosen = dialog.selectedFiles();
    if (chosen.isEmpty()) {
        return std::nullopt;
    }
    return chosen.first();
}

} // namespace pixelcast
