#include "icongrid.h"

#include "itemgridaccessible.h"
#include "itemviewrules.h"

#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>

#include <algorithm>

IconGrid::IconGrid(QWidget *parent) : QAbstractItemView(parent)
{
    ItemGridAccessible::enable(this);
    viewport()->setBackgroundRole(QPalette::Window);
    setFrameShape(QFrame::NoFrame);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    connect(this, &QAbstractItemView::doubleClicked, this, [this](const QModelIndex &index) {
        if (m_doubleClickButton == Qt::LeftButton)
            emit itemDoubleClicked(index);
    });
}

void IconGrid::setItemSize(const QSize &size)
{
    if (size == m_itemSize)
        return;
    m_itemSize = size;
    updateGeometries();
    viewport()->update();
}

void IconGrid::selectAll()
{
    const int n = count();
    if (n > 0 && selectionMode() != NoSelection)
        selectionModel()->select(
            QItemSelection(model()->index(0, 0, rootIndex()), model()->index(n - 1, 0, rootIndex())),
            QItemSelectionModel::ClearAndSelect);
}

void IconGrid::finishEditing()
{
    if (QWidget *editor = m_editing.isValid() ? indexWidget(m_editing) : nullptr) {
        commitData(editor);
        closeEditor(editor, QAbstractItemDelegate::NoHint);
    }
}

void IconGrid::discardEditing()
{
    if (QWidget *editor = m_editing.isValid() ? indexWidget(m_editing) : nullptr)
        closeEditor(editor, QAbstractItemDelegate::NoHint);
}

QRect IconGrid::visualRect(const QModelIndex &index) const
{
    if (!isOwnIndex(index))
        return {};
    return itemRect(index.row()).translated(-horizontalOffset(), -verticalOffset());
}

QModelIndex IconGrid::indexAt(const QPoint &point) const
{
    const QPoint p = point + QPoint(horizontalOffset(), verticalOffset());
    const int item = itemAtContentPoint(p);
    return item < 0 ? QModelIndex() : model()->index(item, 0, rootIndex());
}

void IconGrid::scrollTo(const QModelIndex &index, ScrollHint hint)
{
    if (!isOwnIndex(index))
        return;
    const QRect rect = itemRect(index.row());
    QScrollBar *bar = verticalScrollBar();
    const int height = viewport()->height();
    const int top = rect.top() - Spacing;
    const int bottom = rect.bottom() + Spacing;
    switch (hint) {
    case PositionAtTop:
        bar->setValue(top);
        break;
    case PositionAtBottom:
        bar->setValue(bottom - height + 1);
        break;
    case PositionAtCenter:
        bar->setValue(rect.center().y() - height / 2);
        break;
    case EnsureVisible:
        // Moves the least: to whichever edge is nearer.
        if (top < bar->value())
            bar->setValue(top);
        else if (bottom > bar->value() + height - 1)
            bar->setValue(bottom - height + 1);
        break;
    }
}

void IconGrid::currentChanged(const QModelIndex &current, const QModelIndex &previous)
{
    QAbstractItemView::currentChanged(current, previous);
    ItemGridAccessible::currentChanged(this, current);
}

void IconGrid::selectionChanged(const QItemSelection &selected, const QItemSelection &deselected)
{
    QAbstractItemView::selectionChanged(selected, deselected);
    ItemGridAccessible::selectionChanged(this, selected, deselected);
}

QModelIndex IconGrid::moveCursor(QAbstractItemView::CursorAction action, Qt::KeyboardModifiers)
{
    const int n = count();
    if (n == 0 || !m_itemSize.isValid())
        return {};
    const QModelIndex current = currentIndex();
    if (!isOwnIndex(current))
        return model()->index(0, 0, rootIndex());
    const int cols = columnCount();
    const int perPage = std::max(1, viewport()->height() / (m_itemSize.height() + Spacing));
    int i = current.row();
    switch (action) {
    case MoveLeft:
    case MovePrevious:
        i = std::max(0, i - 1);
        break;
    case MoveRight:
    case MoveNext:
        i = std::min(n - 1, i + 1);
        break;
    case MoveUp:
        if (i - cols >= 0)
            i -= cols;
        break;
    case MoveDown:
        if (i + cols < n)
            i += cols;
        else if (i / cols < (n - 1) / cols)
            i = n - 1; // into the shorter last line
        break;
    case MoveHome:
        i = 0;
        break;
    case MoveEnd:
        i = n - 1;
        break;
    case MovePageUp:
        i = std::max(i % cols, i - perPage * cols);
        break;
    case MovePageDown:
        i = std::min(n - 1, i + perPage * cols);
        break;
    }
    return model()->index(i, 0, rootIndex());
}

QItemSelectionModel::SelectionFlags IconGrid::selectionCommand(const QModelIndex &index,
                                                               const QEvent *event) const
{
    return ItemViewRules::keepsSelection(event) ? QItemSelectionModel::NoUpdate
                                                : QAbstractItemView::selectionCommand(index, event);
}

void IconGrid::setSelection(const QRect &rect, QItemSelectionModel::SelectionFlags command)
{
    const QRect area = rect.normalized().translated(horizontalOffset(), verticalOffset());
    QItemSelection selection;
    int runStart = -1;
    int previous = -2;
    auto closeRun = [&] {
        if (runStart >= 0)
            selection.select(model()->index(runStart, 0, rootIndex()),
                             model()->index(previous, 0, rootIndex()));
    };
    for (int item : itemsIn(area)) {
        if (item != previous + 1) {
            closeRun();
            runStart = item;
        }
        previous = item;
    }
    closeRun();
    selectionModel()->select(selection, command);
}

QRegion IconGrid::visualRegionForSelection(const QItemSelection &selection) const
{
    const QList<int> visible = itemsIn(viewport()->rect().translated(horizontalOffset(), verticalOffset()));
    if (visible.isEmpty())
        return {};
    QRegion region;
    for (const QItemSelectionRange &range : selection) {
        if (range.parent() != rootIndex())
            continue;
        const int first = std::max(range.top(), visible.first());
        const int last = std::min(range.bottom(), visible.last());
        for (int item = first; item <= last; ++item)
            region += visualRect(model()->index(item, 0, rootIndex()));
    }
    return region;
}

void IconGrid::updateGeometries()
{
    const QSize viewportSize = viewport()->size();
    QScrollBar *vertical = verticalScrollBar();
    vertical->setSingleStep(std::max(1, (m_itemSize.height() + Spacing) / 4));
    vertical->setPageStep(viewportSize.height());
    vertical->setRange(0, std::max(0, contentSize().height() - viewportSize.height()));
    QScrollBar *horizontal = horizontalScrollBar();
    horizontal->setSingleStep(std::max(1, (m_itemSize.width() + Spacing) / 4));
    horizontal->setPageStep(viewportSize.width());
    horizontal->setRange(0, std::max(0, contentSize().width() - viewportSize.width()));
    QAbstractItemView::updateGeometries();
}

void IconGrid::paintEvent(QPaintEvent *event)
{
    QPainter painter(viewport());
    const QPoint offset(horizontalOffset(), verticalOffset());
    QStyleOptionViewItem option;
    initViewItemOption(&option);
    const QStyle::State baseState = option.state;
    const QModelIndex current = currentIndex();
    for (int item : itemsIn(event->rect().translated(offset))) {
        const QModelIndex index = model()->index(item, 0, rootIndex());
        option.rect = itemRect(item).translated(-offset);
        option.state = baseState;
        if (selectionModel() && selectionModel()->isSelected(index))
            option.state |= QStyle::State_Selected;
        if (index == current && hasFocus())
            option.state |= QStyle::State_HasFocus;
        if (indexWidget(index))
            option.state |= QStyle::State_Editing;
        itemDelegateForIndex(index)->paint(&painter, option, index);
    }
    if (m_banding && state() == DragSelectingState) {
        QStyleOptionRubberBand band;
        band.initFrom(viewport());
        band.shape = QRubberBand::Rectangle;
        band.opaque = false;
        band.rect = m_band.translated(-offset);
        style()->drawControl(QStyle::CE_RubberBand, &band, &painter, viewport());
    }
}

void IconGrid::mousePressEvent(QMouseEvent *event)
{
    const QPoint offset(horizontalOffset(), verticalOffset());
    m_banding = event->button() == Qt::LeftButton && !indexAt(event->position().toPoint()).isValid();
    m_band = QRect(event->position().toPoint() + offset, QSize());
    QAbstractItemView::mousePressEvent(event);
}

void IconGrid::mouseMoveEvent(QMouseEvent *event)
{
    QAbstractItemView::mouseMoveEvent(event);
    if (m_banding) {
        const QPoint offset(horizontalOffset(), verticalOffset());
        m_band = QRect(m_band.topLeft(), event->position().toPoint() + offset).normalized();
        viewport()->update();
    }
}

void IconGrid::mouseReleaseEvent(QMouseEvent *event)
{
    QAbstractItemView::mouseReleaseEvent(event);
    if (m_banding) {
        m_banding = false;
        viewport()->update();
    }
}

void IconGrid::mouseDoubleClickEvent(QMouseEvent *event)
{
    m_doubleClickButton = event->button();
    QAbstractItemView::mouseDoubleClickEvent(event);
    m_doubleClickButton = Qt::NoButton;
}

bool IconGrid::edit(const QModelIndex &index, QAbstractItemView::EditTrigger trigger, QEvent *event)
{
    const bool started = QAbstractItemView::edit(index, trigger, event);
    if (started)
        m_editing = index;
    return started;
}

bool IconGrid::isOwnIndex(const QModelIndex &index) const
{
    return index.isValid() && index.column() == 0 && index.model() == model() &&
           index.parent() == rootIndex() && m_itemSize.isValid();
}

int IconGrid::columnCount() const
{
    const int available = viewport()->width() - 2 * Inset + Spacing;
    return std::max(1, available / (m_itemSize.width() + Spacing));
}

QSize IconGrid::contentSize() const
{
    const int n = count();
    if (n == 0 || !m_itemSize.isValid())
        return {0, 0};
    const int cols = std::min(n, columnCount());
    const int lines = (n + cols - 1) / cols;
    return {2 * Inset + cols * m_itemSize.width() + (cols - 1) * Spacing,
            2 * Inset + lines * m_itemSize.height() + (lines - 1) * Spacing};
}

QRect IconGrid::itemRect(int item) const
{
    const int cols = columnCount();
    return {Inset + (item % cols) * (m_itemSize.width() + Spacing),
            Inset + (item / cols) * (m_itemSize.height() + Spacing), m_itemSize.width(), m_itemSize.height()};
}

int IconGrid::itemAtContentPoint(const QPoint &p) const
{
    if (!m_itemSize.isValid() || p.x() < Inset || p.y() < Inset)
        return -1;
    const int col = (p.x() - Inset) / (m_itemSize.width() + Spacing);
    const int line = (p.y() - Inset) / (m_itemSize.height() + Spacing);
    const int cols = columnCount();
    const int item = line * cols + col;
    if (col >= cols || item >= count() || !itemRect(item).contains(p))
        return -1; // past the last item, or in the gap between two
    return item;
}

QList<int> IconGrid::itemsIn(const QRect &area) const
{
    QList<int> items;
    const int n = count();
    if (n == 0 || !m_itemSize.isValid() || area.isEmpty())
        return items;
    const int cols = columnCount();
    const int stepX = m_itemSize.width() + Spacing;
    const int stepY = m_itemSize.height() + Spacing;
    const int lines = (n + cols - 1) / cols;
    if (area.bottom() < Inset || area.right() < Inset)
        return items;
    const int firstLine = std::max(0, (area.top() - Inset) / stepY);
    const int lastLine = std::min(lines - 1, (area.bottom() - Inset) / stepY);
    const int firstCol = std::max(0, (area.left() - Inset) / stepX);
    const int lastCol = std::min(cols - 1, (area.right() - Inset) / stepX);
    for (int line = firstLine; line <= lastLine; ++line) {
        for (int col = firstCol; col <= lastCol; ++col) {
            const int item = line * cols + col;
            if (item >= n)
                break;
            if (itemRect(item).intersects(area))
                items << item;
        }
    }
    return items;
}

int IconGrid::horizontalOffset() const
{
    return horizontalScrollBar()->value();
}

int IconGrid::verticalOffset() const
{
    return verticalScrollBar()->value();
}
