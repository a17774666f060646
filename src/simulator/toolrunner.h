#pragma once

#include "base/result.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include "base/stoptoken.h"
#include <chrono>
#include <optional>

// Runs the developer tools ("/usr/bin/xcrun", or $LANTHORN_XCRUN) as a child process without a
// shell. One stream is piped and read while the child runs, so a chatty child never blocks on a
// full pipe. Safe on any thread; every call is its own process.
namespace ToolRunner {

enum class Capture { StandardOutput, StandardError };

struct Options
{
    Capture capture = Capture::StandardOutput;
    // The stream that is not captured: inherited from us, or sent to the null device.
    bool discardOtherOutput = false;
    // None: wait for the tool however long it runs.
    std::optional<std::chrono::milliseconds> timeout{std::chrono::milliseconds(60'000)};
    qint64 maxBytes = qint64(64) * 1024 * 1024;
    // The message when the system refuses to start the tool because its arguments are too long
    // for one command (E2BIG); empty gives a general one.
    QString argumentsTooLongMessage;
    StopToken stop;
};

struct Outcome
{
    QByteArray captured;
    int exitCode = 0;
    bool crashed = false; // ended by a signal
};

// "/usr/bin/xcrun" unless LANTHORN_XCRUN names another executable.
QString executablePath();

// Fails only when the tool could not be started, did not finish within the timeout, wrote more
// than maxBytes, or was stopped. A non-zero exit is an Outcome, for the caller to judge.
Result<Outcome> run(const QStringList &arguments, const Options &options);

// Same, with an explicit executable (tests, the stand-in).
Result<Outcome> run(const QString &executable, const QStringList &arguments, const Options &options);

} // namespace ToolRunner
