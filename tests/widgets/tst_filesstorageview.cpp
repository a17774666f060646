#include "fileviews/desktopworkspace.h"
#include "fileviews/fileviewhost.h"
#include "screens/busyindicator.h"
#include "screens/contentunavailableview.h"
#include "screens/filesstorageview.h"
#include "screens/messagealert.h"
#include "screens/pathbar.h"
#include "screens/segmentedpicker.h"
#include "simulator/storagelocator.h"
#include "support/recordingservices.h"
#include "support/tempfolder.h"
#include "support/testfoldernotifier.h"

#include <QAbstractButton>
#include <QAccessible>
#include <QAccessibleActionInterface>
#include <QAction>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QDir>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QProcess>
#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>
#include <QSlider>
#include <QStandardPaths>
#include <QTest>
#include <QToolBar>
#include <QTreeView>
#include <QVBoxLayout>

#include <atomic>

using namespace Qt::StringLiterals;
using ViewMode = FilesStorageView::ViewMode;
using Kind = LoadState::Kind;
using Probe = TestFolderNotifier::Probe;

namespace {

const Simulator phone{u"5D3A0C2E-0000-4000-8000-000000000001"_s, u"Test Phone"_s, u"iOS 17.2"_s, true};

// Records what was trashed and removes it, as the real trash would from the folder's view.
class RecordingTrash final : public Trash
{
public:
    Status moveToTrash(const QString &path) override
    {
        trashed << path;
        const QFileInfo info(path);
        const bool removed = info.isDir() ? QDir(path).removeRecursively() : QFile::remove(path);
        return removed ? Status::success({}) : Status::failure(u"could not remove"_s);
    }
    QStringList trashed;
};

// A storage folder found through an injected lookup, which can be told to find nothing.
struct Storage
{
    TempFolder folder;
    std::shared_ptr<std::atomic<bool>> present = std::make_shared<std::atomic<bool>>(true);

    QUrl url(const QString &relative = {}) const { return folder.url(relative); }
    FilesState::StorageLookup lookup() const
    {
        return [root = folder.url(), present = present]() -> std::optional<QUrl> {
            return *present ? std::optional<QUrl>(root) : std::nullopt;
        };
    }
};

// One screen in a window, with recording desktop services. Shown (it appears) only on show().
struct Screen
{
    std::shared_ptr<RecordingPasteboard> pasteboard = std::make_shared<RecordingPasteboard>();
    std::shared_ptr<RecordingWorkspace> workspace = std::make_shared<RecordingWorkspace>();
    std::shared_ptr<RecordingTrash> trash = std::make_shared<RecordingTrash>();
    QWidget window;
    FilesStorageView *screen;

    // Watching its folders with the probe's notifications when given one.
    explicit Screen(FilesState::StorageLookup lookup, const Simulator &simulator = phone,
                    const std::shared_ptr<Probe> &probe = {})
        : screen(
              new FilesStorageView(simulator,
                                   FilesState::Services{workspace, pasteboard, trash,
                                                        probe ? TestFolderNotifier::factory(probe) : nullptr},
                                   std::move(lookup), &window))
    {
        auto *layout = new QVBoxLayout(&window);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->addWidget(screen);
        window.resize(1100, 600);
    }

    bool show()
    {
        window.show();
        return QTest::qWaitForWindowExposed(&window);
    }
    FilesState *state() const { return screen->state(); }
    // The list, the grid, or the first column of the browser.
    QAbstractItemView *table() const
    {
        return screen->modeView() ? screen->modeView()->widget()->findChild<QAbstractItemView *>() : nullptr;
    }
    QStringList listedNames() const
    {
        QStringList names;
        if (QAbstractItemView *view = table())
            for (int row = 0; row < view->model()->rowCount(); ++row)
                names << view->model()->index(row, 0).data().toString();
        return names;
    }
    QStringList lastColumnNames() const
    {
        QStringList names;
        QAbstractItemView *last = nullptr;
        for (QAbstractItemView *view : screen->modeView()->widget()->findChildren<QAbstractItemView *>())
            if (view->isVisible())
                last = view;
        for (int row = 0; last && row < last->model()->rowCount(last->rootIndex()); ++row)
            names << last->model()->index(row, 0, last->rootIndex()).data().toString();
        return names;
    }
    int rowNamed(const QString &name) const { return int(listedNames().indexOf(name)); }
    QList<int> selectedRows() const
    {
        QList<int> rows;
        for (const QModelIndex &index : table()->selectionModel()->selectedIndexes())
            if (index.column() == 0)
                rows << index.row();
        std::sort(rows.begin(), rows.end());
        return rows;
    }
    QPoint centreOfRow(int row) const
    {
        return table()->visualRect(table()->model()->index(row, 0)).center();
    }
    // The reads are over and the widgets show their outcome.
    bool settled() const
    {
        const FilesState *s = state();
        if (s->isReloading() || s->loadState().kind() == Kind::loading)
            return false;
        if (s->loadState().kind() == Kind::storageMissing)
            return screen->shownPage() == screen->missingPlaceholder();
        return screen->shownPage() == screen->contentPage() && table() &&
               table()->model()->rowCount() == s->loadState().entries().size();
    }
    bool waitUntilSettled() const
    {
        return QTest::qWaitFor([this] { return settled(); });
    }
    QStringList watched() const { return state()->folderWatch()->watchedFolders(); }
    // The name editor that is open, if any.
    QLineEdit *editor() const
    {
        for (QLineEdit *line : screen->findChildren<QLineEdit *>())
            if (line->isVisible())
                return line;
        return nullptr;
    }
    QWidget *button(QAction *action) const { return screen->toolBar()->widgetForAction(action); }
    void click(QAction *action) const { QTest::mouseClick(button(action), Qt::LeftButton); }
    void clickRow(int row, Qt::KeyboardModifiers modifiers = {}) const
    {
        QTest::mouseClick(table()->viewport(), Qt::LeftButton, modifiers, centreOfRow(row));
    }
    void doubleClickRow(int row) const
    {
        QWidget *viewport = table()->viewport();
        const QPoint pos = centreOfRow(row);
        QTest::mousePress(viewport, Qt::LeftButton, {}, pos);
        QTest::mouseRelease(viewport, Qt::LeftButton, {}, pos);
        QTest::mouseDClick(viewport, Qt::LeftButton, {}, pos);
        QTest::mouseRelease(viewport, Qt::LeftButton, {}, pos);
    }
    void chooseMode(ViewMode mode) const
    {
        QTest::mouseClick(screen->viewModePicker()->segment(int(mode)), Qt::LeftButton);
    }
    QString pathShown() const { return screen->pathBar()->pathButton()->text(); }
};

// The stand-in developer tools over a temporary home.
struct StandIn
{
    QTemporaryDir home;

    std::optional<QString> run(const QStringList &arguments) const
    {
        QProcess process;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(u"HOME"_s, home.path());
        process.setProcessEnvironment(environment);
        process.start(QStringLiteral(LANTHORN_STANDIN_PATH), QStringList{u"simctl"_s} + arguments);
        if (!process.waitForFinished(30000) || process.exitCode() != 0)
            return std::nullopt;
        return QString::fromUtf8(process.readAllStandardOutput().trimmed());
    }
};

} // namespace

class TestFilesStorageView : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_settings;

private slots:
    void initTestCase()
    {
        QVERIFY(m_settings.isValid());
        QStandardPaths::setTestModeEnabled(true);
        QCoreApplication::setOrganizationName(u"LanthornTests"_s);
        QCoreApplication::setApplicationName(u"tst_filesstorageview"_s);
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_settings.path());
    }

    void init()
    {
        QSettings settings;
        settings.clear();
        settings.sync();
    }

    void missingStorageShowsThePlaceholderUntilTheFilesAppRan_data()
    {
        QTest::addColumn<bool>("watched");
        QTest::newRow("Refresh") << false;
        QTest::newRow("watched") << true;
    }

    void missingStorageShowsThePlaceholderUntilTheFilesAppRan()
    {
        QFETCH(bool, watched);
        StandIn standIn;
        QVERIFY(standIn.home.isValid());
        const QString udid =
            standIn.run({u"create"_s, u"Files Phone"_s, u"iPhone-15"_s, u"iOS-17-2"_s}).value_or(QString());
        QVERIFY(!udid.isEmpty());
        QVERIFY(standIn.run({u"boot"_s, udid}));
        ScopedEnv home("HOME", QFile::encodeName(standIn.home.path()));
        ScopedEnv tools("LANTHORN_XCRUN", QByteArrayLiteral(LANTHORN_STANDIN_PATH));

        Screen s({}, Simulator{udid, u"Files Phone"_s, u"iOS 17.2"_s, true},
                 watched ? std::make_shared<Probe>() : nullptr);
        QVERIFY(s.show());
        QCOMPARE(s.screen->shownPage(), s.screen->busyIndicator()->parentWidget());
        QVERIFY(s.screen->busyIndicator()->isVisible());

        QTRY_COMPARE(s.screen->shownPage(), s.screen->missingPlaceholder());
        QCOMPARE(s.screen->missingPlaceholder()->title(), u"Files storage not found"_s);
        QCOMPARE(s.screen->missingPlaceholder()->description(),
                 u"Open the Files app once on this simulator, then press Refresh."_s);
        QVERIFY(!s.screen->newFolderAction()->isEnabled());
        QVERIFY(s.screen->refreshAction()->isEnabled());

        QVERIFY(standIn.run({u"launch"_s, udid, u"com.apple.DocumentsApp"_s}));
        const std::optional<QString> storage = StorageLocator::findFilesStorage(standIn.home.path(), udid);
        QVERIFY(storage);
        QFile note(*storage + u"/note.txt"_s);
        QVERIFY(note.open(QIODevice::WriteOnly));
        note.close();

        if (!watched) {
            s.click(s.screen->refreshAction());
            QCOMPARE(s.state()->loadState().kind(), Kind::loading);
        }
        QTRY_COMPARE_WITH_TIMEOUT(s.listedNames(), QStringList{u"note.txt"_s}, 10'000);
        QVERIFY(s.waitUntilSettled());
        QCOMPARE(s.pathShown(), QDir::cleanPath(*storage));
        QVERIFY(s.screen->newFolderAction()->isEnabled());
    }

    void firstAppearanceReadsTheRootTwiceExceptInColumns_data()
    {
        QTest::addColumn<ViewMode>("mode");
        QTest::addColumn<QList<Kind>>("states");
        QTest::newRow("list") << ViewMode::list
                              << QList<Kind>{Kind::loading, Kind::loaded, Kind::loading, Kind::loaded};
        QTest::newRow("icons") << ViewMode::icons
                               << QList<Kind>{Kind::loading, Kind::loaded, Kind::loading, Kind::loaded};
        QTest::newRow("columns") << ViewMode::columns << QList<Kind>{Kind::loading, Kind::loaded};
    }

    void firstAppearanceReadsTheRootTwiceExceptInColumns()
    {
        QFETCH(ViewMode, mode);
        QFETCH(QList<Kind>, states);
        FilesStorageView::setViewMode(mode);
        Storage storage;
        QVERIFY(storage.folder.createFile(u"a.txt"_s));
        Screen s(storage.lookup());
        QList<Kind> seen{s.state()->loadState().kind()};
        connect(s.state(), &FilesState::loadStateChanged, &s.window,
                [&] { seen << s.state()->loadState().kind(); });
        QCOMPARE(s.state()->reloadCount(), 0);

        QVERIFY(s.show());
        QVERIFY(s.waitUntilSettled());
        QCoreApplication::processEvents();
        QCOMPARE(seen, states);
        QCOMPARE(s.state()->reloadCount(), int(states.size() / 2));
        QCOMPARE(s.state()->currentDirectory(), std::optional<QUrl>(storage.url()));
        QCOMPARE(s.listedNames(), QStringList{u"a.txt"_s});

        // Showing again is not a new appearance.
        s.window.hide();
        s.window.show();
        QCoreApplication::processEvents();
        QCOMPARE(s.state()->reloadCount(), int(states.size() / 2));
    }

    void toolbarEnablesByTheRulesAndGoesUp()
    {
        Storage storage;
        QVERIFY(storage.folder.createFile(u"a.txt"_s) && storage.folder.createFile(u"sub/inner.txt"_s));
        Screen s(storage.lookup());
        const auto enabled = [&] {
            return QList<bool>{s.screen->upAction()->isEnabled(), s.screen->newFolderAction()->isEnabled(),
                               s.screen->moveToTrashAction()->isEnabled()};
        };
        // Before the first read: no folder, nothing selected.
        QCOMPARE(enabled(), (QList<bool>{false, false, false}));
        for (QAction *always :
             {s.screen->copyFilesAction(), s.screen->refreshAction(), s.screen->revealInFinderAction(),
              s.screen->openInTerminalAction(), s.screen->copyPathAction(), s.screen->copyDeviceUDIDAction()})
            QVERIFY(always->isEnabled());

        QVERIFY(s.show());
        QVERIFY(s.waitUntilSettled());
        QCOMPARE(enabled(), (QList<bool>{false, true, false}));

        s.clickRow(s.rowNamed(u"a.txt"_s));
        QTRY_COMPARE(enabled(), (QList<bool>{false, true, true}));

        // Entering a folder reads it with the spinner and allows going up.
        const int reads = s.state()->reloadCount();
        s.doubleClickRow(s.rowNamed(u"sub"_s));
        QCOMPARE(s.state()->loadState().kind(), Kind::loading);
        QVERIFY(s.state()->selection().isEmpty());
        QVERIFY(s.waitUntilSettled());
        QCOMPARE(s.state()->reloadCount(), reads + 1);
        QCOMPARE(s.listedNames(), QStringList{u"inner.txt"_s});
        QCOMPARE(s.pathShown(), storage.folder.path(u"sub"_s));
        QTRY_COMPARE(enabled(), (QList<bool>{true, true, false}));

        s.click(s.screen->upAction());
        QCOMPARE(s.state()->currentDirectory(), std::optional<QUrl>(storage.url()));
        QVERIFY(s.waitUntilSettled());
        QCOMPARE(s.state()->reloadCount(), reads + 2);
        QTRY_COMPARE(enabled(), (QList<bool>{false, true, false}));

        // In the column mode "Up" stays off, even below the root.
        // (There a single click opens a folder in the next column.)
        s.chooseMode(ViewMode::columns);
        QVERIFY(s.waitUntilSettled());
        s.clickRow(s.rowNamed(u"sub"_s));
        QCOMPARE(s.state()->currentDirectory(), std::optional<QUrl>(storage.url(u"sub"_s)));
        QTRY_COMPARE(s.lastColumnNames(), QStringList{u"inner.txt"_s});
        QCOMPARE(enabled().mid(0, 2), (QList<bool>{false, true}));
        QTRY_COMPARE(s.pathShown(), storage.folder.path(u"sub"_s));
    }

    void rightClickOutsideTheSelectionKeepsIt_data()
    {
        QTest::addColumn<ViewMode>("mode");
        QTest::newRow("list") << ViewMode::list;
        QTest::newRow("icons") << ViewMode::icons;
        QTest::newRow("columns") << ViewMode::columns;
    }

    // The menu acts on the clicked item alone; the selection (and in the columns the open path)
    // stays as it was.
    void rightClickOutsideTheSelectionKeepsIt()
    {
        QFETCH(ViewMode, mode);
        FilesStorageView::setViewMode(mode);
        Storage storage;
        QVERIFY(storage.folder.createFile(u"a.txt"_s) && storage.folder.createFile(u"b.txt"_s) &&
                storage.folder.createFile(u"sub/inner.txt"_s));
        Screen s(storage.lookup());
        QVERIFY(s.show());
        QVERIFY(s.waitUntilSettled());
        s.clickRow(s.rowNamed(u"a.txt"_s));
        s.clickRow(s.rowNamed(u"b.txt"_s), Qt::ControlModifier);
        const QSet<QUrl> selected{storage.url(u"a.txt"_s), storage.url(u"b.txt"_s)};
        QCOMPARE(s.state()->selection(), selected);
        const QList<int> rows = s.selectedRows();
        QCOMPARE(rows.size(), 2);
        const std::optional<QUrl> folder = s.state()->currentDirectory();
        const QStringList lastColumn = s.lastColumnNames();

        QWidget *viewport = s.table()->viewport();
        const QPoint onSub = s.centreOfRow(s.rowNamed(u"sub"_s));
        QTest::mousePress(viewport, Qt::RightButton, {}, onSub);
        QContextMenuEvent request(QContextMenuEvent::Mouse, onSub, viewport->mapToGlobal(onSub));
        QCoreApplication::sendEvent(viewport, &request);
        QTest::mouseRelease(viewport, Qt::RightButton, {}, onSub);
        auto *host = qobject_cast<FileViewHost *>(s.screen->modeView()->widget());
        QVERIFY(host);
        QCOMPARE(host->menuTargets(), QSet<QUrl>{storage.url(u"sub"_s)});
        host->menu()->close();
        QCoreApplication::processEvents();

        QCOMPARE(s.state()->selection(), selected);
        QCOMPARE(s.selectedRows(), rows);
        QCOMPARE(s.state()->currentDirectory(), folder);
        QCOMPARE(s.lastColumnNames(), lastColumn);
    }

    void trashAndRefreshKeepTheListOnScreen()
    {
        Storage storage;
        for (const QString &name : {u"a.txt"_s, u"b.txt"_s, u"c.txt"_s})
            QVERIFY(storage.folder.createFile(name));
        Screen s(storage.lookup());
        QVERIFY(s.show());
        QVERIFY(s.waitUntilSettled());
        QList<QWidget *> pages;
        connect(s.screen, &FilesStorageView::applied, &s.window, [&] { pages << s.screen->shownPage(); });

        s.clickRow(0);
        s.clickRow(2, Qt::ControlModifier);
        QCOMPARE(s.state()->selection(), (QSet<QUrl>{storage.url(u"a.txt"_s), storage.url(u"c.txt"_s)}));
        s.click(s.screen->refreshAction());
        QVERIFY(s.waitUntilSettled());
        QCOMPARE(s.state()->selection().size(), 2);

        s.click(s.screen->moveToTrashAction());
        std::sort(s.trash->trashed.begin(), s.trash->trashed.end());
        QCOMPARE(s.trash->trashed,
                 (QStringList{storage.folder.path(u"a.txt"_s), storage.folder.path(u"c.txt"_s)}));
        QTRY_COMPARE(s.listedNames(), QStringList{u"b.txt"_s});
        QVERIFY(!pages.contains(s.screen->busyIndicator()->parentWidget()));
    }

    void folderCommandsReachTheWorkspaceAndThePasteboard()
    {
        Storage storage;
        Screen s(storage.lookup());
        // No folder yet: only the UDID can be copied.
        s.click(s.screen->revealInFinderAction());
        s.click(s.screen->openInTerminalAction());
        s.click(s.screen->copyPathAction());
        QVERIFY(s.workspace->opened.isEmpty());
        QVERIFY(s.workspace->terminals.isEmpty());
        QCOMPARE(s.pasteboard->writes, 0);
        s.click(s.screen->copyDeviceUDIDAction());
        QCOMPARE(s.pasteboard->text, std::optional<QString>(phone.udid));

        QVERIFY(s.show());
        QVERIFY(s.waitUntilSettled());
        const QString root = storage.folder.path();
        QCOMPARE(s.pathShown(), root);
        s.click(s.screen->copyPathAction());
        QCOMPARE(s.pasteboard->text, std::optional<QString>(root));
        s.click(s.screen->copyDeviceUDIDAction());
        QCOMPARE(s.pasteboard->text, std::optional<QString>(phone.udid));
        QTest::mouseClick(s.screen->pathBar()->pathButton(), Qt::LeftButton);
        QCOMPARE(s.pasteboard->text, std::optional<QString>(root));
        s.click(s.screen->revealInFinderAction());
        QCOMPARE(s.workspace->opened, QList<QUrl>{storage.url()});
        s.click(s.screen->openInTerminalAction());
        QCOMPARE(s.workspace->terminals, QList<QUrl>{storage.url()});
    }

    void modeChangeReturnsToTheRootAndEmptiesTheSelection()
    {
        Storage storage;
        QVERIFY(storage.folder.createFile(u"top.txt"_s) && storage.folder.createFile(u"sub/inner.txt"_s));
        Screen s(storage.lookup());
        QVERIFY(s.show());
        QVERIFY(s.waitUntilSettled());
        s.doubleClickRow(s.rowNamed(u"sub"_s));
        QVERIFY(s.waitUntilSettled());
        s.clickRow(0);
        QCOMPARE(s.state()->selection().size(), 1);
        QVERIFY(!s.screen->pathBar()->iconSizeSlider()->isVisible());

        int reads = s.state()->reloadCount();
        s.chooseMode(ViewMode::icons);
        QCOMPARE(QSettings().value(u"viewMode"_s).toString(), u"icons"_s);
        QCOMPARE(s.screen->viewMode(), ViewMode::icons);
        QCOMPARE(s.state()->currentDirectory(), std::optional<QUrl>(storage.url()));
        QVERIFY(s.state()->selection().isEmpty());
        QCOMPARE(s.state()->reloadCount(), reads + 1);
        QVERIFY(s.waitUntilSettled());
        QCOMPARE(s.listedNames(), (QStringList{u"sub"_s, u"top.txt"_s}));
        QTRY_VERIFY(s.screen->pathBar()->iconSizeSlider()->isVisible());
        QVERIFY(s.screen->viewModePicker()->segment(int(ViewMode::icons))->isChecked());

        // The column browser reads its folders itself: the switch reads nothing.
        s.doubleClickRow(s.rowNamed(u"sub"_s));
        QVERIFY(s.waitUntilSettled());
        s.clickRow(0);
        reads = s.state()->reloadCount();
        s.chooseMode(ViewMode::columns);
        QCOMPARE(s.state()->currentDirectory(), std::optional<QUrl>(storage.url()));
        QVERIFY(s.state()->selection().isEmpty());
        QCoreApplication::processEvents();
        QCOMPARE(s.state()->reloadCount(), reads);
        QTRY_COMPARE(s.listedNames(), (QStringList{u"sub"_s, u"top.txt"_s}));
        QVERIFY(!s.screen->pathBar()->iconSizeSlider()->isVisible());
    }

    void preferencesAreSharedReadSafelyAndKept()
    {
        Storage storage;
        {
            Screen s(storage.lookup());
            QCOMPARE(s.screen->viewMode(), ViewMode::list);
        }
        QSettings().setValue(u"viewMode"_s, u"gallery"_s);
        Screen first(storage.lookup());
        Screen second(storage.lookup());
        QCOMPARE(first.screen->viewMode(), ViewMode::list);
        QVERIFY(first.show() && second.show());
        QVERIFY(first.waitUntilSettled() && second.waitUntilSettled());

        first.chooseMode(ViewMode::icons);
        QCOMPARE(second.screen->viewMode(), ViewMode::icons);
        QSlider *slider = second.screen->pathBar()->iconSizeSlider();
        QTRY_VERIFY(slider->isVisible());
        QCOMPARE(slider->minimum(), 32);
        QCOMPARE(slider->maximum(), 256);
        QCOMPARE(slider->width(), 120);
        QCOMPARE(slider->value(), 64);

        first.screen->pathBar()->iconSizeSlider()->setValue(100);
        QCOMPARE(QSettings().value(u"iconSize"_s).toDouble(), 100.0);
        QCOMPARE(FilesStorageView::storedIconSize(), 100.0);
        QTRY_COMPARE(slider->value(), 100);

        second.chooseMode(ViewMode::columns);
        QCOMPARE(first.screen->viewMode(), ViewMode::columns);
        QTRY_VERIFY(first.screen->viewModePicker()->segment(int(ViewMode::columns))->isChecked());
        QCOMPARE(QSettings().value(u"viewMode"_s).toString(), u"columns"_s);
        Screen later(storage.lookup());
        QCOMPARE(later.screen->viewMode(), ViewMode::columns);
    }

    void dropHintOnlyOverAnEmptyFolderInIconsAndDropsCopyIn()
    {
        FilesStorageView::setViewMode(ViewMode::icons);
        Storage storage;
        TempFolder elsewhere;
        QVERIFY(elsewhere.createFile(u"photo.jpg"_s, "jpeg bytes") &&
                elsewhere.createFile(u"doc.txt"_s, "text"));
        Screen s(storage.lookup());
        QVERIFY(s.show());
        QVERIFY(s.waitUntilSettled());
        ContentUnavailableView *hint = s.screen->dropHint();
        QTRY_VERIFY(hint->isVisible());
        QCOMPARE(hint->title(), u"Drop files here"_s);
        QVERIFY(hint->testAttribute(Qt::WA_TransparentForMouseEvents));
        // What lies under the hint gets the clicks and the drops.
        QWidget *body = s.screen->body();
        QWidget *underHint = body->childAt(hint->mapTo(body, hint->rect().center()));
        QVERIFY(underHint);
        QVERIFY(underHint != hint && !hint->isAncestorOf(underHint));

        QMimeData mime;
        mime.setUrls({elsewhere.url(u"photo.jpg"_s), elsewhere.url(u"doc.txt"_s)});
        const QPoint at = body->rect().center();
        QDragEnterEvent enter(at, Qt::CopyAction | Qt::MoveAction, &mime, Qt::LeftButton, {});
        QCoreApplication::sendEvent(body, &enter);
        QVERIFY(enter.isAccepted());
        QCOMPARE(enter.dropAction(), Qt::CopyAction);
        QDropEvent drop(at, Qt::CopyAction | Qt::MoveAction, &mime, Qt::LeftButton, {});
        QCoreApplication::sendEvent(body, &drop);
        QVERIFY(drop.isAccepted());
        QCOMPARE(storage.folder.read(u"photo.jpg"_s), QByteArray("jpeg bytes"));
        QCOMPARE(elsewhere.read(u"photo.jpg"_s), QByteArray("jpeg bytes"));
        QTRY_COMPARE(s.listedNames(), (QStringList{u"doc.txt"_s, u"photo.jpg"_s}));
        QTRY_VERIFY(!hint->isVisible());

        // The list shows an empty folder as an empty table, without the hint.
        QVERIFY(QFile::remove(storage.folder.path(u"photo.jpg"_s)) &&
                QFile::remove(storage.folder.path(u"doc.txt"_s)));
        s.chooseMode(ViewMode::list);
        s.click(s.screen->refreshAction());
        QVERIFY(s.waitUntilSettled());
        QVERIFY(s.listedNames().isEmpty());
        QVERIFY(s.table()->isVisible());
        QVERIFY(!hint->isVisible());
    }

    void newFolderStartsRenamingItInPlace()
    {
        Storage storage;
        QVERIFY(storage.folder.createFile(u"a.txt"_s));
        Screen s(storage.lookup());
        QVERIFY(s.show());
        QVERIFY(s.waitUntilSettled());

        s.click(s.screen->newFolderAction());
        QVERIFY(storage.folder.exists(u"untitled folder"_s));
        QLineEdit *editor = nullptr;
        QVERIFY(QTest::qWaitFor([&] {
            const int row = s.rowNamed(u"untitled folder"_s);
            editor =
                row < 0
                    ? nullptr
                    : qobject_cast<QLineEdit *>(s.table()->indexWidget(s.table()->model()->index(row, 0)));
            return editor != nullptr;
        }));
        QCOMPARE(editor->selectedText(), u"untitled folder"_s);
        QCOMPARE(s.state()->renameRequest(), std::nullopt);
        QCOMPARE(s.state()->selection(), QSet<QUrl>{storage.url(u"untitled folder"_s)});

        QTest::keyClicks(editor, u"Projects"_s);
        QTest::keyClick(editor, Qt::Key_Return);
        QTRY_VERIFY(storage.folder.exists(u"Projects"_s));
        QVERIFY(!storage.folder.exists(u"untitled folder"_s));
        QTRY_COMPARE(s.listedNames(), (QStringList{u"a.txt"_s, u"Projects"_s}));
        QCOMPARE(s.state()->selection(), QSet<QUrl>{storage.url(u"Projects"_s)});
        QTRY_COMPARE(s.table()->selectionModel()->selectedRows().size(), 1);
        QCOMPARE(s.table()->selectionModel()->selectedRows().first().row(), s.rowNamed(u"Projects"_s));
    }

    void failedRenameShowsCopyFailedUntilOK()
    {
        Storage storage;
        // A name that reads like markup.
        const QString taken = u"<b>b.txt"_s;
        QVERIFY(storage.folder.createFile(u"a.txt"_s, "a") && storage.folder.createFile(taken, "b"));
        Screen s(storage.lookup());
        QVERIFY(s.show());
        QVERIFY(s.waitUntilSettled());

        s.clickRow(s.rowNamed(u"a.txt"_s));
        QTest::keyClick(s.table(), Qt::Key_Return);
        auto *editor = qobject_cast<QLineEdit *>(
            s.table()->indexWidget(s.table()->model()->index(s.rowNamed(u"a.txt"_s), 0)));
        QVERIFY(editor);
        QTest::keyClicks(editor, u"<b>b"_s);
        QTest::keyClick(editor, Qt::Key_Return);

        QTRY_VERIFY(s.screen->alert()->isShown());
        QMessageBox *box = s.screen->alert()->box();
        // The title heads the alert itself: a window-modal box may be drawn without a title bar.
        QCOMPARE(box->text(), u"Copy failed"_s);
        QVERIFY(s.state()->errorMessage());
        const QString message = *s.state()->errorMessage();
        QVERIFY2(message.contains(taken), qPrintable(message));
        QCOMPARE(box->informativeText(), message);
        // Shown as typed, tags and all.
        QLabel *shown = nullptr;
        for (QLabel *label : box->findChildren<QLabel *>())
            if (label->text() == message)
                shown = label;
        QVERIFY(shown);
        QCOMPARE(shown->textFormat(), Qt::PlainText);
        QCOMPARE(box->windowModality(), Qt::WindowModal);
        QCOMPARE(storage.folder.read(u"a.txt"_s), QByteArray("a"));
        QCOMPARE(storage.folder.read(taken), QByteArray("b"));

        QCOMPARE(box->buttons().size(), 1);
        QCOMPARE(box->buttons().first()->text(), u"OK"_s);
        box->buttons().first()->click();
        QTRY_VERIFY(!s.screen->alert()->isShown());
        QCOMPARE(s.state()->errorMessage(), std::nullopt);
    }

    void copyFilesCopiesTheChosenFilesIn()
    {
        Storage storage;
        TempFolder elsewhere;
        QVERIFY(elsewhere.createFile(u"one.txt"_s, "1") && elsewhere.createFile(u"two.txt"_s, "2"));
        Screen s(storage.lookup());
        QVERIFY(s.show());
        QVERIFY(s.waitUntilSettled());

        s.click(s.screen->copyFilesAction());
        QTRY_VERIFY(s.screen->importer() && s.screen->importer()->isVisible());
        QFileDialog *importer = s.screen->importer();
        QCOMPARE(importer->fileMode(), QFileDialog::ExistingFiles);
        QCOMPARE(importer->windowModality(), Qt::WindowModal);
        QVERIFY(s.screen->isImporting());
        importer->reject();
        QTRY_VERIFY(!s.screen->isImporting());
        QCOMPARE(QDir(storage.folder.path()).entryList(QDir::Files), QStringList());

        s.click(s.screen->copyFilesAction());
        QTRY_VERIFY(s.screen->importer() && s.screen->importer()->isVisible());
        importer = s.screen->importer();
        // Type both names into the name field, as a user picking two files does.
        auto *name = importer->findChild<QLineEdit *>(u"fileNameEdit"_s);
        QVERIFY(name);
        importer->setDirectory(elsewhere.path());
        name->setText(u"\"two.txt\" \"one.txt\""_s);
        QTest::keyClick(name, Qt::Key_Return);
        QTRY_COMPARE(s.listedNames(), (QStringList{u"one.txt"_s, u"two.txt"_s}));
        QCOMPARE(storage.folder.read(u"two.txt"_s), QByteArray("2"));
        QVERIFY(!s.screen->isImporting());
    }

    void externalChangesShowInEveryMode_data()
    {
        QTest::addColumn<ViewMode>("mode");
        QTest::addColumn<bool>("refused");
        QTest::newRow("list") << ViewMode::list << false;
        QTest::newRow("icons") << ViewMode::icons << false;
        QTest::newRow("columns") << ViewMode::columns << false;
        QTest::newRow("list, watch refused") << ViewMode::list << true;
    }

    // A file made by someone else shows without Refresh and without the spinner; in columns, in
    // every open column. When the platform refuses to watch, Refresh shows it, and nothing else
    // changes.
    void externalChangesShowInEveryMode()
    {
        QFETCH(ViewMode, mode);
        QFETCH(bool, refused);
        FilesStorageView::setViewMode(mode);
        Storage storage;
        QVERIFY(storage.folder.createFile(u"a.txt"_s) && storage.folder.createFile(u"sub/inner.txt"_s));
        auto probe = std::make_shared<Probe>();
        if (refused)
            probe->mode = TestFolderNotifier::Mode::refusing;
        Screen s(storage.lookup(), phone, probe);
        QVERIFY(s.show());
        QVERIFY(s.waitUntilSettled());
        if (mode == ViewMode::columns) {
            s.clickRow(s.rowNamed(u"sub"_s));
            QTRY_COMPARE(s.lastColumnNames(), QStringList{u"inner.txt"_s});
        }
        QList<QWidget *> pages;
        connect(s.screen, &FilesStorageView::applied, &s.window, [&] { pages << s.screen->shownPage(); });

        QVERIFY(storage.folder.createFile(u"new.txt"_s));
        QVERIFY(storage.folder.createFile(u"sub/new inner.txt"_s));
        if (refused) {
            QVERIFY(s.watched().isEmpty());
            s.click(s.screen->refreshAction());
        }
        QTRY_COMPARE_WITH_TIMEOUT(s.listedNames(), (QStringList{u"a.txt"_s, u"new.txt"_s, u"sub"_s}), 10'000);
        if (mode == ViewMode::columns)
            QTRY_COMPARE(s.lastColumnNames(), (QStringList{u"inner.txt"_s, u"new inner.txt"_s}));
        QVERIFY(!pages.contains(s.screen->busyIndicator()->parentWidget()));
        QCOMPARE(s.state()->errorMessage(), std::nullopt);
    }

    // The folders on screen are watched, and only they: the current folder, the open columns,
    // nothing while the screen is hidden, nothing of a device no longer shown.
    void watchesFollowTheScreen()
    {
        Storage storage;
        QVERIFY(storage.folder.createFile(u"sub/deeper/inner.txt"_s));
        const QString root = storage.folder.path();
        Screen s(storage.lookup(), phone, std::make_shared<Probe>());
        QVERIFY(s.show());
        QVERIFY(s.waitUntilSettled());
        QTRY_COMPARE(s.watched(), QStringList{root});

        s.doubleClickRow(s.rowNamed(u"sub"_s));
        QVERIFY(s.waitUntilSettled());
        QTRY_COMPARE(s.watched(), QStringList{root + u"/sub"_s});

        s.chooseMode(ViewMode::columns);
        QVERIFY(s.waitUntilSettled());
        QTRY_COMPARE(s.watched(), QStringList{root});
        s.clickRow(s.rowNamed(u"sub"_s));
        QTRY_COMPARE(s.watched(), (QStringList{root, root + u"/sub"_s}));

        s.window.hide();
        QVERIFY(s.watched().isEmpty());
        QVERIFY(s.show());
        QTRY_COMPARE(s.watched(), (QStringList{root, root + u"/sub"_s}));

        QPointer<FolderWatch> old = s.state()->folderWatch();
        Simulator other = phone;
        other.udid = u"OTHER-UDID"_s;
        s.screen->setSimulator(other);
        QVERIFY(old.isNull());
        QVERIFY(s.waitUntilSettled());
        QTRY_COMPARE(s.watched(), QStringList{root});
    }

    void openRenameSurvivesOtherChanges_data()
    {
        QTest::addColumn<ViewMode>("mode");
        QTest::addColumn<bool>("itemVanishes");
        QTest::newRow("list") << ViewMode::list << false;
        QTest::newRow("icons") << ViewMode::icons << false;
        QTest::newRow("columns") << ViewMode::columns << false;
        QTest::newRow("list, the item vanishes") << ViewMode::list << true;
    }

    // A reload while a name is being edited leaves the editor and its text as they are, unless
    // the item itself is gone.
    void openRenameSurvivesOtherChanges()
    {
        QFETCH(ViewMode, mode);
        QFETCH(bool, itemVanishes);
        FilesStorageView::setViewMode(mode);
        Storage storage;
        QVERIFY(storage.folder.createFile(u"a.txt"_s) && storage.folder.createFile(u"b.txt"_s));
        Screen s(storage.lookup(), phone, std::make_shared<Probe>());
        QVERIFY(s.show());
        QVERIFY(s.waitUntilSettled());
        QTRY_VERIFY(!s.watched().isEmpty());

        s.clickRow(s.rowNamed(u"a.txt"_s));
        QTest::keyClick(s.table(), Qt::Key_Return);
        QTRY_VERIFY(s.editor());
        QPointer<QLineEdit> editor = s.editor();
        QTest::keyClicks(editor, u"renamed"_s);
        const QString typed = editor->text();
        QVERIFY(typed.startsWith(u"renamed"_s));
        const bool hadFocus = editor->hasFocus();
        const int reloads = s.state()->reloadCount();

        if (itemVanishes) {
            QVERIFY(QFile::remove(storage.folder.path(u"a.txt"_s)));
            QTRY_VERIFY_WITH_TIMEOUT(editor.isNull() || !editor->isVisible(), 10'000);
            QTRY_COMPARE(s.listedNames(), QStringList{u"b.txt"_s});
            QVERIFY(!storage.folder.exists(typed));
            QCOMPARE(s.state()->errorMessage(), std::nullopt);
            return;
        }
        QVERIFY(storage.folder.createFile(u"0 first.txt"_s));
        QVERIFY(QFile::remove(storage.folder.path(u"b.txt"_s)));
        QTRY_COMPARE_WITH_TIMEOUT(s.listedNames(), (QStringList{u"0 first.txt"_s, u"a.txt"_s}), 10'000);
        QVERIFY(s.state()->reloadCount() > reloads);
        QVERIFY(editor && editor->isVisible());
        QCOMPARE(editor->text(), typed);
        QCOMPARE(editor->hasFocus(), hadFocus);

        QTest::keyClick(editor, Qt::Key_Return);
        QTRY_VERIFY(storage.folder.exists(typed));
        QTRY_COMPARE(s.listedNames(), (QStringList{u"0 first.txt"_s, typed}));
    }

    void aNewRecordOfTheSameDeviceKeepsTheState()
    {
        Storage storage;
        QVERIFY(storage.folder.createFile(u"sub/inner.txt"_s));
        Screen s(storage.lookup());
        QVERIFY(s.show());
        QVERIFY(s.waitUntilSettled());
        s.doubleClickRow(s.rowNamed(u"sub"_s));
        QVERIFY(s.waitUntilSettled());
        QPointer<FilesState> state = s.state();
        const int reads = state->reloadCount();

        Simulator renamed = phone;
        renamed.name = u"Renamed Phone"_s;
        renamed.isBooted = false;
        s.screen->setSimulator(renamed);
        QCOMPARE(s.state(), state);
        QCOMPARE(state->reloadCount(), reads);
        QCOMPARE(state->currentDirectory(), std::optional<QUrl>(storage.url(u"sub"_s)));

        Simulator other = phone;
        other.udid = u"OTHER-UDID"_s;
        s.screen->setSimulator(other);
        QVERIFY(state.isNull());
        QVERIFY(s.waitUntilSettled());
        QCOMPARE(s.state()->currentDirectory(), std::optional<QUrl>(storage.url()));
        s.click(s.screen->copyDeviceUDIDAction());
        QCOMPARE(s.pasteboard->text, std::optional<QString>(u"OTHER-UDID"_s));
    }
};

QTEST_MAIN(TestFilesStorageView)
#include "tst_filesstorageview.moc"
