#include "plistoutline.h"

#include "plistoutline_p.h"

using namespace Qt::StringLiterals;

int PlistOutlineBuilder::add(int parent, PlistOutline::Node node)
{
    if (full()) {
        note(u"Only the first %1 items are shown."_s.arg(m_limits.maxNodes));
        return -1;
    }
    node.parent = parent;
    const int index = int(m_outline.m_nodes.size());
    m_outline.m_nodes.append(std::move(node));
    if (parent >= 0)
        m_outline.m_nodes[parent].children.append(index);
    return index;
}

void PlistOutlineBuilder::note(const QString &text)
{
    if (!m_outline.m_notes.contains(text))
        m_outline.m_notes.append(text);
}

void PlistOutlineBuilder::fail(const QString &error)
{
    m_outline.m_nodes.clear();
    m_outline.m_notes.clear();
    m_outline.m_error = error;
}

PlistOutline PlistOutline::fromBytes(QByteArrayView bytes, const Limits &limits)
{
    PlistOutline outline;
    PlistOutlineBuilder builder(outline, limits);
    if (bytes.startsWith("bplist00"))
        readBinaryPlist(builder, bytes);
    else
        readXmlPlist(builder, bytes);
    if (outline.m_nodes.isEmpty() && outline.m_error.isEmpty())
        outline.m_error = u"The property list is empty."_s;
    return outline;
}

QString PlistOutline::typeName(Type type)
{
    switch (type) {
    case Type::Dictionary:
        return u"Dictionary"_s;
    case Type::Array:
        return u"Array"_s;
    case Type::Set:
        return u"Set"_s;
    case Type::String:
        return u"String"_s;
    case Type::Integer:
        return u"Number"_s;
    case Type::Real:
        return u"Real"_s;
    case Type::Boolean:
        return u"Boolean"_s;
    case Type::Date:
        return u"Date"_s;
    case Type::Data:
        return u"Data"_s;
    case Type::Uid:
        return u"UID"_s;
    case Type::Null:
        return u"Null"_s;
    case Type::Omitted:
        return u"Omitted"_s;
    }
    return {};
}

QString PlistOutline::valueText(const Node &node, const QLocale &locale)
{
    switch (node.type) {
    case Type::Dictionary:
    case Type::Array:
    case Type::Set:
        return node.size == 1 ? u"1 item"_s : u"%1 items"_s.arg(node.size);
    case Type::Date:
        return node.date.isValid() ? locale.toString(node.date.toLocalTime(), QLocale::LongFormat)
                                   : u"Invalid date"_s;
    case Type::Data: {
        QString hex = QString::fromLatin1(node.data.toHex(' '));
        if (node.size > node.data.size())
            hex += u" …"_s;
        const QString bytes = node.size == 1 ? u"1 byte"_s : u"%1 bytes"_s.arg(node.size);
        return hex.isEmpty() ? bytes : bytes + u": "_s + hex;
    }
    default:
        return node.text;
    }
}
