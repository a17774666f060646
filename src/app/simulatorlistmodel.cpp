#include "simulatorlistmodel.h"

#include "filestore/plaintext.h"

#include <QApplication>
#include <QPainter>

int SimulatorListModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_simulators.size());
}

QVariant SimulatorListModel::data(const QModelIndex &index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    const Simulator &simulator = m_simulators.at(index.row());
    const QString state = simulator.isBooted ? tr("Booted") : tr("Shutdown");
    switch (role) {
    case Qt::DisplayRole:
        return PlainText::oneLine(simulator.name);
    case Qt::ToolTipRole:
        return PlainText::toolTip(PlainText::oneLine(simulator.udid));
    case Qt::AccessibleTextRole:
        return tr("%1, %2, %3")
            .arg(PlainText::oneLine(simulator.name), PlainText::oneLine(simulator.runtime), state);
    case Qt::AccessibleDescriptionRole:
        return tr("%1, %2").arg(PlainText::oneLine(simulator.runtime), state);
    case SimulatorRole:
        return QVariant::fromValue(simulator);
    case RuntimeRole:
        return PlainText::oneLine(simulator.runtime);
    case BootedRole:
        return simulator.isBooted;
    default:
        return {};
    }
}

void SimulatorListModel::setSimulators(const QList<Simulator> &simulators)
{
    if (simulators == m_simulators)
        return;
    const bool sameRows = simulators.size() == m_simulators.size() &&
                          std::equal(simulators.begin(), simulators.end(), m_simulators.begin(),
                                     [](const Simulator &a, const Simulator &b) { return a.udid == b.udid; });
    if (sameRows) {
        m_simulators = simulators;
        emit dataChanged(index(0), index(rowCount() - 1));
        return;
    }
    beginResetModel();
    m_simulators = simulators;
    endResetModel();
}

int SimulatorListModel::rowOf(const Simulator &simulator) const
{
    return int(m_simulators.indexOf(simulator));
}

QColor SimulatorRowDelegate::dotColor(bool isBooted)
{
    if (isBooted)
        return QColor(0x34, 0xc7, 0x59);
    QColor gray(Qt::gray);
    gray.setAlphaF(0.3f);
    return gray;
}

void SimulatorRowDelegate::paint(QPainter *painter, const QStyleOptionViewItem &option,
                                 const QModelIndex &index) const
{
    QStyleOptionViewItem opt = option;
    initStyleOption(&opt, index);
    opt.text.clear();
    const QWidget *widget = option.widget;
    QStyle *style = widget ? widget->style() : QApplication::style();
    style->drawControl(QStyle::CE_ItemViewItem, &opt, painter, widget);

    const int margin = 8;
    const QRect r = option.rect.adjusted(margin, 0, -margin, 0);
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);

    const QRectF dot(r.left(), r.center().y() - 4, 8, 8);
    painter->setPen(Qt::NoPen);
    painter->setBrush(dotColor(index.data(SimulatorListModel::BootedRole).toBool()));
    painter->drawEllipse(dot);

    const bool selected = option.state & QStyle::State_Selected;
    const QPalette::ColorGroup group =
        option.state & QStyle::State_Active ? QPalette::Active : QPalette::Inactive;
    const QColor primary = option.palette.color(group, selected ? QPalette::HighlightedText : QPalette::Text);
    QColor secondary = primary;
    secondary.setAlphaF(0.6f);

    QFont nameFont = option.font;
    QFont captionFont = option.font;
    captionFont.setPointSizeF(option.font.pointSizeF() * 0.85);
    const QFontMetrics nameMetrics(nameFont);
    const QFontMetrics captionMetrics(captionFont);
    const int textLeft = int(dot.right()) + 8;
    const int textWidth = r.right() - textLeft;
    const int blockHeight = nameMetrics.height() + captionMetrics.height();
    int y = r.center().y() - blockHeight / 2;

    painter->setFont(nameFont);
    painter->setPen(primary);
    painter->drawText(
        QRect(textLeft, y, textWidth, nameMetrics.height()), Qt::AlignLeft | Qt::AlignVCenter,
        nameMetrics.elidedText(index.data(Qt::DisplayRole).toString(), Qt::ElideRight, textWidth));
    y += nameMetrics.height();
    painter->setFont(captionFont);
    painter->setPen(secondary);
    painter->drawText(QRect(textLeft, y, textWidth, captionMetrics.height()),
                      Qt::AlignLeft | Qt::AlignVCenter,
                      captionMetrics.elidedText(index.data(SimulatorListModel::RuntimeRole).toString(),
                                                Qt::ElideRight, textWidth));
    painter->restore();
}

QSize SimulatorRowDelegate::sizeHint(const QStyleOptionViewItem &option, const QModelIndex &) const
{
    QFont captionFont = option.font;
    captionFont.setPointSizeF(option.font.pointSizeF() * 0.85);
    const int height = QFontMetrics(option.font).height() + QFontMetrics(captionFont).height() + 10;
    return {200, height};
}
