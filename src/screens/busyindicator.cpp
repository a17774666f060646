#include "busyindicator.h"

#include <QGridLayout>
#include <QPainter>
#include <QTimerEvent>

namespace {

constexpr int spokeCount = 12;
constexpr int stepIntervalMs = 80;
constexpr int edge = 48; // the large control size

} // namespace

BusyIndicator::BusyIndicator(QWidget *parent) : QWidget(parent)
{
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    setAccessibleName(tr("In progress"));
}

QSize BusyIndicator::sizeHint() const
{
    return {edge, edge};
}

QSize BusyIndicator::minimumSizeHint() const
{
    return sizeHint();
}

void BusyIndicator::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    m_timer.start(stepIntervalMs, this);
}

void BusyIndicator::hideEvent(QHideEvent *event)
{
    m_timer.stop();
    QWidget::hideEvent(event);
}

void BusyIndicator::timerEvent(QTimerEvent *event)
{
    if (event->timerId() != m_timer.timerId()) {
        QWidget::timerEvent(event);
        return;
    }
    m_step = (m_step + 1) % spokeCount;
    update();
}

void BusyIndicator::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF area = QRectF(rect()).adjusted(1, 1, -1, -1);
    const qreal side = std::min(area.width(), area.height());

    // A soft backing keeps the spokes readable over list rows.
    QColor backing = palette().color(QPalette::Window);
    backing.setAlphaF(0.85);
    painter.setPen(Qt::NoPen);
    painter.setBrush(backing);
    painter.drawRoundedRect(QRectF(0, 0, side, side).translated(area.center() - QPointF(side / 2, side / 2)),
                            side * 0.2, side * 0.2);

    painter.translate(area.center());
    const qreal outer = side * 0.36;
    const qreal inner = side * 0.18;
    QPen pen(palette().color(QPalette::WindowText), std::max<qreal>(2.0, side / 14), Qt::SolidLine,
             Qt::RoundCap);
    for (int i = 0; i < spokeCount; ++i) {
        // The newest spoke is darkest; the ones behind it fade out.
        const int age = (m_step - i + spokeCount) % spokeCount;
        QColor color = pen.color();
        color.setAlphaF(1.0 - 0.8 * age / (spokeCount - 1));
        pen.setColor(color);
        painter.setPen(pen);
        painter.drawLine(QPointF(0, -inner), QPointF(0, -outer));
        painter.rotate(360.0 / spokeCount);
    }
}

QWidget *centredPage(QWidget *content, QWidget *parent)
{
    auto *page = new QWidget(parent);
    auto *layout = new QGridLayout(page);
    layout->addWidget(content, 0, 0, Qt::AlignCenter);
    return page;
}
