// What a screen reader gets from the file views on X11, where Qt's accessibility bridge is active
// (its offscreen platform has no accessibility to deliver notices to).
#include "filestore/listing.h"
#include "fileviews/fileiconview.h"
#include "fileviews/filelistview.h"
#include "fileviews/fileviewhost.h"
#include "support/tempfolder.h"

#include <QAbstractItemView>
#include <QAccessible>
#include <QApplication>
#include <QTest>
#include <QTreeView>

namespace {

QList<QPair<QAccessible::Event, int>> notices;

void record(QAccessibleEvent *event)
{
    if (event->type() == QAccessible::Focus || event->type() == QAccessible::SelectionAdd ||
        event->type() == QAccessible::SelectionRemove || event->type() == QAccessible::SelectionWithin)
        notices << qMakePair(event->type(), event->child());
}

} // namespace

class TestX11Accessibility : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        if (!qApp->nativeInterface<QNativeInterface::QX11Application>())
            QSKIP("needs the xcb platform and an X server");
        QAccessible::setActive(true);
        // The bridge comes up once it has reached the accessibility bus.
        if (!QTest::qWaitFor([] { return QAccessible::isActive(); }, 5000))
            QSKIP("no accessibility bus (run under dbus-run-session with at-spi2-core)");
        QAccessible::installUpdateHandler(&record);
    }

    void cleanupTestCase() { QAccessible::installUpdateHandler(nullptr); }

    void gridAnnouncesFocusAndSelection()
    {
        TempFolder folder;
        QStringList names;
        for (int i = 0; i < 100; ++i)
            names << QString("item %1.txt").arg(i, 3, 10, QChar('0'));
        for (const QString &name : names)
            folder.createFile(name, "x");
        QSet<QUrl> selection;
        FileIconView view{FilesState::Services{}};
        FileIconView::Description description;
        description.entries = listDirectory(folder.path());
        description.selection = {selection, [&](const QSet<QUrl> &value) { selection = value; }};
        view.update(description);
        view.host()->resize(600, 400);
        view.host()->show();
        view.host()->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(view.host()));
        auto *grid = view.host()->findChild<QAbstractItemView *>();
        QVERIFY(grid);
        grid->setFocus();
        QTRY_VERIFY(grid->hasFocus());
        notices.clear();

        const QModelIndex third = grid->model()->index(2, 0);
        QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, grid->visualRect(third).center());
        QVERIFY2(notices.contains(qMakePair(QAccessible::Focus, 2)), "no focus notice for the clicked item");
        QVERIFY(notices.contains(qMakePair(QAccessible::SelectionAdd, 2)));
        QCOMPARE(QAccessible::queryAccessibleInterface(grid)->child(2)->text(QAccessible::Name), names.at(2));

        notices.clear();
        QTest::keyClick(grid, Qt::Key_Right);
        QVERIFY(notices.contains(qMakePair(QAccessible::Focus, 3)));
        QVERIFY(notices.contains(qMakePair(QAccessible::SelectionAdd, 3)));
        QVERIFY(notices.contains(qMakePair(QAccessible::SelectionRemove, 2)));

        // Select all: one notice, not a hundred.
        notices.clear();
        QTest::keyClick(grid, Qt::Key_A, Qt::ControlModifier);
        QCOMPARE(grid->selectionModel()->selectedIndexes().size(), 100);
        QCOMPARE(notices.count(qMakePair(QAccessible::SelectionWithin, -1)), 1);
        QCOMPARE(notices.size(), 1);
    }

    // Entering another folder renews the list's rows, never the list itself: the object a screen
    // reader holds (its AT-SPI path is made of this id) stays valid and reads the new rows.
    void listKeepsItsObjectAcrossFolders()
    {
        TempFolder folder;
        QVERIFY(folder.createFile("A/first.txt") && folder.createFile("B/second.txt") &&
                folder.createFile("B/third.txt"));
        FileListView view{FilesState::Services{}};
        const auto enter = [&view, &folder](const QString &name) {
            FileListView::Description description;
            description.entries = listDirectory(folder.path(name));
            view.update(description);
        };
        const auto rows = [&view] {
            QAccessibleTableInterface *table = QAccessible::queryAccessibleInterface(view.table())->tableInterface();
            QStringList names;
            for (int row = 0; row < table->rowCount(); ++row)
                names << table->cellAt(row, 0)->text(QAccessible::Name);
            return names;
        };
        enter("A");
        view.host()->resize(600, 400);
        view.host()->show();
        QVERIFY(QTest::qWaitForWindowExposed(view.host()));
        const QAccessible::Id list = QAccessible::uniqueId(QAccessible::queryAccessibleInterface(view.table()));
        QTRY_COMPARE(rows(), QStringList{"first.txt"});
        enter("B");
        QTRY_COMPARE(rows(), (QStringList{"second.txt", "third.txt"}));
        QCOMPARE(QAccessible::uniqueId(QAccessible::queryAccessibleInterface(view.table())), list);
    }
};

QTEST_MAIN(TestX11Accessibility)
#include "tst_x11accessibility.moc"
