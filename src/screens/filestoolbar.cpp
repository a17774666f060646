#include "filestoolbar.h"

#include "filesstorageview.h"
#include "segmentedpicker.h"
#include "symbols.h"

#include <QAction>
#include <QLayout>

namespace {

constexpr int groupSpacing = 16;

QString symbolOf(FilesStorageView::ViewMode mode)
{
    switch (mode) {
    case FilesStorageView::ViewMode::icons:
        return QStringLiteral("square.grid.2x2");
    case FilesStorageView::ViewMode::list:
        return QStringLiteral("list.bullet");
    case FilesStorageView::ViewMode::columns:
        return QStringLiteral("rectangle.split.3x1");
    }
    return {};
}

QString segmentName(FilesStorageView::ViewMode mode)
{
    switch (mode) {
    case FilesStorageView::ViewMode::icons:
        return FilesToolBar::tr("Icons");
    case FilesStorageView::ViewMode::list:
        return FilesToolBar::tr("List");
    case FilesStorageView::ViewMode::columns:
        return FilesToolBar::tr("Columns");
    }
    return {};
}

} // namespace

FilesToolBar::FilesToolBar(QWidget *parent) : QToolBar(parent), m_picker(new SegmentedPicker(this))
{
    setAccessibleName(tr("Files toolbar"));
    setMovable(false);
    setFloatable(false);
    setToolButtonStyle(Qt::ToolButtonTextBesideIcon);

    m_picker->setAccessibleName(tr("View"));
    m_picker->setToolTip(tr("View mode"));
    for (const FilesStorageView::ViewMode mode : FilesStorageView::allViewModes())
        m_picker->addSegment(int(mode), Symbols::icon(symbolOf(mode)), segmentName(mode));
    addWidget(m_picker)->setText(tr("View"));
}

QAction *FilesToolBar::addCommand(const QString &symbol, const QString &text)
{
    QAction *action = addAction(Symbols::icon(symbol), text);
    action->setToolTip(text);
    if (QWidget *button = widgetForAction(action))
        button->setAccessibleName(text);
    return action;
}

void FilesToolBar::addCommand(const QString &symbol, QAction *action)
{
    action->setIcon(Symbols::icon(symbol));
    action->setIconVisibleInMenu(false);
    action->setToolTip(action->text());
    addAction(action);
    if (QWidget *button = widgetForAction(action))
        button->setAccessibleName(action->text());
}

void FilesToolBar::addGroupSpacer()
{
    auto *spacer = new QWidget(this);
    spacer->setFixedWidth(groupSpacing);
    spacer->setAttribute(Qt::WA_TransparentForMouseEvents);
    addWidget(spacer);
}

void FilesToolBar::fitTo(int width)
{
    for (const Qt::ToolButtonStyle style : {Qt::ToolButtonTextBesideIcon, Qt::ToolButtonTextUnderIcon}) {
        setToolButtonStyle(style);
        // Buttons not on screen yet do not tell the layout that their size changed.
        layout()->invalidate();
        if (sizeHint().width() <= width)
            return;
    }
    setToolButtonStyle(Qt::ToolButtonIconOnly);
}
