// Bytes from the tool's standard error -> the add-media error message; never a crash, and always
// the message an independent decoding gives: UTF-8 with one U+FFFD per maximal invalid subpart,
// trimmed of exactly the platform's white-space-and-newline set.
#include "simulator/simulator.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <cstdlib>

namespace {

// Table 3-7 of the Unicode standard: each lead byte's length and the range of its second byte.
// A maximal subpart is the lead and the continuation bytes that fit; it becomes one U+FFFD.
QString referenceDecoding(const QByteArray &bytes)
{
    const auto *p = reinterpret_cast<const uint8_t *>(bytes.constData());
    const qsizetype n = bytes.size();
    QString text;
    for (qsizetype i = 0; i < n;) {
        const uint8_t lead = p[i];
        int length = 0;
        uint8_t low = 0x80, high = 0xBF;
        if (lead < 0x80)
            length = 1;
        else if (lead >= 0xC2 && lead <= 0xDF)
            length = 2;
        else if (lead >= 0xE0 && lead <= 0xEF)
            length = 3, low = lead == 0xE0 ? 0xA0 : 0x80, high = lead == 0xED ? 0x9F : 0xBF;
        else if (lead >= 0xF0 && lead <= 0xF4)
            length = 4, low = lead == 0xF0 ? 0x90 : 0x80, high = lead == 0xF4 ? 0x8F : 0xBF;
        qsizetype k = 1;
        while (k < length && i + k < n && p[i + k] >= (k == 1 ? low : 0x80) &&
               p[i + k] <= (k == 1 ? high : 0xBF))
            ++k;
        if (length > 0 && k == length) {
            char32_t code = length == 1 ? lead : lead & (0x7F >> length);
            for (qsizetype m = 1; m < length; ++m)
                code = (code << 6) | (p[i + m] & 0x3F);
            text.append(QStringView(QChar::fromUcs4(code))); // not fromUcs4, which drops a leading U+FEFF
        } else {
            text.append(QChar::ReplacementCharacter);
        }
        i += length > 0 ? k : 1;
    }
    return text;
}

// Zs of Unicode 15, tab, U+000A to U+000D, NEL, LS and PS, written out.
bool isTrimmed(char16_t c)
{
    return (c >= 0x2000 && c <= 0x200A) ||
           QStringView(u"\t\n\v\f\r \u0085\u00A0\u1680\u2028\u2029\u202F\u205F\u3000").contains(QChar(c));
}

QString referenceTrim(const QString &text)
{
    qsizetype begin = 0, end = text.size();
    while (begin < end && isTrimmed(text.at(begin).unicode()))
        ++begin;
    while (end > begin && isTrimmed(text.at(end - 1).unicode()))
        --end;
    return text.mid(begin, end - begin);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    const Simulator::AddMediaError error = Simulator::AddMediaError::fromStandardError(bytes);
    const QString expected = referenceTrim(referenceDecoding(bytes));
    if (error.message != expected)
        std::abort();
    const QString description = error.errorDescription();
    if (description != (expected.isEmpty() ? QStringLiteral("simctl addmedia failed") : expected))
        std::abort();
    return 0;
}

// "match" when the tool's own text reaches the user, "nomatch" when only the generic text does.
const char *fuzzOutcome(const QByteArray &bytes)
{
    return Simulator::AddMediaError::fromStandardError(bytes).message.isEmpty() ? "nomatch" : "match";
}
