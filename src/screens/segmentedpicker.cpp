#include "segmentedpicker.h"

#include <QButtonGroup>
#include <QHBoxLayout>
#include <QIcon>
#include <QToolButton>

SegmentedPicker::SegmentedPicker(QWidget *parent) : QWidget(parent), m_group(new QButtonGroup(this))
{
    m_group->setExclusive(true);
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    setStyleSheet(styleSheet());
    connect(m_group, &QButtonGroup::idToggled, this, [this](int id, bool checked) {
        if (checked)
            emit segmentChecked(id);
    });
}

QAbstractButton *SegmentedPicker::addSegment(int id, const QIcon &icon, const QString &name)
{
    auto *button = new QToolButton(this);
    button->setIcon(icon);
    button->setAccessibleName(name);
    button->setCheckable(true);
    button->setAutoRaise(false);
    button->setToolButtonStyle(Qt::ToolButtonIconOnly);
    button->setFocusPolicy(Qt::TabFocus);
    layout()->addWidget(button);
    m_group->addButton(button, id);
    return button;
}

QAbstractButton *SegmentedPicker::segment(int id) const
{
    return m_group->button(id);
}

int SegmentedPicker::checkedId() const
{
    return m_group->checkedId();
}

void SegmentedPicker::setCheckedId(int id)
{
    if (QAbstractButton *button = m_group->button(id); button && !button->isChecked())
        button->setChecked(true);
}

QString SegmentedPicker::styleSheet()
{
    return QStringLiteral(
        "QToolButton { border: 1px solid palette(mid); background: palette(button); padding: 3px 10px; }"
        "QToolButton:hover:!checked { background: palette(midlight); }"
        "QToolButton:checked { background: palette(highlight); color: palette(highlighted-text);"
        " border-color: palette(highlight); }"
        "QToolButton:focus { border-color: palette(highlight); }");
}
