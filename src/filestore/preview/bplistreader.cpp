// The binary property list reader of PlistOutline: the offset table and object encodings of
// "bplist00", every length checked against the file before use, walked with an explicit stack.
#include "plistoutline_p.h"

#include <QTimeZone>

#include <cmath>
#include <cstring>
#include <optional>
#include <vector>

using namespace Qt::StringLiterals;

namespace {

using Type = PlistOutline::Type;

quint64 bigEndian(const uchar *p, int size)
{
    quint64 value = 0;
    for (int i = 0; i < size; ++i)
        value = (value << 8) | p[i];
    return value;
}

class BinaryReader
{
public:
    BinaryReader(PlistOutlineBuilder &builder, QByteArrayView bytes)
        : m_builder(builder), m_data(reinterpret_cast<const uchar *>(bytes.data())),
          m_size(quint64(bytes.size()))
    {
    }

    void read();

private:
    struct Object
    {
        uchar marker = 0;
        quint64 start = 0; // the first byte after the marker and the length
        quint64 count = 0; // the low nibble or the extended length
    };
    struct Frame
    {
        quint64 object;
        int node;
        std::vector<quint64> keys;
        std::vector<quint64> values;
        size_t next = 0;
    };

    bool readTrailer();
    std::optional<Object> object(quint64 index) const;
    std::optional<std::vector<quint64>> refs(quint64 at, quint64 count) const;
    // A scalar's node, or a container's node with its refs filled into `frame`.
    std::optional<PlistOutline::Node> decode(quint64 index, Frame *frame) const;
    QString keyText(quint64 index) const;
    bool bytesFit(quint64 at, quint64 count, quint64 unit) const
    {
        return at <= m_offsetTable && count <= (m_offsetTable - at) / unit;
    }

    PlistOutlineBuilder &m_builder;
    const uchar *m_data;
    quint64 m_size;
    int m_offsetSize = 0;
    int m_refSize = 0;
    quint64 m_objectCount = 0;
    quint64 m_top = 0;
    quint64 m_offsetTable = 0;
};

bool BinaryReader::readTrailer()
{
    constexpr quint64 header = 8, trailer = 32;
    if (m_size < header + trailer)
        return false;
    const uchar *t = m_data + m_size - trailer;
    m_offsetSize = t[6];
    m_refSize = t[7];
    m_objectCount = bigEndian(t + 8, 8);
    m_top = bigEndian(t + 16, 8);
    m_offsetTable = bigEndian(t + 24, 8);
    // Any width from one to eight bytes: writers use three for offsets past 64 KiB.
    auto valid = [](int s) { return s >= 1 && s <= 8; };
    const quint64 tableEnd = m_size - trailer;
    return valid(m_offsetSize) && valid(m_refSize) && m_objectCount > 0 && m_top < m_objectCount &&
           m_offsetTable >= header && m_offsetTable <= tableEnd &&
           (tableEnd - m_offsetTable) / quint64(m_offsetSize) >= m_objectCount;
}

std::optional<BinaryReader::Object> BinaryReader::object(quint64 index) const
{
    if (index >= m_objectCount)
        return std::nullopt;
    const quint64 offset = bigEndian(m_data + m_offsetTable + index * quint64(m_offsetSize), m_offsetSize);
    if (offset < 8 || offset >= m_offsetTable)
        return std::nullopt;
    Object o;
    o.marker = m_data[offset];
    o.start = offset + 1;
    o.count = o.marker & 0x0F;
    const int type = o.marker >> 4;
    const bool counted =
        type == 0x4 || type == 0x5 || type == 0x6 || type == 0xA || type == 0xB || type == 0xC || type == 0xD;
    if (counted && o.count == 0x0F) {
        if (o.start >= m_offsetTable || (m_data[o.start] & 0xF0) != 0x10)
            return std::nullopt;
        const int width = 1 << (m_data[o.start] & 0x0F);
        if (width > 8 || !bytesFit(o.start + 1, quint64(width), 1))
            return std::nullopt;
        o.count = bigEndian(m_data + o.start + 1, width);
        o.start += 1 + quint64(width);
    }
    return o;
}

std::optional<std::vector<quint64>> BinaryReader::refs(quint64 at, quint64 count) const
{
    if (!bytesFit(at, count, quint64(m_refSize)))
        return std::nullopt;
    std::vector<quint64> out;
    out.reserve(size_t(count));
    for (quint64 i = 0; i < count; ++i)
        out.push_back(bigEndian(m_data + at + i * quint64(m_refSize), m_refSize));
    return out;
}

std::optional<PlistOutline::Node> BinaryReader::decode(quint64 index, Frame *frame) const
{
    const auto o = object(index);
    if (!o)
        return std::nullopt;
    PlistOutline::Node node;
    const int type = o->marker >> 4;
    switch (type) {
    case 0x0:
        if (o->marker == 0x08 || o->marker == 0x09) {
            node.type = Type::Boolean;
            node.text = o->marker == 0x09 ? u"Yes"_s : u"No"_s;
        } else {
            node.type = Type::Null;
        }
        return node;
    case 0x1: {
        const quint64 width = quint64(1) << o->count;
        if (width > 16 || !bytesFit(o->start, width, 1))
            return std::nullopt;
        node.type = Type::Integer;
        // Eight bytes and fewer are signed only at eight; sixteen hold an unsigned 64-bit value.
        if (width == 16) {
            node.text = QString::number(bigEndian(m_data + o->start + 8, 8));
        } else {
            const quint64 raw = bigEndian(m_data + o->start, int(width));
            node.text = width == 8 ? QString::number(qint64(raw)) : QString::number(raw);
        }
        return node;
    }
    case 0x2: {
        const quint64 width = quint64(1) << o->count;
        if ((width != 4 && width != 8) || !bytesFit(o->start, width, 1))
            return std::nullopt;
        const quint64 raw = bigEndian(m_data + o->start, int(width));
        double value;
        if (width == 4) {
            const quint32 bits = quint32(raw);
            float f;
            std::memcpy(&f, &bits, 4);
            value = f;
        } else {
            std::memcpy(&value, &raw, 8);
        }
        node.type = Type::Real;
        node.text = QString::number(value, 'g', 17);
        return node;
    }
    case 0x3: {
        if (o->marker != 0x33 || !bytesFit(o->start, 8, 1))
            return std::nullopt;
        const quint64 raw = bigEndian(m_data + o->start, 8);
        double seconds;
        std::memcpy(&seconds, &raw, 8);
        node.type = Type::Date;
        // Seconds since 2001-01-01 UTC; beyond some 290 million years QDateTime has no answer.
        if (std::isfinite(seconds) && std::fabs(seconds) < 9e15)
            node.date = QDateTime(QDate(2001, 1, 1), QTime(0, 0), Qt::UTC).addMSecs(qint64(seconds * 1000));
        return node;
    }
    case 0x4:
        if (!bytesFit(o->start, o->count, 1))
            return std::nullopt;
        node.type = Type::Data;
        node.size = qint64(o->count);
        node.data =
            QByteArray(reinterpret_cast<const char *>(m_data + o->start),
                       qsizetype(std::min<quint64>(o->count, quint64(m_builder.limits().dataPreviewBytes))));
        return node;
    case 0x5:
    case 0x6: {
        const quint64 unit = type == 0x6 ? 2 : 1;
        if (!bytesFit(o->start, o->count, unit))
            return std::nullopt;
        node.type = Type::String;
        const char *p = reinterpret_cast<const char *>(m_data + o->start);
        if (unit == 1) {
            node.text = QString::fromLatin1(p, qsizetype(o->count));
        } else {
            node.text.resize(qsizetype(o->count));
            for (quint64 i = 0; i < o->count; ++i)
                node.text[qsizetype(i)] = QChar(char16_t(bigEndian(m_data + o->start + 2 * i, 2)));
        }
        return node;
    }
    case 0x8: {
        const quint64 width = o->count + 1;
        if (width > 8 || !bytesFit(o->start, width, 1))
            return std::nullopt;
        node.type = Type::Uid;
        node.text = QString::number(bigEndian(m_data + o->start, int(width)));
        return node;
    }
    case 0xA:
    case 0xB:
    case 0xC: {
        auto values = refs(o->start, o->count);
        if (!values)
            return std::nullopt;
        node.type = type == 0xA ? Type::Array : Type::Set;
        node.size = qint64(o->count);
        frame->values = std::move(*values);
        return node;
    }
    case 0xD: {
        if (o->count > m_size)
            return std::nullopt;
        auto keys = refs(o->start, o->count);
        auto values = keys ? refs(o->start + o->count * quint64(m_refSize), o->count) : std::nullopt;
        if (!values)
            return std::nullopt;
        node.type = Type::Dictionary;
        node.size = qint64(o->count);
        frame->keys = std::move(*keys);
        frame->values = std::move(*values);
        return node;
    }
    default:
        return std::nullopt;
    }
}

QString BinaryReader::keyText(quint64 index) const
{
    Frame unused{index, -1, {}, {}};
    const auto node = decode(index, &unused);
    if (!node)
        return u"(unreadable key)"_s;
    if (node->type == Type::String || node->type == Type::Integer || node->type == Type::Real)
        return node->text;
    return u"(%1 key)"_s.arg(PlistOutline::typeName(node->type));
}

void BinaryReader::read()
{
    m_builder.setBinary(true);
    if (!readTrailer()) {
        m_builder.fail(u"The binary property list is damaged: its trailer does not fit the file."_s);
        return;
    }
    // Which objects lie on the path from the top to the node being read: a reference back to
    // one of them is a cycle, shown once and not followed.
    std::vector<bool> onPath(size_t(m_objectCount), false);
    std::vector<Frame> stack;
    auto visit = [&](quint64 index, int parent, QString key) -> bool {
        Frame frame{index, -1, {}, {}};
        PlistOutline::Node node;
        if (index >= m_objectCount) {
            node.type = Type::Omitted;
            node.text = u"Damaged: a reference past the last object"_s;
            m_builder.note(u"Some items are damaged and not shown."_s);
        } else if (onPath[size_t(index)]) {
            node.type = Type::Omitted;
            node.text = u"A reference to an enclosing item (cycle)"_s;
            m_builder.note(u"The list refers back to itself; the cycles are not followed."_s);
        } else if (auto decoded = decode(index, &frame)) {
            node = std::move(*decoded);
        } else {
            node.type = Type::Omitted;
            node.text = u"Damaged item"_s;
            m_builder.note(u"Some items are damaged and not shown."_s);
        }
        node.key = std::move(key);
        const bool container =
            node.type == Type::Dictionary || node.type == Type::Array || node.type == Type::Set;
        if (container && int(stack.size()) >= m_builder.limits().maxDepth) {
            node.children.clear();
            node.type = Type::Omitted;
            node.text = u"Nested too deep to show"_s;
            m_builder.note(
                u"Items nested deeper than %1 levels are not shown."_s.arg(m_builder.limits().maxDepth));
        }
        frame.node = m_builder.add(parent, std::move(node));
        if (frame.node < 0)
            return false;
        if (m_builder.node(frame.node).type != Type::Omitted && !frame.values.empty()) {
            onPath[size_t(index)] = true;
            stack.push_back(std::move(frame));
        }
        return true;
    };
    if (!visit(m_top, -1, QString()))
        return;
    while (!stack.empty()) {
        Frame &frame = stack.back();
        if (frame.next == frame.values.size()) {
            onPath[size_t(frame.object)] = false;
            stack.pop_back();
            continue;
        }
        const size_t i = frame.next++;
        QString key = frame.keys.empty() ? QString() : keyText(frame.keys[i]);
        const int parent = frame.node;
        if (!visit(frame.values[i], parent, std::move(key)))
            return;
    }
}

} // namespace

void readBinaryPlist(PlistOutlineBuilder &builder, QByteArrayView bytes)
{
    BinaryReader(builder, bytes).read();
}
