#pragma once

#include <QStyledItemDelegate>

// A cell of the column browser: the icon, the name and, for a folder, a mark that it opens a
// column; in a column on the open path (not the selection's own) the selected folder shows in
// grey. An edit is reported with committed(), never written into the rows.
class FileBrowserCell final : public QStyledItemDelegate
{
    Q_OBJECT
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter *painter, const QStyleOptionViewItem &plain, const QModelIndex &index) const override;
    void setModelData(QWidget *editor, QAbstractItemModel *model, const QModelIndex &index) const override;

signals:
    void committed(const QModelIndex &index, const QString &text) const;
};
