#include "standin.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>

ToolRun runProgram(const QString &program, const QStringList &arguments,
                   const QProcessEnvironment &environment)
{
    QProcess process;
    process.setProcessEnvironment(environment);
    process.start(program, arguments);
    ToolRun result;
    if (!process.waitForStarted(10'000) || !process.waitForFinished(120'000)) {
        process.kill();
        process.waitForFinished(5'000);
        result.crashed = true;
        return result;
    }
    result.crashed = process.exitStatus() != QProcess::NormalExit;
    result.exitCode = process.exitCode();
    result.out = process.readAllStandardOutput();
    result.err = process.readAllStandardError();
    return result;
}

bool StandIn::isValid() const
{
    return m_home.isValid() && QFileInfo(m_tool).isExecutable();
}

ToolRun StandIn::simctl(const QStringList &arguments) const
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("HOME"), home());
    return runProgram(m_tool, QStringList{QStringLiteral("simctl")} + arguments, environment);
}

QString StandIn::create(const QString &name, const QString &type, const QString &runtime) const
{
    const ToolRun run = simctl({QStringLiteral("create"), name, type, runtime});
    return run.exitCode == 0 ? QString::fromUtf8(run.out).trimmed() : QString();
}

bool StandIn::boot(const QString &udid) const
{
    return simctl({QStringLiteral("boot"), udid}).exitCode == 0;
}

QStringList StandIn::cameraRollNames(const QString &udid) const
{
    return QDir(cameraRoll(udid)).entryList(QDir::Files | QDir::Hidden, QDir::Name);
}
