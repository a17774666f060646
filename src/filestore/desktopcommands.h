#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <functional>

// The child processes through which the workspace reaches the desktop: a terminal opened on a
// folder, and the file manager asked to show items. Pure functions; the widgets layer runs them.
struct ProcessLaunch
{
    QString program;
    QStringList arguments;
    QString workingDirectory;

    friend bool operator==(const ProcessLaunch &, const ProcessLaunch &) = default;
};

namespace DesktopCommands {

// Finds an executable by name on PATH; empty when there is none.
using ExecutableFinder = std::function<QString(const QString &name)>;

// The terminals to try, in order, each opening `folder`: $TERMINAL (which may carry arguments),
// then x-terminal-emulator, gnome-terminal, konsole, xfce4-terminal and xterm, whichever exist.
// On macOS, Terminal.app through `open -a`.
QList<ProcessLaunch> terminalLaunches(const QString &folder, const QString &terminalVariable,
                                      const ExecutableFinder &findExecutable);

// Asks the file manager to show the items selected: the freedesktop FileManager1 ShowItems
// call through dbus-send (with a reply, so that a missing file manager shows as a failure);
// `open -R` on macOS.
ProcessLaunch revealLaunch(const QList<QUrl> &urls);

} // namespace DesktopCommands
