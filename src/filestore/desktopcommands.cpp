#include "desktopcommands.h"

#include <QFileInfo>
#include <QProcess>

using namespace Qt::StringLiterals;

namespace {

#ifndef Q_OS_DARWIN
// How each known terminal is told its working folder; every launch also starts in the folder,
// which is all that xterm and unknown terminals understand.
QStringList workingFolderArguments(const QString &executable, const QString &folder)
{
    const QString resolved = QFileInfo(executable).canonicalFilePath();
    QString name = QFileInfo(resolved.isEmpty() ? executable : resolved).fileName();
    if (name.endsWith(u".wrapper"_s))
        name.chop(8);
    if (name == u"gnome-terminal"_s || name == u"xfce4-terminal"_s || name == u"mate-terminal"_s ||
        name == u"tilix"_s || name == u"foot"_s)
        return {u"--working-directory="_s + folder};
    if (name == u"konsole"_s)
        return {u"--workdir"_s, folder};
    if (name == u"alacritty"_s)
        return {u"--working-directory"_s, folder};
    if (name == u"kitty"_s)
        return {u"--directory"_s, folder};
    return {};
}
#endif

} // namespace

namespace DesktopCommands {

QList<ProcessLaunch> terminalLaunches(const QString &folder, const QString &terminalVariable,
                                      const ExecutableFinder &findExecutable)
{
#ifdef Q_OS_DARWIN
    Q_UNUSED(terminalVariable)
    Q_UNUSED(findExecutable)
    return {
        {u"/usr/bin/open"_s, {u"-a"_s, u"/System/Applications/Utilities/Terminal.app"_s, folder}, folder}};
#else
    QList<ProcessLaunch> launches;
    auto add = [&](const QString &command, const QStringList &extra) {
        const QString executable = findExecutable(command);
        if (executable.isEmpty())
            return;
        for (const ProcessLaunch &known : launches) {
            if (known.program == executable)
                return;
        }
        launches.append({executable, extra + workingFolderArguments(executable, folder), folder});
    };
    QStringList fromVariable = QProcess::splitCommand(terminalVariable);
    if (!fromVariable.isEmpty()) {
        const QString command = fromVariable.takeFirst();
        add(command, fromVariable);
    }
    for (const QString &command :
         {u"x-terminal-emulator"_s, u"gnome-terminal"_s, u"konsole"_s, u"xfce4-terminal"_s, u"xterm"_s})
        add(command, {});
    return launches;
#endif
}

ProcessLaunch revealLaunch(const QList<QUrl> &urls)
{
#ifdef Q_OS_DARWIN
    QStringList arguments{u"-R"_s};
    for (const QUrl &url : urls)
        arguments.append(url.toLocalFile());
    return {u"/usr/bin/open"_s, arguments, {}};
#else
    // dbus-send separates array items with commas, so a comma inside a URL stays encoded.
    QStringList items;
    for (const QUrl &url : urls)
        items.append(QString::fromLatin1(url.toEncoded(QUrl::FullyEncoded)).replace(u","_s, u"%2C"_s));
    return {u"dbus-send"_s,
            {u"--session"_s, u"--print-reply"_s, u"--reply-timeout=5000"_s,
             u"--dest=org.freedesktop.FileManager1"_s, u"--type=method_call"_s,
             u"/org/freedesktop/FileManager1"_s, u"org.freedesktop.FileManager1.ShowItems"_s,
             u"array:string:"_s + items.join(u','), u"string:"_s},
            {}};
#endif
}

} // namespace DesktopCommands
