#pragma once

#include <QToolBar>

class SegmentedPicker;

// The Files screen's toolbar: the view-mode picker, then the commands in groups, each button
// named for accessibility and reachable by keyboard once the bar is filled.
class FilesToolBar final : public QToolBar
{
    Q_OBJECT
public:
    explicit FilesToolBar(QWidget *parent = nullptr);

    // Its segments' ids are the FilesStorageView::ViewMode values.
    SegmentedPicker *viewModePicker() const { return m_picker; }
    QAction *addCommand(const QString &symbol, const QString &text);
    // A command of FileActions: its icon shows on the toolbar only.
    void addCommand(const QString &symbol, QAction *action);
    void addGroupSpacer();
    // Text beside the icons when the whole toolbar fits `width` so, else under them, else icons alone.
    void fitTo(int width);

private:
    SegmentedPicker *m_picker;
};
