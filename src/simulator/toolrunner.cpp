#include "toolrunner.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFileInfo>
#include <QProcess>

#include <cerrno>

#ifdef Q_OS_UNIX
#include <csignal>
#include <sys/types.h>
#include <unistd.h>
#endif

namespace ToolRunner {

namespace {

// Short enough that a stop request or the deadline is noticed promptly.
constexpr int pollSliceMs = 50;

QString launchFailure(const QString &executable, const QProcess &process, const Options &options)
{
    QString reason = process.errorString();
    // Not a missing tool: installing Xcode would not help.
    if (reason.contains(qt_error_string(E2BIG))) {
        return options.argumentsTooLongMessage.isEmpty()
                   ? QCoreApplication::translate("ToolRunner",
                                                 "The developer tools could not be started: the list of "
                                                 "arguments is too long for one command.")
                   : options.argumentsTooLongMessage;
    }
    const QFileInfo info(executable);
    if (!info.exists())
        reason = QCoreApplication::translate("ToolRunner", "No such file or directory");
    else if (!info.isExecutable() || info.isDir())
        reason = QCoreApplication::translate("ToolRunner", "Permission denied");
    // The first thing a new user on a machine without Xcode sees: say what is missing and how
    // to go on.
    return QCoreApplication::translate(
               "ToolRunner",
               "The developer tools could not be started (%1): %2.\n\n"
               "Lanthorn needs Apple's developer tools (Xcode and its command-line tools) to list and "
               "change simulators. On a machine without them, set LANTHORN_XCRUN to another "
               "executable that answers like xcrun, such as the stand-in built with Lanthorn "
               "(tools/xcrun-standin).")
        .arg(executable, reason);
}

// The tool and whatever it started: it leads a process group of its own.
void endChild(QProcess &process)
{
#ifdef Q_OS_UNIX
    if (const qint64 pid = process.processId(); pid > 0)
        ::kill(-pid_t(pid), SIGKILL);
#endif
    process.kill();
    process.waitForFinished(5000);
}

} // namespace

QString executablePath()
{
    const QString overridden = qEnvironmentVariable("LANTHORN_XCRUN");
    return overridden.isEmpty() ? QStringLiteral("/usr/bin/xcrun") : overridden;
}

Result<Outcome> run(const QStringList &arguments, const Options &options)
{
    return run(executablePath(), arguments, options);
}

Result<Outcome> run(const QString &executable, const QStringList &arguments, const Options &options)
{
    QProcess process;
    process.setProgram(executable);
    process.setArguments(arguments);
    process.setInputChannelMode(QProcess::ForwardedInputChannel);
    const bool wantsOutput = options.capture == Capture::StandardOutput;
    if (options.discardOtherOutput) {
        process.setProcessChannelMode(QProcess::SeparateChannels);
        if (wantsOutput)
            process.setStandardErrorFile(QProcess::nullDevice());
        else
            process.setStandardOutputFile(QProcess::nullDevice());
    } else {
        process.setProcessChannelMode(wantsOutput ? QProcess::ForwardedErrorChannel
                                                  : QProcess::ForwardedOutputChannel);
    }
    process.setReadChannel(wantsOutput ? QProcess::StandardOutput : QProcess::StandardError);
#ifdef Q_OS_UNIX
    // A group of its own, so that stopping the tool ends its children too (a stuck simctl may
    // wait on helpers it started).
    process.setChildProcessModifier([] { ::setpgid(0, 0); });
#endif

    process.start(QIODevice::ReadOnly);
    if (!process.waitForStarted(-1))
        return Result<Outcome>::failure(launchFailure(executable, process, options));

    Outcome outcome;
    const QDeadlineTimer deadline =
        options.timeout ? QDeadlineTimer(*options.timeout) : QDeadlineTimer(QDeadlineTimer::Forever);
    auto drain = [&] {
        outcome.captured += process.readAll();
        return outcome.captured.size() <= options.maxBytes;
    };

    // QProcess notices the child's exit even when a grandchild still holds the pipe open, so
    // this loop ends with the child, not with the last writer.
    while (process.state() != QProcess::NotRunning) {
        if (options.stop.stopRequested()) {
            endChild(process);
            return Result<Outcome>::failure(
                QCoreApplication::translate("ToolRunner", "The developer tools were stopped."));
        }
        if (deadline.hasExpired()) {
            endChild(process);
            return Result<Outcome>::failure(
                QCoreApplication::translate("ToolRunner",
                                            "The developer tools did not answer within %n second(s) (%1).",
                                            nullptr, int(options.timeout->count() / 1000))
                    .arg(executable));
        }
        process.waitForReadyRead(pollSliceMs);
        if (!drain()) {
            endChild(process);
            return Result<Outcome>::failure(
                QCoreApplication::translate(
                    "ToolRunner", "The developer tools wrote more than %1 MiB; the output was not read.")
                    .arg(options.maxBytes / (1024 * 1024)));
        }
    }
    if (!drain())
        return Result<Outcome>::failure(
            QCoreApplication::translate(
                "ToolRunner", "The developer tools wrote more than %1 MiB; the output was not read.")
                .arg(options.maxBytes / (1024 * 1024)));

    outcome.crashed = process.exitStatus() == QProcess::CrashExit;
    outcome.exitCode = outcome.crashed ? -1 : process.exitCode();
    return Result<Outcome>::success(std::move(outcome));
}

} // namespace ToolRunner
