#pragma once

#include <QAbstractItemView>
#include <QPersistentModelIndex>

// A grid of equal cells laid out by arithmetic alone: 16-point insets around the section and
// 8 points between items and lines, so that resizing thousands of items costs nothing but a
// repaint. QListView cannot give insets that differ from its spacing and that scroll with the
// items.
class IconGrid final : public QAbstractItemView
{
    Q_OBJECT
public:
    static constexpr int Inset = 16;
    static constexpr int Spacing = 8;

    explicit IconGrid(QWidget *parent = nullptr);

    using QAbstractItemView::edit;

    QSize itemSize() const { return m_itemSize; }
    void setItemSize(const QSize &size);

    // Only the first column stands for the items.
    void selectAll() override;

    bool beginEditing(const QModelIndex &index) { return edit(index, AllEditTriggers, nullptr); }

    // Commits and closes the name editor that is open, if any.
    void finishEditing();
    // Closes it without a commit.
    void discardEditing();

    QRect visualRect(const QModelIndex &index) const override;

    QModelIndex indexAt(const QPoint &point) const override;

    void scrollTo(const QModelIndex &index, ScrollHint hint = EnsureVisible) override;

signals:
    // A double click with the left button on an item.
    void itemDoubleClicked(const QModelIndex &index);

protected:
    void currentChanged(const QModelIndex &current, const QModelIndex &previous) override;

    void selectionChanged(const QItemSelection &selected, const QItemSelection &deselected) override;

    QModelIndex moveCursor(CursorAction action, Qt::KeyboardModifiers) override;

    QItemSelectionModel::SelectionFlags selectionCommand(const QModelIndex &index,
                                                         const QEvent *event) const override;

    int horizontalOffset() const override;
    int verticalOffset() const override;
    bool isIndexHidden(const QModelIndex &) const override { return false; }

    void setSelection(const QRect &rect, QItemSelectionModel::SelectionFlags command) override;

    QRegion visualRegionForSelection(const QItemSelection &selection) const override;

    void updateGeometries() override;

    void paintEvent(QPaintEvent *event) override;

    void mousePressEvent(QMouseEvent *event) override;

    void mouseMoveEvent(QMouseEvent *event) override;

    void mouseReleaseEvent(QMouseEvent *event) override;

    void mouseDoubleClickEvent(QMouseEvent *event) override;

    bool edit(const QModelIndex &index, EditTrigger trigger, QEvent *event) override;

private:
    bool isOwnIndex(const QModelIndex &index) const;
    int count() const { return model() ? model()->rowCount(rootIndex()) : 0; }
    int columnCount() const;
    QSize contentSize() const;
    // In content coordinates (before scrolling).
    QRect itemRect(int item) const;
    int itemAtContentPoint(const QPoint &p) const;
    // The items whose cells meet the area (content coordinates), in index order.
    QList<int> itemsIn(const QRect &area) const;

    QSize m_itemSize;
    QPersistentModelIndex m_editing;
    QRect m_band;
    bool m_banding = false;
    Qt::MouseButton m_doubleClickButton = Qt::NoButton;
};
