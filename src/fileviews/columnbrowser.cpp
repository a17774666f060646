#include "columnbrowser.h"

#include <QAbstractItemView>
#include <QMouseEvent>
#include <QPainter>
#include <QScopedValueRollback>
#include <QScrollBar>

#include <algorithm>

namespace {

constexpr int GripWidth = 5;
constexpr int MinimumColumnWidth = 100;

// The handle on the right edge of a column: a separator line that the user drags to resize
// the column.
class ColumnGrip final : public QWidget
{
public:
    ColumnGrip(ColumnBrowser *browser, int column, QWidget *parent)
        : QWidget(parent), m_browser(browser), m_column(column)
    {
        setCursor(Qt::SplitHCursor);
    }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        painter.setPen(palette().color(QPalette::Mid));
        painter.drawLine(width() - 1, 0, width() - 1, height());
    }
    void mousePressEvent(QMouseEvent *event) override
    {
        m_pressX = event->globalPosition().x();
        m_startWidth = m_browser->columnWidth(m_column);
    }
    void mouseMoveEvent(QMouseEvent *event) override
    {
        if (event->buttons() & Qt::LeftButton)
            m_browser->setColumnWidth(
                m_column,
                std::max(MinimumColumnWidth, m_startWidth + int(event->globalPosition().x() - m_pressX)));
    }

private:
    ColumnBrowser *m_browser;
    int m_column;
    qreal m_pressX = 0;
    int m_startWidth = 0;
};

} // namespace

ColumnBrowser::ColumnBrowser(QWidget *parent) : QAbstractScrollArea(parent)
{
    setFrameShape(QFrame::NoFrame);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
}

void ColumnBrowser::addColumn(QAbstractItemView *view)
{
    auto *grip = new ColumnGrip(this, count(), viewport());
    view->setParent(viewport());
    m_slots.push_back({view, grip});
    view->show();
    grip->show();
    relayout();
}

void ColumnBrowser::removeColumnsFrom(int first)
{
    while (count() > first) {
        const Slot slot = m_slots.back();
        m_slots.pop_back();
        slot.view->hide();
        slot.view->deleteLater();
        slot.grip->hide();
        slot.grip->deleteLater();
    }
    relayout();
}

void ColumnBrowser::setTrailer(QWidget *widget)
{
    if (widget == m_trailer)
        return;
    if (m_trailer)
        m_trailer->hide();
    m_trailer = widget;
    if (widget) {
        widget->setParent(viewport());
        widget->show();
    }
    relayout();
}

int ColumnBrowser::columnWidth(int i) const
{
    return i < m_widths.size() ? m_widths.at(i) : DefaultColumnWidth;
}

void ColumnBrowser::setColumnWidth(int i, int width)
{
    while (m_widths.size() <= i)
        m_widths << DefaultColumnWidth;
    m_widths[i] = width;
    relayout();
}

void ColumnBrowser::ensureColumnVisible(int i)
{
    if (i < 0 || i >= count())
        return;
    int left = 0;
    for (int c = 0; c < i; ++c)
        left += columnWidth(c);
    // The last column brings its trailer into view with it.
    const int right = left + columnWidth(i) + (i == count() - 1 && m_trailer ? TrailerWidth : 0);
    QScrollBar *bar = horizontalScrollBar();
    if (right > bar->value() + viewport()->width())
        bar->setValue(right - viewport()->width());
    if (left < bar->value())
        bar->setValue(left);
}

void ColumnBrowser::resizeEvent(QResizeEvent *event)
{
    QAbstractScrollArea::resizeEvent(event);
    relayout();
}

void ColumnBrowser::scrollContentsBy(int, int)
{
    relayout();
}

void ColumnBrowser::relayout()
{
    if (m_inLayout)
        return;
    QScopedValueRollback guard(m_inLayout, true);
    int total = 0;
    for (int i = 0; i < count(); ++i)
        total += columnWidth(i);
    // The trailer fills what the columns leave, and is never narrower than its own width.
    const int trailerWidth = m_trailer ? std::max(TrailerWidth, viewport()->width() - total) : 0;
    total += trailerWidth;
    QScrollBar *bar = horizontalScrollBar();
    bar->setPageStep(viewport()->width());
    bar->setSingleStep(20);
    bar->setRange(0, std::max(0, total - viewport()->width()));
    int x = -bar->value();
    const int height = viewport()->height();
    for (int i = 0; i < count(); ++i) {
        const int width = columnWidth(i);
        m_slots[size_t(i)].view->setGeometry(x, 0, width - GripWidth, height);
        m_slots[size_t(i)].grip->setGeometry(x + width - GripWidth, 0, GripWidth, height);
        x += width;
    }
    if (m_trailer)
        m_trailer->setGeometry(x, 0, trailerWidth, height);
}
