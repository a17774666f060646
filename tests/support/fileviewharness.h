#pragma once

#include "filestore/listing.h"
#include "fileviews/filecolumnview.h"
#include "fileviews/fileiconview.h"
#include "fileviews/filelistview.h"
#include "fileviews/fileviewhost.h"
#include "support/recordingservices.h"

#include <QAccessible>
#include <QApplication>
#include <QContextMenuEvent>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QTest>
#include <QTreeView>
#include <QVBoxLayout>

#include <algorithm>

// The three modes of the Files screen, made interchangeable for tests: one of them over a real
// folder in a shown window, with the screen's side (the bound values and every callback)
// recorded. Items are named relative to the folder; in the columns they are those of the first.
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
        const FilesState::Services services{workspace, pasteboard, nullptr};
        if (kind == ViewKind::list)
            list = std::make_unique<FileListView>(services);
        else if (kind == ViewKind::icons)
            icons = std::make_unique<FileIconView>(services);
        else {
            columns = std::make_unique<FileColumnView>(services);
            columns->setDirectoryLister([this](const QUrl &url) {
                ++reads;
                return listDirectory(url);
            });
        }
        auto *layout = new QVBoxLayout(&window);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->addWidget(host());
        window.resize(760, 400);
        reload();
        window.show();
        exposed = QTest::qWaitForWindowExposed(&window);
    }

    FileViewHost *host() const { return list ? list->host() : icons ? icons->host() : columns->host(); }

    // Hands the bound values over again, as the screen does after any change of its state.
    void update()
    {
        FileViewActions actions;
        actions.open = [this](const QUrl &url) { opened << url; };
        actions.rename = [this](const QUrl &url, const QString &name) { renames << std::pair(url, name); };
        actions.selectionChanged = [this](const QSet<QUrl> &urls) { reported << urls; };
        actions.trash = [this](const QSet<QUrl> &urls) { trashed << urls; };
        actions.currentDirectory = [this] { return std::optional<QUrl>(QUrl::fromLocalFile(folder)); };
        const Binding<QSet<QUrl>> boundSelection{selection, [this](const QSet<QUrl> &value) {
                                                     selection = value;
                                                     ++selectionWrites;
                                                 }};
        const Binding<std::optional<QUrl>> boundRequest{renameRequest, [this](const std::optional<QUrl> &v) {
                                                            renameRequest = v;
                                                            ++renameRequestWrites;
                                                        }};
        if (list)
            list->update({entries, boundSelection, boundRequest, actions});
        else if (icons)
            icons->update({entries, 64, boundSelection, boundRequest, actions});
        else
            columns->update(
                {QUrl::fromLocalFile(folder), reloadToken, boundSelection, boundRequest, actions});
    }
    // The screen read the folder again.
    void reload()
    {
        entries = listDirectory(folder);
        ++reloadToken;
        update();
    }

    // The list, the grid, or the first column.
    QAbstractItemView *view() const
    {
        if (list)
            return list->table();
        QList<QAbstractItemView *> views;
        for (QAbstractItemView *v : host()->findChildren<QAbstractItemView *>())
            if (!v->isHidden())
                views << v;
        return *std::min_element(views.begin(), views.end(),
                                 [](auto *a, auto *b) { return a->x() < b->x(); });
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
        const QSet<QUrl> targets = host()->menuTargets();
        if (host()->menu())
            host()->menu()->close();
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
    QWidget window; // before the views: they go first, taking their hosts with them
    std::unique_ptr<FileListView> list;
    std::unique_ptr<FileIconView> icons;
    std::unique_ptr<FileColumnView> columns;
    bool exposed = false;

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
    QList<QSet<QUrl>> trashed;
};
