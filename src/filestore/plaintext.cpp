#include "plaintext.h"

#include <QChar>
#include <QList>

using namespace Qt::StringLiterals;

namespace {

bool isJoiner(char32_t c)
{
    return c == 0x200C || c == 0x200D;
}

bool isTag(char32_t c)
{
    return c >= 0xE0020 && c <= 0xE007F;
}

// Format characters that draw a visible sign (prepended concatenation marks).
bool isVisibleFormat(char32_t c)
{
    return (c >= 0x0600 && c <= 0x0605) || c == 0x06DD || c == 0x070F || c == 0x0890 || c == 0x0891 ||
           c == 0x08E2 || c == 0x110BD || c == 0x110CD;
}

// Letters that draw nothing, a favourite for names that look empty or like another.
bool isBlankLetter(char32_t c)
{
    return c == 0x115F || c == 0x1160 || c == 0x17B4 || c == 0x17B5 || c == 0x3164 || c == 0xFFA0;
}

// Bidirectional controls (U+061C, U+200E/F, U+202A-E, U+2066-9) are format characters too.
bool hides(char32_t c)
{
    if (c < 0x20 || (c >= 0x7F && c <= 0x9F) || c == 0x2028 || c == 0x2029 || isBlankLetter(c))
        return true;
    return QChar::category(c) == QChar::Other_Format && !isVisibleFormat(c);
}

} // namespace

QString PlainText::oneLine(const QString &text)
{
    // toUcs4() turns unpaired surrogates into U+FFFD.
    const auto points = text.toUcs4();
    QString out;
    out.reserve(text.size());
    bool inFlag = false;
    for (qsizetype i = 0; i < points.size(); ++i) {
        const char32_t c = points.at(i);
        bool keep = !hides(c);
        if (isJoiner(c) && i > 0 && i + 1 < points.size()) {
            const char32_t before = points.at(i - 1);
            const char32_t after = points.at(i + 1);
            keep = before >= 0x80 && after >= 0x80 && !hides(before) && !hides(after);
        } else if (isTag(c)) {
            keep = inFlag;
        }
        inFlag = (c == 0x1F3F4) || (isTag(c) && inFlag);
        if (keep)
            out.append(QStringView(QChar::fromUcs4(c)));
        else if (c < 0x20)
            out.append(QChar(char16_t(0x2400 + c)));
        else if (c == 0x7F)
            out.append(QChar(char16_t(0x2421)));
        else
            out.append(u"<U+"_s + QString::number(uint(c), 16).toUpper().rightJustified(4, u'0') + u'>');
    }
    return out;
}

QString PlainText::toolTip(const QString &text)
{
    if (text.isEmpty())
        return {};
    return u"<p style='white-space:pre'>"_s + text.toHtmlEscaped() + u"</p>"_s;
}
