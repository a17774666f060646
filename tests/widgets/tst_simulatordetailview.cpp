#include "screens/appsview.h"
#include "screens/contentunavailableview.h"
#include "screens/filesstorageview.h"
#include "screens/photosview.h"
#include "screens/preferences.h"
#include "screens/simulatordetailview.h"
#include "support/tempfolder.h"
#include "widgets/fakeaddmedia.h"

#include <QAbstractButton>
#include <QAccessible>
#include <QAccessibleActionInterface>
#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QListView>
#include <QListWidget>
#include <QMessageBox>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QThreadPool>

#include <memory>

using namespace Qt::StringLiterals;
using Section = SimulatorDetailView::Section;

namespace {

const Simulator bootedPhone{u"0F1E2D3C-4B5A-4978-8695-A4B3C2D1E0F9"_s, u"iPhone 15 Pro"_s, u"iOS 17.2"_s,
                            true};
const Simulator idlePad{u"9A8B7C6D-5E4F-4031-8213-243546576879"_s, u"iPad Air (5th generation)"_s,
                        u"iOS 18.1"_s, false};

// Checks the button as `how` says: through an accessibility action, as a screen reader or
// automation does, or in code when `how` is empty.
bool check(QAbstractButton *button, const QString &how)
{
    if (how.isEmpty()) {
        button->setChecked(true);
        return true;
    }
    QAccessibleInterface *iface = QAccessible::queryAccessibleInterface(button);
    QAccessibleActionInterface *actions = iface ? iface->actionInterface() : nullptr;
    if (!actions || !actions->actionNames().contains(how))
        return false;
    actions->doAction(how);
    return true;
}

QMessageBox *visibleMessageBox()
{
    for (QWidget *widget : QApplication::topLevelWidgets()) {
        if (auto *box = qobject_cast<QMessageBox *>(widget); box && box->isVisible())
            return box;
    }
    return nullptr;
}

} // namespace

class TestSimulatorDetailView : public QObject
{
    Q_OBJECT

    QTemporaryDir m_settingsDir;

    QString settingsFile() const { return QSettings().fileName(); }

    static std::unique_ptr<SimulatorDetailView> shownPane(const Simulator &simulator)
    {
        auto pane = std::make_unique<SimulatorDetailView>(simulator);
        pane->resize(800, 600);
        pane->show();
        if (!QTest::qWaitForWindowExposed(pane.get()))
            return nullptr;
        return pane;
    }

    static void choose(SimulatorDetailView &pane, Section section)
    {
        QTest::mouseClick(pane.sectionButton(section), Qt::LeftButton);
    }

private slots:
    void initTestCase()
    {
        QVERIFY2(m_settingsDir.isValid(), qPrintable(m_settingsDir.errorString()));
        QCoreApplication::setOrganizationName(u"LanthornTests"_s);
        QCoreApplication::setApplicationName(u"tst_simulatordetailview"_s);
        QSettings::setDefaultFormat(QSettings::IniFormat);
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, m_settingsDir.path());
        QVERIFY(settingsFile().startsWith(m_settingsDir.path()));
    }

    void init()
    {
        QSettings settings;
        settings.clear();
        settings.sync();
    }

    void noStoredSectionOpensOnFiles()
    {
        auto pane = shownPane(bootedPhone);
        QVERIFY(pane);
        QCOMPARE(pane->shownSection(), Section::Files);
        QVERIFY(pane->sectionButton(Section::Files)->isChecked());
        QVERIFY(!pane->sectionButton(Section::Photos)->isChecked());
        QCOMPARE(pane->photosView(), nullptr);
        QVERIFY(pane->sectionScreen());
        QVERIFY(pane->sectionScreen()->isVisible());
        QVERIFY(!QSettings().contains(u"detailSection"_s));
    }

    void unknownStoredValuesReadAsFiles_data()
    {
        QTest::addColumn<QVariant>("stored");
        QTest::newRow("lower case") << QVariant(u"photos"_s);
        QTest::newRow("padded") << QVariant(u" Photos"_s);
        QTest::newRow("empty") << QVariant(QString());
        QTest::newRow("other") << QVariant(u"Music"_s);
        QTest::newRow("the segment's text") << QVariant(u"Apps"_s);
        QTest::newRow("number") << QVariant(1);
    }

    void unknownStoredValuesReadAsFiles()
    {
        QFETCH(QVariant, stored);
        {
            QSettings settings;
            settings.setValue(u"detailSection"_s, stored);
        }
        auto pane = shownPane(bootedPhone);
        QVERIFY(pane);
        QCOMPARE(pane->shownSection(), Section::Files);
        QVERIFY(pane->sectionButton(Section::Files)->isChecked());
        QCOMPARE(pane->photosView(), nullptr);
    }

    void chosenSectionPersistsForTheNextPane()
    {
        {
            auto pane = shownPane(bootedPhone);
            QVERIFY(pane);
            choose(*pane, Section::Photos);
            QCOMPARE(pane->shownSection(), Section::Photos);
            QVERIFY(pane->photosView());
        }
        // On disk at once, as a relaunch reads it.
        QFile file(settingsFile());
        QVERIFY(file.open(QIODevice::ReadOnly));
        QVERIFY2(file.readAll().contains("detailSection=Photos"), qPrintable(settingsFile()));

        // Another device, another pane: the same preference.
        auto next = shownPane(idlePad);
        QVERIFY(next);
        QCOMPARE(next->shownSection(), Section::Photos);
        QVERIFY(next->sectionButton(Section::Photos)->isChecked());
        QVERIFY(next->photosView());
        QCOMPARE(next->photosView()->simulator(), idlePad);

        choose(*next, Section::Files);
        QCOMPARE(QSettings().value(u"detailSection"_s).toString(), u"Files"_s);
    }

    void everyPaneFollowsOneChange()
    {
        auto first = shownPane(bootedPhone);
        auto second = shownPane(idlePad);
        QVERIFY(first && second);
        QSignalSpy changes(&Preferences::shared(), &Preferences::detailSectionChanged);

        choose(*first, Section::Photos);
        QCOMPARE(changes.size(), 1);
        QCOMPARE(second->shownSection(), Section::Photos);
        QVERIFY(second->sectionButton(Section::Photos)->isChecked());
        QVERIFY(second->photosView());

        choose(*second, Section::Files);
        QCOMPARE(first->shownSection(), Section::Files);
        QVERIFY(first->sectionButton(Section::Files)->isChecked());
        QCOMPARE(first->photosView(), nullptr);

        // Choosing the shown section again changes nothing.
        choose(*second, Section::Files);
        QCOMPARE(changes.size(), 2);
    }

    // The Apps section follows the device's installs and removals at each refresh of the list,
    // and the browser never stays on a container that went away.
    void appsFollowInstallsAndRemovals()
    {
        TempFolder home;
        const ScopedEnv homeEnv("HOME", home.path().toUtf8());
        const QString data =
            u"Library/Developer/CoreSimulator/Devices/"_s + idlePad.udid + u"/data/Containers/"_s;
        auto install = [&](const QString &name, const QString &id) {
            const QByteArray info = "<plist><dict><key>CFBundleIdentifier</key><string>" + id.toUtf8() +
                                    "</string></dict></plist>";
            const QByteArray metadata = "<plist><dict><key>MCMMetadataIdentifier</key><string>" +
                                        id.toUtf8() + "</string></dict></plist>";
            return home.createFile(
                       data + u"Bundle/Application/B-"_s + name + u'/' + name + u".app/Info.plist", info) &&
                   home.createFile(data + u"Data/Application/D-"_s + name +
                                       u"/.com.apple.mobile_container_manager.metadata.plist"_s,
                                   metadata) &&
                   home.createFile(data + u"Data/Application/D-"_s + name + u"/Documents/"_s + name +
                                   u".txt"_s);
        };
        auto remove = [&](const QString &name) {
            return QDir(home.path(data + u"Bundle/Application/B-"_s + name)).removeRecursively() &&
                   QDir(home.path(data + u"Data/Application/D-"_s + name)).removeRecursively();
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
        QCOMPARE(apps->containerPath(), home.path(data + u"Data/Application/D-Alpha"_s));

        QVERIFY(install(u"Beta"_s, u"com.example.beta"_s));
        QVERIFY(remove(u"Alpha"_s));
        pane->devicesRefreshed();
        QTRY_COMPARE(apps->selectedKey(), u"com.example.beta"_s);
        QCOMPARE(apps->appList()->model()->rowCount(), 1);
        QCOMPARE(apps->containerPath(), home.path(data + u"Data/Application/D-Beta"_s));

        QVERIFY(remove(u"Beta"_s));
        pane->devicesRefreshed();
        QTRY_COMPARE(apps->shownPage(), static_cast<QWidget *>(apps->emptyPlaceholder()));
        QCOMPARE(apps->browser(), nullptr);
        QCOMPARE(apps->emptyPlaceholder()->title(), u"No apps installed"_s);
    }

    void theCheckedSegmentDecidesTheSection_data()
    {
        QTest::addColumn<QString>("how");
        QTest::newRow("toggle action") << QAccessibleActionInterface::toggleAction();
        QTest::newRow("in code") << QString();
    }

    void theCheckedSegmentDecidesTheSection()
    {
        QFETCH(QString, how);
        auto pane = shownPane(bootedPhone);
        QVERIFY(pane);
        QVERIFY(check(pane->sectionButton(Section::Photos), how));
        QTRY_COMPARE(pane->shownSection(), Section::Photos);
        QVERIFY(pane->photosView());
        QCOMPARE(QSettings().value(u"detailSection"_s).toString(), u"Photos"_s);

        QVERIFY(check(pane->sectionButton(Section::Files), how));
        QTRY_COMPARE(pane->shownSection(), Section::Files);
        QVERIFY(qobject_cast<FilesStorageView *>(pane->sectionScreen()));
        QVERIFY(!pane->sectionButton(Section::Photos)->isChecked());
    }

    void switchingSectionsStartsPhotosAfresh()
    {
        FakeAddMedia tool;
        QVERIFY(tool.isValid());
        Preferences::shared().setDetailSection(u"Photos"_s);
        auto pane = shownPane(bootedPhone);
        QVERIFY(pane);
        pane->photosView()->addMediaFiles({tool.file(u"a.png"_s)});
        QTRY_COMPARE(pane->photosView()->addedFiles().size(), 1);

        choose(*pane, Section::Files);
        choose(*pane, Section::Photos);
        QVERIFY(pane->photosView());
        QVERIFY(pane->photosView()->addedFiles().isEmpty());
        QVERIFY(pane->photosView()->placeholder()->isVisible());
    }

    void newRecordOfTheSameDeviceKeepsTheList()
    {
        FakeAddMedia tool;
        QVERIFY(tool.isValid());
        Preferences::shared().setDetailSection(u"Photos"_s);
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
        QCOMPARE(pane->subtitleLabel()->text(), SimulatorDetailView::subtitle(shutDown));

        // A record handed over while "Files" shows reaches the next Photos screen.
        Simulator renamed = shutDown;
        renamed.name = u"Renamed Phone"_s;
        choose(*pane, Section::Files);
        auto *files = qobject_cast<FilesStorageView *>(pane->sectionScreen());
        QVERIFY(files);
        pane->setSimulator(renamed);
        QCOMPARE(files->simulator(), renamed); // the Files screen hears of it too, and is kept
        QCOMPARE(pane->sectionScreen(), files);
        choose(*pane, Section::Photos);
        QCOMPARE(pane->photosView()->simulator(), renamed);
    }

    void leavingPhotosDuringARunShowsNothing()
    {
        FakeAddMedia tool;
        QVERIFY(tool.isValid());
        Preferences::shared().setDetailSection(u"Photos"_s);
        auto pane = shownPane(bootedPhone);
        QVERIFY(pane);
        tool.hold(u"fail-late.png"_s);
        pane->photosView()->addMediaFiles({tool.file(u"fail-late.png"_s)});
        QTRY_VERIFY(tool.hasStarted(u"fail-late.png"_s));

        choose(*pane, Section::Files);
        choose(*pane, Section::Photos);
        tool.release(u"fail-late.png"_s);
        QVERIFY(PhotosView::runPool()->waitForDone(30000));
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents();
        QCOMPARE(tool.runs().size(), 1);
        QCOMPARE(visibleMessageBox(), nullptr);
        QCOMPARE(pane->photosView()->errorMessage(), std::nullopt);
        QVERIFY(!pane->photosView()->isAdding());
    }
};

QTEST_MAIN(TestSimulatorDetailView)
#include "tst_simulatordetailview.moc"
