#include "plistoutlinemodel.h"

#include "filestore/plaintext.h"

using namespace Qt::StringLiterals;

PlistOutlineModel::PlistOutlineModel(QObject *parent) : QAbstractItemModel(parent)
{
}

void PlistOutlineModel::setOutline(std::shared_ptr<const PlistOutline> outline)
{
    beginResetModel();
    m_outline = std::move(outline);
    m_rowInParent.clear();
    if (m_outline) {
        m_rowInParent.resize(m_outline->nodes().size());
        for (const PlistOutline::Node &n : m_outline->nodes()) {
            for (int row = 0; row < n.children.size(); ++row)
                m_rowInParent[n.children[row]] = row;
        }
    }
    endResetModel();
}

const PlistOutline::Node &PlistOutlineModel::node(const QModelIndex &index) const
{
    return m_outline->nodes()[qsizetype(index.internalId())];
}

QModelIndex PlistOutlineModel::index(int row, int column, const QModelIndex &parent) const
{
    if (!m_outline || !m_outline->isValid() || row < 0 || column < 0 || column >= ColumnCount)
        return {};
    if (!parent.isValid())
        return row == 0 ? createIndex(0, column, quintptr(0)) : QModelIndex();
    const auto &children = node(parent).children;
    if (row >= children.size())
        return {};
    return createIndex(row, column, quintptr(children[row]));
}

QModelIndex PlistOutlineModel::parent(const QModelIndex &child) const
{
    if (!child.isValid() || !m_outline)
        return {};
    const int parentNode = node(child).parent;
    if (parentNode < 0)
        return {};
    return createIndex(m_rowInParent[parentNode], 0, quintptr(parentNode));
}

int PlistOutlineModel::rowCount(const QModelIndex &parent) const
{
    if (!m_outline || !m_outline->isValid())
        return 0;
    if (!parent.isValid())
        return 1;
    if (parent.column() != 0)
        return 0;
    return int(node(parent).children.size());
}

int PlistOutlineModel::columnCount(const QModelIndex &) const
{
    return ColumnCount;
}

QString PlistOutlineModel::keyText(int nodeIndex) const
{
    const PlistOutline::Node &n = m_outline->nodes()[nodeIndex];
    if (n.parent < 0)
        return u"Root"_s;
    const PlistOutline::Node &parent = m_outline->nodes()[n.parent];
    if (parent.type == PlistOutline::Type::Dictionary)
        return PlainText::oneLine(n.key);
    return u"Item %1"_s.arg(m_rowInParent[nodeIndex]);
}

QVariant PlistOutlineModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || !m_outline)
        return {};
    const PlistOutline::Node &n = node(index);
    if (role == Qt::DisplayRole || role == Qt::AccessibleTextRole) {
        switch (index.column()) {
        case KeyColumn:
            return keyText(int(index.internalId()));
        case TypeColumn:
            return PlistOutline::typeName(n.type);
        case ValueColumn: {
            // A megabyte string is cut before it is laid out on its one line.
            const QString value = PlistOutline::valueText(n);
            return PlainText::oneLine(value.size() > 500 ? value.left(500) + u'…' : value);
        }
        }
    }
    if (role == Qt::ToolTipRole && index.column() == ValueColumn && n.type == PlistOutline::Type::String &&
        n.text.size() > 80)
        return PlainText::toolTip(n.text.left(2000));
    return {};
}

QVariant PlistOutlineModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    switch (section) {
    case KeyColumn:
        return u"Key"_s;
    case TypeColumn:
        return u"Type"_s;
    case ValueColumn:
        return u"Value"_s;
    }
    return {};
}
