#include "app/contentview.h"
#include "app/devicelistpoller.h"
#include "app/simulatorlistmodel.h"
#include "screens/contentunavailableview.h"
#include "screens/messagealert.h"
#include "screens/simulatordetailview.h"

#include <QAbstractButton>
#include <QListView>
#include <QMessageBox>
#include <QMutex>
#include <QStackedWidget>
#include <QTest>

#include <atomic>
#include <thread>

using namespace std::chrono_literals;

namespace {

// A scripted device lister: each call takes the next outcome (the last one repeats).
struct Script
{
    QMutex mutex;
    QList<Result<QList<Simulator>>> outcomes;
    std::atomic<int> calls{0};
    std::atomic<int> active{0};
    std::atomic<int> maxActive{0};
    std::chrono::milliseconds delay{0};

    void set(QList<Result<QList<Simulator>>> next)
    {
        QMutexLocker lock(&mutex);
        outcomes = std::move(next);
    }

    DeviceListPoller::Lister lister()
    {
        return [this](StopToken) {
            const int now = ++active;
            int seen = maxActive.load();
            while (now > seen && !maxActive.compare_exchange_weak(seen, now)) {
            }
            std::this_thread::sleep_for(delay);
            Result<QList<Simulator>> outcome;
            {
                QMutexLocker lock(&mutex);
                outcome = outcomes.size() > 1 ? outcomes.takeFirst() : outcomes.first();
            }
            ++calls;
            --active;
            return outcome;
        };
    }
};

using Listing = Result<QList<Simulator>>;

const Simulator phone{"P-1", "iPhone 15", "iOS 17.5", false};
const Simulator pad{"P-2", "iPad Air", "iOS 18.1", true};
const Simulator watch{"P-3", "Apple Watch", "watchOS 10.2", false};

QModelIndex rowFor(const ContentView &view, const QString &udid)
{
    const auto &list = view.simulators();
    for (int i = 0; i < list.size(); ++i)
        if (list[i].udid == udid)
            return view.sidebar()->model()->index(i, 0);
    return {};
}

void clickRow(ContentView &view, const QString &udid)
{
    const QModelIndex index = rowFor(view, udid);
    QVERIFY(index.isValid());
    QTest::mouseClick(view.sidebar()->viewport(), Qt::LeftButton, {},
                      view.sidebar()->visualRect(index).center());
}

QList<QMessageBox *> visibleBoxes(const ContentView &view)
{
    QList<QMessageBox *> boxes;
    for (QMessageBox *box : view.findChildren<QMessageBox *>())
        if (box->isVisible())
            boxes << box;
    return boxes;
}

} // namespace

class TestContentView : public QObject
{
    Q_OBJECT

private slots:
    void rowsPlaceholderAndSelection()
    {
        Script script;
        script.set({Listing::success({pad, phone, watch})});
        ContentView view(new DeviceListPoller(script.lister(), 20ms));
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));

        auto *placeholder = view.findChild<ContentUnavailableView *>();
        QVERIFY(placeholder);
        QCOMPARE(placeholder->title(), "Select a simulator");
        QTRY_COMPARE(view.simulators().size(), 3);
        QCOMPARE(view.sidebar()->model()->rowCount(), 3);
        QCOMPARE(view.simulators().first().udid, pad.udid);
        QVERIFY(placeholder->isVisible());
        QVERIFY(!view.selectedSimulator());

        // Read-outs and the dot.
        const QModelIndex first = view.sidebar()->model()->index(0, 0);
        QCOMPARE(first.data(Qt::AccessibleTextRole).toString(), "iPad Air, iOS 18.1, Booted");
        QCOMPARE(first.data(Qt::AccessibleDescriptionRole).toString(), "iOS 18.1, Booted");
        QCOMPARE(SimulatorRowDelegate::dotColor(true).alphaF(), 1.0f);
        QVERIFY(qAbs(SimulatorRowDelegate::dotColor(false).alphaF() - 0.3f) < 0.01f);
        QVERIFY(SimulatorRowDelegate::dotColor(true).green() > SimulatorRowDelegate::dotColor(true).red());

        clickRow(view, phone.udid);
        QVERIFY(view.selectedSimulator());
        QCOMPARE(*view.selectedSimulator(), phone);
        auto *detail = qobject_cast<SimulatorDetailView *>(view.detailView());
        QVERIFY(detail);
        QVERIFY(detail->isVisible());
        QVERIFY(!placeholder->isVisible());
        QCOMPARE(detail->simulator(), phone);
        QCOMPARE(view.windowTitle(), "iPhone 15");

        // The phone boots elsewhere: it moves up, no row shows as selected, the pane keeps the
        // old record.
        Simulator booted = phone;
        booted.isBooted = true;
        const int callsBefore = script.calls;
        script.set({Listing::success({booted, pad, watch})});
        QTRY_VERIFY(script.calls > callsBefore + 1);
        QTRY_COMPARE(view.simulators().first(), booted);
        QVERIFY(view.sidebar()->selectionModel()->selectedRows().isEmpty());
        QCOMPARE(*view.selectedSimulator(), phone);
        QCOMPARE(detail->simulator(), phone);

        // Picking it again takes the new record into the same pane.
        clickRow(view, phone.udid);
        QCOMPARE(*view.selectedSimulator(), booted);
        QCOMPARE(view.detailView(), detail);
        QCOMPARE(detail->simulator(), booted);

        // Another device: a new pane.
        clickRow(view, watch.udid);
        QVERIFY(view.detailView() != detail);
        QCOMPARE(qobject_cast<SimulatorDetailView *>(view.detailView())->simulator(), watch);

        // The device leaves the list: the selection (and pane) stay, no row is selected.
        script.set({Listing::success({booted, pad})});
        QTRY_COMPARE(view.simulators().size(), 2);
        QCOMPARE(*view.selectedSimulator(), watch);
        QVERIFY(view.sidebar()->selectionModel()->selectedRows().isEmpty());
        QVERIFY(visibleBoxes(view).isEmpty());
    }

    void emptyListShowsNothingAndNoAlert()
    {
        Script script;
        script.set({Listing::success({})});
        ContentView view(new DeviceListPoller(script.lister(), 20ms));
        view.show();
        QTRY_VERIFY(script.calls >= 2);
        QCOMPARE(view.sidebar()->model()->rowCount(), 0);
        QVERIFY(!view.errorMessage());
    }

    void failingListingAlertsAgainAfterOk()
    {
        Script script;
        script.set({Listing::success({phone}), Listing::failure("The developer tools could not be started")});
        ContentView view(new DeviceListPoller(script.lister(), 30ms));
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));

        QTRY_VERIFY(view.errorAlert()->isShown());
        QCOMPARE(view.errorMessage().value_or(QString()), "The developer tools could not be started");
        QCOMPARE(view.simulators(), QList<Simulator>{phone}); // the old list stays
        QMessageBox *box = view.errorAlert()->box();
        QCOMPARE(box->text(), "Error");
        QCOMPARE(box->informativeText(), "The developer tools could not be started");
        QCOMPARE(box->buttons().size(), 1);
        QCOMPARE(box->buttons().first()->text(), "OK");

        // Several more failures while it is up: still one box.
        const int calls = script.calls;
        QTRY_VERIFY(script.calls > calls + 3);
        QCOMPARE(visibleBoxes(view).size(), 1);

        box->buttons().first()->click();
        QVERIFY(!view.errorMessage());
        QTRY_VERIFY(view.errorAlert()->isShown()); // the failure persists: it comes back
        QCOMPARE(visibleBoxes(view).size(), 1);

        // Success does not clear it; OK does, and then it stays away.
        script.set({Listing::success({phone, pad})});
        QTRY_COMPARE(view.simulators().size(), 2);
        QVERIFY(view.errorAlert()->isShown());
        view.errorAlert()->box()->buttons().first()->click();
        const int after = script.calls;
        QTRY_VERIFY(script.calls > after + 2);
        QVERIFY(!view.errorAlert()->isShown());
    }

    void listingsNeverOverlapAndStopWithTheWindow()
    {
        Script script;
        script.delay = 40ms;
        script.set({Listing::success({phone})});
        auto *poller = new DeviceListPoller(script.lister(), 1ms);
        ContentView view(poller);
        view.show();

        // The GUI stays live while listings run on a worker.
        int ticks = 0;
        QTimer ticker;
        connect(&ticker, &QTimer::timeout, [&] { ++ticks; });
        ticker.start(5);
        QTRY_VERIFY(script.calls >= 6);
        QVERIFY(ticks > 10);
        QCOMPARE(script.maxActive.load(), 1);

        view.close();
        QTRY_VERIFY(!poller->isListing());
        const int stopped = poller->listingsStarted();
        QTest::qWait(150);
        QCOMPARE(poller->listingsStarted(), stopped);
    }

    void intervalCountsFromTheEndOfAListing()
    {
        Script script;
        script.delay = 10ms;
        script.set({Listing::success({})});
        auto *poller = new DeviceListPoller(script.lister(), 200ms);
        ContentView view(poller);
        view.show();
        QTRY_COMPARE(script.calls.load(), 1); // the first listing starts at once
        QTest::qWait(100);
        QCOMPARE(poller->listingsStarted(), 1);
        QTRY_COMPARE(script.calls.load(), 2);
    }
};

QTEST_MAIN(TestContentView)
#include "tst_contentview.moc"
