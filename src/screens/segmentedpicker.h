#pragma once

#include <QWidget>

class QAbstractButton;
class QButtonGroup;
class QIcon;

// A segmented control: a row of checkable, image-only buttons of which exactly one is on. Each
// segment has an id, reported whenever that segment becomes the checked one, however that
// happens: a click, a key, a screen reader's toggle action or code.
class SegmentedPicker final : public QWidget
{
    Q_OBJECT
public:
    explicit SegmentedPicker(QWidget *parent = nullptr);

    // The look of segments: the chosen one filled with the highlight colour, so it reads at a
    // glance in every style. For any row of checkable tool buttons.
    static QString styleSheet();

    // Appends a segment showing `icon`; `name` is its accessible name.
    QAbstractButton *addSegment(int id, const QIcon &icon, const QString &name);
    QAbstractButton *segment(int id) const;
    int checkedId() const;
    void setCheckedId(int id);

signals:
    void segmentChecked(int id);

private:
    QButtonGroup *m_group;
};
