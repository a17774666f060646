#include "namecollation.h"

#include <QCollator>
#include <QLocale>

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>
#include <string>

using namespace Qt::StringLiterals;

namespace {

QLocale collationLocale()
{
    const QLocale locale;
    return locale.language() == QLocale::C ? QLocale(QLocale::English, QLocale::UnitedStates) : locale;
}

// Languages whose collation leaves plain ASCII as the root order: no contractions such as the
// Czech "ch" or the Danish "aa". The weights themselves are read from the collator.
bool languageKeepsRootAsciiOrder(QLocale::Language language)
{
    switch (language) {
    case QLocale::English:
    case QLocale::German:
    case QLocale::French:
    case QLocale::Italian:
    case QLocale::Portuguese:
    case QLocale::Spanish:
    case QLocale::Dutch:
    case QLocale::Japanese:
    case QLocale::Chinese:
    case QLocale::Korean:
    case QLocale::Russian:
    case QLocale::Ukrainian:
    case QLocale::Greek:
        return true;
    default:
        return false;
    }
}

bool isAscii(QStringView s)
{
    for (QChar c : s) {
        if (c.unicode() >= 0x80 || c.unicode() == 0)
            return false;
    }
    return true;
}

bool isDigit(char16_t c)
{
    return c >= u'0' && c <= u'9';
}

// One collator per thread and locale, with the primary weight of each ASCII character as the
// collator itself orders them (0 for the ignorable controls).
class Collation
{
public:
    explicit Collation(const QLocale &locale) : m_localeName(QLocale().name()), m_collator(locale)
    {
        m_collator.setNumericMode(true);
        m_collator.setCaseSensitivity(Qt::CaseInsensitive);
        m_asciiKeys = languageKeepsRootAsciiOrder(locale.language()) && buildWeights() && agreesOnProbes();
    }

    const QString &localeName() const { return m_localeName; }
    bool asciiKeys() const { return m_asciiKeys; }
    const QCollator &collator() const { return m_collator; }

    // Byte string whose lexical order is the collator's order for ASCII names. A digit run
    // becomes its marker weight, its count of significant digits and the digits, so runs compare
    // by value and leading zeros do not count, as in the collator's numeric mode.
    void appendKey(QStringView name, std::string &out) const
    {
        // At most three bytes per character (a one-digit run), written in place.
        const size_t start = out.size();
        out.resize(start + size_t(name.size()) * 3);
        char *p = out.data() + start;
        const qsizetype n = name.size();
        for (qsizetype i = 0; i < n;) {
            const char16_t c = name[i].unicode();
            if (!isDigit(c)) {
                if (const uchar w = m_weights[c])
                    *p++ = char(w);
                ++i;
                continue;
            }
            qsizetype end = i;
            while (end < n && isDigit(name[end].unicode()))
                ++end;
            qsizetype first = i;
            while (first + 1 < end && name[first].unicode() == u'0')
                ++first;
            for (qsizetype chunk = first; chunk < end; chunk += 254) {
                const qsizetype len = std::min<qsizetype>(254, end - chunk);
                *p++ = char(m_digitWeight);
                *p++ = char(len);
                for (qsizetype k = chunk; k < chunk + len; ++k)
                    *p++ = char(name[k].unicode() - u'0' + 1);
            }
            i = end;
        }
        out.resize(size_t(p - out.data()));
    }

    int compare(QStringView a, QStringView b) const
    {
        if (m_asciiKeys && isAscii(a) && isAscii(b)) {
            std::string ka, kb;
            appendKey(a, ka);
            appendKey(b, kb);
            const int c = ka.compare(kb);
            return c < 0 ? -1 : (c > 0 ? 1 : 0);
        }
        return m_collator.compare(a, b);
    }

private:
    bool buildWeights()
    {
        std::array<QString, 128> chars;
        std::vector<int> order;
        for (int c = 1; c < 128; ++c) {
            chars[c] = QString(QChar(c));
            order.push_back(c);
        }
        std::stable_sort(order.begin(), order.end(),
                         [&](int a, int b) { return m_collator.compare(chars[a], chars[b]) < 0; });
        m_weights.fill(0);
        int weight = 1;
        int previous = 0;
        for (int c : order) {
            if (m_collator.compare(chars[c], QString()) == 0)
                continue; // completely ignorable
            if (previous == 0 || m_collator.compare(chars[previous], chars[c]) != 0)
                ++weight;
            if (weight > 255)
                return false;
            m_weights[c] = uchar(weight);
            previous = c;
        }
        m_digitWeight = m_weights['0'];
        for (int d = '1'; d <= '9'; ++d) {
            if (m_weights[d] != m_weights[d - 1] + 1)
                return false;
        }
        // Nothing may sort between the digits, or a digit run's marker would misplace it.
        for (int c = 1; c < 128; ++c) {
            if (!isDigit(char16_t(c)) && m_weights[c] >= m_weights['0'] && m_weights[c] <= m_weights['9'])
                return false;
        }
        return m_digitWeight != 0;
    }

    // A last check against the collator on names that catch tailorings and numeric handling.
    bool agreesOnProbes()
    {
        const QStringList probes{
            u"file10"_s, u"file2"_s, u"File1"_s, u"a-b"_s,  u"ab"_s, u"a b"_s, u"a_b"_s, u"A0"_s,  u"A00"_s,
            u"a01"_s,    u"a1"_s,    u"x9y"_s,   u"x10y"_s, u"ch"_s, u"ci"_s,  u"cz"_s,  u"h"_s,   u"aa"_s,
            u"b"_s,      u"ll"_s,    u"lz"_s,    u"y"_s,    u"i"_s,  u"ij"_s,  u"dz"_s,  u"dzs"_s, u"th"_s,
            u"1a"_s,     u"9"_s,     u"10"_s,    u".a"_s,   u"~a"_s, u"a.b"_s, u"a~"_s,  u"007"_s};
        for (const QString &a : probes) {
            for (const QString &b : probes) {
                std::string ka, kb;
                appendKey(a, ka);
                appendKey(b, kb);
                const int fast = ka.compare(kb);
                const int slow = m_collator.compare(a, b);
                if ((fast < 0) != (slow < 0) || (fast > 0) != (slow > 0))
                    return false;
            }
        }
        return true;
    }

    QString m_localeName;
    QCollator m_collator;
    std::array<uchar, 128> m_weights{};
    uchar m_digitWeight = 0;
    bool m_asciiKeys = false;
};

const Collation &threadCollation()
{
    thread_local std::unique_ptr<Collation> collation;
    if (!collation || collation->localeName() != QLocale().name())
        collation = std::make_unique<Collation>(collationLocale());
    return *collation;
}

struct KeyedIndex
{
    quint64 prefix; // the key's first eight bytes, big-endian, so most comparisons are one test
    quint32 offset;
    quint32 length;
    qsizetype index;
};

std::vector<qsizetype> sortByAsciiKeys(const Collation &collation, qsizetype count,
                                       const std::function<QStringView(qsizetype)> &nameAt)
{
    std::string arena;
    arena.reserve(size_t(count) * 32);
    std::vector<KeyedIndex> items;
    items.reserve(count);
    for (qsizetype i = 0; i < count; ++i) {
        const size_t start = arena.size();
        collation.appendKey(nameAt(i), arena);
        const size_t length = arena.size() - start;
        quint64 prefix = 0;
        for (size_t k = 0; k < 8; ++k)
            prefix = (prefix << 8) | (k < length ? uchar(arena[start + k]) : 0);
        items.push_back({prefix, quint32(start), quint32(length), i});
    }
    const char *keys = arena.data();
    std::sort(items.begin(), items.end(), [keys](const KeyedIndex &a, const KeyedIndex &b) {
        if (a.prefix != b.prefix)
            return a.prefix < b.prefix;
        if (a.length > 8 && b.length > 8) {
            const int c =
                std::memcmp(keys + a.offset + 8, keys + b.offset + 8, std::min(a.length, b.length) - 8);
            if (c != 0)
                return c < 0;
        }
        if (a.length != b.length)
            return a.length < b.length;
        return a.index < b.index;
    });
    std::vector<qsizetype> order;
    order.reserve(count);
    for (const KeyedIndex &item : items)
        order.push_back(item.index);
    return order;
}

std::vector<qsizetype> sortByCollatorKeys(const Collation &collation, qsizetype count,
                                          const std::function<QStringView(qsizetype)> &nameAt)
{
    std::vector<QCollatorSortKey> keys;
    keys.reserve(count);
    for (qsizetype i = 0; i < count; ++i)
        keys.push_back(collation.collator().sortKey(nameAt(i).toString()));
    std::vector<qsizetype> order(count);
    for (qsizetype i = 0; i < count; ++i)
        order[i] = i;
    std::stable_sort(order.begin(), order.end(),
                     [&keys](qsizetype a, qsizetype b) { return keys[a].compare(keys[b]) < 0; });
    return order;
}

} // namespace

namespace NameCollation {

int compare(QStringView a, QStringView b)
{
    return threadCollation().compare(a, b);
}

std::vector<qsizetype> sortedOrder(qsizetype count, const std::function<QStringView(qsizetype)> &nameAt)
{
    const Collation &collation = threadCollation();
    bool ascii = collation.asciiKeys();
    for (qsizetype i = 0; ascii && i < count; ++i)
        ascii = isAscii(nameAt(i));
    // One scheme for the whole list: keys of the two schemes cannot be compared with each other.
    return ascii ? sortByAsciiKeys(collation, count, nameAt) : sortByCollatorKeys(collation, count, nameAt);
}

bool usesAsciiKeys()
{
    return threadCollation().asciiKeys();
}

} // namespace NameCollation
