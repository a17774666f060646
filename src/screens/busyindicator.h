#pragma once

#include <QBasicTimer>
#include <QWidget>

// An indeterminate spinner (Qt Widgets has none): a ring of spokes that turns while the widget is
// visible. Transparent to the mouse, so that it can lie over other content without taking clicks
// or drops from it.
class BusyIndicator final : public QWidget
{
    Q_OBJECT
public:
    explicit BusyIndicator(QWidget *parent = nullptr);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;
    bool isAnimating() const { return m_timer.isActive(); }

protected:
    void paintEvent(QPaintEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;
    void timerEvent(QTimerEvent *event) override;

private:
    QBasicTimer m_timer;
    int m_step = 0;
};

// A page that shows `content` (a busy indicator) in its centre: the screens' loading page.
QWidget *centredPage(QWidget *content, QWidget *parent);
