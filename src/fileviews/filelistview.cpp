#include "filelistview.h"

#include "filelistmodel.h"
#include "itemviewrules.h"

#include <QDrag>
#include <QHeaderView>
#include <QItemSelection>
#include <QLineEdit>
#include <QPainter>
#include <QScopedValueRollback>
#include <QStyledItemDelegate>
#include <QTreeView>
#include <QVBoxLayout>

#include <cmath>

namespace {

constexpr int columnWidths[FileListModel::ColumnCount] = {260, 160, 80, 160};

// The Name column's editor reports the text it ends with instead of writing it into the model:
// the new name shows only once the screen has renamed the item and listed the folder again.
class NameDelegate final : public QStyledItemDelegate
{
    Q_OBJECT
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void setModelData(QWidget *editor, QAbstractItemModel *, const QModelIndex &index) const override
    {
        if (auto *field = qobject_cast<QLineEdit *>(editor))
            emit editEnded(index.row(), field->text());
    }

signals:
    void editEnded(int row, const QString &text) const;
};

// The table of the list. It fills its width as a platform table does: the columns share the
// width beyond their starting widths in proportion to them, and a table narrower than that
// scrolls sideways. A width set from outside (the starting widths, the user dragging a header
// edge) is kept as that column's share. It drags what a file manager drags: the selected items
// once each, shown by the first one's icon and name (and how many there are), not a strip of
// every column of every row.
class FileTable final : public QTreeView
{
public:
    FileTable()
    {
        connect(header(), &QHeaderView::sectionResized, this, [this](int section, int, int size) {
            if (m_fitting)
                return;
            if (m_shares.size() <= section)
                m_shares.resize(section + 1, 0);
            m_shares[section] = std::max(1, int(std::lround(size / m_scale)));
        });
    }

protected:
    // Also called when only the viewport changes, as when the vertical scroll bar comes or goes.
    // A change of height alone (the horizontal scroll bar) leaves the columns as they are, so
    // that a column the user drags wider is not squeezed back while it is dragged.
    void resizeEvent(QResizeEvent *event) override
    {
        QTreeView::resizeEvent(event);
        if (viewport()->width() != m_fittedWidth)
            fitColumns();
    }

    QItemSelectionModel::SelectionFlags selectionCommand(const QModelIndex &index,
                                                         const QEvent *event) const override
    {
        return ItemViewRules::keepsSelection(event) ? QItemSelectionModel::NoUpdate
                                                    : QTreeView::selectionCommand(index, event);
    }

    void startDrag(Qt::DropActions supportedActions) override
    {
        const QModelIndexList rows = selectionModel()->selectedRows(FileListModel::NameColumn);
        if (rows.isEmpty())
            return;
        QMimeData *data = model()->mimeData(rows);
        if (!data)
            return;
        auto *drag = new QDrag(this);
        drag->setMimeData(data);
        drag->setPixmap(dragImage(rows));
        drag->setHotSpot(QPoint(8, 8));
        drag->exec(supportedActions, defaultDropAction());
    }

private:
    QPixmap dragImage(const QModelIndexList &rows) const
    {
        QModelIndex first = rows.first();
        for (const QModelIndex &row : rows)
            if (row.row() < first.row())
                first = row;
        const QIcon icon = first.data(Qt::DecorationRole).value<QIcon>();
        QString label = first.data(Qt::DisplayRole).toString();
        if (rows.size() > 1)
            label = tr("%1 and %n more", nullptr, int(rows.size() - 1)).arg(label);
        const QFontMetrics metrics = fontMetrics();
        label = metrics.elidedText(label, Qt::ElideMiddle, 280);
        const int iconSide = 32;
        const QSize size(iconSide + 6 + metrics.horizontalAdvance(label) + 8,
                         std::max(iconSide, metrics.height() + 6));
        const qreal ratio = devicePixelRatioF();
        QPixmap image(size * ratio);
        image.setDevicePixelRatio(ratio);
        image.fill(Qt::transparent);
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        icon.paint(&painter, QRect(0, (size.height() - iconSide) / 2, iconSide, iconSide));
        const QRect text(iconSide + 2, (size.height() - metrics.height() - 4) / 2,
                         size.width() - iconSide - 2, metrics.height() + 4);
        painter.setPen(Qt::NoPen);
        painter.setBrush(palette().color(QPalette::Highlight));
        painter.drawRoundedRect(text, 4, 4);
        painter.setPen(palette().color(QPalette::HighlightedText));
        painter.drawText(text, Qt::AlignCenter, label);
        return image;
    }

    void fitColumns()
    {
        const int count = header()->count();
        if (count == 0)
            return;
        if (m_shares.size() < count)
            m_shares.resize(count, 0);
        int total = 0;
        for (int i = 0; i < count; ++i) {
            if (m_shares.at(i) <= 0)
                m_shares[i] = std::max(1, header()->sectionSize(i));
            total += m_shares.at(i);
        }
        const int available = viewport()->width();
        m_fittedWidth = available;
        m_scale = available > total ? double(available) / total : 1.0;
        QScopedValueRollback fitting(m_fitting, true);
        int used = 0;
        for (int i = 0; i < count; ++i) {
            // The last column takes what rounding left, so that the columns end at the edge.
            const int width = i + 1 < count || available <= total ? int(std::lround(m_shares.at(i) * m_scale))
                                                                  : available - used;
            header()->resizeSection(i, width);
            used += width;
        }
    }

    QList<int> m_shares; // each column's width in a table no wider than their sum
    double m_scale = 1.0;
    int m_fittedWidth = -1;
    bool m_fitting = false;
};

void setUpTable(QTreeView *table)
{
    table->setAccessibleName(QObject::tr("Files"));
    table->setRootIsDecorated(false);
    table->setItemsExpandable(false);
    table->setExpandsOnDoubleClick(false);
    // Every row is one line: the view then lays out 100,000 rows without asking for their sizes.
    table->setUniformRowHeights(true);
    table->setAlternatingRowColors(true);
    table->setSortingEnabled(false);
    table->setAllColumnsShowFocus(true);
    table->setSelectionMode(QAbstractItemView::ExtendedSelection);
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    // Renaming starts only through the commands (Return, the menu) or a rename request.
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->setTextElideMode(Qt::ElideMiddle);
    table->setIconSize(QSize(16, 16));
    // Rows are dragged out as file URLs; drops belong to the screen around the view.
    table->setDragDropMode(QAbstractItemView::DragOnly);
    table->setDefaultDropAction(Qt::CopyAction);
    table->setAcceptDrops(false);
    table->viewport()->setAcceptDrops(false);
}

} // namespace
FileListView::FileListView(QWidget *parent)
    : FileView(parent), m_table(new FileTable), m_model(new FileListModel(this))
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_table);
    setUpTable(m_table);
    m_table->setModel(m_model);
    ItemViewRules::keepAccessibleRowsCurrent(m_table);
    QHeaderView *header = m_table->header();
    header->setStretchLastSection(false);
    for (int column = 0; column < FileListModel::ColumnCount; ++column)
        header->resizeSection(column, columnWidths[column]);
    auto *delegate = new NameDelegate(m_table);
    m_table->setItemDelegateForColumn(FileListModel::NameColumn, delegate);
    connect(delegate, &NameDelegate::editEnded, this, &FileListView::editEnded);
    watchItemView(m_table);

    connect(m_table->selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] {
        m_selectedUrls.reset();
        reportSelection();
    });
    connect(m_table, &QAbstractItemView::doubleClicked, this, [this](const QModelIndex &index) {
        if (index.isValid() && index.row() < m_model->rowCount())
            emit activated(m_model->entryAt(index.row()).url());
    });
    // A reset empties the selection without a notification, and removed rows leave it.
    connect(m_model, &QAbstractItemModel::modelReset, this, [this] { m_selectedUrls.reset(); });
    connect(m_model, &QAbstractItemModel::rowsRemoved, this, [this] { m_selectedUrls.reset(); });
}

QList<QAbstractItemView *> FileListView::itemViews() const
{
    return {m_table};
}

QSet<QUrl> FileListView::selectedUrls() const
{
    if (m_selectedUrls)
        return *m_selectedUrls;
    QSet<QUrl> urls;
    const QItemSelection selection = m_table->selectionModel()->selection();
    for (const QItemSelectionRange &range : selection) {
        for (int row = range.top(); row <= range.bottom(); ++row)
            urls.insert(m_model->entryAt(row).url());
    }
    m_selectedUrls = urls;
    return urls;
}

std::optional<QUrl> FileListView::urlAt(const QPoint &globalPos) const
{
    const QModelIndex index = m_table->indexAt(m_table->viewport()->mapFromGlobal(globalPos));
    if (!index.isValid())
        return std::nullopt;
    return m_model->entryAt(index.row()).url();
}

void FileListView::setEntries(const QList<FileEntry> &entries)
{
    if (entries == m_model->entries())
        return;
    {
        Syncing syncing(this);
        m_model->setEntries(entries);
    }
    tryRenameRequest();
    emit entriesChanged();
}

std::optional<FileEntry> FileListView::entryOf(const QUrl &url) const
{
    const int row = m_model->rowOf(url);
    return row >= 0 ? std::optional(m_model->entryAt(row)) : std::nullopt;
}

void FileListView::applySelection(const QSet<QUrl> &urls)
{
    QSet<QString> paths;
    for (const QUrl &url : urls) {
        if (url.isLocalFile())
            paths.insert(FileListModel::pathOf(url));
    }
    const QList<int> rows = m_model->rowsOfPaths(paths);
    // Runs of neighbouring rows become one range each.
    QItemSelection rowSelection;
    const int lastColumn = FileListModel::ColumnCount - 1;
    for (qsizetype i = 0; i < rows.size();) {
        qsizetype end = i;
        while (end + 1 < rows.size() && rows.at(end + 1) == rows.at(end) + 1)
            ++end;
        rowSelection.select(m_model->index(rows.at(i), 0), m_model->index(rows.at(end), lastColumn));
        i = end + 1;
    }
    m_table->selectionModel()->select(rowSelection, QItemSelectionModel::ClearAndSelect);
}

bool FileListView::canTryRename(const QUrl &url) const
{
    return m_model->rowOfPath(FileListModel::pathOf(url)) >= 0;
}

// The row is selected alone, reported like a user's selection.
QLineEdit *FileListView::openEditor(const QUrl &url)
{
    const int row = m_model->rowOfPath(FileListModel::pathOf(url));
    if (row < 0)
        return nullptr;
    const QModelIndex index = m_model->index(row, FileListModel::NameColumn);
    m_table->selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect |
                                                          QItemSelectionModel::Rows);
    m_table->scrollTo(index);
    m_table->edit(index);
    return qobject_cast<QLineEdit *>(m_table->indexWidget(index));
}

void FileListView::editEnded(int row, const QString &text)
{
    if (row < 0 || row >= m_model->rowCount())
        return;
    const FileEntry &entry = m_model->entryAt(row);
    if (text != entry.name())
        emit renameRequested(entry.url(), text);
}

#include "filelistview.moc"
