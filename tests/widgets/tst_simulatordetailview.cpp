#include "screens/appsview.h"
#include "screens/contentunavailableview.h"
#include "screens/filesstorageview.h"
#include "screens/photosview.h"
#include "screens/simulatordetailview.h"
#include "support/settingssandbox.h"
#include "support/simulatordevice.h"
#include "widgets/fakeaddmedia.h"

#include <QAbstractButton>
#include <QAction>
#include <QListView>
#include <QSettings>
#include <QTest>

#include <memory>

using namespace Qt::StringLiterals;
using Section = SimulatorDetailView::Section;

namespace {

const Simulator bootedPhone{u"0F1E2D3C-4B5A-4978-8695-A4B3C2D1E0F9"_s, u"iPhone 15 Pro"_s, u"iOS 17.2"_s,
                            true};
const Simulator idlePad{u"9A8B7C6D-5E4F-4031-8213-243546576879"_s, u"iPad Air (5th generation)"_s,
                        u"iOS 18.1"_s, false};

std::unique_ptr<SimulatorDetailView> shownPane(const Simulator &simulator)
{
    auto pane = std::make_unique<SimulatorDetailView>(simulator);
    pane->resize(800, 600);
    pane->show();
    return QTest::qWaitForWindowExposed(pane.get()) ? std::move(pane) : nullptr;
}

void choose(SimulatorDetailView &pane, Section section)
{
    QTest::mouseClick(pane.sectionButton(section), Qt::LeftButton);
}

} // namespace

class TestSimulatorDetailView : public QObject
{
    Q_OBJECT

    SettingsSandbox m_settings{"tst_simulatordetailview"};

private slots:
    void initTestCase() { QVERIFY(m_settings.isValid()); }
    void init() { m_settings.clear(); }

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
        auto pane = shownPane(bootedPhone);
        QVERIFY(pane);
        QCOMPARE(pane->shownSection(), shown);
        QVERIFY(pane->sectionButton(shown)->isChecked());
        QCOMPARE(pane->photosView() != nullptr, shown == Section::Photos);
        QCOMPARE(QSettings().value(u"detailSection"_s).toString(), stored.toString());
    }

    // One choice moves every pane and is kept for the next one; "apps" is its stored name.
    void everyPaneFollowsOneChoice()
    {
        auto first = shownPane(bootedPhone);
        auto second = shownPane(idlePad);
        QVERIFY(first && second);
        choose(*first, Section::Photos);
        QCOMPARE(QSettings().value(u"detailSection"_s).toString(), u"Photos"_s);
        QCOMPARE(second->shownSection(), Section::Photos);
        QVERIFY(second->sectionButton(Section::Photos)->isChecked());
        QCOMPARE(second->photosView()->simulator(), idlePad);
        auto next = shownPane(idlePad);
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
        auto pane = shownPane(idlePad); // shut down: read from the disk alone
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
        FakeAddMedia tool;
        QVERIFY(tool.isValid());
        SimulatorDetailView::setSection(Section::Photos);
        auto pane = shownPane(bootedPhone);
        QVERIFY(pane);
        PhotosView *photos = pane->photosView();
        photos->addMediaFiles({tool.file(u"a.png"_s)});
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
};

QTEST_MAIN(TestSimulatorDetailView)
#include "tst_simulatordetailview.moc"
