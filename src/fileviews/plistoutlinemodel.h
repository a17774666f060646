#pragma once

#include "filestore/preview/plistoutline.h"

#include <QAbstractItemModel>

#include <memory>

// A PlistOutline as a tree of three columns: key (or an array item's index), type and value.
// Every text from the list is shown on one line, as plain text.
class PlistOutlineModel final : public QAbstractItemModel
{
    Q_OBJECT
public:
    enum Column { KeyColumn, TypeColumn, ValueColumn, ColumnCount };

    explicit PlistOutlineModel(QObject *parent = nullptr);

    void setOutline(std::shared_ptr<const PlistOutline> outline);
    const PlistOutline *outline() const { return m_outline.get(); }

    QModelIndex index(int row, int column, const QModelIndex &parent = {}) const override;
    QModelIndex parent(const QModelIndex &child) const override;
    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
    // The node an index stands for: its internalId.
    const PlistOutline::Node &node(const QModelIndex &index) const;
    QString keyText(int nodeIndex) const;

    std::shared_ptr<const PlistOutline> m_outline;
    QList<int> m_rowInParent; // each node's row under its parent
};
