#include "fileiconview.h"

#include "filelistmodel.h"
#include "filestore/plaintext.h"
#include "fileviewhost.h"
#include "itemgridaccessible.h"
#include "selectbasename.h"

#include <QAbstractItemView>
#include <QDir>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QScopedValueRollback>
#include <QScrollBar>
#include <QTextLayout>
#include <QTimer>

#include <algorithm>
#include <cmath>

namespace {

constexpr int NamePixelSize = 12;
constexpr int LabelPadding = 3;

QString pathOf(const QUrl &url)
{
    return FileListModel::pathOf(url);
}

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

// A grid of equal cells laid out by arithmetic alone: 16-point insets around the section and
// 8 points between items and lines, so that resizing thousands of items costs nothing but a
// repaint. QListView cannot give insets that differ from its spacing and that scroll with the
// items.
class IconGrid final : public QAbstractItemView
{
public:
    static constexpr int Inset = 16;
    static constexpr int Spacing = 8;

    explicit IconGrid(QWidget *parent = nullptr) : QAbstractItemView(parent)
    {
        ItemGridAccessible::enable(this);
        viewport()->setBackgroundRole(QPalette::Window);
        setFrameShape(QFrame::NoFrame);
        setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
        setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
        connect(this, &QAbstractItemView::doubleClicked, this, [this](const QModelIndex &index) {
            if (m_doubleClickButton == Qt::LeftButton && onDoubleClick)
                onDoubleClick(index);
        });
    }

    std::function<void(const QModelIndex &)> onDoubleClick;

    using QAbstractItemView::edit;

    QSize itemSize() const { return m_itemSize; }
    void setItemSize(const QSize &size)
    {
        if (size == m_itemSize)
            return;
        m_itemSize = size;
        updateGeometries();
        viewport()->update();
    }

    // Only the first column stands for the items.
    void selectAll() override
    {
        const int n = count();
        if (n > 0 && selectionMode() != NoSelection)
            selectionModel()->select(
                QItemSelection(model()->index(0, 0, rootIndex()), model()->index(n - 1, 0, rootIndex())),
                QItemSelectionModel::ClearAndSelect);
    }

    bool beginEditing(const QModelIndex &index) { return edit(index, AllEditTriggers, nullptr); }

    // Commits and closes the name editor that is open, if any.
    void finishEditing()
    {
        if (QWidget *editor = m_editing.isValid() ? indexWidget(m_editing) : nullptr) {
            commitData(editor);
            closeEditor(editor, QAbstractItemDelegate::NoHint);
        }
    }
    // Closes it without a commit.
    void discardEditing()
    {
        if (QWidget *editor = m_editing.isValid() ? indexWidget(m_editing) : nullptr)
            closeEditor(editor, QAbstractItemDelegate::NoHint);
    }

    QRect visualRect(const QModelIndex &index) const override
    {
        if (!isOwnIndex(index))
            return {};
        return itemRect(index.row()).translated(-horizontalOffset(), -verticalOffset());
    }

    QModelIndex indexAt(const QPoint &point) const override
    {
        const QPoint p = point + QPoint(horizontalOffset(), verticalOffset());
        const int item = itemAtContentPoint(p);
        return item < 0 ? QModelIndex() : model()->index(item, 0, rootIndex());
    }

    void scrollTo(const QModelIndex &index, ScrollHint hint = EnsureVisible) override
    {
        if (!isOwnIndex(index))
            return;
        const QRect rect = itemRect(index.row());
        QScrollBar *bar = verticalScrollBar();
        const int height = viewport()->height();
        const int top = rect.top() - Spacing;
        const int bottom = rect.bottom() + Spacing;
        switch (hint) {
        case PositionAtTop:
            bar->setValue(top);
            break;
        case PositionAtBottom:
            bar->setValue(bottom - height + 1);
            break;
        case PositionAtCenter:
            bar->setValue(rect.center().y() - height / 2);
            break;
        case EnsureVisible:
            // Moves the least: to whichever edge is nearer.
            if (top < bar->value())
                bar->setValue(top);
            else if (bottom > bar->value() + height - 1)
                bar->setValue(bottom - height + 1);
            break;
        }
    }

protected:
    void currentChanged(const QModelIndex &current, const QModelIndex &previous) override
    {
        QAbstractItemView::currentChanged(current, previous);
        ItemGridAccessible::currentChanged(this, current);
    }

    void selectionChanged(const QItemSelection &selected, const QItemSelection &deselected) override
    {
        QAbstractItemView::selectionChanged(selected, deselected);
        ItemGridAccessible::selectionChanged(this, selected, deselected);
    }

    QModelIndex moveCursor(CursorAction action, Qt::KeyboardModifiers) override
    {
        const int n = count();
        if (n == 0 || !m_itemSize.isValid())
            return {};
        const QModelIndex current = currentIndex();
        if (!isOwnIndex(current))
            return model()->index(0, 0, rootIndex());
        const int cols = columnCount();
        const int perPage = std::max(1, viewport()->height() / (m_itemSize.height() + Spacing));
        int i = current.row();
        switch (action) {
        case MoveLeft:
        case MovePrevious:
            i = std::max(0, i - 1);
            break;
        case MoveRight:
        case MoveNext:
            i = std::min(n - 1, i + 1);
            break;
        case MoveUp:
            if (i - cols >= 0)
                i -= cols;
            break;
        case MoveDown:
            if (i + cols < n)
                i += cols;
            else if (i / cols < (n - 1) / cols)
                i = n - 1; // into the shorter last line
            break;
        case MoveHome:
            i = 0;
            break;
        case MoveEnd:
            i = n - 1;
            break;
        case MovePageUp:
            i = std::max(i % cols, i - perPage * cols);
            break;
        case MovePageDown:
            i = std::min(n - 1, i + perPage * cols);
            break;
        }
        return model()->index(i, 0, rootIndex());
    }

    QItemSelectionModel::SelectionFlags selectionCommand(const QModelIndex &index,
                                                         const QEvent *event) const override
    {
        return FileViewHost::keepsSelection(event) ? QItemSelectionModel::NoUpdate
                                                   : QAbstractItemView::selectionCommand(index, event);
    }

    int horizontalOffset() const override { return horizontalScrollBar()->value(); }
    int verticalOffset() const override { return verticalScrollBar()->value(); }
    bool isIndexHidden(const QModelIndex &) const override { return false; }

    void setSelection(const QRect &rect, QItemSelectionModel::SelectionFlags command) override
    {
        const QRect area = rect.normalized().translated(horizontalOffset(), verticalOffset());
        QItemSelection selection;
        int runStart = -1;
        int previous = -2;
        auto closeRun = [&] {
            if (runStart >= 0)
                selection.select(model()->index(runStart, 0, rootIndex()),
                                 model()->index(previous, 0, rootIndex()));
        };
        for (int item : itemsIn(area)) {
            if (item != previous + 1) {
                closeRun();
                runStart = item;
            }
            previous = item;
        }
        closeRun();
        selectionModel()->select(selection, command);
    }

    QRegion visualRegionForSelection(const QItemSelection &selection) const override
    {
        const QList<int> visible =
            itemsIn(viewport()->rect().translated(horizontalOffset(), verticalOffset()));
        if (visible.isEmpty())
            return {};
        QRegion region;
        for (const QItemSelectionRange &range : selection) {
            if (range.parent() != rootIndex())
                continue;
            const int first = std::max(range.top(), visible.first());
            const int last = std::min(range.bottom(), visible.last());
            for (int item = first; item <= last; ++item)
                region += visualRect(model()->index(item, 0, rootIndex()));
        }
        return region;
    }

    void updateGeometries() override
    {
        const QSize viewportSize = viewport()->size();
        QScrollBar *vertical = verticalScrollBar();
        vertical->setSingleStep(std::max(1, (m_itemSize.height() + Spacing) / 4));
        vertical->setPageStep(viewportSize.height());
        vertical->setRange(0, std::max(0, contentSize().height() - viewportSize.height()));
        QScrollBar *horizontal = horizontalScrollBar();
        horizontal->setSingleStep(std::max(1, (m_itemSize.width() + Spacing) / 4));
        horizontal->setPageStep(viewportSize.width());
        horizontal->setRange(0, std::max(0, contentSize().width() - viewportSize.width()));
        QAbstractItemView::updateGeometries();
    }

    void paintEvent(QPaintEvent *event) override
    {
        QPainter painter(viewport());
        const QPoint offset(horizontalOffset(), verticalOffset());
        QStyleOptionViewItem option;
        initViewItemOption(&option);
        const QStyle::State baseState = option.state;
        const QModelIndex current = currentIndex();
        for (int item : itemsIn(event->rect().translated(offset))) {
            const QModelIndex index = model()->index(item, 0, rootIndex());
            option.rect = itemRect(item).translated(-offset);
            option.state = baseState;
            if (selectionModel() && selectionModel()->isSelected(index))
                option.state |= QStyle::State_Selected;
            if (index == current && hasFocus())
                option.state |= QStyle::State_HasFocus;
            if (indexWidget(index))
                option.state |= QStyle::State_Editing;
            itemDelegateForIndex(index)->paint(&painter, option, index);
        }
        if (m_banding && state() == DragSelectingState) {
            QStyleOptionRubberBand band;
            band.initFrom(viewport());
            band.shape = QRubberBand::Rectangle;
            band.opaque = false;
            band.rect = m_band.translated(-offset);
            style()->drawControl(QStyle::CE_RubberBand, &band, &painter, viewport());
        }
    }

    void mousePressEvent(QMouseEvent *event) override
    {
        const QPoint offset(horizontalOffset(), verticalOffset());
        m_banding = event->button() == Qt::LeftButton && !indexAt(event->position().toPoint()).isValid();
        m_band = QRect(event->position().toPoint() + offset, QSize());
        QAbstractItemView::mousePressEvent(event);
    }

    void mouseMoveEvent(QMouseEvent *event) override
    {
        QAbstractItemView::mouseMoveEvent(event);
        if (m_banding) {
            const QPoint offset(horizontalOffset(), verticalOffset());
            m_band = QRect(m_band.topLeft(), event->position().toPoint() + offset).normalized();
            viewport()->update();
        }
    }

    void mouseReleaseEvent(QMouseEvent *event) override
    {
        QAbstractItemView::mouseReleaseEvent(event);
        if (m_banding) {
            m_banding = false;
            viewport()->update();
        }
    }

    void mouseDoubleClickEvent(QMouseEvent *event) override
    {
        m_doubleClickButton = event->button();
        QAbstractItemView::mouseDoubleClickEvent(event);
        m_doubleClickButton = Qt::NoButton;
    }

    bool edit(const QModelIndex &index, EditTrigger trigger, QEvent *event) override
    {
        const bool started = QAbstractItemView::edit(index, trigger, event);
        if (started)
            m_editing = index;
        return started;
    }

private:
    bool isOwnIndex(const QModelIndex &index) const
    {
        return index.isValid() && index.column() == 0 && index.model() == model() &&
               index.parent() == rootIndex() && m_itemSize.isValid();
    }
    int count() const { return model() ? model()->rowCount(rootIndex()) : 0; }
    int columnCount() const
    {
        const int available = viewport()->width() - 2 * Inset + Spacing;
        return std::max(1, available / (m_itemSize.width() + Spacing));
    }
    QSize contentSize() const
    {
        const int n = count();
        if (n == 0 || !m_itemSize.isValid())
            return {0, 0};
        const int cols = std::min(n, columnCount());
        const int lines = (n + cols - 1) / cols;
        return {2 * Inset + cols * m_itemSize.width() + (cols - 1) * Spacing,
                2 * Inset + lines * m_itemSize.height() + (lines - 1) * Spacing};
    }
    // In content coordinates (before scrolling).
    QRect itemRect(int item) const
    {
        const int cols = columnCount();
        return {Inset + (item % cols) * (m_itemSize.width() + Spacing),
                Inset + (item / cols) * (m_itemSize.height() + Spacing), m_itemSize.width(),
                m_itemSize.height()};
    }
    int itemAtContentPoint(const QPoint &p) const
    {
        if (!m_itemSize.isValid() || p.x() < Inset || p.y() < Inset)
            return -1;
        const int col = (p.x() - Inset) / (m_itemSize.width() + Spacing);
        const int line = (p.y() - Inset) / (m_itemSize.height() + Spacing);
        const int cols = columnCount();
        const int item = line * cols + col;
        if (col >= cols || item >= count() || !itemRect(item).contains(p))
            return -1; // past the last item, or in the gap between two
        return item;
    }
    // The items whose cells meet the area (content coordinates), in index order.
    QList<int> itemsIn(const QRect &area) const
    {
        QList<int> items;
        const int n = count();
        if (n == 0 || !m_itemSize.isValid() || area.isEmpty())
            return items;
        const int cols = columnCount();
        const int stepX = m_itemSize.width() + Spacing;
        const int stepY = m_itemSize.height() + Spacing;
        const int lines = (n + cols - 1) / cols;
        if (area.bottom() < Inset || area.right() < Inset)
            return items;
        const int firstLine = std::max(0, (area.top() - Inset) / stepY);
        const int lastLine = std::min(lines - 1, (area.bottom() - Inset) / stepY);
        const int firstCol = std::max(0, (area.left() - Inset) / stepX);
        const int lastCol = std::min(cols - 1, (area.right() - Inset) / stepX);
        for (int line = firstLine; line <= lastLine; ++line) {
            for (int col = firstCol; col <= lastCol; ++col) {
                const int item = line * cols + col;
                if (item >= n)
                    break;
                if (itemRect(item).intersects(area))
                    items << item;
            }
        }
        return items;
    }

    QSize m_itemSize;
    QPersistentModelIndex m_editing;
    QRect m_band;
    bool m_banding = false;
    Qt::MouseButton m_doubleClickButton = Qt::NoButton;
};

} // namespace

// --- FileCollectionItem -----------------------------------------------------------------------

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
    const QPixmap pixmap = icon.pixmap(iconRect.size(), painter->device()->devicePixelRatioF());
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
    if (m_onRename)
        m_onRename(index, text);
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

// --- FileIconView::Coordinator ----------------------------------------------------------------

class FileIconView::Coordinator final : public QObject
{
public:
    Coordinator(FilesState::Services services, QWidget *parentWidget);
    ~Coordinator() override;

    FileViewHost *host() const { return m_host; }
    void update(const Description &description);
    void beginRename(const QUrl &url);

private:
    QSet<QUrl> selectedURLs() const;
    std::optional<QUrl> clickedURL(const QPoint &globalPos) const;
    void applySelection(const QSet<QUrl> &urls);
    void selectionDidChange();
    bool startEditing(const QModelIndex &index, const QUrl &url);
    void scheduleRename(const QUrl &url);

    Description m_parent;
    FileListModel *m_model;
    QPointer<IconGrid> m_collection;
    FileCollectionItem *m_item;
    QPointer<FileViewHost> m_host;
    bool m_isSyncing = false;
    std::optional<QUrl> m_scheduledRename;
};

FileIconView::Coordinator::Coordinator(FilesState::Services services, QWidget *parentWidget)
    : m_model(new FileListModel(this)), m_collection(new IconGrid),
      m_item(new FileCollectionItem(m_collection))
{
    m_collection->setModel(m_model);
    m_collection->setAccessibleName(QObject::tr("Files"));
    m_collection->setItemDelegate(m_item);
    m_collection->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_collection->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_collection->setDragEnabled(true);
    m_collection->setDragDropMode(QAbstractItemView::DragOnly);
    m_collection->setDefaultDropAction(Qt::CopyAction);

    QPointer<Coordinator> self(this);
    m_collection->onDoubleClick = [self](const QModelIndex &index) {
        if (self && index.isValid())
            invokeAction(self->m_parent.actions.open, self->m_model->entryAt(index.row()).url());
    };
    m_item->setOnRename([self](const QModelIndex &index, const QString &name) {
        if (self && index.isValid())
            invokeAction(self->m_parent.actions.rename, self->m_model->entryAt(index.row()).url(), name);
    });
    connect(m_collection->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &Coordinator::selectionDidChange);

    m_host = new FileViewHost(
        FileViewActions(), [this] { return selectedURLs(); },
        [this](const QPoint &globalPos) { return clickedURL(globalPos); }, std::move(services), parentWidget);
    m_host->embed(m_collection);
    m_host->setBeginRename([self](const QUrl &url) {
        if (self)
            self->beginRename(url);
    });
}

FileIconView::Coordinator::~Coordinator()
{
    // Going away is no reason to rename: the editor would otherwise commit as it loses focus.
    if (m_collection)
        m_collection->discardEditing();
    delete m_host.data();
}

void FileIconView::Coordinator::update(const Description &description)
{
    if (!m_host || !m_collection)
        return;
    m_host->setActions(description.actions);
    m_parent = description;

    const FileCollectionItem::Geometry geometry = FileCollectionItem::geometry(description.iconSize);
    const bool entriesChanged = description.entries != m_model->entries();
    if (entriesChanged || geometry.itemSize != m_collection->itemSize()) {
        QScopedValueRollback syncing(m_isSyncing, true);
        if (entriesChanged) {
            m_model->setEntries(description.entries);
            m_item->clearCommittedNames();
        }
        m_item->setIconSize(description.iconSize);
        m_collection->setItemSize(geometry.itemSize);
        m_collection->viewport()->update();
    }

    if (selectedURLs() != description.selection.value)
        applySelection(description.selection.value);

    if (const auto &request = description.renameRequest.value;
        request && m_model->rowOfPath(pathOf(*request)) >= 0)
        scheduleRename(*request);
}

void FileIconView::Coordinator::scheduleRename(const QUrl &url)
{
    // Several updates may pass before the deferred start runs; one start is enough.
    if (m_scheduledRename == url)
        return;
    m_scheduledRename = url;
    QTimer::singleShot(0, this, [this, url] {
        m_scheduledRename.reset();
        beginRename(url);
        m_parent.renameRequest.write(std::nullopt);
    });
}

QSet<QUrl> FileIconView::Coordinator::selectedURLs() const
{
    QSet<QUrl> urls;
    if (!m_collection)
        return urls;
    const QModelIndexList indexes = m_collection->selectionModel()->selectedIndexes();
    for (const QModelIndex &index : indexes)
        if (index.column() == 0)
            urls << m_model->entryAt(index.row()).url();
    return urls;
}

std::optional<QUrl> FileIconView::Coordinator::clickedURL(const QPoint &globalPos) const
{
    if (!m_collection)
        return std::nullopt;
    const QModelIndex index = m_collection->indexAt(m_collection->viewport()->mapFromGlobal(globalPos));
    if (!index.isValid())
        return std::nullopt;
    return m_model->entryAt(index.row()).url();
}

void FileIconView::Coordinator::applySelection(const QSet<QUrl> &urls)
{
    QSet<QString> paths;
    for (const QUrl &url : urls)
        paths.insert(pathOf(url));
    const QList<int> rows = m_model->rowsOfPaths(paths);

    QItemSelection selection;
    for (qsizetype i = 0; i < rows.size();) {
        qsizetype j = i;
        while (j + 1 < rows.size() && rows.at(j + 1) == rows.at(j) + 1)
            ++j;
        selection.select(m_model->index(rows.at(i), 0), m_model->index(rows.at(j), 0));
        i = j + 1;
    }
    QScopedValueRollback syncing(m_isSyncing, true);
    QItemSelectionModel *model = m_collection->selectionModel();
    model->select(selection, QItemSelectionModel::ClearAndSelect);
    if (!rows.isEmpty() && !model->isSelected(model->currentIndex()))
        model->setCurrentIndex(m_model->index(rows.first(), 0), QItemSelectionModel::NoUpdate);
}

void FileIconView::Coordinator::selectionDidChange()
{
    if (m_isSyncing)
        return;
    const QSet<QUrl> urls = selectedURLs();
    m_parent.selection.write(urls);
    invokeAction(m_parent.actions.selectionChanged, urls);
}

void FileIconView::Coordinator::beginRename(const QUrl &url)
{
    if (!m_collection)
        return;
    const int row = m_model->rowOfPath(pathOf(url));
    if (row < 0)
        return;
    const QModelIndex index = m_model->index(row, 0);
    m_collection->finishEditing();
    {
        QScopedValueRollback syncing(m_isSyncing, true);
        m_collection->selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect);
    }
    m_collection->scrollTo(index, QAbstractItemView::EnsureVisible);
    if (startEditing(index, url))
        return;
    QPointer<Coordinator> self(this);
    QTimer::singleShot(0, this, [self, index = QPersistentModelIndex(index), url] {
        if (self && index.isValid())
            self->startEditing(index, url);
    });
}

bool FileIconView::Coordinator::startEditing(const QModelIndex &index, const QUrl &url)
{
    if (!m_collection->beginEditing(index))
        return false;
    auto *editor = qobject_cast<QLineEdit *>(m_collection->indexWidget(index));
    selectBaseName(editor, url);
    return editor != nullptr;
}

// --- FileIconView ------------------------------------------------------------------------------

FileIconView::FileIconView(FilesState::Services services, QWidget *parent)
    : QObject(parent), m_coordinator(std::make_unique<Coordinator>(std::move(services), parent))
{
}

FileIconView::~FileIconView() = default;

FileViewHost *FileIconView::host() const
{
    return m_coordinator->host();
}

void FileIconView::update(const Description &description)
{
    m_coordinator->update(description);
}
