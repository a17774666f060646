#include "filestore/preview/thumbnailprovider.h"
#include "fileviews/filelistmodel.h"
#include "fileviews/previewpanel.h"
#include "fileviews/quicklookwindow.h"
#include "fileviews/systempasteboard.h"
#include "support/fileviewharness.h"
#include "support/tempfolder.h"

#include <QApplication>
#include <QClipboard>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QMimeData>
#include <QOperatingSystemVersion>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTest>
#include <QTreeView>

using namespace Qt::StringLiterals;

namespace {

void addKinds(std::initializer_list<ViewKind> kinds = {ViewKind::list, ViewKind::icons, ViewKind::columns})
{
    QTest::addColumn<ViewKind>("kind");
    const char *names[] = {"list", "icons", "columns"};
    for (ViewKind kind : kinds)
        QTest::newRow(names[int(kind)]) << kind;
}

// A folder of the given items ("name/" for a folder), `temp`, and one of the views over it.
struct Items
{
    TempFolder temp;
    explicit Items(const QStringList &items)
    {
        for (const QString &item : items)
            item.endsWith(u'/') ? temp.createDir(item) : temp.createFile(item, "x");
    }
};
struct Setup : Items, FileViewHarness
{
    Setup(ViewKind kind, const QStringList &items) : Items(items), FileViewHarness(kind, temp.path()) {}
};

} // namespace

// The rules the list, the icon grid and the column browser share, each written once over the
// three; then what only one of them does.
class TestFileViews : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        // The grid's thumbnails go to the test's cache, not the user's.
        qputenv("XDG_CACHE_HOME",
                QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation).toUtf8());
    }

    void boundSelection_data() { addKinds(); }
    // The screen's selection shows without being reported back; a user's click is reported once.
    void boundSelection()
    {
        QFETCH(ViewKind, kind);
        Setup h(kind, {"a.txt", "b.txt", "c.txt", "d.txt"});
        if (kind != ViewKind::columns) { // the browser writes its selection, never reads it
            // Another spelling of the same path still matches; a URL without an item is ignored.
            h.selection = {h.url("b.txt"), QUrl::fromLocalFile(h.folder + "/./d.txt"), h.url("gone.txt")};
            h.update();
            QCOMPARE(h.selectedNames(), (QStringList{"b.txt", "d.txt"}));
            QVERIFY(h.reported.isEmpty());
            QCOMPARE(h.selectionWrites, 0);
            // A reload with new items keeps it on them.
            QVERIFY(h.temp.createFile("0.txt"));
            h.reload();
            QCOMPARE(h.selectedNames(), (QStringList{"b.txt", "d.txt"}));
            QVERIFY(h.reported.isEmpty());
            // In another folder (the rows reset) nothing is selected: Delete trashes nothing.
            QVERIFY(h.temp.createFile("sub/e.txt"));
            h.entries = listDirectory(h.folder + "/sub");
            h.selection.clear();
            h.update();
            QTest::keyClick(h.view(), Qt::Key_Delete);
            QCOMPARE(h.trashed(), QSet<QUrl>());
            h.reload();
        }
        h.click("a.txt");
        QCOMPARE(h.reported, QList<QSet<QUrl>>{{h.url("a.txt")}});
        QCOMPARE(h.selection, QSet<QUrl>{h.url("a.txt")});
        QCOMPARE(h.selectionWrites, 1);
        h.click("c.txt", Qt::ControlModifier);
        QCOMPARE(h.reported.last(), (QSet<QUrl>{h.url("a.txt"), h.url("c.txt")}));
        h.update();
        QCOMPARE(h.reported.size(), 2);
        QCOMPARE(h.selectedNames(), (QStringList{"a.txt", "c.txt"}));
    }

    void renameRequest_data() { addKinds(); }
    // A request for an item not listed yet waits for the reload that lists it, then edits the
    // name once with its stem preselected (a folder's dot is part of its name; the browser
    // preselects a file's whole name).
    void renameRequest()
    {
        QFETCH(ViewKind, kind);
        Setup h(kind, {"a.txt"});
        QVERIFY(h.temp.createDir("my.folder"));
        h.renameRequest = h.url("my.folder");
        if (kind != ViewKind::columns) { // the browser drops what its open columns do not list
            h.update();
            QCoreApplication::processEvents();
            QVERIFY(!h.editor());
            QCOMPARE(h.renameRequestWrites, 0);
        }
        h.reload(); // two updates in one turn still start one edit
        h.update();
        QTRY_VERIFY(h.editor());
        QCOMPARE(h.editor()->text(), "my.folder");
        QCOMPARE(h.editor()->selectedText(), "my.folder");
        QCOMPARE(h.renameRequest, std::nullopt);
        QCOMPARE(h.renameRequestWrites, 1);
        QCOMPARE(h.selectedNames(), QStringList{"my.folder"});
        QTest::keyClick(h.editor(), Qt::Key_Escape);
        QTRY_VERIFY(!h.editor());
        h.update();
        QCoreApplication::processEvents();
        QVERIFY(!h.editor());

        QVERIFY(h.temp.createFile("photo.jpg"));
        h.renameRequest = h.url("photo.jpg");
        h.reload();
        QTRY_VERIFY(h.editor());
        QCOMPARE(h.editor()->selectedText(), kind == ViewKind::columns ? "photo.jpg" : "photo");
        QVERIFY(h.renames.isEmpty());
    }

    void editEnds_data()
    {
        QTest::addColumn<ViewKind>("kind");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<int>("end");
        QTest::addColumn<QString>("sent"); // "-" for nothing
        const int returnKey = 0, escape = 1, reloadWithout = 2, goAway = 3;
        const char *names[] = {"list", "icons", "columns"};
        for (ViewKind kind : {ViewKind::list, ViewKind::icons, ViewKind::columns}) {
            const char *k = names[int(kind)];
            QTest::addRow("%s, unchanged", k) << kind << "" << returnKey << "-";
            QTest::addRow("%s, changed", k) << kind << "  new " << returnKey << "*";
            QTest::addRow("%s, escape", k) << kind << "other" << escape << "-";
            QTest::addRow("%s, item gone", k) << kind << "zzz" << reloadWithout << "-";
            QTest::addRow("%s, view gone", k) << kind << "zzz" << goAway << "-";
        }
    }
    // Only Return with a changed name renames, with the text exactly as typed; Escape, a reload
    // that no longer lists the item and a view that goes away rename nothing.
    void editEnds()
    {
        QFETCH(ViewKind, kind);
        QFETCH(QString, typed);
        QFETCH(int, end);
        QFETCH(QString, sent);
        if (end == 3) // the editor must not outlive the view's bookkeeping
            QTest::failOnWarning(QRegularExpression("editor that does not belong"));
        Setup h(kind, {"a.txt", "b.txt"});
        QLineEdit *editor = h.beginRename("b.txt");
        QVERIFY(editor);
        if (!typed.isEmpty())
            QTest::keyClicks(editor, typed);
        const QString text = editor->text();
        if (end == 0) {
            QTest::keyClick(editor, Qt::Key_Return);
        } else if (end == 1) {
            QTest::keyClick(editor, Qt::Key_Escape);
        } else if (end == 2) {
            QVERIFY(QFile::remove(h.temp.path("b.txt")));
            h.reload();
        } else {
            delete h.fileView;
        }
        QTRY_VERIFY(!h.editor());
        QCoreApplication::processEvents();
        if (sent == "-") {
            QVERIFY(h.renames.isEmpty());
            return;
        }
        QCOMPARE(h.renames, (QList<std::pair<QUrl, QString>>{{h.url("b.txt"), text}}));
        // The item keeps its name until the screen lists the folder again.
        QVERIFY(h.index("b.txt").isValid());
    }

    void doubleClick_data() { addKinds(); }
    // Opens the file under the pointer once, nothing on empty space, and never starts renaming.
    void doubleClick()
    {
        QFETCH(ViewKind, kind);
        Setup h(kind, {"a.txt", "folder/"});
        h.doubleClick(h.centre("a.txt"));
        QCOMPARE(h.opened, QList<QUrl>{h.url("a.txt")});
        QVERIFY(!h.view()->indexAt(h.empty()).isValid());
        h.doubleClick(h.empty());
        QCOMPARE(h.opened.size(), 1);
        QVERIFY(!h.editor());
    }

    void menuTargets_data() { addKinds(); }
    // The menu acts on the selection when clicked on it, on the clicked item alone outside it
    // (a real right click leaves the selection, and in the columns the open path, as they were),
    // and on nothing over empty space.
    void menuTargets()
    {
        QFETCH(ViewKind, kind);
        Setup h(kind, {"a.txt", "b.txt", "sub/inner.txt"});
        h.click("a.txt");
        h.click("b.txt", Qt::ControlModifier);
        const QSet<QUrl> selected{h.url("a.txt"), h.url("b.txt")};
        QCOMPARE(h.selection, selected);
        const int reports = int(h.reported.size());
        const int columnCount = h.columns ? int(h.columns->shownFolders().size()) : 0;

        QCOMPARE(h.rightClick(h.centre("b.txt")), selected);
        QKeySequence trashKey;
        for (QAction *action : h.actions->contextMenu()->actions())
            if (action->text() == "Move to Trash")
                trashKey = action->shortcut();
        QCOMPARE(h.rightClick(h.centre("sub")), QSet<QUrl>{h.url("sub")});
        QCOMPARE(h.rightClick(h.empty()), QSet<QUrl>{});
        QCOMPARE(h.selection, selected);
        QCOMPARE(h.selectedNames(), (QStringList{"a.txt", "b.txt"}));
        QCOMPARE(h.reported.size(), reports);
        if (h.columns)
            QCOMPARE(int(h.columns->shownFolders().size()), columnCount);

        // The keys act on the selection; the menu shows the key that moves to the trash.
        QVERIFY(!trashKey.isEmpty());
        QTest::keySequence(h.view(), trashKey);
        QTRY_COMPARE(h.trashed(), selected);
        QTest::keySequence(h.view(), QKeySequence::Copy);
        QCOMPARE(QSet<QUrl>(h.pasteboard->fileURLs.begin(), h.pasteboard->fileURLs.end()), selected);
    }

    void trashKeys_data()
    {
        QTest::addColumn<int>("key");
        QTest::addColumn<Qt::KeyboardModifiers>("modifiers");
        QTest::addColumn<bool>("trashes");
        // The Finder's Command-Backspace only on macOS.
        const bool mac = QOperatingSystemVersion::currentType() == QOperatingSystemVersion::MacOS;
        QTest::newRow("Delete") << int(Qt::Key_Delete) << Qt::KeyboardModifiers() << !mac;
        QTest::newRow("Backspace") << int(Qt::Key_Backspace) << Qt::KeyboardModifiers() << !mac;
        // Qt's Ctrl is the Command key on macOS, its Meta the Control key.
        QTest::newRow("Command-Backspace")
            << int(Qt::Key_Backspace) << Qt::KeyboardModifiers(Qt::ControlModifier) << mac;
        QTest::newRow("Control-D") << int(Qt::Key_D) << Qt::KeyboardModifiers(Qt::MetaModifier) << false;
    }
    // Which keys move the selection to the trash depends on the platform.
    void trashKeys()
    {
        QFETCH(int, key);
        QFETCH(Qt::KeyboardModifiers, modifiers);
        QFETCH(bool, trashes);
        Setup h(ViewKind::list, {"a.txt"});
        h.click("a.txt");
        QTest::keyClick(h.view(), Qt::Key(key), modifiers);
        QTRY_COMPARE(h.trashed(), trashes ? QSet<QUrl>{h.url("a.txt")} : QSet<QUrl>{});
    }

    void dragCopiesOnly_data() { addKinds({ViewKind::list, ViewKind::icons}); }
    // Items leave as file URLs, offered for copying only: a drop target may not move them away.
    void dragCopiesOnly()
    {
        QFETCH(ViewKind, kind);
        Setup h(kind, {"a.txt", "b.txt", "c.txt"});
        QVERIFY(h.view()->dragEnabled());
        QCOMPARE(h.view()->model()->supportedDragActions(), Qt::CopyAction);
        h.selection = {h.url("c.txt"), h.url("a.txt")};
        h.update();
        std::unique_ptr<QMimeData> mime(
            h.view()->model()->mimeData(h.view()->selectionModel()->selectedIndexes()));
        QVERIFY(mime);
        const QList<QUrl> urls = mime->urls();
        QCOMPARE(QSet<QUrl>(urls.begin(), urls.end()), (QSet<QUrl>{h.url("a.txt"), h.url("c.txt")}));
    }

    void reloadOnlyOnChange_data() { addKinds(); }
    // Handing over equal items (or, in the columns, no new reload token) leaves the view alone;
    // a real change shows.
    void reloadOnlyOnChange()
    {
        QFETCH(ViewKind, kind);
        Setup h(kind, {"a.txt", "b.txt"});
        h.view()->selectionModel()->clear(); // nothing held: a needless reload would reset it all
        QSignalSpy resets(h.view()->model(), &QAbstractItemModel::modelReset);
        QSignalSpy inserts(h.view()->model(), &QAbstractItemModel::rowsInserted);
        QSignalSpy changes(h.view()->model(), &QAbstractItemModel::dataChanged);
        const int reads = h.reads;
        h.update();
        if (kind != ViewKind::columns)
            h.reload(); // a fresh listing of an unchanged folder
        QCOMPARE(resets.count() + inserts.count() + changes.count(), 0);
        QCOMPARE(h.reads, reads);

        // A screen reader keeps the view's one object and reads the new rows from it.
        const QAccessible::Id object = QAccessible::uniqueId(QAccessible::queryAccessibleInterface(h.view()));
        QTRY_COMPARE(accessibleNames(h.view()), (QStringList{"a.txt", "b.txt"}));
        QVERIFY(h.temp.createFile("0.txt"));
        h.update();
        QCOMPARE(h.names(), (QStringList{"a.txt", "b.txt"}));
        h.reload();
        QCOMPARE(h.names(), (QStringList{"0.txt", "a.txt", "b.txt"}));
        QTRY_COMPARE(accessibleNames(h.view()), (QStringList{"0.txt", "a.txt", "b.txt"}));
        QCOMPARE(QAccessible::uniqueId(QAccessible::queryAccessibleInterface(h.view())), object);
        if (!h.columns) { // another folder's rows, as after entering it: still the same object
            QVERIFY(h.temp.createFile("sub/inner.txt"));
            h.entries = listDirectory(h.folder + "/sub");
            h.update();
            QTRY_COMPARE(accessibleNames(h.view()), QStringList{"inner.txt"});
            QCOMPARE(QAccessible::uniqueId(QAccessible::queryAccessibleInterface(h.view())), object);
        }
    }

    // The columns share the table's width beyond their starting widths, leaving no blank strip
    // to their right; in the default window that leaves room for a long date.
    void listColumnsFillTheWidth()
    {
        TempFolder folder;
        QVERIFY(folder.createFile("report.txt", "x", QDateTime(QDate(2024, 9, 28), QTime(22, 58))));
        FileViewHarness h(ViewKind::list, folder.path());
        h.window.resize(1100 - 240, 400); // the default window less its sidebar
        QTreeView *table = h.list->table();
        QHeaderView *header = table->header();
        const auto total = [header] {
            int sum = 0;
            for (int column = 0; column < header->count(); ++column)
                sum += header->sectionSize(column);
            return sum;
        };
        QTRY_COMPARE(total(), table->viewport()->width());
        const QString date = table->model()->index(0, FileListModel::DateColumn).data().toString();
        const int margins =
            2 * (table->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, table) + 1);
        QVERIFY2(header->sectionSize(FileListModel::DateColumn) >=
                     table->fontMetrics().horizontalAdvance(date) + margins,
                 qPrintable(date));
    }

    void quickLook_data() { addKinds(); }
    // Space opens Quick Look on the selected file and leaves the keys with the view: the arrows
    // move what it shows, Space closes it; a screen reader presses it in the menu, Esc in the
    // window closes it. The columns show a selected file, and no folder, as their last column.
    void quickLook()
    {
        QFETCH(ViewKind, kind);
        Setup h(kind, {"a.txt", "b.txt", "sub/"});
        const auto shown = [&h] {
            const QuickLookWindow *window = h.actions->quickLookWindow();
            return window && window->isVisible() ? window->panel()->currentPath() : QString();
        };
        const auto column = [&h] {
            return h.columns->preview() ? h.columns->preview()->currentPath() : QString();
        };
        h.click("a.txt");
        QTest::keyClick(h.view(), Qt::Key_Space);
        QCOMPARE(shown(), h.temp.path("a.txt"));
        QTest::keyClick(h.view(), kind == ViewKind::icons ? Qt::Key_Right : Qt::Key_Down);
        QCOMPARE(shown(), h.temp.path("b.txt"));
        QCOMPARE(h.actions->quickLookWindow()->windowTitle(), "b.txt");
        if (h.columns)
            QCOMPARE(column(), h.temp.path("b.txt"));
        // Rewritten from outside: the next reading shows the new text in place.
        const auto texts = [&h] {
            QStringList out;
            for (const PreviewPanel *panel :
                 {h.actions->quickLookWindow()->panel(), h.columns ? h.columns->preview() : nullptr})
                if (panel)
                    out << (panel->content().complete ? panel->content().text : u"(loading)"_s);
            return out;
        };
        QTRY_COMPARE(texts(), QStringList(h.columns ? 2 : 1, u"x"_s));
        QVERIFY(h.temp.createFile("b.txt", "written anew"));
        h.reload();
        QTRY_COMPARE(texts(), QStringList(h.columns ? 2 : 1, u"written anew"_s));
        QTest::keyClick(h.view(), Qt::Key_Space);
        QCOMPARE(shown(), QString());

        h.actions->prepareContextMenu(h.viewport()->mapToGlobal(h.centre("a.txt")), h.url("a.txt"));
        QAccessibleInterface *menu = QAccessible::queryAccessibleInterface(h.actions->contextMenu());
        for (int i = 0; i < menu->childCount(); ++i)
            if (menu->child(i)->text(QAccessible::Name) == "Quick Look")
                menu->child(i)->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
        h.actions->contextMenu()->close();
        QCOMPARE(shown(), h.temp.path("a.txt"));
        QTest::keyClick(h.actions->quickLookWindow(), Qt::Key_Escape);
        QCOMPARE(shown(), QString());
        if (h.columns) {
            h.click("sub");
            QCOMPARE(column(), QString());
        }
    }

    // The grid asks for the thumbnails of the images it paints, nothing else.
    void iconsShowThumbnails()
    {
        Setup h(ViewKind::icons, {"a.txt"});
        QImage image(40, 30, QImage::Format_RGB32);
        image.fill(Qt::red);
        QVERIFY(image.save(h.temp.path("photo.png")));
        QSignalSpy ready(h.icons->thumbnails(), &ThumbnailProvider::thumbnailReady);
        h.reload();
        QTRY_COMPARE(ready.size(), 1);
        QCOMPARE(ready.first().first().toUrl(), h.url("photo.png"));
    }

    // After a click the clicked item is the selection, also the folder already open in an
    // earlier column; a screen reader reads a column's selected row through its table interface.
    void columnsSelectWhatWasClickedAndSayIt()
    {
        Setup h(ViewKind::columns, {"Alpha/inner.txt", "Alpha/other.txt"});
        const auto second = [&h]() -> QListView * {
            for (QListView *column : h.columns->findChildren<QListView *>())
                if (column != h.view() && !column->isHidden())
                    return column;
            return nullptr;
        };
        h.click("Alpha");
        QVERIFY(second());
        QTRY_COMPARE(second()->model()->rowCount(), 2); // read in the background
        QTest::mouseClick(second()->viewport(), Qt::LeftButton, {},
                          second()->visualRect(second()->model()->index(1, 0)).center());
        QCOMPARE(h.selection, QSet<QUrl>{h.url("Alpha/other.txt")});
        QAccessibleInterface *iface = QAccessible::queryAccessibleInterface(second());
        QVERIFY(iface && iface->tableInterface());
        QCOMPARE(iface->tableInterface()->selectedRows(), QList<int>{1});
        const QList<QAccessibleInterface *> cells = iface->tableInterface()->selectedCells();
        QCOMPARE(cells.size(), 1);
        QCOMPARE(cells.first()->text(QAccessible::Name), "other.txt");

        h.click("Alpha");
        QCOMPARE(h.selection, QSet<QUrl>{h.url("Alpha")});
        QVERIFY(!second()->selectionModel()->hasSelection());
        QTest::keySequence(h.view(), FileActions::trashShortcut());
        QTRY_COMPARE(h.trashed(), QSet<QUrl>{h.url("Alpha")});
    }

    // The columns read their folders off the GUI thread: a new column shows its rows once its
    // listing has come back, and a folder that can't be read (here one gone since it was listed)
    // says so instead of looking empty.
    void columnsReadInTheBackground()
    {
        Setup h(ViewKind::columns, {"open/inner.txt", "gone/"});
        QVERIFY(QDir(h.temp.path("gone")).removeRecursively());
        // Selected without a click, which would run the event loop.
        const auto open = [&h](const QString &name) -> QListView * {
            h.view()->selectionModel()->setCurrentIndex(h.index(name), QItemSelectionModel::ClearAndSelect);
            QListView *last = nullptr;
            for (QListView *column : h.columns->findChildren<QListView *>())
                if (!column->isHidden() && (!last || column->x() > last->x()))
                    last = column;
            return last != h.view() ? last : nullptr;
        };
        QListView *column = open("open");
        QVERIFY(column);
        QLabel *note = column->findChild<QLabel *>();
        QVERIFY(note && note->isVisible());
        QCOMPARE(column->model()->rowCount(), 0);
        QTRY_COMPARE(column->model()->rowCount(), 1);
        QCOMPARE(column->model()->index(0, 0).data().toString(), "inner.txt");
        QVERIFY(!note->isVisible());

        column = open("gone");
        QVERIFY(column);
        QTRY_VERIFY(!h.columns->isReading());
        QCOMPARE(column->model()->rowCount(), 0);
        note = column->findChild<QLabel *>();
        QVERIFY(note && note->isVisible());
        QCOMPARE(note->text(), "Folder can’t be read");
    }

    // The system pasteboard the views copy to and paste from, as other programs use it.
    void writesWhatOtherProgramsRead()
    {
        SystemPasteboard pasteboard;
        const QList<QUrl> urls{QUrl::fromLocalFile(u"/data/b.txt"_s),
                               QUrl::fromLocalFile(u"/data/a, ü.txt"_s)};
        pasteboard.writeFileURLs(urls);
        QCOMPARE(pasteboard.readFileURLs(), urls);
        QVERIFY(pasteboard.canReadFileURLs());

        const QMimeData *data = QGuiApplication::clipboard()->mimeData();
        QVERIFY(data);
        QCOMPARE(data->urls(), urls);
#ifdef Q_OS_DARWIN
        // The pasteboard gets file URLs and text only, no other desktop's formats.
        QVERIFY(!data->hasFormat(u"x-special/gnome-copied-files"_s));
        QVERIFY(!data->hasFormat(u"application/x-kde-cutselection"_s));
#else
        QCOMPARE(data->data(u"x-special/gnome-copied-files"_s),
                 "copy\nfile:///data/b.txt\nfile:///data/a,%20%C3%BC.txt");
        QCOMPARE(data->data(u"application/x-kde-cutselection"_s), "0");
#endif
        QCOMPARE(data->text(), u"/data/b.txt\n/data/a, ü.txt"_s);

        // Text replaces the files.
        pasteboard.writeText(u"/data/folder"_s);
        QCOMPARE(QGuiApplication::clipboard()->text(), u"/data/folder"_s);
        QVERIFY(!pasteboard.canReadFileURLs());
    }

    void readsWhatOtherProgramsWrite_data()
    {
        QTest::addColumn<QString>("format");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QList<QUrl>>("expected");
        QTest::newRow("GNOME copy") << u"x-special/gnome-copied-files"_s
                                    << QByteArray("copy\nfile:///a/one.txt\nfile:///a/t%20wo.txt\n")
                                    << QList<QUrl>{QUrl::fromLocalFile(u"/a/one.txt"_s),
                                                   QUrl::fromLocalFile(u"/a/t wo.txt"_s)};
        QTest::newRow("uri-list, remote dropped")
            << u"text/uri-list"_s << QByteArray("https://example.com/x\r\nfile:///a/one.txt\r\n")
            << QList<QUrl>{QUrl::fromLocalFile(u"/a/one.txt"_s)};
        QTest::newRow("plain text only") << u"text/plain"_s << QByteArray("/a/one.txt") << QList<QUrl>{};
    }

    void readsWhatOtherProgramsWrite()
    {
        QFETCH(QString, format);
        QFETCH(QByteArray, bytes);
        QFETCH(QList<QUrl>, expected);
        auto *data = new QMimeData;
        data->setData(format, bytes);
        QGuiApplication::clipboard()->setMimeData(data);
        SystemPasteboard pasteboard;
        QCOMPARE(pasteboard.readFileURLs(), expected);
        QCOMPARE(pasteboard.canReadFileURLs(), !expected.isEmpty());
    }
};

QTEST_MAIN(TestFileViews)
#include "tst_fileviews.moc"
