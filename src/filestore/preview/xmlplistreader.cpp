// The XML property list reader of PlistOutline: one pass of QXmlStreamReader, which keeps its
// own stack of open elements, so nesting costs memory rather than our stack; nodes past the
// depth limit are skipped by counting, not read.
#include "plistoutline_p.h"

#include <QXmlStreamReader>

#include <optional>

using namespace Qt::StringLiterals;

namespace {

using Type = PlistOutline::Type;

// The type of a value element, or none.
std::optional<Type> valueType(QStringView name)
{
    static const std::pair<QStringView, Type> table[] = {
        {u"dict", Type::Dictionary}, {u"array", Type::Array}, {u"string", Type::String},
        {u"integer", Type::Integer}, {u"real", Type::Real},   {u"true", Type::Boolean},
        {u"false", Type::Boolean},   {u"date", Type::Date},   {u"data", Type::Data}};
    for (const auto &[element, type] : table) {
        if (name == element)
            return type;
    }
    return std::nullopt;
}

} // namespace

void readXmlPlist(PlistOutlineBuilder &builder, QByteArrayView bytes)
{
    QXmlStreamReader xml(QByteArray::fromRawData(bytes.data(), bytes.size()));
    QList<int> open; // the containers being read, innermost last
    QString pendingKey;
    bool haveKey = false;
    int root = -1;
    const int maxDepth = builder.limits().maxDepth;
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement) {
            if (xml.isEndElement() && (xml.name() == u"dict" || xml.name() == u"array") && !open.isEmpty())
                open.removeLast();
            continue;
        }
        const QStringView name = xml.name();
        if (name == u"plist" && root < 0 && open.isEmpty())
            continue;
        if (name == u"key") {
            pendingKey = xml.readElementText(QXmlStreamReader::IncludeChildElements);
            haveKey = true;
            continue;
        }
        const auto type = valueType(name);
        const int parent = open.isEmpty() ? -1 : open.last();
        if (!type || (parent < 0 && root >= 0)) {
            // An element no property list has, or a second top-level value: skipped whole.
            builder.note(u"Some elements are not part of a property list and are not shown."_s);
            xml.skipCurrentElement();
            continue;
        }
        PlistOutline::Node node;
        node.type = *type;
        if (parent >= 0 && builder.node(parent).type == Type::Dictionary) {
            node.key = haveKey ? pendingKey : u"(no key)"_s;
        }
        haveKey = false;
        const bool container = *type == Type::Dictionary || *type == Type::Array;
        if (container && open.size() >= maxDepth) {
            node.type = Type::Omitted;
            node.text = u"Nested too deep to show"_s;
            builder.note(u"Items nested deeper than %1 levels are not shown."_s.arg(maxDepth));
            xml.skipCurrentElement();
        } else if (!container) {
            const QString text = xml.readElementText(QXmlStreamReader::IncludeChildElements);
            switch (*type) {
            case Type::Boolean:
                node.text = name == u"true" ? u"Yes"_s : u"No"_s;
                break;
            case Type::Date:
                node.date = QDateTime::fromString(text.trimmed(), Qt::ISODate);
                break;
            case Type::Data: {
                const QByteArray decoded = QByteArray::fromBase64(text.toLatin1());
                node.size = decoded.size();
                node.data =
                    decoded.first(std::min<qsizetype>(decoded.size(), builder.limits().dataPreviewBytes));
                break;
            }
            default:
                node.text = *type == Type::String ? text : text.trimmed();
            }
        }
        const int index = builder.add(parent, std::move(node));
        if (index < 0)
            return;
        if (parent < 0)
            root = index;
        if (parent >= 0)
            ++builder.node(parent).size;
        if (container && builder.node(index).type != Type::Omitted)
            open.append(index);
    }
    if (xml.hasError() && root < 0) {
        builder.fail(
            u"Not a readable property list: %1 (line %2)."_s.arg(xml.errorString()).arg(xml.lineNumber()));
        return;
    }
    if (xml.hasError())
        builder.note(u"The list is damaged after line %1; the rest is not shown."_s.arg(xml.lineNumber()));
}
