#pragma once

#include "simulator/simulator.h"

#include <QAbstractListModel>
#include <QStyledItemDelegate>

// The sidebar's rows: one per device, in the order the listing returned them.
class SimulatorListModel final : public QAbstractListModel
{
    Q_OBJECT
public:
    enum Role { SimulatorRole = Qt::UserRole + 1, RuntimeRole, BootedRole };

    using QAbstractListModel::QAbstractListModel;

    int rowCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;

    const QList<Simulator> &simulators() const { return m_simulators; }
    // Replaces the rows; does nothing when the list is equal, and keeps the rows (only
    // repainting them) when only the records changed but not their UDIDs and order.
    void setSimulators(const QList<Simulator> &simulators);
    // The row whose record equals `simulator` in all four fields, or -1.
    int rowOf(const Simulator &simulator) const;

private:
    QList<Simulator> m_simulators;
};

// Paints a row: the status dot, the name and, below it, the runtime in the caption style.
class SimulatorRowDelegate final : public QStyledItemDelegate
{
    Q_OBJECT
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    static QColor dotColor(bool isBooted);

    void paint(QPainter *painter, const QStyleOptionViewItem &option,
               const QModelIndex &index) const override;
    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override;
};
