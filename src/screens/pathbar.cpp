#include "pathbar.h"

#include "filestore/plaintext.h"

#include <QHBoxLayout>
#include <QPainter>
#include <QSlider>
#include <QStyleOption>

#include <algorithm>
#include <cmath>

namespace {

constexpr int sliderWidth = 120;
constexpr int horizontalPadding = 12;
constexpr int verticalPadding = 4;
constexpr qreal captionScale = 0.85;

} // namespace

PathButton::PathButton(QWidget *parent) : QAbstractButton(parent)
{
    QFont caption = font();
    caption.setPointSizeF(caption.pointSizeF() * captionScale);
    setFont(caption);
    setCursor(Qt::PointingHandCursor);
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    setFocusPolicy(Qt::TabFocus);
}

QSize PathButton::sizeHint() const
{
    return {fontMetrics().horizontalAdvance(text()) + 2, fontMetrics().height() + 2};
}

// Any width will do: the text is elided to fit.
QSize PathButton::minimumSizeHint() const
{
    return {0, fontMetrics().height() + 2};
}

QString PathButton::shownText() const
{
    return fontMetrics().elidedText(text(), Qt::ElideMiddle, width() - 2);
}

void PathButton::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setPen(palette().color(isDown() ? QPalette::Highlight : QPalette::WindowText));
    painter.drawText(rect().adjusted(1, 0, -1, 0), Qt::AlignLeft | Qt::AlignVCenter, shownText());
    if (hasFocus()) {
        QStyleOptionFocusRect option;
        option.initFrom(this);
        style()->drawPrimitive(QStyle::PE_FrameFocusRect, &option, &painter, this);
    }
}

PathBar::PathBar(QWidget *parent)
    : QWidget(parent), m_pathButton(new PathButton(this)), m_slider(new QSlider(Qt::Horizontal, this))
{
    setAccessibleName(tr("Path bar"));
    m_pathButton->setToolTip(tr("Click to copy path"));
    m_pathButton->setAccessibleName(tr("No folder"));
    m_slider->setAccessibleName(tr("Icon size"));
    m_slider->setToolTip(tr("Icon size"));
    m_slider->setRange(minimumIconSize, maximumIconSize);
    m_slider->setTracking(true);
    m_slider->setFixedWidth(sliderWidth);
    m_slider->setAttribute(Qt::WA_MacSmallSize);

    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(horizontalPadding, verticalPadding, horizontalPadding, verticalPadding);
    layout->addWidget(m_pathButton, 0, Qt::AlignVCenter);
    layout->addStretch(1);
    layout->addWidget(m_slider, 0, Qt::AlignVCenter);

    connect(m_pathButton, &QAbstractButton::clicked, this, &PathBar::pathClicked);
    // setIconSize() blocks the slider's signals: only the user's moves get here.
    connect(m_slider, &QSlider::valueChanged, this, [this](int value) { emit iconSizeMoved(value); });
}

void PathBar::setPath(const QString &path)
{
    // Only shown: a click copies the real path, which the screen keeps.
    const QString shown = PlainText::oneLine(path);
    if (m_pathButton->text() == shown)
        return;
    m_pathButton->setText(shown);
    m_pathButton->setShortcut({}); // an "&" in a path is no mnemonic
    m_pathButton->setAccessibleName(shown.isEmpty() ? tr("No folder") : shown);
    m_pathButton->updateGeometry();
    m_pathButton->update();
}

void PathBar::setShowsIconSize(bool shows)
{
    m_slider->setVisible(shows);
}

void PathBar::setIconSize(double size)
{
    const int value =
        std::isfinite(size)
            ? int(std::lround(std::clamp(size, double(minimumIconSize), double(maximumIconSize))))
            : minimumIconSize;
    if (m_slider->value() == value)
        return;
    const QSignalBlocker blocker(m_slider);
    m_slider->setValue(value);
}

void PathBar::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.fillRect(rect(), palette().color(QPalette::Window).darker(104));
    painter.setPen(palette().color(QPalette::Mid));
    painter.drawLine(0, 0, width(), 0);
}
