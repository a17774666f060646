#include "screens/appsview.h"
#include "screens/contentunavailableview.h"
#include "screens/filesstorageview.h"
#include "screens/messagealert.h"
#include "screens/photosview.h"
#include "screens/simulatordetailview.h"
#include "support/plaintextcheck.h"
#include "support/settingssandbox.h"
#include "support/simulatordevice.h"
#include "widgets/fakeaddmedia.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QListView>
#include <QListWidget>
#include <QMessageBox>
#include <QMimeData>
#include <QPushButton>
#include <QSettings>
#include <QTest>
#include <QThreadPool>
#include <QToolBar>

#include <memory>

using namespace Qt::StringLiterals;
using Section = SimulatorDetailView::Section;

namespace {

const Simulator bootedPhone{u"0F1E2D3C-4B5A-4978-8695-A4B3C2D1E0F9"_s, u"iPhone 15 Pro"_s, u"iOS 17.2"_s,
                            true};
const Simulator idlePad{u"9A8B7C6D-5E4F-4031-8213-243546576879"_s, u"iPad Air (5th generation)"_s,
                        u"iOS 18.1"_s, false};

// A pane or screen of the device, shown in a window of its own; none when it never showed.
template <typename Widget> std::unique_ptr<Widget> onScreen(const Simulator &simulator)
{
    auto widget = std::make_unique<Widget>(simulator);
    widget->resize(800, 600);
    widget->show();
    return QTest::qWaitForWindowExposed(widget.get()) ? std::move(widget) : nullptr;
}

void choose(SimulatorDetailView &pane, Section section)
{
    QTest::mouseClick(pane.sectionButton(section), Qt::LeftButton);
}

QStringList rowTexts(const PhotosView &view)
{
    QStringList texts;
    for (int row = 0; row < view.fileList()->count(); ++row)
        texts << view.fileList()->item(row)->text();
    return texts;
}

// A drag that enters `under`, then drops there; QApplication routes both as a real drag would.
bool drop(QWidget *under, const QList<QUrl> &urls)
{
    QMimeData mime;
    mime.setUrls(urls);
    const Qt::DropActions offered = Qt::CopyAction | Qt::MoveAction;
    QDragEnterEvent enter(QPoint(5, 5), offered, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(under, &enter);
    if (!enter.isAccepted())
        return false;
    QDropEvent event(QPointF(5, 5), offered, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(under, &event);
    return event.isAccepted() && event.dropAction() == Qt::CopyAction;
}

bool anyMessageBoxShown()
{
    for (QWidget *widget : QApplication::topLevelWidgets())
        if (qobject_cast<QMessageBox *>(widget) && widget->isVisible())
            return true;
    return false;
}

} // namespace

class TestSimulatorDetailView : public QObject
{
    Q_OBJECT

    SettingsSandbox m_settings{"tst_simulatordetailview"};
    std::unique_ptr<FakeAddMedia> m_tool;

private slots:
    void initTestCase() { QVERIFY(m_settings.isValid()); }
    void init()
    {
        m_settings.clear();
        m_tool = std::make_unique<FakeAddMedia>();
        QVERIFY(m_tool->isValid());
    }
    void cleanup()
    {
        QVERIFY(PhotosView::runPool()->waitForDone(30000));
        QCoreApplication::sendPostedEvents();
        m_tool.reset();
    }

    void storedSectionOpens_data()
    {
        QTest::addColumn<QVariant>("stored");
        QTest::addColumn<Section>("shown");
        QTest::newRow("nothing stored") << QVariant() << Section::Files;
        QTest::newRow("Photos") << QVariant(u"Photos"_s) << Section::Photos;
        QTest::newRow("apps") << QVariant(u"apps"_s) << Section::Apps;
        QTest::newRow("lower case") << QVariant(u"photos"_s) << Section::Files;
        QTest::newRow("the segment's text") << QVariant(u"Apps"_s) << Section::Files;
        QTest::newRow("number") << QVariant(1) << Section::Files;
    }
    // The stored section opens; anything unknown reads as Files, and is left as it is.
    void storedSectionOpens()
    {
        QFETCH(QVariant, stored);
        QFETCH(Section, shown);
        if (stored.isValid())
            QSettings().setValue(u"detailSection"_s, stored);
        auto pane = onScreen<SimulatorDetailView>(bootedPhone);
        QVERIFY(pane);
        QCOMPARE(pane->shownSection(), shown);
        QVERIFY(pane->sectionButton(shown)->isChecked());
        QCOMPARE(pane->photosView() != nullptr, shown == Section::Photos);
        QCOMPARE(QSettings().value(u"detailSection"_s).toString(), stored.toString());
    }

    // One choice moves every pane and is kept for the next one; "apps" is its stored name.
    void everyPaneFollowsOneChoice()
    {
        auto first = onScreen<SimulatorDetailView>(bootedPhone);
        auto second = onScreen<SimulatorDetailView>(idlePad);
        QVERIFY(first && second);
        choose(*first, Section::Photos);
        QCOMPARE(QSettings().value(u"detailSection"_s).toString(), u"Photos"_s);
        QCOMPARE(second->shownSection(), Section::Photos);
        QVERIFY(second->sectionButton(Section::Photos)->isChecked());
        QCOMPARE(second->photosView()->simulator(), idlePad);
        auto next = onScreen<SimulatorDetailView>(idlePad);
        QCOMPARE(next->shownSection(), Section::Photos);

        choose(*second, Section::Apps);
        QCOMPARE(QSettings().value(u"detailSection"_s).toString(), u"apps"_s);
        QCOMPARE(first->shownSection(), Section::Apps);
        choose(*second, Section::Files);
        QCOMPARE(first->shownSection(), Section::Files);
        QCOMPARE(first->photosView(), nullptr);
    }

    // The Apps section follows the device's installs and removals at each refresh of the list,
    // and the browser never stays on a container that went away.
    void appsFollowInstallsAndRemovals()
    {
        TempFolder home;
        const ScopedEnv homeEnv("HOME", home.path().toUtf8());
        SimulatorDevice device(home, idlePad.udid);
        auto install = [&](const QString &name, const QString &id) {
            return device.build({u"bundle B-%1 %1.app CFBundleIdentifier=%2"_s.arg(name, id),
                                 u"data D-%1 %2"_s.arg(name, id),
                                 u"file Containers/Data/Application/D-%1/Documents/%1.txt"_s.arg(name)});
        };
        auto remove = [&](const QString &name) {
            return device.build({u"remove Containers/Bundle/Application/B-"_s + name,
                                 u"remove Containers/Data/Application/D-"_s + name});
        };
        QVERIFY(install(u"Alpha"_s, u"com.example.alpha"_s));
        SimulatorDetailView::setSection(Section::Apps);
        QCOMPARE(QSettings().value(u"detailSection"_s).toString(), u"apps"_s);
        auto pane = onScreen<SimulatorDetailView>(idlePad); // shut down: read from the disk alone
        QVERIFY(pane && pane->appsView());
        AppsView *apps = pane->appsView();
        QTRY_COMPARE(apps->selectedKey(), u"com.example.alpha"_s);
        QCOMPARE(apps->appList()->model()->rowCount(), 1);
        QVERIFY(apps->browser());
        QCOMPARE(apps->containerPath(), home.path(device.dataContainer(u"D-Alpha"_s)));

        // A device left alone is not read again: an Info.plist rewritten in place (no install
        // does that) shows only once the containers change.
        QVERIFY(home.backdate(u"Library"_s));
        pane->devicesRefreshed();
        QTRY_VERIFY(!apps->isLoading());
        QVERIFY(device.build(
            {u"bundle B-Alpha Alpha.app CFBundleIdentifier=com.example.alpha;CFBundleName=Renamed"_s}));
        pane->devicesRefreshed();
        QTRY_VERIFY(!apps->isLoading());
        QCOMPARE(apps->catalogue()->apps.value(0).displayName, u"Alpha"_s);

        QVERIFY(install(u"Beta"_s, u"com.example.beta"_s));
        QVERIFY(remove(u"Alpha"_s));
        pane->devicesRefreshed();
        QTRY_COMPARE(apps->selectedKey(), u"com.example.beta"_s);
        QCOMPARE(apps->appList()->model()->rowCount(), 1);
        QCOMPARE(apps->containerPath(), home.path(device.dataContainer(u"D-Beta"_s)));

        QVERIFY(remove(u"Beta"_s));
        pane->devicesRefreshed();
        QTRY_COMPARE(apps->shownPage(), static_cast<QWidget *>(apps->emptyPlaceholder()));
        QCOMPARE(apps->browser(), nullptr);
        QCOMPARE(apps->emptyPlaceholder()->title(), u"No apps installed"_s);
    }

    // A new record of the same device reaches the Photos screen, which keeps its list;
    // leaving Photos and coming back starts it afresh.
    void newRecordKeepsTheListLeavingClearsIt()
    {
        SimulatorDetailView::setSection(Section::Photos);
        auto pane = onScreen<SimulatorDetailView>(bootedPhone);
        QVERIFY(pane);
        PhotosView *photos = pane->photosView();
        photos->addMediaFiles({m_tool->file(u"a.png"_s)});
        QTRY_COMPARE(photos->addedFiles().size(), 1);

        Simulator shutDown = bootedPhone;
        shutDown.isBooted = false;
        pane->setSimulator(shutDown);
        QCOMPARE(pane->photosView(), photos);
        QCOMPARE(photos->simulator(), shutDown);
        QCOMPARE(photos->addedFiles().size(), 1);
        QVERIFY(!photos->addMediaAction()->isEnabled());

        choose(*pane, Section::Files);
        choose(*pane, Section::Photos);
        QCOMPARE(pane->photosView()->simulator(), shutDown);
        QVERIFY(pane->photosView()->addedFiles().isEmpty());
    }

    // The Photos section's screen, adding media to the device.
    void outcomes_data()
    {
        QTest::addColumn<bool>("booted");
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("error"); // empty: none
        QTest::addColumn<int>("runs");
        QTest::newRow("added") << true << "a photo.png" << QString() << 1;
        // The tool's message, without its trailing newline.
        QTest::newRow("tool fails") << true << "fail.png"
                                    << "Could not add fail.png" << 1;
        QTest::newRow("not booted") << false << "a.png"
                                    << "Boot the simulator before adding media." << 0;
    }
    // Media dropped on the screen goes to a booted device only; what was added is listed, a
    // failure is shown in "Add media failed" until OK and lists nothing.
    void outcomes()
    {
        QFETCH(bool, booted);
        QFETCH(QString, file);
        QFETCH(QString, error);
        QFETCH(int, runs);
        Simulator simulator = bootedPhone;
        simulator.isBooted = booted;
        auto view = onScreen<PhotosView>(simulator);
        QVERIFY(view);
        const QUrl url = m_tool->file(file);
        QVERIFY(drop(view->body(), {url}));
        QTRY_VERIFY(!view->isAdding());
        QCOMPARE(m_tool->runs().size(), runs);
        if (runs)
            QCOMPARE(m_tool->runs().first(),
                     (QStringList{u"simctl"_s, u"addmedia"_s, simulator.udid, url.toLocalFile()}));
        if (error.isEmpty()) {
            QCOMPARE(view->errorMessage(), std::nullopt);
            QCOMPARE(rowTexts(*view), QStringList{file});
            QVERIFY(!view->alert()->isShown());
            return;
        }
        QCOMPARE(view->errorMessage(), std::optional<QString>(error));
        QVERIFY(view->alert()->isShown());
        QCOMPARE(PlainTextCheck::alertTexts(view->alert()), (QStringList{u"Add media failed"_s, error}));
        QVERIFY(view->addedFiles().isEmpty());
        view->alert()->box()->buttons().first()->click();
        QTRY_VERIFY(!view->alert()->isShown());
        QCOMPARE(view->errorMessage(), std::nullopt);
    }

    // Clear List empties the list and touches no device. A name is listed as plain text.
    void clearListEmptiesTheList()
    {
        auto view = onScreen<PhotosView>(bootedPhone);
        QVERIFY(view);
        QVERIFY(!view->clearListAction()->isEnabled());
        const QUrl a = m_tool->file(u"a.png"_s);
        const QUrl b = m_tool->file(u"<img src=b>\u202Ev.mov"_s);
        QVERIFY(drop(view->placeholder(), {a, b}));
        QTRY_COMPARE(rowTexts(*view), (QStringList{u"a.png"_s, u"<img src=b><U+202E>v.mov"_s}));
        QCOMPARE(PlainTextCheck::walk(view.get()).faults, QStringList());
        QVERIFY(view->clearListAction()->isEnabled());

        QTest::mouseClick(view->toolBar()->widgetForAction(view->clearListAction()), Qt::LeftButton);
        QCOMPARE(view->fileList()->count(), 0);
        QVERIFY(view->placeholder()->isVisible());
        QVERIFY(!view->clearListAction()->isEnabled());
        QCOMPARE(m_tool->runs().size(), 1);
    }

    // Cancel beside the spinner ends the tool, and says nothing: no alert, nothing listed.
    void cancelEndsTheRunQuietly()
    {
        auto view = onScreen<PhotosView>(bootedPhone);
        QVERIFY(view);
        m_tool->hold(u"fail-held.png"_s);
        view->addMediaFiles({m_tool->file(u"fail-held.png"_s)});
        QTRY_VERIFY(m_tool->hasStarted(u"fail-held.png"_s));
        QVERIFY(view->cancelButton()->isVisible());
        QTest::mouseClick(view->cancelButton(), Qt::LeftButton);
        QTRY_VERIFY(!view->isAdding());
        QVERIFY(!view->cancelButton()->isVisible());
        // Ended, not left waiting: released now, it would still log its run.
        m_tool->release(u"fail-held.png"_s);
        QTest::qWait(300);
        QCOMPARE(m_tool->runs().size(), 0);
        QCOMPARE(view->errorMessage(), std::nullopt);
        QVERIFY(view->addedFiles().isEmpty());
    }

    // A run that ends after its screen went away reaches no one.
    void screenDestroyedDuringARunShowsNothing()
    {
        auto view = onScreen<PhotosView>(bootedPhone);
        QVERIFY(view);
        m_tool->hold(u"fail-late.png"_s);
        view->addMediaFiles({m_tool->file(u"fail-late.png"_s)});
        QTRY_VERIFY(m_tool->hasStarted(u"fail-late.png"_s));
        view.reset();
        m_tool->release(u"fail-late.png"_s);
        QVERIFY(PhotosView::runPool()->waitForDone(30000));
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents();
        QTRY_COMPARE(m_tool->runs().size(), 1);
        QVERIFY(!anyMessageBoxShown());
    }
};

QTEST_MAIN(TestSimulatorDetailView)
#include "tst_simulatordetailview.moc"
