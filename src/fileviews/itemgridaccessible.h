#pragma once

#include <QAccessibleWidget>
#include <QHash>
#include <QPointer>

class QAbstractItemModel;
class QAbstractItemView;
class QItemSelection;
class QModelIndex;

// What screen readers get from an item view Qt has no accessibility for (the icon grid lays its
// items out itself): a list whose children are the items of the view's root, each with its name,
// place on screen and selection. Qt covers its own list, tree and table views.
class ItemGridAccessible final : public QAccessibleWidget
{
public:
    // Gives `view` this interface; call before anything asks for the view's accessibility.
    static void enable(QAbstractItemView *view);
    // Tell screen readers about the item with the focus and the selection, as Qt's views do.
    static void currentChanged(QAbstractItemView *view, const QModelIndex &current);
    static void selectionChanged(QAbstractItemView *view, const QItemSelection &selected,
                                 const QItemSelection &deselected);

    explicit ItemGridAccessible(QAbstractItemView *view);
    ~ItemGridAccessible() override;

    int childCount() const override;
    QAccessibleInterface *child(int index) const override;
    int indexOfChild(const QAccessibleInterface *child) const override;
    QAccessibleInterface *childAt(int x, int y) const override;
    QAccessibleInterface *focusChild() const override;

private:
    QAbstractItemView *view() const;
    void watchModel() const;
    void forgetChildren() const;

    mutable QHash<int, QAccessible::Id> m_children;
    mutable QPointer<QAbstractItemModel> m_watched;
    mutable QList<QMetaObject::Connection> m_connections;
};
