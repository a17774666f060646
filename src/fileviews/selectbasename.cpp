#include "selectbasename.h"

#include "filestore/namerules.h"

#include <QFileInfo>
#include <QLineEdit>

namespace RenameSelection {

qsizetype stemLength(const QString &fileName, bool isDirectory)
{
    return isDirectory ? fileName.size() : NameRules::deletingPathExtension(fileName).size();
}

} // namespace RenameSelection

void selectBaseName(QLineEdit *editor, const QUrl &url)
{
    if (!editor)
        return;
    const QFileInfo info(url.toLocalFile());
    // A link to a folder is renamed like a file: it is the link that gets the new name.
    const bool isDirectory = info.isDir() && !info.isSymLink();
    editor->setSelection(0, int(RenameSelection::stemLength(info.fileName(), isDirectory)));
}
