#include "itemviewrules.h"

#include <QAbstractItemView>
#include <QAccessible>
#include <QMouseEvent>

namespace ItemViewRules {

bool keepsSelection(const QEvent *event)
{
    if (!event || (event->type() != QEvent::MouseButtonPress && event->type() != QEvent::MouseButtonRelease))
        return false;
    return static_cast<const QMouseEvent *>(event)->button() == Qt::RightButton;
}

void keepAccessibleRowsCurrent(QAbstractItemView *view)
{
    // Qt's accessible lists and tables keep the cells they handed out and drop them only when
    // told of a change of rows, which Qt sends only while a bridge is active; a kept cell then
    // reads the row it was made for, or nothing. So the cells are dropped here on every change of
    // rows, and the view's own object stays: a screen reader holding it keeps its place.
    const auto renew = [view] {
        QAccessibleInterface *iface = QAccessible::queryAccessibleInterface(view);
        QAccessibleTableInterface *table = iface ? iface->tableInterface() : nullptr;
        if (!table)
            return;
        QAccessibleTableModelChangeEvent reset(view, QAccessibleTableModelChangeEvent::ModelReset);
        table->modelChange(&reset);
        QAccessible::updateAccessibility(&reset);
    };
    QAbstractItemModel *model = view->model();
    QObject::connect(model, &QAbstractItemModel::modelReset, view, renew);
    QObject::connect(model, &QAbstractItemModel::rowsInserted, view, renew);
    QObject::connect(model, &QAbstractItemModel::rowsRemoved, view, renew);
}

} // namespace ItemViewRules
