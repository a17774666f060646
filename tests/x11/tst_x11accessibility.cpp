// What a screen reader gets from the file views on X11, where Qt's accessibility bridge is active
// (its offscreen platform has no accessibility to deliver notices to).
#include "support/fileviewharness.h"
#include "support/tempfolder.h"

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
        for (int i = 0; i < 100; ++i)
            QVERIFY(folder.createFile(QString("item %1.txt").arg(i, 3, 10, QChar('0')), "x"));
        FileViewHarness h(ViewKind::icons, folder.path());
        h.window.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&h.window));
        QAbstractItemView *grid = h.view();
        grid->setFocus();
        QTRY_VERIFY(grid->hasFocus());
        notices.clear();

        h.click("item 002.txt");
        QVERIFY2(notices.contains(qMakePair(QAccessible::Focus, 2)), "no focus notice for the clicked item");
        QVERIFY(notices.contains(qMakePair(QAccessible::SelectionAdd, 2)));
        QCOMPARE(QAccessible::queryAccessibleInterface(grid)->child(2)->text(QAccessible::Name),
                 "item 002.txt");

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
};

QTEST_MAIN(TestX11Accessibility)
#include "tst_x11accessibility.moc"
