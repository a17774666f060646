#include "filecollectionitem.h"

#include "filelistmodel.h"
#include "filestore/plaintext.h"

#include <QLineEdit>
#include <QPainter>
#include <QTextLayout>

#include <algorithm>
#include <cmath>

namespace {

constexpr int NamePixelSize = 12;
constexpr int LabelPadding = 3;

QFont nameFont(const QFont &base)
{
    QFont font = base;
    font.setPixelSize(NamePixelSize);
    return font;
}

// The name on at most two lines: the first as wrapped, the rest shortened in its middle so that
// the end of the name (its extension) stays visible.
QStringList labelLines(const QString &name, const QFont &font, int width)
{
    QTextLayout layout(name, font);
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(option);
    layout.beginLayout();
    QTextLine first = layout.createLine();
    if (!first.isValid()) {
        layout.endLayout();
        return {};
    }
    first.setLineWidth(width);
    const int firstEnd = first.textStart() + first.textLength();
    layout.endLayout();
    if (firstEnd >= name.size())
        return {name};
    QString head = name.left(firstEnd);
    while (head.endsWith(QLatin1Char(' ')))
        head.chop(1);
    return {head, QFontMetrics(font).elidedText(name.mid(firstEnd), Qt::ElideMiddle, width)};
}

} // namespace

FileCollectionItem::FileCollectionItem(QObject *parent)
    : QStyledItemDelegate(parent), m_geometry(geometry(64))
{
}

FileCollectionItem::Geometry FileCollectionItem::geometry(double iconSize)
{
    const int s =
        std::isfinite(iconSize) && iconSize >= 1 && iconSize <= 4096 ? int(std::lround(iconSize)) : 64;
    Geometry g;
    g.itemSize = QSize(s + 24, s + 46);
    g.tile = QRect((g.itemSize.width() - (s + 12)) / 2, 0, s + 12, s + 12);
    g.icon = QRect(g.tile.left() + 6, g.tile.top() + 6, s, s);
    const int labelTop = g.tile.bottom() + 1 + 4;
    g.label = QRect(0, labelTop, g.itemSize.width(), g.itemSize.height() - labelTop);
    return g;
}

void FileCollectionItem::setIconSize(double iconSize)
{
    m_geometry = geometry(iconSize);
}

QString FileCollectionItem::shownName(const QModelIndex &index) const
{
    const auto committed = m_committedNames.constFind(index.data(FileListModel::EntryPathRole).toString());
    return committed != m_committedNames.constEnd() ? PlainText::oneLine(*committed)
                                                    : index.data(Qt::DisplayRole).toString();
}

void FileCollectionItem::paint(QPainter *painter, const QStyleOptionViewItem &option,
                               const QModelIndex &index) const
{
    const Geometry &g = m_geometry;
    const QPoint origin = option.rect.topLeft();
    const bool selected = option.state & QStyle::State_Selected;
    const bool editing = option.state & QStyle::State_Editing;
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    painter->setRenderHint(QPainter::SmoothPixmapTransform);
    if (selected) {
        QColor tile = option.palette.color(QPalette::WindowText);
        tile.setAlphaF(0.15);
        painter->setPen(Qt::NoPen);
        painter->setBrush(tile);
        painter->drawRoundedRect(g.tile.translated(origin), g.tileRadius, g.tileRadius);
    }
    const QIcon icon = index.data(Qt::DecorationRole).value<QIcon>();
    const QRect iconRect = g.icon.translated(origin);
    QPixmap pixmap = m_thumbnail ? m_thumbnail(index) : QPixmap();
    if (pixmap.isNull())
        pixmap = icon.pixmap(iconRect.size(), painter->device()->devicePixelRatioF());
    if (!pixmap.isNull()) {
        // Scaled to the icon edge both ways, keeping its proportions.
        QRectF target(QPointF(),
                      pixmap.deviceIndependentSize().scaled(QSizeF(iconRect.size()), Qt::KeepAspectRatio));
        target.moveCenter(QRectF(iconRect).center());
        painter->drawPixmap(target, pixmap, QRectF(pixmap.rect()));
    }
    if (!editing)
        paintLabel(painter, option, g.label.translated(origin), shownName(index), selected);
    painter->restore();
}

void FileCollectionItem::paintLabel(QPainter *painter, const QStyleOptionViewItem &option, const QRect &area,
                                    const QString &name, bool selected) const
{
    const QFont font = nameFont(option.font);
    const QFontMetrics metrics(font);
    const int width = area.width() - 2 * LabelPadding;
    const QStringList lines = labelLines(name, font, width);
    if (lines.isEmpty())
        return;
    int widest = 0;
    for (const QString &line : lines)
        widest = std::max(widest, metrics.horizontalAdvance(line));
    const int lineHeight = metrics.height();
    if (selected) {
        QRect box(0, area.top(), std::min(widest, width) + 2 * LabelPadding,
                  int(lines.size()) * lineHeight + 2);
        box.moveLeft(area.left() + (area.width() - box.width()) / 2);
        painter->setPen(Qt::NoPen);
        painter->setBrush(option.palette.color(QPalette::Active, QPalette::Highlight));
        painter->drawRoundedRect(box, m_geometry.labelRadius, m_geometry.labelRadius);
    }
    painter->setFont(font);
    painter->setPen(selected ? QColor(Qt::white) : option.palette.color(QPalette::WindowText));
    int y = area.top() + 1;
    for (const QString &line : lines) {
        painter->drawText(QRect(area.left(), y, area.width(), lineHeight), Qt::AlignHCenter | Qt::AlignTop,
                          line);
        y += lineHeight;
    }
}

QSize FileCollectionItem::sizeHint(const QStyleOptionViewItem &, const QModelIndex &) const
{
    return m_geometry.itemSize;
}

QWidget *FileCollectionItem::createEditor(QWidget *parent, const QStyleOptionViewItem &option,
                                          const QModelIndex &) const
{
    auto *editor = new QLineEdit(parent);
    editor->setFont(nameFont(option.font));
    editor->setAlignment(Qt::AlignCenter);
    return editor;
}

void FileCollectionItem::setEditorData(QWidget *editor, const QModelIndex &index) const
{
    if (auto *line = qobject_cast<QLineEdit *>(editor))
        line->setText(index.data(Qt::EditRole).toString());
}

void FileCollectionItem::setModelData(QWidget *editor, QAbstractItemModel *, const QModelIndex &index) const
{
    // The rows are the screen's: a new name is only reported, and shows until the screen lists it.
    auto *line = qobject_cast<QLineEdit *>(editor);
    if (!line || !index.isValid())
        return;
    const QString text = line->text();
    if (text == index.data(Qt::EditRole).toString())
        return;
    m_committedNames.insert(index.data(FileListModel::EntryPathRole).toString(), text);
    emit renamed(index, text);
}

void FileCollectionItem::updateEditorGeometry(QWidget *editor, const QStyleOptionViewItem &option,
                                              const QModelIndex &index) const
{
    // As wide as the name (at least the item, and never wider than the view), centred under the
    // tile and kept inside the view.
    const QFontMetrics metrics(nameFont(option.font));
    const int available = editor->parentWidget() ? editor->parentWidget()->width() - 8 : option.rect.width();
    const int wanted = metrics.horizontalAdvance(index.data(Qt::EditRole).toString()) + 16;
    const int width =
        std::max(std::min(std::max(option.rect.width(), wanted), available), option.rect.width());
    int left = option.rect.left() + (option.rect.width() - width) / 2;
    if (editor->parentWidget())
        left = std::clamp(left, 4, std::max(4, editor->parentWidget()->width() - width - 4));
    editor->setGeometry(left, option.rect.top() + m_geometry.label.top(), width, editor->sizeHint().height());
}
