#include "desktopworkspace.h"

#include "systempasteboard.h"

#include "filestore/desktopcommands.h"
#include "filestore/folderwatch.h"
#include "filestore/trash.h"

#include <QDesktopServices>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>

DesktopWorkspace::DesktopWorkspace(QObject *parent) : QObject(parent)
{
}

void DesktopWorkspace::open(const QUrl &url)
{
    QDesktopServices::openUrl(url);
}

void DesktopWorkspace::reveal(const QList<QUrl> &urls)
{
    if (urls.isEmpty())
        return;
    const ProcessLaunch launch = DesktopCommands::revealLaunch(urls);
    const QUrl folder = QUrl::fromLocalFile(QFileInfo(urls.first().toLocalFile()).path());
    auto *process = new QProcess(this);
    process->setStandardOutputFile(QProcess::nullDevice());
    process->setStandardErrorFile(QProcess::nullDevice());
    // Without a file manager on the bus, showing the enclosing folder is the next best thing.
    connect(process, &QProcess::finished, this, [process, folder](int exitCode, QProcess::ExitStatus status) {
        if (status != QProcess::NormalExit || exitCode != 0)
            QDesktopServices::openUrl(folder);
        process->deleteLater();
    });
    connect(process, &QProcess::errorOccurred, this, [process, folder](QProcess::ProcessError error) {
        if (error != QProcess::FailedToStart)
            return;
        QDesktopServices::openUrl(folder);
        process->deleteLater();
    });
    process->start(launch.program, launch.arguments);
}

void DesktopWorkspace::openInTerminal(const QUrl &folder)
{
    const QString path = folder.toLocalFile();
    const auto launches =
        DesktopCommands::terminalLaunches(path, qEnvironmentVariable("TERMINAL"), [](const QString &name) {
            return QStandardPaths::findExecutable(name);
        });
    for (const ProcessLaunch &launch : launches) {
        if (QProcess::startDetached(launch.program, launch.arguments, launch.workingDirectory))
            return;
    }
}

FilesState::Services desktopFilesServices()
{
    return {std::make_shared<DesktopWorkspace>(), std::make_shared<SystemPasteboard>(), makeDefaultTrash(),
            &makeSystemFolderNotifier};
}
