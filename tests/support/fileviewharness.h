#pragma once

#include "filestore/listing.h"
#include "fileviews/fileactions.h"
#include "fileviews/filecolumnview.h"
#include "fileviews/fileiconview.h"
#include "fileviews/filelistview.h"
#include "support/recordingservices.h"

#include <QAbstractItemModelTester>
#include <QAccessible>
#include <QApplication>
#include <QContextMenuEvent>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QMutex>
#include <QTest>
#include <QTreeView>
#include <QVBoxLayout>

#include <algorithm>

// A trash that only remembers what it was given; safe on any thread.
class RecordingTrash final : public Trash
{
public:
    Status moveToTrash(const QString &path) override
    {
        const QMutexLocker lock(&m_mutex);
        m_paths.insert(QUrl::fromLocalFile(path));
        return Status::success({});
    }
    QSet<QUrl> trashed() const
    {
        const QMutexLocker lock(&m_mutex);
        return m_paths;
    }

private:
    mutable QMutex m_mutex;
    QSet<QUrl> m_paths;
};

// The three modes of the Files screen, made interchangeable for tests: one of them over a real
// folder in a shown window, with the commands of a FileActions over a state of that folder, and
// the screen's side (the values handed in and every signal) recorded; the columns read through
// the state, in the background, as on the screen. Items are named relative to the folder; in the
// columns they are those of the first.
enum class ViewKind { list, icons, columns };

// The rows' names as a screen reader reads them.
inline QStringList accessibleNames(QAbstractItemView *view)
{
    QAccessibleInterface *iface = QAccessible::queryAccessibleInterface(view);
    QAccessibleTableInterface *table = iface->tableInterface();
    QStringList names;
    for (int row = 0; row < (table ? table->rowCount() : iface->childCount()); ++row) {
        QAccessibleInterface *item = table ? table->cellAt(row, 0) : iface->child(row);
        names << (item ? item->text(QAccessible::Name) : QString());
    }
    return names;
}

class FileViewHarness
{
public:
    FileViewHarness(ViewKind kind, const QString &folder) : kind(kind), folder(folder)
    {
        const FilesState::Services services{workspace, pasteboard, trash};
        state = new FilesState([url = QUrl::fromLocalFile(folder)] { return std::optional<QUrl>(url); },
                               services, &window);
        state->setBoundary(folder);
        if (kind == ViewKind::list)
            fileView = list = new FileListView(&window);
        else if (kind == ViewKind::icons)
            fileView = icons = new FileIconView(&window);
        else
            fileView = columns = new FileColumnView(&window);
        actions = new FileActions(state, services, &window);
        actions->setView(fileView);
        QObject::connect(fileView, &FileView::activated, &window, [this](const QUrl &url) { opened << url; });
        QObject::connect(fileView, &FileView::renameRequested, &window,
                         [this](const QUrl &url, const QString &name) { renames << std::pair(url, name); });
        QObject::connect(fileView, &FileView::selectionChanged, &window, [this](const QSet<QUrl> &urls) {
            selection = urls;
            ++selectionWrites;
            reported << urls;
        });
        QObject::connect(fileView, &FileView::renameRequestDone, &window, [this] {
            renameRequest.reset();
            ++renameRequestWrites;
        });
        // The columns' reads go where the screen sends them: to the state, in the background.
        state->reload(true);
        (void)QTest::qWaitFor([this] { return !state->isReloading(); });
        QObject::connect(fileView, &FileView::listingsWanted, &window, [this](const QList<QUrl> &folders) {
            reads += int(folders.size());
            state->readFolders(folders);
        });
        QObject::connect(state, &FilesState::folderRead, fileView, &FileView::setListing);
        for (QAbstractItemView *view : fileView->itemViews())
            new QAbstractItemModelTester(view->model(), &window);
        QObject::connect(fileView, &FileView::itemViewAdded, &window,
                         [](QAbstractItemView *view) { new QAbstractItemModelTester(view->model(), view); });
        auto *layout = new QVBoxLayout(&window);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->addWidget(fileView);
        window.resize(760, 400);
        reload();
        window.show();
        if (!QTest::qWaitForWindowExposed(&window))
            QTest::qFail("the views' window never showed", __FILE__, __LINE__);
    }

    // Hands the values over again, as the screen does after any change of its state.
    void update()
    {
        fileView->setEntries(entries);
        fileView->setRoot(QUrl::fromLocalFile(folder), reloadToken);
        fileView->setSelectedUrls(selection);
        fileView->setRenameRequest(renameRequest);
    }
    // The screen read the folder again; the columns' listings have arrived.
    void reload()
    {
        entries = listDirectory(folder);
        ++reloadToken;
        update();
        if (columns)
            (void)QTest::qWaitFor([this] { return !columns->isReading(); });
    }

    // The list, the grid, or the first column.
    QAbstractItemView *view() const
    {
        if (list)
            return list->table();
        QList<QAbstractItemView *> views;
        for (QAbstractItemView *v : fileView->findChildren<QAbstractItemView *>())
            if (v->isVisibleTo(fileView))
                views << v;
        return *std::min_element(views.begin(), views.end(), [this](auto *a, auto *b) {
            return a->mapTo(fileView, QPoint()).x() < b->mapTo(fileView, QPoint()).x();
        });
    }
    QWidget *viewport() const { return view()->viewport(); }
    QUrl url(const QString &name) const { return QUrl::fromLocalFile(folder + u'/' + name); }
    QModelIndex index(const QString &name) const
    {
        const QAbstractItemModel *model = view()->model();
        for (int row = 0; row < model->rowCount(); ++row)
            if (model->index(row, 0).data().toString() == name)
                return model->index(row, 0);
        return {};
    }
    QPoint centre(const QString &name) const { return view()->visualRect(index(name)).center(); }
    // A point of the view below (or beside) every item.
    QPoint empty() const { return QPoint(viewport()->width() - 5, viewport()->height() - 5); }
    QStringList names() const
    {
        QStringList out;
        for (int row = 0; row < view()->model()->rowCount(); ++row)
            out << view()->model()->index(row, 0).data().toString();
        return out;
    }
    QStringList selectedNames() const
    {
        QStringList out;
        for (const QModelIndex &index : view()->selectionModel()->selectedIndexes())
            if (index.column() == 0)
                out << index.data().toString();
        out.sort();
        return out;
    }
    void click(const QString &name, Qt::KeyboardModifiers modifiers = {}) const
    {
        QTest::mouseClick(viewport(), Qt::LeftButton, modifiers, centre(name));
    }
    // What a real double click delivers: press, release, double-click press, release.
    void doubleClick(QPoint pos) const
    {
        QTest::mousePress(viewport(), Qt::LeftButton, {}, pos);
        QTest::mouseRelease(viewport(), Qt::LeftButton, {}, pos);
        QTest::mouseDClick(viewport(), Qt::LeftButton, {}, pos);
        QTest::mouseRelease(viewport(), Qt::LeftButton, {}, pos);
    }
    // A real right click: the press, the menu request, the release. Gives the menu's targets.
    QSet<QUrl> rightClick(QPoint pos) const
    {
        QTest::mousePress(viewport(), Qt::RightButton, {}, pos);
        QContextMenuEvent request(QContextMenuEvent::Mouse, pos, viewport()->mapToGlobal(pos));
        QCoreApplication::sendEvent(viewport(), &request);
        QTest::mouseRelease(viewport(), Qt::RightButton, {}, pos);
        QSet<QUrl> targets = actions->menuTargets();
        actions->contextMenu()->close();
        return targets;
    }
    // Starts renaming the way a user does: click the item, press Return.
    QLineEdit *beginRename(const QString &name) const
    {
        click(name);
        QTest::keyClick(view(), Qt::Key_Return);
        return editor();
    }
    QLineEdit *editor() const
    {
        auto *line = qobject_cast<QLineEdit *>(QApplication::focusWidget());
        return line && line->isVisible() ? line : nullptr;
    }

    const ViewKind kind;
    const QString folder;
    std::shared_ptr<RecordingPasteboard> pasteboard = std::make_shared<RecordingPasteboard>();
    std::shared_ptr<RecordingWorkspace> workspace = std::make_shared<RecordingWorkspace>();
    std::shared_ptr<RecordingTrash> trash = std::make_shared<RecordingTrash>();
    QWidget window;
    FilesState *state;
    QPointer<FileView> fileView;
    QPointer<FileListView> list; // the one of the three that is made
    QPointer<FileIconView> icons;
    QPointer<FileColumnView> columns;
    FileActions *actions;

    QList<FileEntry> entries;
    int reloadToken = 0;
    int reads = 0; // folders the columns read
    QSet<QUrl> selection;
    std::optional<QUrl> renameRequest;
    int selectionWrites = 0;
    int renameRequestWrites = 0;
    QList<QUrl> opened;
    QList<std::pair<QUrl, QString>> renames;
    QList<QSet<QUrl>> reported;
    QSet<QUrl> trashed() const { return trash->trashed(); }
};
