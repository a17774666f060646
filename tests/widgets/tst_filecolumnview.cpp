#include "filestore/listing.h"
#include "fileviews/filecolumnview.h"
#include "fileviews/fileviewhost.h"
#include "support/recordingservices.h"
#include "support/tempfolder.h"

#include <QAccessible>
#include <QApplication>
#include <QContextMenuEvent>
#include <QDir>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTest>

#include <algorithm>

namespace {

QStringList titles(const QMenu *menu)
{
    QStringList out;
    for (const QAction *action : menu->actions())
        out << (action->isSeparator() ? QStringLiteral("-") : action->text());
    return out;
}

void doubleClick(QWidget *widget, QPoint pos)
{
    QTest::mousePress(widget, Qt::LeftButton, {}, pos);
    QTest::mouseRelease(widget, Qt::LeftButton, {}, pos);
    QTest::mouseDClick(widget, Qt::LeftButton, {}, pos);
    QTest::mouseRelease(widget, Qt::LeftButton, {}, pos);
}

// A column browser over a real folder tree inside its host, with a screen stand-in that keeps
// the bound values, records every callback and counts the folder reads.
//   root/ Alpha/ (Beta/ (deep.txt, gamma.txt), inner.txt), b.txt, c.txt
struct Browser
{
    TempFolder folder;
    std::shared_ptr<RecordingPasteboard> pasteboard = std::make_shared<RecordingPasteboard>();
    std::shared_ptr<RecordingWorkspace> workspace = std::make_shared<RecordingWorkspace>();
    FileColumnView view{FilesState::Services{workspace, pasteboard, nullptr}};

    int reloadToken = 1;
    QSet<QUrl> selection;
    std::optional<QUrl> renameRequest;

    QHash<QString, int> reads; // relative folder path → listings
    QList<QUrl> opened;
    QList<QPair<QUrl, QString>> renames;
    QList<QSet<QUrl>> selectionReports;
    QList<QUrl> directories;
    QList<QSet<QUrl>> trashed;

    Browser()
    {
        for (const char *file :
             {"Alpha/Beta/deep.txt", "Alpha/Beta/gamma.txt", "Alpha/inner.txt", "b.txt", "c.txt"})
            folder.createFile(QString::fromLatin1(file), "x");
        view.setDirectoryLister([this](const QUrl &url) {
            ++reads[QDir(folder.path()).relativeFilePath(url.toLocalFile())];
            return listDirectory(url);
        });
        render();
        view.host()->resize(800, 400);
        view.host()->show();
    }

    FileColumnView::Description description()
    {
        FileColumnView::Description d;
        d.rootURL = folder.url();
        d.reloadToken = reloadToken;
        d.selection = {selection, [this](const QSet<QUrl> &value) { selection = value; }};
        d.renameRequest = {renameRequest,
                           [this](const std::optional<QUrl> &value) { renameRequest = value; }};
        d.actions.open = [this](const QUrl &url) { opened << url; };
        d.actions.rename = [this](const QUrl &url, const QString &name) { renames << qMakePair(url, name); };
        d.actions.selectionChanged = [this](const QSet<QUrl> &urls) { selectionReports << urls; };
        d.actions.directoryChanged = [this](const QUrl &url) { directories << url; };
        d.actions.trash = [this](const QSet<QUrl> &urls) { trashed << urls; };
        d.actions.currentDirectory = [this] {
            return directories.isEmpty() ? folder.url() : directories.last();
        };
        return d;
    }
    void render() { view.update(description()); }

    // The open columns, left to right.
    QList<QListView *> columns() const
    {
        QList<QListView *> out;
        for (QListView *list : view.host()->findChildren<QListView *>())
            if (!list->isHidden())
                out << list;
        std::sort(out.begin(), out.end(), [](QListView *a, QListView *b) { return a->x() < b->x(); });
        return out;
    }
    QStringList names(int column) const
    {
        QStringList out;
        const QAbstractItemModel *model = columns().at(column)->model();
        for (int row = 0; row < model->rowCount(); ++row)
            out << model->index(row, 0).data().toString();
        return out;
    }
    QModelIndex index(int column, const QString &name) const
    {
        const QAbstractItemModel *model = columns().at(column)->model();
        for (int row = 0; row < model->rowCount(); ++row)
            if (model->index(row, 0).data().toString() == name)
                return model->index(row, 0);
        return {};
    }
    QPoint centre(int column, const QString &name) const
    {
        return columns().at(column)->visualRect(index(column, name)).center();
    }
    void click(int column, const QString &name, Qt::KeyboardModifiers modifiers = {})
    {
        QVERIFY2(index(column, name).isValid(), qPrintable(name));
        QTest::mouseClick(columns().at(column)->viewport(), Qt::LeftButton, modifiers, centre(column, name));
    }
    QUrl url(const QString &relative) const { return folder.url(relative); }
    QLineEdit *editor() const { return qobject_cast<QLineEdit *>(QApplication::focusWidget()); }
};

} // namespace

class TestFileColumnView : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    void rootInTheFirstColumn()
    {
        Browser b;
        QVERIFY(QTest::qWaitForWindowExposed(b.view.host()));
        QCOMPARE(b.names(0), QStringList({"Alpha", "b.txt", "c.txt"}));
        QCOMPARE(b.columns().size(), 1);
        QCOMPARE(b.columns().at(0)->x(), 0);
        QVERIFY(b.selectionReports.isEmpty());
        QVERIFY(b.directories.isEmpty());
    }

    void singleFolderOpensTheNextColumn()
    {
        Browser b;
        QVERIFY(QTest::qWaitForWindowExposed(b.view.host()));
        b.click(0, "Alpha");
        QCOMPARE(b.selectionReports, QList<QSet<QUrl>>{{b.url("Alpha")}});
        QCOMPARE(b.selection, QSet<QUrl>{b.url("Alpha")});
        QCOMPARE(b.directories, QList<QUrl>{b.url("Alpha")});
        QCOMPARE(b.columns().size(), 2);
        QCOMPARE(b.names(1), QStringList({"Beta", "inner.txt"}));
        // Columns are 220 points apart.
        QCOMPARE(b.columns().at(1)->x() - b.columns().at(0)->x(), FileColumnView::DefaultColumnWidth);

        b.click(1, "Beta");
        QCOMPARE(b.columns().size(), 3);
        QCOMPARE(b.names(2), QStringList({"deep.txt", "gamma.txt"}));
        QCOMPARE(b.directories.last(), b.url("Alpha/Beta"));
        // Screen readers name each column after its folder.
        QStringList spoken;
        for (QListView *column : b.columns())
            spoken << column->accessibleName();
        QCOMPARE(spoken, QStringList({"Files", "Alpha", "Beta"}));
        // Back in the first column: what lay right of it closes.
        b.click(0, "b.txt");
        QCOMPARE(b.columns().size(), 1);
        QCOMPARE(b.directories.last(), b.url(""));
    }

    void fileReportsTheFolderOfItsColumn()
    {
        Browser b;
        QVERIFY(QTest::qWaitForWindowExposed(b.view.host()));
        b.click(0, "Alpha");
        b.click(1, "inner.txt");
        QCOMPARE(b.selectionReports.last(), QSet<QUrl>{b.url("Alpha/inner.txt")});
        QCOMPARE(b.directories, (QList<QUrl>{b.url("Alpha"), b.url("Alpha")}));
        QCOMPARE(b.columns().size(), 2); // a file opens no column
        // The parent keeps its highlight but is not part of the selection.
        QVERIFY(b.columns().at(0)->selectionModel()->isSelected(b.index(0, "Alpha")));
        QCOMPARE(b.selection, QSet<QUrl>{b.url("Alpha/inner.txt")});
    }

    // The folder clicked again is the selection, not what was selected in the column it opened:
    // Delete then trashes what the user just clicked.
    void clickingTheOpenFolderAgainSelectsIt()
    {
        Browser b;
        QVERIFY(QTest::qWaitForWindowExposed(b.view.host()));
        b.click(0, "Alpha");
        b.click(1, "inner.txt");
        // A right click is no such choice: the menu acts on the folder, the selection stays.
        QTest::mouseClick(b.columns().at(0)->viewport(), Qt::RightButton, {}, b.centre(0, "Alpha"));
        QCOMPARE(b.selection, QSet<QUrl>{b.url("Alpha/inner.txt")});
        b.click(0, "Alpha");
        QCOMPARE(b.selection, QSet<QUrl>{b.url("Alpha")});
        QCOMPARE(b.selectionReports.last(), QSet<QUrl>{b.url("Alpha")});
        QCOMPARE(b.directories.last(), b.url("Alpha"));
        QCOMPARE(b.columns().size(), 2);
        QVERIFY(!b.columns().at(1)->selectionModel()->hasSelection());
        QTest::keyClick(b.columns().at(0), Qt::Key_Delete);
        QCOMPARE(b.trashed, QList<QSet<QUrl>>{{b.url("Alpha")}});
    }

    // A screen reader learns which row of a column is selected, as in the list and the grid.
    void columnsReportTheirSelectedRow()
    {
        Browser b;
        QVERIFY(QTest::qWaitForWindowExposed(b.view.host()));
        b.click(0, "Alpha");
        b.click(1, "inner.txt");
        QAccessibleInterface *column = QAccessible::queryAccessibleInterface(b.columns().at(1));
        QVERIFY(column && column->tableInterface());
        QAccessibleTableInterface *table = column->tableInterface();
        QCOMPARE(table->selectedRows(), QList<int>{1});
        const QList<QAccessibleInterface *> cells = table->selectedCells();
        QCOMPARE(cells.size(), 1);
        QCOMPARE(cells.first()->text(QAccessible::Name), "inner.txt");
        QVERIFY(cells.first()->state().selected);
    }

    void severalItemsReportTheFolderListingThem()
    {
        Browser b;
        QVERIFY(QTest::qWaitForWindowExposed(b.view.host()));
        b.click(0, "b.txt");
        b.click(0, "c.txt", Qt::ControlModifier);
        QCOMPARE(b.selection, (QSet<QUrl>{b.url("b.txt"), b.url("c.txt")}));
        QCOMPARE(b.directories.last(), b.url(""));
        // A folder among several items opens nothing.
        b.click(0, "Alpha", Qt::ControlModifier);
        QCOMPARE(b.selection.size(), 3);
        QCOMPARE(b.columns().size(), 1);
        QCOMPARE(b.directories.last(), b.url(""));
        QCOMPARE(b.selectionReports.size(), 3);
    }

    void doubleClickOpensFilesOnly()
    {
        Browser b;
        QVERIFY(QTest::qWaitForWindowExposed(b.view.host()));
        doubleClick(b.columns().at(0)->viewport(), b.centre(0, "c.txt"));
        QCOMPARE(b.opened, QList<QUrl>{b.url("c.txt")});
        doubleClick(b.columns().at(0)->viewport(), b.centre(0, "Alpha"));
        QCOMPARE(b.opened.size(), 1);
        QCOMPARE(b.columns().size(), 2);
    }

    void foldersAreReadOncePerReloadToken()
    {
        Browser b;
        QVERIFY(QTest::qWaitForWindowExposed(b.view.host()));
        b.click(0, "Alpha");
        b.click(1, "Beta");
        b.click(0, "b.txt");
        b.click(0, "Alpha");
        b.click(1, "Beta");
        b.render();
        QCOMPARE(b.reads, (QHash<QString, int>{{".", 1}, {"Alpha", 1}, {"Alpha/Beta", 1}}));

        // Without a new token, new files on disk do not show.
        QVERIFY(b.folder.createFile("a-new.txt"));
        QVERIFY(b.folder.createFile("Alpha/Beta/epsilon.txt"));
        b.render();
        QCOMPARE(b.names(0), QStringList({"Alpha", "b.txt", "c.txt"}));

        // A new token re-reads every open column and keeps the open path.
        ++b.reloadToken;
        b.render();
        QCOMPARE(b.reads, (QHash<QString, int>{{".", 2}, {"Alpha", 2}, {"Alpha/Beta", 2}}));
        QCOMPARE(b.names(0), QStringList({"a-new.txt", "Alpha", "b.txt", "c.txt"}));
        QCOMPARE(b.columns().size(), 3);
        QCOMPARE(b.names(2), QStringList({"deep.txt", "epsilon.txt", "gamma.txt"}));
        QVERIFY(b.columns().at(0)->selectionModel()->isSelected(b.index(0, "Alpha")));
        QVERIFY(b.columns().at(1)->selectionModel()->isSelected(b.index(1, "Beta")));
        const int reports = int(b.selectionReports.size());

        // A folder on the open path that is gone closes the columns beyond its parent.
        QVERIFY(QDir(b.folder.path("Alpha/Beta")).removeRecursively());
        ++b.reloadToken;
        b.render();
        QCOMPARE(b.columns().size(), 2);
        QCOMPARE(b.names(1), QStringList({"inner.txt"}));
        QCOMPARE(b.selectionReports.size(), reports); // nothing the user did
    }

    void renamingInTheThirdColumn()
    {
        Browser b;
        QVERIFY(QTest::qWaitForWindowExposed(b.view.host()));
        b.click(0, "Alpha");
        b.click(1, "Beta");
        b.renameRequest = b.url("Alpha/Beta/gamma.txt");
        b.render();
        QTRY_VERIFY(b.editor());
        QCOMPARE(b.renameRequest, std::nullopt);
        QCOMPARE(b.editor()->text(), "gamma.txt");
        QCOMPARE(b.editor()->selectedText(), "gamma.txt"); // the whole name, extension too
        QVERIFY(b.columns().at(2)->isAncestorOf(b.editor()));
        QCOMPARE(b.columns().at(2)->selectionModel()->selectedIndexes(),
                 QModelIndexList{b.index(2, "gamma.txt")});

        QTest::keyClicks(b.editor(), "delta.txt");
        QTest::keyClick(b.editor(), Qt::Key_Return);
        QTRY_COMPARE(b.renames.size(), 1);
        QCOMPARE(b.renames.first(), qMakePair(b.url("Alpha/Beta/gamma.txt"), QString("delta.txt")));
        QTRY_VERIFY(!b.columns().at(2)->indexWidget(b.index(2, "gamma.txt")));
        QCoreApplication::processEvents();
        QCOMPARE(b.renames.size(), 1);
    }

    void returnKeyRenamesAndEscapeOrNoChangeSendsNothing()
    {
        Browser b;
        QVERIFY(QTest::qWaitForWindowExposed(b.view.host()));
        b.click(0, "c.txt");
        QTest::keyClick(b.columns().at(0), Qt::Key_Return);
        QVERIFY(b.editor());
        QCOMPARE(b.editor()->selectedText(), "c.txt");
        QTest::keyClicks(b.editor(), "other");
        QTest::keyClick(b.editor(), Qt::Key_Escape);
        QVERIFY(!b.columns().at(0)->indexWidget(b.index(0, "c.txt")));

        QTest::keyClick(b.columns().at(0), Qt::Key_Return);
        QVERIFY(b.editor());
        QCOMPARE(b.editor()->text(), "c.txt");
        QTest::keyClick(b.editor(), Qt::Key_Return);
        QTRY_VERIFY(!b.columns().at(0)->indexWidget(b.index(0, "c.txt")));
        QCoreApplication::processEvents();
        QVERIFY(b.renames.isEmpty());

        // The host's other keys reach every column.
        b.click(0, "Alpha");
        b.click(1, "inner.txt");
        QTest::keyClick(b.columns().at(1), Qt::Key_Delete);
        QCOMPARE(b.trashed, QList<QSet<QUrl>>{{b.url("Alpha/inner.txt")}});
    }

    void goingAwayWhileEditingRenamesNothing()
    {
        QTest::failOnWarning(QRegularExpression("editor that does not belong"));
        auto b = std::make_unique<Browser>();
        QVERIFY(QTest::qWaitForWindowExposed(b->view.host()));
        b->click(0, "c.txt");
        QTest::keyClick(b->columns().at(0), Qt::Key_Return);
        QVERIFY(b->editor());
        QTest::keyClicks(b->editor(), "d");
        QList<QPair<QUrl, QString>> renames;
        FileColumnView::Description d = b->description();
        d.actions.rename = [&](const QUrl &url, const QString &name) { renames << qMakePair(url, name); };
        b->view.update(d);
        b.reset();
        QCoreApplication::processEvents();
        QVERIFY(renames.isEmpty());
    }

    void renameRequestOutsideTheOpenColumnsIsDropped()
    {
        Browser b;
        QVERIFY(QTest::qWaitForWindowExposed(b.view.host()));
        b.renameRequest = b.url("Alpha/inner.txt");
        b.render();
        QTRY_COMPARE(b.renameRequest, std::nullopt);
        QVERIFY(!b.editor());
        QCOMPARE(b.columns().size(), 1);
    }

    void menuBelowTheRowsIsTheBackgroundMenu()
    {
        Browser b;
        QVERIFY(QTest::qWaitForWindowExposed(b.view.host()));
        b.click(0, "Alpha");
        QListView *second = b.columns().at(1);
        const QPoint below(20, second->viewport()->height() - 10);
        QMenu *menu = b.view.host()->rebuildMenu(second->viewport()->mapToGlobal(below));
        QCOMPARE(titles(menu), QStringList({"New Folder", "Paste Item", "-", "Copy Path", "Open in Terminal",
                                            "Reveal in Finder"}));
        QVERIFY(b.view.host()->menuTargets().isEmpty());

        // A real right-click on a row of the second column targets that row.
        const QPoint onRow = b.centre(1, "inner.txt");
        QContextMenuEvent event(QContextMenuEvent::Mouse, onRow, second->viewport()->mapToGlobal(onRow));
        QApplication::sendEvent(second->viewport(), &event);
        QCOMPARE(b.view.host()->menuTargets(), QSet<QUrl>{b.url("Alpha/inner.txt")});
        QCOMPARE(titles(b.view.host()->menu()).first(), "Open");
        b.view.host()->menu()->close();
    }

    void newFolderStartsRenamingAfterTheColumnsAreReRead()
    {
        Browser b;
        QVERIFY(QTest::qWaitForWindowExposed(b.view.host()));
        b.click(0, "Alpha");
        QVERIFY(b.folder.createDir("Alpha/untitled folder"));
        ++b.reloadToken;
        b.renameRequest = b.url("Alpha/untitled folder");
        b.render(); // one update brings both
        QTRY_VERIFY(b.editor());
        QCOMPARE(b.editor()->text(), "untitled folder");
        QCOMPARE(b.editor()->selectedText(), "untitled folder");
        QVERIFY(b.columns().at(1)->isAncestorOf(b.editor()));
        QCOMPARE(b.reads.value("Alpha"), 2);
        QCOMPARE(b.renameRequest, std::nullopt);
    }

    void columnsResizeByTheirGrip()
    {
        Browser b;
        QVERIFY(QTest::qWaitForWindowExposed(b.view.host()));
        b.click(0, "Alpha");
        QWidget *grip = nullptr;
        for (QWidget *child :
             b.columns().at(0)->parentWidget()->findChildren<QWidget *>(Qt::FindDirectChildrenOnly))
            if (child->cursor().shape() == Qt::SplitHCursor && child->x() < b.columns().at(1)->x())
                grip = child;
        QVERIFY(grip);
        QTest::mousePress(grip, Qt::LeftButton, {}, QPoint(2, 10));
        QTest::mouseMove(grip, QPoint(62, 10));
        QTest::mouseRelease(grip, Qt::LeftButton, {}, QPoint(62, 10));
        QCOMPARE(b.columns().at(1)->x() - b.columns().at(0)->x(), FileColumnView::DefaultColumnWidth + 60);
    }

    void anotherRootStartsAfresh()
    {
        Browser b;
        QVERIFY(QTest::qWaitForWindowExposed(b.view.host()));
        b.click(0, "Alpha");
        TempFolder other;
        QVERIFY(other.createFile("z.txt"));
        FileColumnView::Description d = b.description();
        d.rootURL = other.url();
        b.view.update(d);
        QCOMPARE(b.columns().size(), 1);
        QCOMPARE(b.names(0), QStringList{"z.txt"});
        // A root that cannot be read shows as an empty column.
        d.rootURL = QUrl("https://example.com/");
        b.view.update(d);
        QCOMPARE(b.columns().size(), 1);
        QVERIFY(b.names(0).isEmpty());
    }

    void keyboardMovesBetweenColumns()
    {
        Browser b;
        QVERIFY(QTest::qWaitForWindowExposed(b.view.host()));
        b.click(0, "Alpha");
        QTest::keyClick(b.columns().at(0), Qt::Key_Right);
        QCOMPARE(b.selection, QSet<QUrl>{b.url("Alpha/Beta")});
        QCOMPARE(b.columns().size(), 3);
        QTest::keyClick(b.columns().at(1), Qt::Key_Down);
        QCOMPARE(b.selection, QSet<QUrl>{b.url("Alpha/inner.txt")});
        QCOMPARE(b.columns().size(), 2);
        QTest::keyClick(b.columns().at(1), Qt::Key_Left);
        QCOMPARE(b.selection, QSet<QUrl>{b.url("Alpha")});
        QCOMPARE(b.directories.last(), b.url("Alpha"));
    }
};

QTEST_MAIN(TestFileColumnView)
#include "tst_filecolumnview.moc"
