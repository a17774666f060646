#include "simulator.h"
#include "toolrunner.h"

#include <QChar>

namespace {

// Large videos take a while to import; a hung tool must still end some day.
constexpr std::chrono::milliseconds addMediaTimeout{std::chrono::minutes(10)};
// The tool's error text is a few lines; anything beyond this is not a message.
constexpr qint64 maxErrorBytes = qint64(4) * 1024 * 1024;

// The white-space-and-newline set of the platform the messages come from: Zs, tab, U+000A to
// U+000D, U+0085, U+2028 and U+2029. Spelled out so that it does not follow QChar::isSpace.
bool isWhitespaceOrNewline(QChar c)
{
    const char16_t u = c.unicode();
    if (u == u'\t' || (u >= 0x000A && u <= 0x000D) || u == 0x0085 || u == 0x2028 || u == 0x2029)
        return true;
    // No character above the BMP is a space separator, so UTF-16 units suffice.
    return !c.isSurrogate() && c.category() == QChar::Separator_Space;
}

QString trimmedMessage(const QString &text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && isWhitespaceOrNewline(text.at(begin)))
        ++begin;
    while (end > begin && isWhitespaceOrNewline(text.at(end - 1)))
        --end;
    return text.mid(begin, end - begin);
}

} // namespace

Status Simulator::addMedia(const QString &udid, const QList<QUrl> &files)
{
    QStringList arguments{QStringLiteral("simctl"), QStringLiteral("addmedia"), udid};
    arguments.reserve(arguments.size() + files.size());
    // A dropped non-file URL still passes its path, as the tool is the one to judge it.
    for (const QUrl &file : files)
        arguments.append(file.isLocalFile() ? file.toLocalFile() : file.path(QUrl::FullyDecoded));

    ToolRunner::Options options;
    options.capture = ToolRunner::Capture::StandardError;
    options.discardOtherOutput = true;
    options.timeout = addMediaTimeout;
    options.maxBytes = maxErrorBytes;
    const auto run = ToolRunner::run(arguments, options);
    if (!run)
        return Status::failure(run.error());

    const ToolRunner::Outcome &outcome = run.value();
    if (!outcome.crashed && outcome.exitCode == 0)
        return Status::success({});
    const AddMediaError error{trimmedMessage(QString::fromUtf8(outcome.captured))};
    return Status::failure(error.errorDescription());
}
