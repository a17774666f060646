// Bytes from the tool's standard error -> the add-media error message; never a crash, and always
// the message an independent decoding gives: UTF-8 with one U+FFFD per maximal invalid subpart,
// trimmed of exactly the platform's white-space-and-newline set.
#include "simulator/simulator.h"

#include <QByteArray>
#include <QString>
#include <QStringDecoder>

#include <cstdint>
#include <cstdlib>
#include <unordered_map>

namespace {

// Continuation bytes at the edges of every range a second byte may be restricted to.
constexpr uint8_t edgeBytes[] = {0x80, 0x8F, 0x90, 0x9F, 0xA0, 0xBF};

// Keeps U+FEFF, which QString::fromUtf8 drops at the start.
QList<uint> codePoints(const QByteArray &bytes)
{
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::ConvertInitialBom);
    return QString(decoder.decode(bytes)).toUcs4();
}

bool isOneWellFormedCharacter(const QByteArray &bytes)
{
    return bytes.isValidUtf8() && codePoints(bytes).size() == 1;
}

// Whether some continuation makes `prefix` one well-formed character; judged by Qt's validator,
// not by any table of our own.
bool startsAWellFormedCharacter(const QByteArray &prefix)
{
    if (isOneWellFormedCharacter(prefix))
        return true;
    if (prefix.size() >= 4)
        return false;
    for (uint8_t next : edgeBytes)
        if (startsAWellFormedCharacter(prefix + char(next)))
            return true;
    return false;
}

struct Prefix
{
    bool startsCharacter = false;
    bool isCharacter = false;
    char32_t code = 0;
};

// The judgement above is slow; prefixes repeat, so each is judged once.
const Prefix &judged(const uint8_t *p, qsizetype length)
{
    static std::unordered_map<uint64_t, Prefix> memo;
    uint64_t key = uint64_t(length) << 32;
    for (qsizetype i = 0; i < length; ++i)
        key |= uint64_t(p[i]) << (8 * i);
    if (auto it = memo.find(key); it != memo.end())
        return it->second;
    if (memo.size() > (1u << 22))
        memo.clear();
    const QByteArray bytes(reinterpret_cast<const char *>(p), length);
    Prefix prefix;
    prefix.startsCharacter = startsAWellFormedCharacter(bytes);
    prefix.isCharacter = isOneWellFormedCharacter(bytes);
    if (prefix.isCharacter)
        prefix.code = codePoints(bytes).first();
    return memo.emplace(key, prefix).first->second;
}

QString referenceDecoding(const QByteArray &bytes)
{
    const auto *p = reinterpret_cast<const uint8_t *>(bytes.constData());
    QString text;
    qsizetype i = 0;
    while (i < bytes.size()) {
        qsizetype length = 0;
        while (length < 4 && i + length < bytes.size() && judged(p + i, length + 1).startsCharacter)
            ++length;
        // Not QString::fromUcs4, which drops a leading U+FEFF as well.
        if (length > 0 && judged(p + i, length).isCharacter)
            text.append(QStringView(QChar::fromUcs4(judged(p + i, length).code)));
        else
            text.append(QChar::ReplacementCharacter);
        i += length > 0 ? length : 1;
    }
    return text;
}

// Zs of Unicode 15, tab, U+000A to U+000D, NEL, LS and PS, written out.
bool isTrimmed(char16_t c)
{
    switch (c) {
    case 0x09:
    case 0x0A:
    case 0x0B:
    case 0x0C:
    case 0x0D:
    case 0x20:
    case 0x85:
    case 0xA0:
    case 0x1680:
    case 0x2028:
    case 0x2029:
    case 0x202F:
    case 0x205F:
    case 0x3000:
        return true;
    default:
        return c >= 0x2000 && c <= 0x200A;
    }
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
