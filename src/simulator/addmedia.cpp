#include "simulator.h"
#include "toolrunner.h"

#include <QChar>
#include <QCoreApplication>

namespace {

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

// Not QString::fromUtf8: it drops a leading BOM and puts one U+FFFD per byte of a cut-off
// sequence ("\xE2\x80" gives two). The platform the messages come from keeps U+FEFF and puts one
// U+FFFD per maximal invalid subpart (Unicode's recommended practice).
QString decodeReplacingMaximalSubparts(const QByteArray &bytes)
{
    const auto *p = reinterpret_cast<const uchar *>(bytes.constData());
    const qsizetype size = bytes.size();
    QString text;
    text.reserve(size);
    qsizetype i = 0;
    while (i < size) {
        const uchar lead = p[i];
        if (lead < 0x80) {
            text.append(QChar(char16_t(lead)));
            ++i;
            continue;
        }
        int length = 0;
        uchar low = 0x80, high = 0xBF; // the range of the second byte
        if (lead >= 0xC2 && lead <= 0xDF)
            length = 2;
        else if (lead >= 0xE0 && lead <= 0xEF)
            length = 3, low = lead == 0xE0 ? 0xA0 : 0x80, high = lead == 0xED ? 0x9F : 0xBF;
        else if (lead >= 0xF0 && lead <= 0xF4)
            length = 4, low = lead == 0xF0 ? 0x90 : 0x80, high = lead == 0xF4 ? 0x8F : 0xBF;
        char32_t code = length == 2 ? lead & 0x1F : length == 3 ? lead & 0x0F : lead & 0x07;
        int taken = 1;
        while (length > 0 && taken < length && i + taken < size) {
            const uchar next = p[i + taken];
            if (next < (taken == 1 ? low : 0x80) || next > (taken == 1 ? high : 0xBF))
                break;
            code = (code << 6) | (next & 0x3F);
            ++taken;
        }
        if (length > 0 && taken == length)
            text.append(QStringView(QChar::fromUcs4(code)));
        else
            text.append(QChar::ReplacementCharacter);
        i += taken;
    }
    return text;
}

} // namespace

Simulator::AddMediaError Simulator::AddMediaError::fromStandardError(const QByteArray &bytes)
{
    return AddMediaError{trimmedMessage(decodeReplacingMaximalSubparts(bytes))};
}

Status Simulator::addMedia(const QString &udid, const QList<QUrl> &files, StopToken stop)
{
    // The same rule as for the Files storage: a UDID that cannot name a device folder names no
    // device.
    if (!isSafePathComponent(udid))
        return Status::failure(QCoreApplication::translate(
            "Simulator", "This device’s identifier from the developer tools is not valid, so no media can be "
                         "added to it."));
    QStringList arguments{QStringLiteral("simctl"), QStringLiteral("addmedia"), udid};
    arguments.reserve(arguments.size() + files.size());
    // A dropped non-file URL still passes its path, as the tool is the one to judge it.
    for (const QUrl &file : files)
        arguments.append(file.isLocalFile() ? file.toLocalFile() : file.path(QUrl::FullyDecoded));

    ToolRunner::Options options;
    options.capture = ToolRunner::Capture::StandardError;
    options.discardOtherOutput = true;
    options.timeout = std::nullopt; // a large batch takes as long as it takes
    options.maxBytes = maxErrorBytes;
    // A stop ends the tool with its whole process group.
    options.stop = std::move(stop);
    options.argumentsTooLongMessage =
        QCoreApplication::translate("Simulator", "Too many files to add at once. Add fewer files at a time.");
    const auto run = ToolRunner::run(arguments, options);
    if (!run)
        return Status::failure(run.error());

    const ToolRunner::Outcome &outcome = run.value();
    if (!outcome.crashed && outcome.exitCode == 0)
        return Status::success({});
    return Status::failure(AddMediaError::fromStandardError(outcome.captured).errorDescription());
}
