#include "filelistview.h"

#include "filelistmodel.h"
#include "fileviewhost.h"
#include "selectbasename.h"

#include <QDir>
#include <QDrag>
#include <QHeaderView>
#include <QItemSelection>
#include <QLineEdit>
#include <QPainter>
#include <QScopedValueRollback>
#include <QStyledItemDelegate>
#include <QTimer>
#include <QTreeView>

#include <cmath>
#include <functional>

namespace {

constexpr int columnWidths[FileListModel::ColumnCount] = {260, 160, 80, 160};

QString pathOf(const QUrl &url)
{
    return QDir::cleanPath(url.toLocalFile());
}

// The Name column's editor reports the text it ends with instead of writing it into the model:
// the new name shows only once the screen has renamed the item and listed the folder again.
class NameDelegate final : public QStyledItemDelegate
{
public:
    using EndEditing = std::function<void(int row, const QString &text)>;

    NameDelegate(EndEditing endEditing, QObject *parent)
        : QStyledItemDelegate(parent), m_endEditing(std::move(endEditing))
    {
    }

    void setModelData(QWidget *editor, QAbstractItemModel *, const QModelIndex &index) const override
    {
        if (auto *field = qobject_cast<QLineEdit *>(editor))
            m_endEditing(index.row(), field->text());
    }

private:
    EndEditing m_endEditing;
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
        return FileViewHost::keepsSelection(event) ? QItemSelectionModel::NoUpdate
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
    // Renaming starts only through the host (Return, the menu) or a rename request.
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

// Marks a change the view makes itself, so that its selection notifications are not reported.
class FileListView::Coordinator::Syncing
{
public:
    explicit Syncing(Coordinator *coordinator) : m_coordinator(coordinator), m_was(coordinator->m_isSyncing)
    {
        m_coordinator->m_isSyncing = true;
    }
    ~Syncing() { m_coordinator->m_isSyncing = m_was; }
    Q_DISABLE_COPY_MOVE(Syncing)

private:
    Coordinator *m_coordinator;
    bool m_was;
};

FileListView::FileListView(FilesState::Services services, QWidget *parent) : QObject(parent)
{
    auto *table = new FileTable;
    m_coordinator = std::make_unique<Coordinator>(table);
    Coordinator *coordinator = m_coordinator.get();
    m_host = new FileViewHost(
        FileViewActions(), [coordinator] { return coordinator->selectedURLs(); },
        [coordinator](const QPoint &globalPos) { return coordinator->clickedURL(globalPos); },
        std::move(services), parent);
    m_host->embed(table);
    m_host->setBeginRename([coordinator](const QUrl &url) { coordinator->beginRename(url); });
}

// The host (and the table in it) goes first: its callbacks and the table's model belong to the
// coordinator.
FileListView::~FileListView()
{
    delete m_host.data();
}

QTreeView *FileListView::table() const
{
    return m_coordinator->table();
}

FileListModel *FileListView::model() const
{
    return m_coordinator->model();
}

void FileListView::update(const Description &description)
{
    if (m_host)
        m_host->setActions(description.actions);
    m_coordinator->setDescription(description);
    m_coordinator->applyEntries(description.entries);
    m_coordinator->applySelection(description.selection.value);
    m_coordinator->applyRenameRequest(description.renameRequest.value);
}

FileListView::Coordinator::Coordinator(QTreeView *table) : m_table(table), m_model(new FileListModel(this))
{
    setUpTable(table);
    table->setModel(m_model);
    FileViewHost::keepAccessibleRowsCurrent(table);
    QHeaderView *header = table->header();
    header->setStretchLastSection(false);
    for (int column = 0; column < FileListModel::ColumnCount; ++column)
        header->resizeSection(column, columnWidths[column]);
    table->setItemDelegateForColumn(
        FileListModel::NameColumn,
        new NameDelegate([this](int row, const QString &text) { textDidEndEditing(row, text); }, table));

    connect(table->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &Coordinator::selectionDidChange);
    connect(table, &QAbstractItemView::doubleClicked, this, &Coordinator::doubleClick);
    // A reset empties the selection without a notification, and removed rows leave it.
    connect(m_model, &QAbstractItemModel::modelReset, this, [this] { m_selectedURLs.reset(); });
    connect(m_model, &QAbstractItemModel::rowsRemoved, this, [this] { m_selectedURLs.reset(); });
}

FileListView::Coordinator::~Coordinator() = default;

QTreeView *FileListView::Coordinator::table() const
{
    return m_table.data();
}

const QList<FileEntry> &FileListView::Coordinator::entries() const
{
    return m_model->entries();
}

QSet<QUrl> FileListView::Coordinator::selectedURLs() const
{
    if (m_selectedURLs)
        return *m_selectedURLs;
    QSet<QUrl> urls;
    if (m_table) {
        const QItemSelection selection = m_table->selectionModel()->selection();
        for (const QItemSelectionRange &range : selection) {
            for (int row = range.top(); row <= range.bottom(); ++row)
                urls.insert(m_model->entryAt(row).url());
        }
    }
    m_selectedURLs = urls;
    return urls;
}

std::optional<QUrl> FileListView::Coordinator::clickedURL(const QPoint &globalPos) const
{
    if (!m_table)
        return std::nullopt;
    const QModelIndex index = m_table->indexAt(m_table->viewport()->mapFromGlobal(globalPos));
    if (!index.isValid())
        return std::nullopt;
    return m_model->entryAt(index.row()).url();
}

void FileListView::Coordinator::applyEntries(const QList<FileEntry> &entries)
{
    if (entries == m_model->entries())
        return;
    Syncing syncing(this);
    m_model->setEntries(entries);
}

void FileListView::Coordinator::applySelection(const QSet<QUrl> &selection)
{
    if (!m_table || selectedURLs() == selection)
        return;
    QSet<QString> paths;
    for (const QUrl &url : selection) {
        if (url.isLocalFile())
            paths.insert(pathOf(url));
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
    Syncing syncing(this);
    m_table->selectionModel()->select(rowSelection, QItemSelectionModel::ClearAndSelect);
}

void FileListView::Coordinator::applyRenameRequest(const std::optional<QUrl> &request)
{
    if (!request || m_scheduledRename == request || m_model->rowOfPath(pathOf(*request)) < 0)
        return;
    m_scheduledRename = request;
    // After this update, when the table holds the new rows and the screen is done re-applying.
    QTimer::singleShot(0, this, [this, url = *request] {
        m_scheduledRename.reset();
        beginRename(url);
        const Binding<std::optional<QUrl>> renameRequest = m_description.renameRequest;
        renameRequest.write(std::nullopt);
    });
}

void FileListView::Coordinator::beginRename(const QUrl &url)
{
    const int row = m_model->rowOfPath(pathOf(url));
    if (!m_table || row < 0)
        return;
    const QModelIndex index = m_model->index(row, FileListModel::NameColumn);
    m_table->selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect |
                                                          QItemSelectionModel::Rows);
    m_table->scrollTo(index);
    m_table->edit(index);
    // The view has selected the whole text as it opened the editor; narrow that to the stem.
    selectBaseName(qobject_cast<QLineEdit *>(m_table->indexWidget(index)), m_model->entryAt(row).url());
}

// The callbacks are copied before the call: they may reach the screen, which may hand this
// coordinator a new description while they run.
void FileListView::Coordinator::selectionDidChange()
{
    m_selectedURLs.reset();
    if (m_isSyncing)
        return;
    const QSet<QUrl> urls = selectedURLs();
    const Binding<QSet<QUrl>> selection = m_description.selection;
    selection.write(urls);
    const auto selectionChanged = m_description.actions.selectionChanged;
    invokeAction(selectionChanged, urls);
}

void FileListView::Coordinator::doubleClick(const QModelIndex &index)
{
    if (!index.isValid() || index.row() >= m_model->rowCount())
        return;
    const auto open = m_description.actions.open;
    invokeAction(open, m_model->entryAt(index.row()).url());
}

void FileListView::Coordinator::textDidEndEditing(int row, const QString &text)
{
    if (row < 0 || row >= m_model->rowCount())
        return;
    const FileEntry &entry = m_model->entryAt(row);
    if (text == entry.name())
        return;
    const auto rename = m_description.actions.rename;
    invokeAction(rename, entry.url(), text);
}
