#pragma once

#include <QString>
#include <QUrl>

class QLineEdit;

// In-place renaming preselects what a user normally retypes: the name without its extension
// for a file, the whole name for a folder (whose dot is part of the name).
namespace RenameSelection {

// Length in UTF-16 code units of the part of `fileName` to preselect.
qsizetype stemLength(const QString &fileName, bool isDirectory);

} // namespace RenameSelection

// Selects the stem of the item's name in the editor; asks the file system whether the item is
// a folder (an unreadable item counts as a file). Does nothing without an editor.
void selectBaseName(QLineEdit *editor, const QUrl &url);
