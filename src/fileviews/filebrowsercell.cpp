#include "filebrowsercell.h"

#include "browsercolumn.h"
#include "filelistmodel.h"

#include <QLineEdit>
#include <QPainter>

namespace {

constexpr int ArrowWidth = 16;

bool isPathColumn(const QWidget *widget)
{
    const auto *column = qobject_cast<const BrowserColumn *>(widget);
    return column && column->showsPath();
}

} // namespace

void FileBrowserCell::paint(QPainter *painter, const QStyleOptionViewItem &plain,
                            const QModelIndex &index) const
{
    QStyleOptionViewItem option = plain;
    if ((option.state & QStyle::State_Selected) && isPathColumn(option.widget)) {
        QColor grey = option.palette.color(QPalette::WindowText);
        grey.setAlphaF(0.15);
        for (const QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive}) {
            option.palette.setColor(group, QPalette::Highlight, grey);
            option.palette.setColor(group, QPalette::HighlightedText,
                                    option.palette.color(group, QPalette::Text));
        }
    }
    if (!index.data(FileListModel::IsDirectoryRole).toBool()) {
        QStyledItemDelegate::paint(painter, option, index);
        return;
    }
    QStyleOptionViewItem opt = option;
    initStyleOption(&opt, index);
    const QRect arrow(opt.rect.right() - ArrowWidth + 1, opt.rect.top(), ArrowWidth, opt.rect.height());
    opt.rect.setRight(arrow.left() - 1);
    const QWidget *widget = option.widget;
    QStyle *style = widget ? widget->style() : nullptr;
    if (!style)
        return;
    style->drawControl(QStyle::CE_ItemViewItem, &opt, painter, widget);
    QStyleOptionViewItem mark = option;
    mark.rect = arrow;
    if (option.state & QStyle::State_Selected) {
        const QPalette::ColorGroup group =
            option.state & QStyle::State_Active ? QPalette::Active : QPalette::Inactive;
        painter->fillRect(arrow, option.palette.brush(group, QPalette::Highlight));
        mark.palette.setColor(QPalette::WindowText, option.palette.color(group, QPalette::HighlightedText));
        mark.palette.setColor(QPalette::ButtonText, option.palette.color(group, QPalette::HighlightedText));
    }
    style->drawPrimitive(QStyle::PE_IndicatorArrowRight, &mark, painter, widget);
}

void FileBrowserCell::setModelData(QWidget *editor, QAbstractItemModel *, const QModelIndex &index) const
{
    auto *line = qobject_cast<QLineEdit *>(editor);
    if (line && index.isValid())
        emit committed(index, line->text());
}
