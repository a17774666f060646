#pragma once

#include <QProcessEnvironment>
#include <QStringList>
#include <QTemporaryDir>

// What a finished child process gave; `crashed` also when it did not start or end in time.
struct ToolRun
{
    int exitCode = -1;
    bool crashed = false;
    QByteArray out;
    QByteArray err;
    QString errText() const { return QString::fromUtf8(err).trimmed(); }
};

ToolRun runProgram(const QString &program, const QStringList &arguments,
                   const QProcessEnvironment &environment = QProcessEnvironment::systemEnvironment());

// The simctl stand-in (pass LANTHORN_STANDIN_PATH) over a CoreSimulator tree in its own HOME.
class StandIn
{
public:
    explicit StandIn(const QString &tool) : m_tool(tool) {}

    bool isValid() const;
    QString tool() const { return m_tool; }
    QString home() const { return m_home.path(); }
    QString cameraRoll(const QString &udid) const
    {
        return home() + QStringLiteral("/Library/Developer/CoreSimulator/Devices/") + udid +
               QStringLiteral("/data/Media/DCIM/100APPLE");
    }

    ToolRun simctl(const QStringList &arguments) const;
    // The new device's UDID, empty when the tool refused.
    QString create(const QString &name, const QString &type, const QString &runtime) const;
    bool boot(const QString &udid) const;
    QStringList cameraRollNames(const QString &udid) const;

private:
    QString m_tool;
    QTemporaryDir m_home;
};
