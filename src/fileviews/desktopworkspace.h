#pragma once

#include "filestore/filesstate.h"
#include "filestore/platform.h"

#include <QObject>

// The desktop's workspace: QDesktopServices opens files and folders, the file manager's D-Bus
// ShowItems call reveals items (the folder is opened when no file manager answers), and the
// first terminal that starts opens a folder. Nothing waits for the launched program. GUI thread.
class DesktopWorkspace final : public QObject, public Workspace
{
    Q_OBJECT

public:
    explicit DesktopWorkspace(QObject *parent = nullptr);

    void open(const QUrl &url) override;
    void reveal(const QList<QUrl> &urls) override;
    void openInTerminal(const QUrl &folder) override;
};

// The services the Files screen and its views use on this desktop: DesktopWorkspace,
// SystemPasteboard, the freedesktop trash and the system folder notifications.
FilesState::Services desktopFilesServices();
