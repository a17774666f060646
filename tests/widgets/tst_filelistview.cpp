#include "filestore/filetypes.h"
#include "filestore/listing.h"
#include "fileviews/filelistmodel.h"
#include "fileviews/filelistview.h"
#include "fileviews/fileviewhost.h"
#include "support/recordingservices.h"
#include "support/tempfolder.h"

#include <QHeaderView>
#include <QLineEdit>
#include <QMimeData>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTest>
#include <QTreeView>
#include <QVBoxLayout>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace {

// A shown list inside a window, with the screen's side of the bindings and callbacks recorded.
struct ListFixture
{
    std::shared_ptr<RecordingPasteboard> pasteboard = std::make_shared<RecordingPasteboard>();
    std::shared_ptr<RecordingWorkspace> workspace = std::make_shared<RecordingWorkspace>();
    QWidget window;
    FileListView view{FilesState::Services{workspace, pasteboard, nullptr}, &window};

    QSet<QUrl> selection;
    int selectionWrites = 0;
    std::optional<QUrl> renameRequest;
    int renameRequestWrites = 0;
    QList<QSet<QUrl>> reported;
    QList<QUrl> opened;
    QList<std::pair<QUrl, QString>> renames;
    QList<FileEntry> entries;

    ListFixture()
    {
        auto *layout = new QVBoxLayout(&window);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->addWidget(view.host());
        window.resize(760, 400);
        window.show();
    }

    FileListView::Description describe() const
    {
        auto *self = const_cast<ListFixture *>(this);
        FileListView::Description description;
        description.entries = entries;
        description.selection = {selection, [self](const QSet<QUrl> &urls) {
                                     self->selection = urls;
                                     ++self->selectionWrites;
                                 }};
        description.renameRequest = {renameRequest, [self](const std::optional<QUrl> &url) {
                                         self->renameRequest = url;
                                         ++self->renameRequestWrites;
                                     }};
        description.actions.open = [self](const QUrl &url) { self->opened << url; };
        description.actions.rename = [self](const QUrl &url, const QString &name) {
            self->renames.append({url, name});
        };
        description.actions.selectionChanged = [self](const QSet<QUrl> &urls) { self->reported << urls; };
        return description;
    }
    void update() { view.update(describe()); }
    void show(const QList<FileEntry> &list)
    {
        entries = list;
        update();
    }

    QTreeView *table() const { return view.table(); }
    QWidget *viewport() const { return view.table()->viewport(); }
    QUrl url(int row) const { return view.model()->entryAt(row).url(); }
    int rowNamed(const QString &name) const
    {
        for (int row = 0; row < view.model()->rowCount(); ++row)
            if (view.model()->entryAt(row).name() == name)
                return row;
        return -1;
    }
    QPoint centreOfRow(int row) const { return table()->visualRect(view.model()->index(row, 0)).center(); }
    QList<int> selectedRows() const
    {
        QList<int> rows;
        for (const QModelIndex &index : table()->selectionModel()->selectedRows())
            rows << index.row();
        std::sort(rows.begin(), rows.end());
        return rows;
    }
    QLineEdit *editor(int row) const
    {
        return qobject_cast<QLineEdit *>(
            table()->indexWidget(view.model()->index(row, FileListModel::NameColumn)));
    }
    bool isEditing() const
    {
        for (int row = 0; row < view.model()->rowCount(); ++row)
            if (editor(row))
                return true;
        return false;
    }
    QString text(int row, int column) const { return view.model()->index(row, column).data().toString(); }
};

// Starts renaming the row the way a user does: select it, press Return.
QLineEdit *beginRenameByKeyboard(ListFixture &f, int row)
{
    QTest::mouseClick(f.viewport(), Qt::LeftButton, {}, f.centreOfRow(row));
    QTest::keyClick(f.table(), Qt::Key_Return);
    return f.editor(row);
}

// What a real double click delivers: press, release, double-click press, release.
void doubleClick(QWidget *widget, const QPoint &pos)
{
    QTest::mousePress(widget, Qt::LeftButton, {}, pos);
    QTest::mouseRelease(widget, Qt::LeftButton, {}, pos);
    QTest::mouseDClick(widget, Qt::LeftButton, {}, pos);
    QTest::mouseRelease(widget, Qt::LeftButton, {}, pos);
}

} // namespace

class TestFileListView : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    void tableIsAFlatFourColumnListThatDragsOutCopies()
    {
        TempFolder dir;
        QVERIFY2(dir.isValid(), qPrintable(dir.errorString()));
        QVERIFY(dir.createFile("a.txt") && dir.createFile("b.txt") && dir.createFile("c.txt"));
        ListFixture f;
        QList<FileEntry> reversed = listDirectory(dir.path());
        std::reverse(reversed.begin(), reversed.end());
        f.show(reversed);

        QTreeView *table = f.table();
        QCOMPARE(table->model()->columnCount(), 4);
        const QStringList titles = {"Name", "Date Modified", "Size", "Kind"};
        for (int column = 0; column < 4; ++column)
            QCOMPARE(table->model()->headerData(column, Qt::Horizontal).toString(), titles.at(column));
        QVERIFY(!table->rootIsDecorated());
        QVERIFY(table->uniformRowHeights());
        QVERIFY(table->alternatingRowColors());
        QVERIFY(!table->isSortingEnabled());
        QCOMPARE(table->selectionMode(), QAbstractItemView::ExtendedSelection);

        // Clicking a header leaves the rows in the order given.
        QTest::mouseClick(table->header()->viewport(), Qt::LeftButton, {},
                          QPoint(table->header()->sectionPosition(0) + 20, table->header()->height() / 2));
        QCOMPARE(f.text(0, 0), u"c.txt"_s);
        QCOMPARE(f.text(2, 0), u"a.txt"_s);

        // Rows leave as file URLs, copied; nothing is dropped onto the rows themselves.
        QCOMPARE(table->dragDropMode(), QAbstractItemView::DragOnly);
        QVERIFY(table->dragEnabled());
        QVERIFY(!table->acceptDrops());
        QVERIFY(!table->viewport()->acceptDrops());
        QCOMPARE(table->model()->supportedDragActions(), Qt::CopyAction);
        f.selection = {f.url(2), f.url(0)};
        f.update();
        std::unique_ptr<QMimeData> mime(table->model()->mimeData(table->selectionModel()->selectedIndexes()));
        QVERIFY(mime);
        QCOMPARE(mime->urls(), (QList<QUrl>{dir.url("c.txt"), dir.url("a.txt")}));
    }

    // The columns share the table's width beyond their starting widths (260, 160, 80 and 160),
    // leaving no blank strip to their right; at the list's width in the default window that
    // leaves room for a long date.
    void columnsFillTheTableSoDatesFit()
    {
        const FileType &text = FileTypes::forFileName(u"a.txt");
        const qint64 late = QDateTime(QDate(2024, 9, 28), QTime(22, 58)).toMSecsSinceEpoch();
        ListFixture f;
        f.window.resize(1100 - 240, 400); // the default window less its sidebar
        f.show({FileEntry("/storage/", "report.txt", false, late, 1234, text.kind, text.icon)});
        QTreeView *table = f.table();
        QHeaderView *header = table->header();
        const auto total = [header] {
            int sum = 0;
            for (int column = 0; column < header->count(); ++column)
                sum += header->sectionSize(column);
            return sum;
        };
        QTRY_COMPARE(total(), table->viewport()->width());
        const QList<int> starting = {260, 160, 80, 160};
        for (int column = 0; column < 4; ++column)
            QVERIFY2(qAbs(header->sectionSize(column) * 660 - starting.at(column) * total()) <= 660,
                     qPrintable(QString::number(header->sectionSize(column))));

        const QString date = f.text(0, FileListModel::DateColumn);
        const int margins =
            2 * (table->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, table) + 1);
        const int needed = table->fontMetrics().horizontalAdvance(date) + margins;
        QVERIFY2(header->sectionSize(FileListModel::DateColumn) >= needed, qPrintable(date));
    }

    void cellsShowDashesForMissingValuesAndFolderSizes()
    {
        const FileType &text = FileTypes::forFileName(u"a.txt");
        const qint64 someTime = QDateTime(QDate(2024, 1, 5), QTime(15, 7)).toMSecsSinceEpoch();
        ListFixture f;
        f.show({FileEntry("/storage/", "Folder", true, someTime, 4096, FileTypes::folder().kind,
                          FileTypes::folder().icon),
                FileEntry("/storage/", "undated.txt", false, std::nullopt, 532, text.kind, text.icon),
                FileEntry("/storage/", "empty.txt", false, someTime, 0, text.kind, text.icon),
                FileEntry("/storage/", "unsized.txt", false, someTime, std::nullopt, text.kind, text.icon)});

        QCOMPARE(f.text(0, FileListModel::NameColumn), u"Folder"_s);
        QCOMPARE(f.text(0, FileListModel::SizeColumn), u"--"_s); // a folder, though its size is known
        QVERIFY(f.text(0, FileListModel::DateColumn) != u"--"_s);
        QCOMPARE(f.text(1, FileListModel::DateColumn), u"--"_s);
        QCOMPARE(f.text(1, FileListModel::SizeColumn), u"532 bytes"_s);
        QCOMPARE(f.text(2, FileListModel::SizeColumn), u"Zero bytes"_s);
        QCOMPARE(f.text(3, FileListModel::SizeColumn), u"--"_s);
        QCOMPARE(f.text(1, FileListModel::KindColumn), text.kind);
    }

    void entriesReloadOnlyWhenTheyDifferByValue()
    {
        TempFolder dir;
        QVERIFY(dir.createFile("a.txt") && dir.createFile("b.txt"));
        ListFixture f;
        QSignalSpy resets(f.view.model(), &QAbstractItemModel::modelReset);

        f.show(listDirectory(dir.path()));
        QCOMPARE(resets.count(), 1);
        QCOMPARE(f.view.model()->rowCount(), 2);

        // A fresh listing of an unchanged folder: a different list, equal entries.
        f.show(listDirectory(dir.path()));
        f.update();
        QCOMPARE(resets.count(), 1);

        QVERIFY(dir.createFile("b.txt", "now longer", QDateTime::currentDateTime().addSecs(-3600)));
        f.show(listDirectory(dir.path()));
        QCOMPARE(resets.count(), 2);
        QCOMPARE(f.text(1, FileListModel::SizeColumn), u"10 bytes"_s);

        QVERIFY(dir.createFile("c.txt"));
        f.show(listDirectory(dir.path()));
        QCOMPARE(resets.count(), 3);
        QCOMPARE(f.view.model()->rowCount(), 3);
        QVERIFY(!f.view.coordinator()->isSyncing());
    }

    void boundSelectionIsAppliedByPathWithoutBeingReported()
    {
        TempFolder dir;
        for (const char *name : {"a.txt", "b.txt", "c.txt", "d.txt"})
            QVERIFY(dir.createFile(QString::fromLatin1(name)));
        ListFixture f;
        QVERIFY(QTest::qWaitForWindowExposed(&f.window));
        f.show(listDirectory(dir.path()));
        QSignalSpy resets(f.view.model(), &QAbstractItemModel::modelReset);

        // Another spelling of the same path still matches; a URL without a row is ignored.
        f.selection = {dir.url("b.txt"), QUrl::fromLocalFile(dir.path() + "/./d.txt"), dir.url("gone.txt")};
        f.update();
        QCOMPARE(f.selectedRows(), (QList<int>{1, 3}));
        QCOMPARE(resets.count(), 0);
        QVERIFY(f.reported.isEmpty());
        QCOMPARE(f.selectionWrites, 0);

        // A user's click is reported once, and written to the binding.
        QTest::mouseClick(f.viewport(), Qt::LeftButton, {}, f.centreOfRow(0));
        QCOMPARE(f.reported, (QList<QSet<QUrl>>{{f.url(0)}}));
        QCOMPARE(f.selection, QSet<QUrl>{f.url(0)});
        QCOMPARE(f.selectionWrites, 1);
        QTest::mouseClick(f.viewport(), Qt::LeftButton, Qt::ShiftModifier, f.centreOfRow(2));
        QCOMPARE(f.reported.size(), 2);
        QCOMPARE(f.reported.last(), (QSet<QUrl>{f.url(0), f.url(1), f.url(2)}));

        // Equal selections are left alone.
        QSignalSpy tableSelection(f.table()->selectionModel(), &QItemSelectionModel::selectionChanged);
        f.update();
        QCOMPARE(tableSelection.count(), 0);

        // A refresh with new rows keeps the bound selection on the matching rows.
        QVERIFY(dir.createFile("0.txt"));
        f.show(listDirectory(dir.path()));
        QCOMPARE(f.view.model()->rowCount(), 5);
        QCOMPARE(f.selectedRows(), (QList<int>{1, 2, 3}));
        QCOMPARE(f.reported.size(), 2);

        f.selection = {};
        f.update();
        QVERIFY(f.selectedRows().isEmpty());
        QCOMPARE(f.reported.size(), 2);
    }

    void heldRowsStayRowsWhileTheirItemsAreListed_data()
    {
        // Items as name:size; `held` are rows that a view holds (an editor, the current item).
        QTest::addColumn<QStringList>("before");
        QTest::addColumn<QStringList>("after");
        QTest::addColumn<QStringList>("held");
        QTest::newRow("items come around it")
            << QStringList{"a:0", "c:0", "e:0"}
            << QStringList{"0:0", "a:0", "b:0", "c:0", "d:0", "e:0", "f:0"} << QStringList{"c"};
        QTest::newRow("items go around it")
            << QStringList{"a:0", "b:0", "c:0", "d:0", "e:0"} << QStringList{"c:0"} << QStringList{"c"};
        QTest::newRow("several held, values changed")
            << QStringList{"a:0", "b:0", "c:0", "d:0", "e:0", "f:0", "g:0"}
            << QStringList{"0:0", "b:5", "c2:0", "d:0", "f:1", "g:0", "h:0"} << QStringList{"b", "d", "g"};
        QTest::newRow("held item gone")
            << QStringList{"a:0", "b:0", "c:0"} << QStringList{"a:0", "c:1"} << QStringList{"b"};
        QTest::newRow("nothing in common")
            << QStringList{"a:0", "b:0"} << QStringList{"x:0", "y:0"} << QStringList{"a"};
    }

    // A reload keeps the rows a view holds (so an open editor stays open), and the rows end up
    // exactly the new entries.
    void heldRowsStayRowsWhileTheirItemsAreListed()
    {
        QFETCH(QStringList, before);
        QFETCH(QStringList, after);
        QFETCH(QStringList, held);
        const auto entries = [](const QStringList &items) {
            QList<FileEntry> list;
            for (const QString &item : items) {
                const QString name = item.section(u':', 0, 0);
                list << FileEntry(u"/folder/"_s, name, false, 0, item.section(u':', 1).toLongLong(),
                                  FileTypes::forFileName(name));
            }
            return list;
        };
        FileListModel model;
        model.setEntries(entries(before));
        QList<QPersistentModelIndex> holds;
        for (const QString &name : held)
            holds << QPersistentModelIndex(model.index(int(before.indexOf(name + u":0"_s)), 0));
        QSignalSpy resets(&model, &QAbstractItemModel::modelReset);

        model.setEntries(entries(after));
        QStringList rows;
        for (const FileEntry &entry : model.entries())
            rows << entry.name() + u':' + QString::number(entry.sizeBytes().value_or(-1));
        QCOMPARE(rows, after);
        bool anyKept = false;
        for (qsizetype i = 0; i < held.size(); ++i) {
            const bool listed = std::any_of(after.begin(), after.end(), [&](const QString &item) {
                return item.startsWith(held[i] + u':');
            });
            QCOMPARE(holds[i].isValid(), listed);
            if (listed)
                QCOMPARE(model.entryAt(holds[i].row()).name(), held[i]);
            anyKept = anyKept || listed;
        }
        QCOMPARE(resets.count(), anyKept ? 0 : 1);
    }

    void renameRequestWaitsForTheReloadThatListsTheItem()
    {
        TempFolder dir;
        QVERIFY(dir.createFile("a.txt"));
        ListFixture f;
        QVERIFY(QTest::qWaitForWindowExposed(&f.window));
        f.show(listDirectory(dir.path()));

        QVERIFY(dir.createDir("my.folder"));
        f.renameRequest = dir.url("my.folder");
        f.update();
        QCoreApplication::processEvents();
        QCOMPARE(f.renameRequestWrites, 0);
        QVERIFY(!f.isEditing());

        // Listed now; two updates in one turn still start one edit.
        f.show(listDirectory(dir.path()));
        f.update();
        const int row = f.rowNamed(u"my.folder"_s);
        QVERIFY(row >= 0);
        QTRY_VERIFY(f.editor(row));
        QCOMPARE(f.renameRequest, std::nullopt);
        QCOMPARE(f.renameRequestWrites, 1);
        QCOMPARE(f.selectedRows(), QList<int>{row});
        QCOMPARE(f.reported, (QList<QSet<QUrl>>{{dir.url("my.folder")}}));
        // A folder's dot is part of its name.
        QCOMPARE(f.editor(row)->text(), u"my.folder"_s);
        QCOMPARE(f.editor(row)->selectedText(), u"my.folder"_s);

        QTest::keyClick(f.editor(row), Qt::Key_Escape);
        QTRY_VERIFY(!f.editor(row));
        f.update();
        QCoreApplication::processEvents();
        QVERIFY(!f.editor(row));
        QCOMPARE(f.renameRequestWrites, 1);
        QVERIFY(f.renames.isEmpty());

        // A file's extension stays out of the preselection.
        QVERIFY(dir.createFile("photo.jpg"));
        f.renameRequest = dir.url("photo.jpg");
        f.show(listDirectory(dir.path()));
        const int photo = f.rowNamed(u"photo.jpg"_s);
        QTRY_VERIFY(f.editor(photo));
        QCOMPARE(f.editor(photo)->selectedText(), u"photo"_s);
    }

    void endingAnEditRenamesOnlyWithAChangedNameAsTyped()
    {
        TempFolder dir;
        QVERIFY(dir.createFile("a.txt") && dir.createFile("b.txt"));
        ListFixture f;
        QVERIFY(QTest::qWaitForWindowExposed(&f.window));
        f.show(listDirectory(dir.path()));

        QLineEdit *editor = beginRenameByKeyboard(f, 0);
        QVERIFY(editor);
        QCOMPARE(editor->selectedText(), u"a"_s);
        QTest::keyClick(editor, Qt::Key_Return);
        QTRY_VERIFY(!f.editor(0));
        QVERIFY(f.renames.isEmpty());

        editor = beginRenameByKeyboard(f, 0);
        QVERIFY(editor);
        editor->clear();
        QTest::keyClick(editor, Qt::Key_Return);
        QTRY_COMPARE(f.renames.size(), 1);
        QCOMPARE(f.renames.at(0), std::make_pair(dir.url("a.txt"), QString()));

        editor = beginRenameByKeyboard(f, 1);
        QVERIFY(editor);
        QTest::keyClicks(editor, u"  new name "_s);
        QTest::keyClick(editor, Qt::Key_Return);
        QTRY_COMPARE(f.renames.size(), 2);
        QCOMPARE(f.renames.at(1), std::make_pair(dir.url("b.txt"), u"  new name .txt"_s));
        // The row keeps its name until the screen lists the folder again.
        QCOMPARE(f.text(1, FileListModel::NameColumn), u"b.txt"_s);
        QCOMPARE(dir.exists("b.txt"), true);

        // Escape gives up a changed name.
        editor = beginRenameByKeyboard(f, 0);
        QVERIFY(editor);
        QTest::keyClicks(editor, u"other"_s);
        QTest::keyClick(editor, Qt::Key_Escape);
        QTRY_VERIFY(!f.editor(0));
        QCOMPARE(f.renames.size(), 2);
    }

    void anEditClosedByAReloadRenamesNothing()
    {
        TempFolder dir;
        QVERIFY(dir.createFile("a.txt") && dir.createFile("b.txt"));
        ListFixture f;
        QVERIFY(QTest::qWaitForWindowExposed(&f.window));
        f.show(listDirectory(dir.path()));

        QLineEdit *editor = beginRenameByKeyboard(f, 1);
        QVERIFY(editor);
        QTest::keyClicks(editor, u"zzz"_s);
        QVERIFY(QFile::remove(dir.path("b.txt")));
        f.show(listDirectory(dir.path()));
        QCOMPARE(f.view.model()->rowCount(), 1);
        QCoreApplication::processEvents();
        QVERIFY(!f.editor(0));
        QVERIFY(f.renames.isEmpty());
    }

    void doubleClickOpensTheRowUnderThePointerOnly()
    {
        TempFolder dir;
        QVERIFY(dir.createFile("a.txt") && dir.createDir("folder"));
        ListFixture f;
        QVERIFY(QTest::qWaitForWindowExposed(&f.window));
        f.show(listDirectory(dir.path()));

        doubleClick(f.viewport(), f.centreOfRow(1));
        QCOMPARE(f.opened, QList<QUrl>{f.url(1)});

        const QPoint belowLastRow(20, f.viewport()->height() - 10);
        QVERIFY(!f.table()->indexAt(belowLastRow).isValid());
        doubleClick(f.viewport(), belowLastRow);
        QCOMPARE(f.opened.size(), 1);
        // Double click never starts renaming.
        QVERIFY(!f.isEditing());
    }

    void hostMenuTargetsTheRowUnderTheClick()
    {
        TempFolder dir;
        QVERIFY(dir.createFile("a.txt") && dir.createFile("b.txt") && dir.createFile("c.txt"));
        ListFixture f;
        QVERIFY(QTest::qWaitForWindowExposed(&f.window));
        f.show(listDirectory(dir.path()));
        f.selection = {f.url(0), f.url(1)};
        f.update();

        f.view.host()->rebuildMenu(f.viewport()->mapToGlobal(f.centreOfRow(1)));
        QCOMPARE(f.view.host()->menuTargets(), (QSet<QUrl>{f.url(0), f.url(1)}));
        f.view.host()->rebuildMenu(f.viewport()->mapToGlobal(f.centreOfRow(2)));
        QCOMPARE(f.view.host()->menuTargets(), QSet<QUrl>{f.url(2)});
        f.view.host()->rebuildMenu(f.viewport()->mapToGlobal(QPoint(20, f.viewport()->height() - 10)));
        QVERIFY(f.view.host()->menuTargets().isEmpty());
        QCOMPARE(f.selectedRows(), (QList<int>{0, 1}));
    }
};

QTEST_MAIN(TestFileListView)
#include "tst_filelistview.moc"
