#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QDateTime>
#include <QList>
#include <QLocale>
#include <QString>
#include <QStringList>

// A property list (XML or binary) as a tree of rows to show: key, type, value. Read by our own
// non-recursive readers, never libplist, so that a list nested 100,000 deep, a binary list whose
// references form a cycle or fan out to millions of nodes ends as a bounded outline with notes
// on what was left out, on any thread and any stack size.
class PlistOutline final
{
public:
    enum class Type {
        Dictionary,
        Array,
        Set,
        String,
        Integer,
        Real,
        Boolean,
        Date,
        Data,
        Uid,
        Null,
        Omitted
    };

    struct Node
    {
        int parent = -1;
        Type type = Type::Null;
        QString key;     // the dictionary key, or empty for an array's item
        QString text;    // the value of a string, number, boolean or UID; why a node was omitted
        QDateTime date;  // a Date's value, in UTC
        QByteArray data; // the first bytes of Data
        qint64 size = 0; // the whole length of Data, or the item count of a container
        QList<int> children;
    };

    struct Limits
    {
        int maxDepth = 128;
        int maxNodes = 100'000;
        int dataPreviewBytes = 32;
    };

    // The outline of a list, or an empty one with error() set when the bytes are no property list.
    static PlistOutline fromBytes(QByteArrayView bytes, const Limits &limits);
    static PlistOutline fromBytes(QByteArrayView bytes) { return fromBytes(bytes, Limits()); }

    bool isValid() const { return !m_nodes.isEmpty(); }
    bool isBinary() const { return m_binary; }
    // The root is node 0.
    const QList<Node> &nodes() const { return m_nodes; }
    // Why the bytes could not be read at all.
    const QString &error() const { return m_error; }
    // What was left out: depth, cycles, the node limit.
    const QStringList &notes() const { return m_notes; }

    static QString typeName(Type type);
    // The value as shown in the outline: dates in `locale`, data as a hex preview, counts.
    static QString valueText(const Node &node, const QLocale &locale = QLocale());

private:
    friend class PlistOutlineBuilder;
    QList<Node> m_nodes;
    QStringList m_notes;
    QString m_error;
    bool m_binary = false;
};
