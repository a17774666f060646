#include "faketool.h"

#include <QFile>
#include <QProcess>

#include <csignal>
#include <unistd.h>

QString FakeTool::write(const QString &name, const QByteArray &body)
{
    const QString file = path(name);
    return createFile(name, "#!/bin/sh\n" + body + "\n") &&
                   QFile::setPermissions(file, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                                   QFile::ReadGroup | QFile::ExeGroup)
               ? file
               : QString();
}

bool processIsGone(qint64 pid)
{
    if (pid <= 0 || ::kill(pid_t(pid), 0) != 0)
        return true;
        // A zombie still answers kill(0); its state says it is dead.
#ifdef Q_OS_LINUX
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    const QByteArray status = stat.open(QIODevice::ReadOnly) ? stat.readAll() : QByteArray();
    const qsizetype close = status.lastIndexOf(')');
    return close > 0 && close + 2 < status.size() && (status[close + 2] == 'Z' || status[close + 2] == 'X');
#else
    QProcess ps;
    ps.start(QStringLiteral("/bin/ps"),
             {QStringLiteral("-o"), QStringLiteral("stat="), QStringLiteral("-p"), QString::number(pid)});
    if (!ps.waitForFinished(5000))
        return false;
    const QByteArray state = ps.readAllStandardOutput().trimmed();
    return state.isEmpty() || state.startsWith('Z');
#endif
}
