#include "app/contentview.h"
#include "app/devicelistpoller.h"
#include "filestore/filejobqueue.h"
#include "screens/appsview.h"
#include "screens/filesstorageview.h"
#include "screens/messagealert.h"
#include "screens/simulatordetailview.h"
#include "support/faketool.h"
#include "support/plaintextcheck.h"
#include "support/settingssandbox.h"
#include "support/simulatordevice.h"

#include <QAbstractButton>
#include <QAbstractItemModelTester>
#include <QAbstractItemView>
#include <QAccessible>
#include <QAccessibleActionInterface>
#include <QApplication>
#include <QFile>
#include <QFrame>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QMutex>
#include <QTest>
#include <QThread>
#include <QThreadPool>
#include <QTimer>

#include <memory>

using namespace std::chrono_literals;
using namespace Qt::StringLiterals;

namespace {

using Listing = Result<QList<Simulator>>;
const Simulator phone{u"A-1"_s, u"iPhone 15 Pro"_s, u"iOS 17.5"_s, true};
const Simulator watch{u"A-2"_s, u"Apple Watch"_s, u"watchOS 10.2"_s, false};

// A device lister whose answer a test may change at any time.
struct Devices
{
    QMutex mutex;
    Listing answer = Listing::success({phone, watch});
    void set(const Listing &next)
    {
        QMutexLocker lock(&mutex);
        answer = next;
    }
    DeviceListPoller *poller()
    {
        return new DeviceListPoller(
            [this](const StopToken &) {
                QMutexLocker lock(&mutex);
                return answer;
            },
            20ms);
    }
};

// The window's accessibility tree as a screen reader or UI automation sees it: its shown nodes.
QList<QAccessibleInterface *> shownNodes(QAccessibleInterface *iface, int depth = 0)
{
    QList<QAccessibleInterface *> out;
    if (!iface || depth > 40)
        return out;
    if (!iface->state().invisible)
        out << iface;
    for (int i = 0; i < iface->childCount(); ++i)
        out << shownNodes(iface->child(i), depth + 1);
    return out;
}

// A node by role and name; a Cell is any row of a table, list or tree.
QAccessibleInterface *find(QObject *root, QAccessible::Role role, const QString &name)
{
    const QList<QAccessible::Role> roles{role, role == QAccessible::Cell ? QAccessible::TreeItem : role,
                                         role == QAccessible::Cell ? QAccessible::ListItem : role};
    for (QAccessibleInterface *iface : shownNodes(QAccessible::queryAccessibleInterface(root)))
        if (roles.contains(iface->role()) && iface->text(QAccessible::Name).startsWith(name))
            return iface;
    return nullptr;
}

QStringList unnamedControls(QWidget *window)
{
    static const QList<QAccessible::Role> controls = {
        QAccessible::PushButton, QAccessible::CheckBox, QAccessible::RadioButton, QAccessible::Slider,
        QAccessible::ComboBox,   QAccessible::List,     QAccessible::Table,       QAccessible::Tree};
    QStringList out;
    for (QAccessibleInterface *iface : shownNodes(QAccessible::queryAccessibleInterface(window)))
        if (controls.contains(iface->role()) && iface->text(QAccessible::Name).trimmed().isEmpty())
            out << (iface->object() ? QString::fromLatin1(iface->object()->metaObject()->className())
                                    : u"?"_s);
    return out;
}

// Does what an assistive tool does to a control or a row: its press or toggle action.
bool activate(QAccessibleInterface *iface)
{
    QAccessibleActionInterface *actions = iface ? iface->actionInterface() : nullptr;
    if (!actions)
        return false;
    for (const QString &name :
         {QAccessibleActionInterface::pressAction(), QAccessibleActionInterface::toggleAction()})
        if (actions->actionNames().contains(name)) {
            actions->doAction(name);
            return true;
        }
    return false;
}

// A control of the window, found and activated by its accessible name.
bool activate(QWidget *window, QAccessible::Role role, const QString &name)
{
    return activate(find(window, role, name));
}
// A segment of a picker, whichever kind of button it is.
bool activateSegment(QWidget *window, const QString &name)
{
    for (QAccessible::Role role : {QAccessible::RadioButton, QAccessible::CheckBox, QAccessible::PushButton})
        if (activate(window, role, name))
            return true;
    return false;
}

// An item of the window's menu bar, by the menu's and the item's text.
QAction *menuItem(QMainWindow &window, const QString &menu, const QString &text)
{
    for (QAction *title : window.menuBar()->actions())
        if (title->menu() && title->text().remove(u'&') == menu)
            for (QAction *item : title->menu()->actions())
                if (item->text() == text)
                    return item;
    return nullptr;
}

// HOME for the test, where device A-1's Files storage is `storage` (relative, ending in "/").
struct Home : TempFolder
{
    ScopedEnv env{"HOME", path().toUtf8()};
    SimulatorDevice phone{*this, u"A-1"_s};
    const QString containers = phone.data(u"Containers/"_s);
    const QString storage = containers + u"Shared/AppGroup/G/File Provider Storage/"_s;
    bool addStorage() { return phone.build({u"group G group.com.apple.FileProvider.LocalStorage"_s}); }
};

// Every model the window's item views show, checked by Qt's model tester while it lives.
void testModels(QWidget *window)
{
    for (QAbstractItemView *view : window->findChildren<QAbstractItemView *>()) {
        QAbstractItemModel *model = view->model();
        if (model && !model->property("tested").toBool()) {
            model->setProperty("tested", true);
            new QAbstractItemModelTester(model, QAbstractItemModelTester::FailureReportingMode::QtTest,
                                         model);
        }
    }
}

bool shown(QWidget &window)
{
    testModels(&window);
    window.resize(1100, 700);
    window.show();
    window.activateWindow();
    return QTest::qWaitForWindowActive(&window);
}

// The window shown with the phone picked: its Files screen, once up.
FilesStorageView *phoneFiles(ContentView &window)
{
    FilesStorageView *files = nullptr;
    if (shown(window) &&
        QTest::qWaitFor([&] { return activate(&window, QAccessible::ListItem, phone.name); }))
        // Null when it never comes up: the caller's check fails.
        (void)QTest::qWaitFor([&] {
            auto *detail = qobject_cast<SimulatorDetailView *>(window.detailView());
            return (files = detail ? qobject_cast<FilesStorageView *>(detail->sectionScreen()) : nullptr);
        });
    return files;
}

} // namespace

// The main window driven end to end through its accessibility interface.
class TestMainWindow : public QObject
{
    Q_OBJECT

    SettingsSandbox m_settings{"tst_mainwindow"};

private slots:
    void initTestCase() { QAccessible::setActive(true); }
    void init() { m_settings.clear(); }

    // Pick a device, switch the section and the view mode by the segments' actions; every
    // control on the way has a name.
    void selectDeviceSectionAndViewMode()
    {
        Home home;
        Devices devices;
        ContentView window(devices.poller());
        QVERIFY(shown(window));
        QTRY_VERIFY(find(&window, QAccessible::ListItem, u"Apple Watch, watchOS 10.2, Shutdown"_s));
        QVERIFY(unnamedControls(&window).isEmpty());

        QVERIFY(activate(&window, QAccessible::ListItem, u"iPhone 15 Pro, iOS 17.5, Booted"_s));
        QTRY_COMPARE(window.selectedSimulator(), std::optional(phone));
        auto *detail = qobject_cast<SimulatorDetailView *>(window.detailView());
        QVERIFY(detail);
        QCOMPARE(detail->shownSection(), SimulatorDetailView::Section::Files);
        for (const QString &section : {u"Photos"_s, u"Apps"_s, u"Files"_s}) {
            QVERIFY2(activateSegment(&window, section), qPrintable(section));
            QTRY_COMPARE(SimulatorDetailView::rawValue(detail->shownSection()).toLower(), section.toLower());
            const QStringList unnamed = unnamedControls(&window);
            QVERIFY2(unnamed.isEmpty(), qPrintable(unnamed.join(u',')));
        }
        auto *files = qobject_cast<FilesStorageView *>(detail->sectionScreen());
        QVERIFY(files);
        using Mode = FilesStorageView::ViewMode;
        for (auto [name, mode] : {std::pair(u"Icons"_s, Mode::icons), std::pair(u"Columns"_s, Mode::columns),
                                  std::pair(u"List"_s, Mode::list)}) {
            // The view that goes has the focus: nothing may follow it while it is destroyed.
            if (auto *items = files->fileView()->findChild<QAbstractItemView *>())
                items->setFocus();
            QVERIFY2(activateSegment(&window, name), qPrintable(name));
            QTRY_COMPARE(files->viewMode(), mode);
            QVERIFY(files->fileView());
        }
        // The device list follows the tools: a device that boots elsewhere moves up.
        Simulator booted = watch;
        booted.isBooted = true;
        devices.set(Listing::success({booted, phone}));
        QTRY_COMPARE(window.simulators().value(0), booted);
        // A device renamed in place keeps its row, repainted.
        Simulator renamed = phone;
        renamed.name = u"iPhone 15"_s;
        devices.set(Listing::success({booted, renamed}));
        QTRY_COMPARE(window.simulators().value(1), renamed);
    }

    // A name edited in place is renamed on disk. File and Edit run the shown screen's and the
    // focused view's commands; Edit is off while no file view has the focus, so that other
    // widgets keep their keys. A paste that would replace the folder holding the source is
    // refused with an alert in plain text, and nothing changes.
    void renameMenuBarAndARefusedPaste()
    {
        Home home;
        const QString storage = home.storage;
        QVERIFY(home.addStorage() && home.createFile(storage + u"<b>note.txt"_s, "n") &&
                home.createFile(storage + u"Photos/Photos/deep.jpg"_s, "d") &&
                home.createFile(storage + u"Photos/sibling.jpg"_s, "s"));
        Devices devices;
        ContentView window(devices.poller());
        FilesStorageView *files = phoneFiles(window);
        QVERIFY(files);
        const auto view = [files] { return files->fileView()->findChild<QAbstractItemView *>(); };
        const auto select = [&](const QString &name) {
            files->state()->setSelection({QUrl::fromLocalFile(home.path(storage + name))});
            return QTest::qWaitFor([&] { return view()->selectionModel()->hasSelection(); });
        };
        QTRY_VERIFY(find(&window, QAccessible::Cell, u"<b>note.txt"_s));
        QVERIFY(select(u"<b>note.txt"_s));
        QTest::keyClick(view(), Qt::Key_Return);
        QLineEdit *editor = nullptr;
        QTRY_VERIFY((editor = view()->findChild<QLineEdit *>()) && editor->isVisible());
        QTest::keyClicks(editor, u"plain"_s);
        QTest::keyClick(editor, Qt::Key_Return);
        QTRY_VERIFY(home.exists(storage + u"plain.txt"_s));
        QVERIFY(!home.exists(storage + u"<b>note.txt"_s));

        // The menus show the actions of what has the focus: an item is looked up anew each time.
        const auto duplicate = [&] { return menuItem(window, u"Edit"_s, u"Duplicate"_s); };
        QAction *newFolder = menuItem(window, u"File"_s, u"New Folder"_s);
        QVERIFY(duplicate() && newFolder);
        window.sidebar()->setFocus();
        QTRY_VERIFY(window.sidebar()->hasFocus());
        QVERIFY(!duplicate()->isEnabled());
        QTRY_VERIFY(find(&window, QAccessible::Cell, u"plain.txt"_s));
        QVERIFY(select(u"plain.txt"_s));
        view()->setFocus();
        QTRY_VERIFY(duplicate()->isEnabled());
        duplicate()->trigger();
        QTRY_VERIFY(home.exists(storage + u"plain copy.txt"_s));
        newFolder->trigger();
        QTRY_VERIFY(home.exists(storage + u"untitled folder"_s));

        // Into Photos, copy the inner Photos, up, paste: the outer one would be replaced. The
        // list stays one accessible object throughout, so a screen reader keeps its place.
        const auto listObject = [&] {
            return QAccessible::uniqueId(QAccessible::queryAccessibleInterface(view()));
        };
        const QAccessible::Id list = listObject();
        files->state()->open(QUrl::fromLocalFile(home.path(storage + u"Photos"_s)));
        QTRY_VERIFY(find(&window, QAccessible::Cell, u"sibling.jpg"_s));
        QCOMPARE(listObject(), list);
        QVERIFY(select(u"Photos/Photos"_s));
        QTest::keySequence(view(), QKeySequence::Copy);
        QVERIFY(activate(&window, QAccessible::PushButton, u"Up"_s));
        QTRY_COMPARE(files->state()->currentDirectory(), QUrl::fromLocalFile(home.path(storage.chopped(1))));
        QTRY_VERIFY(find(&window, QAccessible::Cell, u"Photos"_s));
        QCOMPARE(listObject(), list);
        QTest::keySequence(view(), QKeySequence::Paste);
        QTRY_VERIFY(files->alert()->isShown());
        const QStringList texts = PlainTextCheck::alertTexts(files->alert());
        QCOMPARE(texts.value(0), u"Copy failed"_s);
        QVERIFY2(texts.value(1).startsWith(u"Photos: "_s), qPrintable(texts.value(1)));
        QCOMPARE(home.read(storage + u"Photos/sibling.jpg"_s), QByteArray("s"));
        QCOMPARE(home.read(storage + u"Photos/Photos/deep.jpg"_s), QByteArray("d"));

        files->alert()->box()->buttons().first()->click();
        window.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        QTest::keySequence(&window, QKeySequence::Close);
        QTRY_VERIFY(!window.isVisible());
    }

    // Names, identifiers, paths and runtimes from the device and the tools are data: nowhere in
    // the window is one drawn as markup, spread over lines or reordered, and each still shows.
    void textFromTheDeviceIsPlain()
    {
        Home home;
        const QString name = u"<b>x</b>\nEvil [*] \u202Egnp.exe"_s;
        const QString identifier = u"com.example.<font color=red>x"_s;
        const QStringList files = {u"<img src=x.png>"_s, u"a\nb"_s, u"\u2067gnp.exe"_s};
        QVERIFY(home.addStorage());
        for (const QString &file : files)
            QVERIFY(home.createFile(home.storage + file));
        QVERIFY(home.createFile(
            home.containers + u"Bundle/Application/B/X.app/Info.plist"_s,
            stringPlist({{"CFBundleIdentifier", identifier}, {"CFBundleDisplayName", name}})));
        const QString data = home.containers + u"Data/Application/D\n<i>x\u202E/"_s; // shown in the path bar
        QVERIFY(home.createFile(data + files.first(), "d") &&
                home.createFile(data + metadataFile, containerMetadata(identifier)));
        Devices devices;
        const Simulator device{u"A-1"_s, name, u"<i>iOS</i>\u2028 17.5"_s, false};
        devices.set(
            Listing::success({device, Simulator{u"<img src=x.png>"_s, u"Other"_s, u"iOS 17.5"_s, false}}));
        ContentView window(devices.poller());
        QVERIFY(shown(window));
        QTRY_VERIFY(activate(&window, QAccessible::ListItem, PlainText::oneLine(name)));
        QTRY_COMPARE(window.selectedSimulator(), std::optional(device));
        QCOMPARE(window.windowHandle()->title(), PlainText::oneLine(name));

        QStringList seen;
        const auto walk = [&] {
            const PlainTextCheck::Report report = PlainTextCheck::walk(&window);
            seen << report.seen;
            return report.faults;
        };
        auto *detail = qobject_cast<SimulatorDetailView *>(window.detailView());
        QVERIFY(detail);
        for (const QString &mode : {u"Icons"_s, u"Columns"_s, u"List"_s}) {
            QVERIFY(activateSegment(&window, mode));
            QTRY_VERIFY(find(&window, QAccessible::Cell, PlainText::oneLine(files.at(1))));
            QTRY_COMPARE(walk(), QStringList());
        }
        QVERIFY(activateSegment(&window, u"Apps"_s));
        QTRY_VERIFY(detail->appsView() && detail->appsView()->browser());
        testModels(&window);
        QTRY_VERIFY(find(&window, QAccessible::Cell, files.first()));
        QCOMPARE(detail->appsView()->appList()->model()->index(0, 0).data().toString(),
                 PlainText::oneLine(name) + u'\n' + identifier);
        QCOMPARE(walk(), QStringList());
        for (const QString &text :
             files + QStringList{name, identifier, u"<img src=x.png>"_s, device.runtime})
            QVERIFY2(
                std::any_of(seen.begin(), seen.end(),
                            [&](const QString &shown) { return shown.contains(PlainText::oneLine(text)); }),
                qPrintable(text));
    }

    // Three booted devices whose app listing hangs, clicked through: each shows its apps from the
    // disk at once, Qt's own pool stays free for painting, and the listing of a device left
    // behind (or of the last one, when the window closes) ends, with its children.
    void hungAppListingsNeitherFreezeNorLinger()
    {
        Home home;
        FakeTool tools;
        const QString pids = tools.path(u"pids"_s);
        const ScopedToolPath xcrun(
            tools.write(u"xcrun"_s, "sleep 60 &\necho $$ $! >> '" + QFile::encodeName(pids) + "'\nwait"));
        QList<Simulator> booted;
        for (const QString &udid : {u"B-1"_s, u"B-2"_s, u"B-3"_s}) {
            booted.append({udid, u"Phone "_s + udid, u"iOS 17.5"_s, true});
            QVERIFY(SimulatorDevice(home, udid)
                        .build({u"bundle B App.app CFBundleIdentifier=com.example.app"_s,
                                u"group G group.app"_s}));
        }
        Devices devices;
        devices.set(Listing::success(booted));
        SimulatorDetailView::setSection(SimulatorDetailView::Section::Apps);
        auto window = std::make_unique<ContentView>(devices.poller());
        window->show();
        QTRY_COMPARE(window->simulators().size(), 3);
        auto listings = [&] {
            QFile file(pids);
            return file.open(QIODevice::ReadOnly) ? file.readAll().trimmed().split('\n')
                                                  : QList<QByteArray>();
        };
        auto over = [](const QByteArray &listing) {
            const QList<QByteArray> ids = listing.split(' ');
            return ids.size() == 2 && processIsGone(ids[0].toLongLong()) &&
                   processIsGone(ids[1].toLongLong());
        };
        for (int i = 0; i < booted.size(); ++i) {
            QVERIFY(activate(window.get(), QAccessible::ListItem, booted[i].name));
            auto *detail = qobject_cast<SimulatorDetailView *>(window->detailView());
            QVERIFY(detail && detail->appsView());
            testModels(window.get());
            // The app, and its group under "Shared groups" until the tool ties it to the app.
            QTRY_COMPARE(detail->appsView()->appList()->model()->rowCount(), 2);
            QTRY_COMPARE(listings().size(), i + 1);
            // A short task of an earlier screen may still end there; a hung listing would not.
            QTRY_COMPARE(QThreadPool::globalInstance()->activeThreadCount(), 0);
        }
        {
            // A device listing that blocks (here on the lister's lock) does not hold it either.
            const QMutexLocker lock(&devices.mutex);
            QTest::qWait(100);
            QCOMPARE(QThreadPool::globalInstance()->activeThreadCount(), 0);
        }
        QTRY_VERIFY(over(listings()[0]) && over(listings()[1]));
        QVERIFY(!over(listings()[2]));
        window.reset();
        QTRY_VERIFY(over(listings()[2]));
    }

    // A failing listing alerts with "Error" and the message as plain text; the old list stays;
    // a later failure's message replaces the shown one; after OK a persisting failure alerts
    // again, once.
    // A long file job shows in the strip, whose Cancel works through its accessible action.
    // Closing the window while a job runs asks first; Cancel keeps both, Quit stops the job and
    // waits for its end before the window goes.
    void fileJobsCancelAndQuit()
    {
        Home home;
        Devices devices;
        ContentView window(devices.poller());
        QVERIFY(phoneFiles(window));
        FileJobQueue *queue = FileJobQueue::shared();
        int stopsSeen = 0;
        const auto untilStopped = [&stopsSeen](JobControl &control) -> std::function<void()> {
            while (!control.stopRequested())
                QThread::msleep(1);
            return [&stopsSeen] { ++stopsSeen; };
        };
        queue->enqueue(u"Copying “Movie.mov” to Documents"_s, untilStopped);
        QTRY_VERIFY(activate(&window, QAccessible::Button, u"Cancel Copying “Movie.mov” to Documents"_s));
        QTRY_VERIFY(queue->isIdle());
        QCOMPARE(stopsSeen, 1);
        // Escape, while the strip has the focus.
        queue->enqueue(u"Copying “c”"_s, untilStopped);
        auto *strip = window.findChild<QFrame *>(u"fileProgressStrip"_s);
        QVERIFY(strip);
        QTRY_VERIFY(strip->isVisible());
        strip->setFocus();
        QTest::keyClick(strip, Qt::Key_Escape);
        QTRY_VERIFY(queue->isIdle());
        QCOMPARE(stopsSeen, 2);
        stopsSeen = 1;
        queue->enqueue(u"Copying “b”"_s, untilStopped);
        for (const bool quit : {false, true}) {
            bool asked = false;
            QTimer::singleShot(100, &window, [&asked, quit] {
                auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
                asked = box && box->text() == u"Stop copying and quit?"_s;
                for (QAbstractButton *button : box ? box->buttons() : QList<QAbstractButton *>())
                    if (button->text() == (quit ? u"Quit"_s : u"Cancel"_s))
                        button->click();
            });
            window.close();
            QVERIFY(asked);
            QCOMPARE(window.isVisible(), !quit);
            QCOMPARE(queue->isIdle(), quit);
            QCOMPARE(stopsSeen, quit ? 2 : 1);
        }
    }

    void failingListingAlerts()
    {
        Devices devices;
        ContentView window(devices.poller());
        window.show();
        QTRY_COMPARE(window.simulators().size(), 2);
        devices.set(Listing::failure(u"<i>xcrun</i> could not be started"_s));
        QTRY_VERIFY(window.errorAlert()->isShown());
        QCOMPARE(PlainTextCheck::alertTexts(window.errorAlert()),
                 (QStringList{u"Error"_s, u"<i>xcrun</i> could not be started"_s}));
        QCOMPARE(window.simulators().size(), 2);
        devices.set(Listing::failure(u"simctl timed out"_s));
        QTRY_COMPARE(PlainTextCheck::alertTexts(window.errorAlert()),
                     (QStringList{u"Error"_s, u"simctl timed out"_s}));
        window.errorAlert()->box()->buttons().first()->click();
        QTRY_VERIFY(window.errorAlert()->isShown());
        QCOMPARE(window.findChildren<QMessageBox *>().size(), 1);
    }
};

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
