#include "filecolumnview.h"

#include "filelistmodel.h"
#include "filestore/listing.h"
#include "filestore/plaintext.h"
#include "fileviewhost.h"

#include <QAbstractScrollArea>
#include <QDir>
#include <QHash>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListView>
#include <QPainter>
#include <QPointer>
#include <QScopedValueRollback>
#include <QScrollBar>
#include <QStyledItemDelegate>
#include <QTimer>

#include <algorithm>
#include <vector>

namespace {

constexpr int GripWidth = 5;
constexpr int MinimumColumnWidth = 100;
constexpr int ArrowWidth = 16;

QString pathOf(const QUrl &url)
{
    return FileListModel::pathOf(url);
}

// The handle on the right edge of a column: a separator line that the user drags to resize
// the column.
class ColumnGrip final : public QWidget
{
public:
    explicit ColumnGrip(QWidget *parent) : QWidget(parent) { setCursor(Qt::SplitHCursor); }

    std::function<int()> currentWidth;
    std::function<void(int)> resizeTo;

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        painter.setPen(palette().color(QPalette::Mid));
        painter.drawLine(width() - 1, 0, width() - 1, height());
    }
    void mousePressEvent(QMouseEvent *event) override
    {
        m_pressX = event->globalPosition().x();
        m_startWidth = currentWidth ? currentWidth() : 0;
    }
    void mouseMoveEvent(QMouseEvent *event) override
    {
        if ((event->buttons() & Qt::LeftButton) && resizeTo)
            resizeTo(
                std::max(MinimumColumnWidth, m_startWidth + int(event->globalPosition().x() - m_pressX)));
    }

private:
    qreal m_pressX = 0;
    int m_startWidth = 0;
};

// Lays the columns side by side, each as wide as the user left it, and scrolls them sideways.
class ColumnBrowser final : public QAbstractScrollArea
{
public:
    explicit ColumnBrowser(QWidget *parent = nullptr) : QAbstractScrollArea(parent)
    {
        setFrameShape(QFrame::NoFrame);
        setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    }

    int count() const { return int(m_slots.size()); }
    QAbstractItemView *column(int i) const { return m_slots.at(size_t(i)).view; }

    void addColumn(QAbstractItemView *view)
    {
        const int index = count();
        auto *grip = new ColumnGrip(viewport());
        grip->currentWidth = [this, index] { return columnWidth(index); };
        grip->resizeTo = [this, index](int width) { setColumnWidth(index, width); };
        view->setParent(viewport());
        m_slots.push_back({view, grip});
        view->show();
        grip->show();
        relayout();
    }

    // Closes the columns from `first` on; they go once control returns to the event loop, since
    // one of them may be sending the signal that closes it.
    void removeColumnsFrom(int first)
    {
        while (count() > first) {
            const Slot slot = m_slots.back();
            m_slots.pop_back();
            slot.view->hide();
            slot.view->deleteLater();
            slot.grip->hide();
            slot.grip->deleteLater();
        }
        relayout();
    }

    int columnWidth(int i) const
    {
        return i < m_widths.size() ? m_widths.at(i) : FileColumnView::DefaultColumnWidth;
    }
    void setColumnWidth(int i, int width)
    {
        while (m_widths.size() <= i)
            m_widths << FileColumnView::DefaultColumnWidth;
        m_widths[i] = width;
        relayout();
    }

    void ensureColumnVisible(int i)
    {
        if (i < 0 || i >= count())
            return;
        int left = 0;
        for (int c = 0; c < i; ++c)
            left += columnWidth(c);
        const int right = left + columnWidth(i);
        QScrollBar *bar = horizontalScrollBar();
        if (right > bar->value() + viewport()->width())
            bar->setValue(right - viewport()->width());
        if (left < bar->value())
            bar->setValue(left);
    }

protected:
    void resizeEvent(QResizeEvent *event) override
    {
        QAbstractScrollArea::resizeEvent(event);
        relayout();
    }
    void scrollContentsBy(int, int) override { relayout(); }

private:
    struct Slot
    {
        QAbstractItemView *view;
        ColumnGrip *grip;
    };

    void relayout()
    {
        if (m_inLayout)
            return;
        QScopedValueRollback guard(m_inLayout, true);
        int total = 0;
        for (int i = 0; i < count(); ++i)
            total += columnWidth(i);
        QScrollBar *bar = horizontalScrollBar();
        bar->setPageStep(viewport()->width());
        bar->setSingleStep(20);
        bar->setRange(0, std::max(0, total - viewport()->width()));
        int x = -bar->value();
        const int height = viewport()->height();
        for (int i = 0; i < count(); ++i) {
            const int width = columnWidth(i);
            m_slots[size_t(i)].view->setGeometry(x, 0, width - GripWidth, height);
            m_slots[size_t(i)].grip->setGeometry(x + width - GripWidth, 0, GripWidth, height);
            x += width;
        }
    }

    std::vector<Slot> m_slots;
    QList<int> m_widths;
    bool m_inLayout = false;
};

// One column: the entries of one folder, 16-point icons, names shortened in the middle.
class BrowserColumn final : public QListView
{
public:
    BrowserColumn(const QUrl &folder, QWidget *parent = nullptr)
        : QListView(parent), folder(folder), folderPath(pathOf(folder)),
          model(new FileListModel(this, FileListModel::Columns::nameOnly))
    {
        setFrameShape(QFrame::NoFrame);
        setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        setUniformItemSizes(true);
        setSelectionMode(ExtendedSelection);
        setEditTriggers(NoEditTriggers);
        setIconSize(QSize(16, 16));
        setTextElideMode(Qt::ElideMiddle);
        setModel(model);
        FileViewHost::keepAccessibleRowsCurrent(this);
        connect(this, &QAbstractItemView::doubleClicked, this, [this](const QModelIndex &) {
            if (m_doubleClickButton == Qt::LeftButton && onDoubleClick)
                onDoubleClick();
        });
    }

    const QUrl folder;
    const QString folderPath;
    FileListModel *const model;
    std::function<void()> onDoubleClick;
    std::function<void(int key)> onSideways; // Left or Right

    using QListView::edit;

    // Closes an open name editor without a commit.
    void discardEditing()
    {
        if (QWidget *editor = m_editing.isValid() ? indexWidget(m_editing) : nullptr)
            closeEditor(editor, QAbstractItemDelegate::NoHint);
    }

    QList<int> selectedRows() const
    {
        QList<int> rows;
        for (const QModelIndex &index : selectionModel()->selectedIndexes())
            if (index.column() == 0)
                rows << index.row();
        std::sort(rows.begin(), rows.end());
        return rows;
    }

protected:
    QItemSelectionModel::SelectionFlags selectionCommand(const QModelIndex &index,
                                                         const QEvent *event) const override
    {
        return FileViewHost::keepsSelection(event) ? QItemSelectionModel::NoUpdate
                                                   : QListView::selectionCommand(index, event);
    }
    void keyPressEvent(QKeyEvent *event) override
    {
        const bool plain = (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier;
        if (plain && (event->key() == Qt::Key_Left || event->key() == Qt::Key_Right) && onSideways) {
            onSideways(event->key());
            return;
        }
        QListView::keyPressEvent(event);
    }
    void mouseDoubleClickEvent(QMouseEvent *event) override
    {
        m_doubleClickButton = event->button();
        QListView::mouseDoubleClickEvent(event);
        m_doubleClickButton = Qt::NoButton;
    }
    bool edit(const QModelIndex &index, EditTrigger trigger, QEvent *event) override
    {
        const bool started = QListView::edit(index, trigger, event);
        if (started)
            m_editing = index;
        return started;
    }

private:
    Qt::MouseButton m_doubleClickButton = Qt::NoButton;
    QPersistentModelIndex m_editing;
};

} // namespace

// A browser cell: the icon, the name and, for a folder, a mark that it opens a column. An edit
// is committed as a rename request, never written into the rows.
class FileBrowserCell final : public QStyledItemDelegate
{
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    std::function<void(const QModelIndex &, const QString &)> onCommit;
    // Whether the column lists a folder on the open path rather than the selection itself; its
    // selected folder then shows in grey.
    std::function<bool(const QWidget *column)> isPathColumn;

    void paint(QPainter *painter, const QStyleOptionViewItem &plain, const QModelIndex &index) const override
    {
        QStyleOptionViewItem option = plain;
        if ((option.state & QStyle::State_Selected) && isPathColumn && isPathColumn(option.widget)) {
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
            mark.palette.setColor(QPalette::WindowText,
                                  option.palette.color(group, QPalette::HighlightedText));
            mark.palette.setColor(QPalette::ButtonText,
                                  option.palette.color(group, QPalette::HighlightedText));
        }
        style->drawPrimitive(QStyle::PE_IndicatorArrowRight, &mark, painter, widget);
    }

    void setModelData(QWidget *editor, QAbstractItemModel *, const QModelIndex &index) const override
    {
        auto *line = qobject_cast<QLineEdit *>(editor);
        if (line && index.isValid() && onCommit)
            onCommit(index, line->text());
    }
};

// --- FileColumnView::Coordinator ---------------------------------------------------------------

class FileColumnView::Coordinator final : public QObject
{
public:
    Coordinator(FilesState::Services services, QWidget *parentWidget);
    ~Coordinator() override;

    FileViewHost *host() const { return m_host; }
    void update(const Description &description);
    void beginRename(const QUrl &url);
    QList<QUrl> openFolders() const;

    DirectoryLister lister;
    std::function<void()> openFoldersChanged;

private:
    const QList<FileEntry> &children(const QUrl &folder);
    BrowserColumn *column(int i) const { return static_cast<BrowserColumn *>(m_browser->column(i)); }
    int columnOf(const QObject *view) const;
    int selectedColumn() const;
    QSet<QUrl> selectedURLs() const;
    std::optional<QUrl> clickedURL(const QPoint &globalPos) const;

    void loadColumnZero();
    void reloadColumns();
    void openColumn(const QUrl &folder);
    void followSelection(int column);
    void reselect(BrowserColumn *view, const QSet<QString> &paths, const QString &currentPath);
    void selectionDidChange(const QObject *view);
    void columnClicked(const QObject *view);
    void doubleClick();
    void sideways(const QObject *view, int key);
    void commit(const QModelIndex &index, const QString &text);
    void scheduleRename(const QUrl &url);

    Description m_parent;
    QPointer<ColumnBrowser> m_browser;
    QPointer<FileViewHost> m_host;
    FileBrowserCell *m_cell;
    int m_reloadToken = 0;
    QHash<QString, QList<FileEntry>> m_childrenCache; // folder path → its listing
    bool m_isSyncing = false;
    std::optional<QUrl> m_scheduledRename;
};

FileColumnView::Coordinator::Coordinator(FilesState::Services services, QWidget *parentWidget)
    : lister([](const QUrl &folder) { return listDirectory(folder); }), m_browser(new ColumnBrowser),
      m_cell(new FileBrowserCell(this))
{
    m_cell->onCommit = [this](const QModelIndex &index, const QString &text) { commit(index, text); };
    m_cell->isPathColumn = [this](const QWidget *view) {
        const int c = columnOf(view);
        return c >= 0 && c < selectedColumn();
    };
    m_host = new FileViewHost(
        FileViewActions(), [this] { return selectedURLs(); },
        [this](const QPoint &globalPos) { return clickedURL(globalPos); }, std::move(services), parentWidget);
    m_host->embed(m_browser);
    QPointer<Coordinator> self(this);
    m_host->setBeginRename([self](const QUrl &url) {
        if (self)
            self->beginRename(url);
    });
}

FileColumnView::Coordinator::~Coordinator()
{
    // Going away is no reason to rename: the editor would otherwise commit as it loses focus.
    for (int i = 0; m_browser && i < m_browser->count(); ++i)
        column(i)->discardEditing();
    delete m_host.data();
}

void FileColumnView::Coordinator::update(const Description &description)
{
    if (!m_host || !m_browser)
        return;
    m_host->setActions(description.actions);
    const bool rootChanged = m_browser->count() == 0 || pathOf(description.rootURL) != column(0)->folderPath;
    m_parent = description;
    if (rootChanged) {
        m_reloadToken = description.reloadToken;
        m_childrenCache.clear();
        loadColumnZero();
    } else if (description.reloadToken != m_reloadToken) {
        m_reloadToken = description.reloadToken;
        reloadColumns();
    }
    // Always cleared once tried, even when the item is in no open column.
    if (description.renameRequest.value)
        scheduleRename(*description.renameRequest.value);
}

void FileColumnView::Coordinator::scheduleRename(const QUrl &url)
{
    if (m_scheduledRename == url)
        return;
    m_scheduledRename = url;
    QTimer::singleShot(0, this, [this, url] {
        m_scheduledRename.reset();
        beginRename(url);
        m_parent.renameRequest.write(std::nullopt);
    });
}

const QList<FileEntry> &FileColumnView::Coordinator::children(const QUrl &folder)
{
    const QString key = pathOf(folder);
    auto cached = m_childrenCache.find(key);
    if (cached == m_childrenCache.end())
        cached = m_childrenCache.insert(key, lister ? lister(folder) : QList<FileEntry>());
    return *cached;
}

int FileColumnView::Coordinator::columnOf(const QObject *view) const
{
    for (int i = 0; i < m_browser->count(); ++i)
        if (m_browser->column(i) == view)
            return i;
    return -1;
}

int FileColumnView::Coordinator::selectedColumn() const
{
    for (int i = m_browser ? m_browser->count() - 1 : -1; i >= 0; --i)
        if (column(i)->selectionModel()->hasSelection())
            return i;
    return -1;
}

QSet<QUrl> FileColumnView::Coordinator::selectedURLs() const
{
    QSet<QUrl> urls;
    const int c = selectedColumn();
    if (c < 0)
        return urls;
    const BrowserColumn *view = column(c);
    for (int row : view->selectedRows())
        urls << view->model->entryAt(row).url();
    return urls;
}

std::optional<QUrl> FileColumnView::Coordinator::clickedURL(const QPoint &globalPos) const
{
    for (int i = 0; m_browser && i < m_browser->count(); ++i) {
        const BrowserColumn *view = column(i);
        const QPoint local = view->viewport()->mapFromGlobal(globalPos);
        if (!view->viewport()->rect().contains(local))
            continue;
        const QModelIndex index = view->indexAt(local);
        if (!index.isValid())
            return std::nullopt;
        return view->model->entryAt(index.row()).url();
    }
    return std::nullopt;
}

QList<QUrl> FileColumnView::Coordinator::openFolders() const
{
    QList<QUrl> folders;
    for (int i = 0; m_browser && i < m_browser->count(); ++i)
        folders << column(i)->folder;
    return folders;
}

void FileColumnView::Coordinator::loadColumnZero()
{
    QScopedValueRollback syncing(m_isSyncing, true);
    m_browser->removeColumnsFrom(0);
    openColumn(m_parent.rootURL);
}

void FileColumnView::Coordinator::openColumn(const QUrl &folder)
{
    auto *view = new BrowserColumn(folder);
    // Screen readers name each column after its folder.
    view->setAccessibleName(folder == m_parent.rootURL ? QObject::tr("Files")
                                                       : PlainText::oneLine(folder.fileName()));
    view->setItemDelegate(m_cell);
    view->model->setEntries(children(folder));
    connect(view->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            [this, view] { selectionDidChange(view); });
    connect(view, &QAbstractItemView::clicked, this, [this, view] { columnClicked(view); });
    view->onDoubleClick = [this] { doubleClick(); };
    view->onSideways = [this, view](int key) { sideways(view, key); };
    m_host->attach(view);
    m_browser->addColumn(view);
    m_browser->ensureColumnVisible(m_browser->count() - 1);
    if (openFoldersChanged)
        openFoldersChanged();
}

// Closes what lies right of the column and, when it has one folder selected, lists that folder
// in a new column: what the browser itself does on a selection.
void FileColumnView::Coordinator::followSelection(int c)
{
    QScopedValueRollback syncing(m_isSyncing, true);
    const int open = m_browser->count();
    m_browser->removeColumnsFrom(c + 1);
    if (m_browser->count() != open && openFoldersChanged)
        openFoldersChanged();
    for (int i = 0; i <= c; ++i)
        column(i)->viewport()->update(); // which of them shows the path may have changed
    const BrowserColumn *view = column(c);
    const QList<int> rows = view->selectedRows();
    if (rows.size() == 1 && view->model->entryAt(rows.first()).isDirectory())
        openColumn(view->model->entryAt(rows.first()).url());
}

void FileColumnView::Coordinator::reloadColumns()
{
    m_childrenCache.clear();
    QScopedValueRollback syncing(m_isSyncing, true);
    for (int c = 0; c < m_browser->count(); ++c) {
        BrowserColumn *view = column(c);
        QSet<QString> selectedPaths;
        for (int row : view->selectedRows())
            selectedPaths.insert(view->model->entryAt(row).path());
        const QModelIndex current = view->currentIndex();
        const QString currentPath =
            current.isValid() ? view->model->entryAt(current.row()).path() : QString();

        view->model->setEntries(children(view->folder));
        reselect(view, selectedPaths, currentPath);

        // The next column lists the one folder selected here; when that folder is gone, so is
        // the path beyond it.
        if (c + 1 < m_browser->count()) {
            const QList<int> rows = view->selectedRows();
            const bool stillOpen = rows.size() == 1 && view->model->entryAt(rows.first()).isDirectory() &&
                                   view->model->entryAt(rows.first()).path() == column(c + 1)->folderPath;
            if (!stillOpen) {
                followSelection(c);
                break;
            }
        }
    }
}

void FileColumnView::Coordinator::reselect(BrowserColumn *view, const QSet<QString> &paths,
                                           const QString &currentPath)
{
    QItemSelection selection;
    for (int row : view->model->rowsOfPaths(paths))
        selection.select(view->model->index(row, 0), view->model->index(row, 0));
    if (const int row = view->model->rowOfPath(currentPath); row >= 0)
        view->selectionModel()->setCurrentIndex(view->model->index(row, 0), QItemSelectionModel::NoUpdate);
    view->selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect);
}

void FileColumnView::Coordinator::selectionDidChange(const QObject *view)
{
    if (m_isSyncing)
        return;
    const int c = columnOf(view);
    if (c < 0)
        return;
    followSelection(c);

    const QSet<QUrl> urls = selectedURLs();
    m_parent.selection.write(urls);
    invokeAction(m_parent.actions.selectionChanged, urls);

    const int selected = selectedColumn();
    if (selected < 0)
        return;
    const BrowserColumn *selectedView = column(selected);
    const QList<int> rows = selectedView->selectedRows();
    if (urls.size() == 1 && rows.size() == 1 && selectedView->model->entryAt(rows.first()).isDirectory())
        invokeAction(m_parent.actions.directoryChanged, selectedView->model->entryAt(rows.first()).url());
    else
        invokeAction(m_parent.actions.directoryChanged, selectedView->folder);
}

// A click on a folder that is already selected, its contents open to the right, changes no
// selection and so reports nothing; yet it makes that folder the selection again and closes what
// was chosen beyond it, which Return and Delete would otherwise act on.
void FileColumnView::Coordinator::columnClicked(const QObject *view)
{
    const int c = columnOf(view);
    if (c >= 0 && c < selectedColumn())
        selectionDidChange(view);
}

void FileColumnView::Coordinator::doubleClick()
{
    const int c = selectedColumn();
    if (c < 0)
        return;
    const BrowserColumn *view = column(c);
    // Folders are skipped: a single click already lists them.
    QList<QUrl> files;
    for (int row : view->selectedRows())
        if (!view->model->entryAt(row).isDirectory())
            files << view->model->entryAt(row).url();
    for (const QUrl &url : std::as_const(files))
        invokeAction(m_parent.actions.open, url);
}

void FileColumnView::Coordinator::sideways(const QObject *view, int key)
{
    const int c = columnOf(view);
    if (c < 0)
        return;
    if (key == Qt::Key_Right && c + 1 < m_browser->count()) {
        BrowserColumn *next = column(c + 1);
        if (next->model->rowCount() == 0)
            return;
        next->setFocus();
        if (!next->selectionModel()->hasSelection())
            next->selectionModel()->setCurrentIndex(next->model->index(0, 0),
                                                    QItemSelectionModel::ClearAndSelect);
    } else if (key == Qt::Key_Left && c > 0) {
        BrowserColumn *previous = column(c - 1);
        previous->setFocus();
        column(c)->selectionModel()->clearSelection();
    }
}

void FileColumnView::Coordinator::commit(const QModelIndex &index, const QString &text)
{
    const auto *model = qobject_cast<const FileListModel *>(index.model());
    if (!model || index.row() >= model->rowCount())
        return;
    const FileEntry &entry = model->entryAt(index.row());
    if (text != entry.name())
        invokeAction(m_parent.actions.rename, entry.url(), text);
}

void FileColumnView::Coordinator::beginRename(const QUrl &url)
{
    if (!m_browser)
        return;
    const QString parentPath = QDir::cleanPath(pathOf(url) + QStringLiteral("/.."));
    for (int c = 0; c < m_browser->count(); ++c) {
        BrowserColumn *view = column(c);
        if (view->folderPath != parentPath)
            continue;
        const int row = view->model->rowOfPath(pathOf(url));
        if (row < 0)
            continue;
        const QModelIndex index = view->model->index(row, 0);
        {
            QScopedValueRollback syncing(m_isSyncing, true);
            view->selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect);
        }
        followSelection(c);
        m_browser->ensureColumnVisible(c);
        view->scrollTo(index);
        // The editor starts with its whole text selected.
        view->edit(index);
        return;
    }
}

// --- FileColumnView ----------------------------------------------------------------------------

FileColumnView::FileColumnView(FilesState::Services services, QWidget *parent)
    : QObject(parent), m_coordinator(std::make_unique<Coordinator>(std::move(services), parent))
{
    m_coordinator->openFoldersChanged = [this] { emit openFoldersChanged(); };
}

FileColumnView::~FileColumnView() = default;

FileViewHost *FileColumnView::host() const
{
    return m_coordinator->host();
}

void FileColumnView::update(const Description &description)
{
    m_coordinator->update(description);
}

void FileColumnView::setDirectoryLister(DirectoryLister lister)
{
    m_coordinator->lister = std::move(lister);
}

QList<QUrl> FileColumnView::openFolders() const
{
    return m_coordinator->openFolders();
}
