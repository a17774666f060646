#include "itemgridaccessible.h"

#include <QAbstractItemView>
#include <QItemSelection>

namespace {

const char *const enabledProperty = "lanthornItemGridAccessible";

// One item of the view; it holds its place in the model, so a stale one reads as invalid.
class GridItemAccessible final : public QAccessibleInterface
{
public:
    GridItemAccessible(QAbstractItemView *view, const QModelIndex &index) : m_view(view), m_index(index) {}

    bool isValid() const override { return m_view && m_index.isValid(); }
    QObject *object() const override { return nullptr; }
    QWindow *window() const override { return m_view ? m_view->window()->windowHandle() : nullptr; }
    QAccessibleInterface *parent() const override
    {
        return m_view ? QAccessible::queryAccessibleInterface(m_view.data()) : nullptr;
    }
    QAccessibleInterface *child(int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface *) const override { return -1; }
    QAccessibleInterface *childAt(int, int) const override { return nullptr; }

    QString text(QAccessible::Text kind) const override
    {
        if (!isValid())
            return {};
        switch (kind) {
        case QAccessible::Name: {
            const QString spoken = m_index.data(Qt::AccessibleTextRole).toString();
            return spoken.isEmpty() ? m_index.data(Qt::DisplayRole).toString() : spoken;
        }
        case QAccessible::Description:
            return m_index.data(Qt::AccessibleDescriptionRole).toString();
        default:
            return {};
        }
    }
    void setText(QAccessible::Text, const QString &) override {}

    QRect rect() const override
    {
        if (!isValid())
            return {};
        const QRect local = m_view->visualRect(m_index);
        return QRect(m_view->viewport()->mapToGlobal(local.topLeft()), local.size());
    }
    QAccessible::Role role() const override { return QAccessible::ListItem; }

    QAccessible::State state() const override
    {
        QAccessible::State state;
        if (!isValid()) {
            state.invalid = true;
            return state;
        }
        const QItemSelectionModel *selection = m_view->selectionModel();
        state.selectable = m_view->selectionMode() != QAbstractItemView::NoSelection;
        state.multiSelectable = m_view->selectionMode() == QAbstractItemView::ExtendedSelection ||
                                m_view->selectionMode() == QAbstractItemView::MultiSelection;
        state.selected = selection && selection->isSelected(m_index);
        state.focusable = true;
        state.focused = m_view->hasFocus() && m_view->currentIndex() == m_index;
        state.offscreen = !m_view->viewport()->rect().intersects(m_view->visualRect(m_index));
        return state;
    }

    int row() const { return m_index.row(); }

private:
    QPointer<QAbstractItemView> m_view;
    QPersistentModelIndex m_index;
};

QAccessibleInterface *gridFactory(const QString &className, QObject *object)
{
    if (className != u"QAbstractItemView" || !object || !object->property(enabledProperty).toBool())
        return nullptr;
    return new ItemGridAccessible(static_cast<QAbstractItemView *>(object));
}

} // namespace

void ItemGridAccessible::enable(QAbstractItemView *view)
{
    static const bool installed = [] {
        QAccessible::installFactory(&gridFactory);
        return true;
    }();
    Q_UNUSED(installed);
    view->setProperty(enabledProperty, true);
}

void ItemGridAccessible::currentChanged(QAbstractItemView *view, const QModelIndex &current)
{
    if (!QAccessible::isActive() || !current.isValid() || !view->hasFocus())
        return;
    QAccessibleEvent event(view, QAccessible::Focus);
    event.setChild(current.row());
    QAccessible::updateAccessibility(&event);
}

void ItemGridAccessible::selectionChanged(QAbstractItemView *view, const QItemSelection &selected,
                                          const QItemSelection &deselected)
{
    if (!QAccessible::isActive())
        return;
    // Item by item for the small changes a user makes; one notice for a select-all of thousands.
    const auto count = [](const QItemSelection &ranges) {
        qsizetype n = 0;
        for (const QItemSelectionRange &range : ranges)
            n += range.height();
        return n;
    };
    if (count(selected) + count(deselected) > 64) {
        QAccessibleEvent event(view, QAccessible::SelectionWithin);
        QAccessible::updateAccessibility(&event);
        return;
    }
    const auto announce = [view](const QItemSelection &ranges, QAccessible::Event kind) {
        for (const QItemSelectionRange &range : ranges)
            for (int row = range.top(); row <= range.bottom(); ++row) {
                QAccessibleEvent event(view, kind);
                event.setChild(row);
                QAccessible::updateAccessibility(&event);
            }
    };
    announce(selected, QAccessible::SelectionAdd);
    announce(deselected, QAccessible::SelectionRemove);
}

ItemGridAccessible::ItemGridAccessible(QAbstractItemView *view) : QAccessibleWidget(view, QAccessible::List)
{
}

ItemGridAccessible::~ItemGridAccessible()
{
    for (const QMetaObject::Connection &connection : std::as_const(m_connections))
        QObject::disconnect(connection);
    forgetChildren();
}

QAbstractItemView *ItemGridAccessible::view() const
{
    return static_cast<QAbstractItemView *>(widget());
}

// Children are made on demand and kept until the model's rows change under them.
void ItemGridAccessible::watchModel() const
{
    QAbstractItemModel *model = view()->model();
    if (model == m_watched)
        return;
    for (const QMetaObject::Connection &connection : std::as_const(m_connections))
        QObject::disconnect(connection);
    m_connections.clear();
    forgetChildren();
    m_watched = model;
    if (!model)
        return;
    QAbstractItemView *watchedView = view();
    const auto changed = [this, watchedView] {
        forgetChildren();
        QAccessibleTableModelChangeEvent event(watchedView, QAccessibleTableModelChangeEvent::ModelReset);
        QAccessible::updateAccessibility(&event);
    };
    m_connections << QObject::connect(model, &QAbstractItemModel::modelReset, watchedView, changed)
                  << QObject::connect(model, &QAbstractItemModel::rowsInserted, watchedView, changed)
                  << QObject::connect(model, &QAbstractItemModel::rowsRemoved, watchedView, changed)
                  << QObject::connect(model, &QAbstractItemModel::rowsMoved, watchedView, changed)
                  << QObject::connect(model, &QAbstractItemModel::layoutChanged, watchedView, changed);
}

void ItemGridAccessible::forgetChildren() const
{
    for (QAccessible::Id id : std::as_const(m_children))
        QAccessible::deleteAccessibleInterface(id);
    m_children.clear();
}

int ItemGridAccessible::childCount() const
{
    const QAbstractItemModel *model = view()->model();
    return model ? model->rowCount(view()->rootIndex()) : 0;
}

QAccessibleInterface *ItemGridAccessible::child(int index) const
{
    watchModel();
    if (index < 0 || index >= childCount())
        return nullptr;
    const auto known = m_children.constFind(index);
    if (known != m_children.cend())
        return QAccessible::accessibleInterface(*known);
    auto *item = new GridItemAccessible(view(), view()->model()->index(index, 0, view()->rootIndex()));
    m_children.insert(index, QAccessible::registerAccessibleInterface(item));
    return item;
}

int ItemGridAccessible::indexOfChild(const QAccessibleInterface *child) const
{
    if (!child || child->role() != QAccessible::ListItem || child->parent() != this)
        return -1;
    const int row = static_cast<const GridItemAccessible *>(child)->row();
    return row >= 0 && row < childCount() ? row : -1;
}

QAccessibleInterface *ItemGridAccessible::childAt(int x, int y) const
{
    const QModelIndex index = view()->indexAt(view()->viewport()->mapFromGlobal(QPoint(x, y)));
    return index.isValid() ? child(index.row()) : nullptr;
}

QAccessibleInterface *ItemGridAccessible::focusChild() const
{
    const QModelIndex current = view()->currentIndex();
    return view()->hasFocus() && current.isValid() ? child(current.row()) : nullptr;
}
