#include "screens/busyindicator.h"
#include "screens/contentunavailableview.h"
#include "screens/filesstorageview.h"
#include "screens/messagealert.h"
#include "screens/pathbar.h"
#include "screens/preferences.h"
#include "screens/segmentedpicker.h"
#include "support/plaintextcheck.h"
#include "support/recordingservices.h"
#include "support/settingssandbox.h"
#include "support/simulatordevice.h"
#include "support/testfoldernotifier.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QDir>
#include <QLineEdit>
#include <QMessageBox>
#include <QScopeGuard>
#include <QSettings>
#include <QSignalSpy>
#include <QSlider>
#include <QStandardPaths>
#include <QTest>
#include <QToolBar>
#include <QVBoxLayout>

#include <atomic>
#include <limits>

using namespace Qt::StringLiterals;
using ViewMode = FilesStorageView::ViewMode;
using Kind = LoadState::Kind;
using Probe = TestFolderNotifier::Probe;

namespace {

const Simulator phone{u"5D3A0C2E-0000-4000-8000-000000000001"_s, u"Test Phone"_s, u"iOS 17.2"_s, true};

// One screen over a temporary storage folder, in a window, with recording desktop services;
// watching its folders with the probe's notifications when given one. Shown only on show().
struct Screen
{
    std::shared_ptr<RecordingPasteboard> pasteboard = std::make_shared<RecordingPasteboard>();
    std::shared_ptr<RecordingWorkspace> workspace = std::make_shared<RecordingWorkspace>();
    QWidget window;
    FilesStorageView *screen;

    Screen(const TempFolder *storage, const std::shared_ptr<Probe> &probe = {},
           const Simulator &simulator = phone)
        : screen(new FilesStorageView(
              simulator,
              FilesState::Services{workspace, pasteboard, nullptr,
                                   probe ? TestFolderNotifier::factory(probe) : nullptr},
              storage
                  ? FilesState::StorageLookup([root = storage->url()] { return std::optional<QUrl>(root); })
                  : FilesState::StorageLookup{},
              &window))
    {
        auto *layout = new QVBoxLayout(&window);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->addWidget(screen);
        window.resize(1100, 600);
    }

    bool show()
    {
        window.show();
        return QTest::qWaitForWindowExposed(&window) && waitUntilSettled();
    }
    FilesState *state() const { return screen->state(); }
    // The list, the grid, or the first column of the browser.
    QAbstractItemView *table() const
    {
        return screen->fileView() ? screen->fileView()->findChild<QAbstractItemView *>() : nullptr;
    }
    static QStringList names(const QAbstractItemView *view)
    {
        QStringList out;
        for (int row = 0; view && row < view->model()->rowCount(view->rootIndex()); ++row)
            out << view->model()->index(row, 0, view->rootIndex()).data().toString();
        return out;
    }
    QStringList listedNames() const { return names(table()); }
    QStringList lastColumnNames() const
    {
        QAbstractItemView *last = nullptr;
        for (QAbstractItemView *view : screen->fileView()->findChildren<QAbstractItemView *>())
            if (view->isVisible())
                last = view;
        return names(last);
    }
    QPoint centreOf(const QString &name) const
    {
        return table()->visualRect(table()->model()->index(int(listedNames().indexOf(name)), 0)).center();
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
    QLineEdit *editor() const
    {
        for (QLineEdit *line : screen->findChildren<QLineEdit *>())
            if (line->isVisible())
                return line;
        return nullptr;
    }
    void click(QAction *action) const
    {
        QTest::mouseClick(screen->toolBar()->widgetForAction(action), Qt::LeftButton);
    }
    void click(const QString &name, Qt::KeyboardModifiers modifiers = {}) const
    {
        QTest::mouseClick(table()->viewport(), Qt::LeftButton, modifiers, centreOf(name));
    }
    bool open(const QUrl &folder) const
    {
        state()->open(folder);
        return waitUntilSettled();
    }
    void chooseMode(ViewMode mode) const
    {
        QTest::mouseClick(screen->viewModePicker()->segment(int(mode)), Qt::LeftButton);
    }
};

} // namespace

class TestFilesStorageView : public QObject
{
    Q_OBJECT

    SettingsSandbox m_settings{"tst_filesstorageview"};

private slots:
    void initTestCase()
    {
        QVERIFY(m_settings.isValid());
        QStandardPaths::setTestModeEnabled(true);
    }
    void init() { m_settings.clear(); }

    // The stored preferences at their lowest level; the screens' cases show them shared and kept.
    void iconSizeReadsSafely_data()
    {
        QTest::addColumn<QVariant>("stored");
        QTest::addColumn<double>("read");
        QTest::newRow("absent") << QVariant() << 64.0;
        QTest::newRow("number") << QVariant(128.5) << 128.5;
        QTest::newRow("infinite") << QVariant(std::numeric_limits<double>::infinity()) << 64.0;
        QTest::newRow("nan") << QVariant(u"nan"_s) << 64.0;
    }
    void iconSizeReadsSafely()
    {
        QFETCH(QVariant, stored);
        QFETCH(double, read);
        if (stored.isValid())
            QSettings().setValue(u"iconSize"_s, stored);
        QCOMPARE(Preferences::shared().iconSize(), read);
    }

    // Only real changes are signalled; every setting is written through, the default too.
    void settersStoreAndSignalRealChangesOnly()
    {
        Preferences &preferences = Preferences::shared();
        QSignalSpy sections(&preferences, &Preferences::detailSectionChanged);
        QSignalSpy modes(&preferences, &Preferences::viewModeChanged);
        QSignalSpy sizes(&preferences, &Preferences::iconSizeChanged);
        preferences.setDetailSection(u"Photos"_s);
        preferences.setDetailSection(u"Photos"_s);
        preferences.setIconSize(96);
        preferences.setIconSize(96);
        preferences.setIconSize(std::numeric_limits<double>::quiet_NaN());
        QCOMPARE(sections.size(), 1);
        QCOMPARE(sizes.size(), 1);
        QCOMPARE(QSettings().value(u"iconSize"_s).toDouble(), 96.0);

        QVERIFY(!QSettings().contains(u"viewMode"_s));
        preferences.setViewMode(u"list"_s);
        QCOMPARE(modes.size(), 0);
        QCOMPARE(QSettings().value(u"viewMode"_s).toString(), u"list"_s);
    }

    void storageAppearingSwitchesTheScreen_data()
    {
        QTest::addColumn<bool>("watched");
        QTest::newRow("Refresh") << false;
        QTest::newRow("watched") << true;
    }
    // Until the Files app made its storage the placeholder shows; then Refresh, or the watch of
    // the device's folders, brings the browser.
    void storageAppearingSwitchesTheScreen()
    {
        QFETCH(bool, watched);
        TempFolder home;
        const ScopedEnv homeEnv("HOME", QFile::encodeName(home.path()));
        SimulatorDevice device(home, phone.udid);
        QVERIFY(home.createDir(device.data(u"Containers/Shared/AppGroup"_s)));
        Screen s(nullptr, watched ? std::make_shared<Probe>() : nullptr);
        QVERIFY(s.show());
        QCOMPARE(s.screen->shownPage(), s.screen->missingPlaceholder());

        QVERIFY(device.build({u"group G group.com.apple.FileProvider.LocalStorage"_s,
                              u"file Containers/Shared/AppGroup/G/File Provider Storage/note.txt"_s}));
        if (!watched)
            s.click(s.screen->refreshAction());
        QTRY_COMPARE_WITH_TIMEOUT(s.listedNames(), QStringList{u"note.txt"_s}, 10'000);
        QVERIFY(s.waitUntilSettled());
    }

    // Up only below the root; Move to Trash only with a selection. A new folder opens for
    // renaming; once renamed it is the selection. A rename onto a taken name replaces nothing:
    // "Copy failed" heads an alert whose body is the message as plain text, until OK.
    void toolbarNewFolderAndAFailedRename()
    {
        TempFolder storage;
        const QString taken = u"<b>b.txt"_s; // a name that reads like markup
        QVERIFY(storage.createFile(u"a.txt"_s, "a") && storage.createFile(taken, "b") &&
                storage.createFile(u"sub/inner.txt"_s));
        Screen s(&storage);
        QVERIFY(s.show());
        const auto enabled = [&] {
            return QList<bool>{s.screen->upAction()->isEnabled(), s.screen->moveToTrashAction()->isEnabled()};
        };
        QTRY_COMPARE(enabled(), (QList<bool>{false, false}));
        s.click(u"a.txt"_s);
        QTRY_COMPARE(enabled(), (QList<bool>{false, true}));
        QVERIFY(s.open(storage.url(u"sub"_s)));
        QCOMPARE(s.listedNames(), QStringList{u"inner.txt"_s});
        QTRY_COMPARE(enabled(), (QList<bool>{true, false}));
        s.click(s.screen->upAction());
        QVERIFY(s.waitUntilSettled());
        QCOMPARE(s.state()->currentDirectory(), std::optional<QUrl>(storage.url()));
        QTRY_COMPARE(enabled(), (QList<bool>{false, false}));

        s.click(s.screen->newFolderAction());
        QVERIFY(storage.exists(u"untitled folder"_s));
        QTRY_VERIFY(s.editor());
        QCOMPARE(s.editor()->selectedText(), u"untitled folder"_s);
        QTest::keyClicks(s.editor(), u"Projects"_s);
        QTest::keyClick(s.editor(), Qt::Key_Return);
        QTRY_VERIFY(s.listedNames().contains(u"Projects"_s) &&
                    !s.listedNames().contains(u"untitled folder"_s));
        QVERIFY(!storage.exists(u"untitled folder"_s));
        QCOMPARE(s.state()->selection(), QSet<QUrl>{storage.url(u"Projects"_s)});
        QTRY_COMPARE(s.table()->selectionModel()->selectedRows().size(), 1);
        QCOMPARE(s.table()->selectionModel()->selectedRows().first().data().toString(), u"Projects"_s);

        s.click(u"a.txt"_s);
        QTest::keyClick(s.table(), Qt::Key_Return);
        QTRY_VERIFY(s.editor());
        QTest::keyClicks(s.editor(), u"<b>b"_s);
        QTest::keyClick(s.editor(), Qt::Key_Return);
        QTRY_VERIFY(s.screen->alert()->isShown());
        const QString message = s.state()->errorMessage().value_or(QString());
        QVERIFY2(message.contains(taken), qPrintable(message));
        QCOMPARE(PlainTextCheck::alertTexts(s.screen->alert()), (QStringList{u"Copy failed"_s, message}));
        QCOMPARE(storage.read(u"a.txt"_s), QByteArray("a"));
        QCOMPARE(storage.read(taken), QByteArray("b"));
        s.screen->alert()->box()->buttons().first()->click();
        QTRY_VERIFY(!s.screen->alert()->isShown());
        QCOMPARE(s.state()->errorMessage(), std::nullopt);
    }

    // The view mode and the icon size are one preference for every screen, kept for the next
    // start; an unknown stored mode reads as the list. A new mode starts at the root.
    void viewModeAndIconSizeAreSharedAndKept()
    {
        TempFolder storage;
        QVERIFY(storage.createFile(u"sub/inner.txt"_s));
        {
            Screen fresh(&storage);
            QCOMPARE(fresh.screen->viewMode(), ViewMode::list);
        }
        QSettings().setValue(u"viewMode"_s, u"gallery"_s);
        Screen first(&storage);
        Screen second(&storage);
        QCOMPARE(first.screen->viewMode(), ViewMode::list);
        QVERIFY(first.show() && second.show());
        QVERIFY(first.open(storage.url(u"sub"_s)));
        first.click(u"inner.txt"_s);
        QCOMPARE(first.state()->selection().size(), 1);

        first.chooseMode(ViewMode::icons);
        QCOMPARE(QSettings().value(u"viewMode"_s).toString(), u"icons"_s);
        QCOMPARE(second.screen->viewMode(), ViewMode::icons);
        QCOMPARE(first.state()->currentDirectory(), std::optional<QUrl>(storage.url()));
        QVERIFY(first.state()->selection().isEmpty());
        QTRY_VERIFY(second.screen->viewModePicker()->segment(int(ViewMode::icons))->isChecked());

        QSlider *slider = second.screen->pathBar()->iconSizeSlider();
        QTRY_VERIFY(slider->isVisible());
        first.screen->pathBar()->iconSizeSlider()->setValue(100);
        QCOMPARE(FilesStorageView::storedIconSize(), 100.0);
        QTRY_COMPARE(slider->value(), 100);

        second.chooseMode(ViewMode::columns);
        QCOMPARE(first.screen->viewMode(), ViewMode::columns);
        Screen later(&storage);
        QCOMPARE(later.screen->viewMode(), ViewMode::columns);
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
    // every open column. When the platform refuses to watch, Refresh shows it.
    void externalChangesShowInEveryMode()
    {
        QFETCH(ViewMode, mode);
        QFETCH(bool, refused);
        FilesStorageView::setViewMode(mode);
        TempFolder storage;
        QVERIFY(storage.createFile(u"a.txt"_s) && storage.createFile(u"sub/inner.txt"_s));
        auto probe = std::make_shared<Probe>();
        if (refused)
            probe->mode = TestFolderNotifier::Mode::refusing;
        Screen s(&storage, probe);
        QVERIFY(s.show());
        if (mode == ViewMode::columns) {
            s.click(u"sub"_s);
            QTRY_COMPARE(s.lastColumnNames(), QStringList{u"inner.txt"_s});
        }
        QList<QWidget *> pages;
        connect(s.screen, &FilesStorageView::applied, &s.window, [&] { pages << s.screen->shownPage(); });

        QVERIFY(storage.createFile(u"new.txt"_s) && storage.createFile(u"sub/new inner.txt"_s));
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
    // nothing while the screen is hidden (coming back reads what changed), nothing of a device
    // no longer shown. A new record of the same device keeps the state; another device starts
    // afresh at the root.
    void watchesFollowTheScreen()
    {
        TempFolder storage;
        QVERIFY(storage.createFile(u"sub/deeper/inner.txt"_s));
        const QString root = storage.path();
        Screen s(&storage, std::make_shared<Probe>());
        QVERIFY(s.show());
        QTRY_COMPARE(s.watched(), QStringList{root});
        QVERIFY(s.open(storage.url(u"sub"_s)));
        QTRY_COMPARE(s.watched(), QStringList{root + u"/sub"_s});

        s.chooseMode(ViewMode::columns);
        QVERIFY(s.waitUntilSettled());
        QTRY_COMPARE(s.watched(), QStringList{root});
        s.click(u"sub"_s);
        QTRY_COMPARE(s.watched(), (QStringList{root, root + u"/sub"_s}));

        s.window.hide();
        QVERIFY(s.watched().isEmpty());
        QVERIFY(storage.createFile(u"while away.txt"_s)); // read when the screen comes back
        QVERIFY(s.show());
        QTRY_COMPARE(s.watched(), (QStringList{root, root + u"/sub"_s}));
        QTRY_COMPARE(s.listedNames(), (QStringList{u"sub"_s, u"while away.txt"_s}));

        QPointer<FilesState> state = s.state();
        const int reads = state->reloadCount();
        Simulator renamed = phone;
        renamed.name = u"Renamed Phone"_s;
        renamed.isBooted = false;
        s.screen->setSimulator(renamed);
        QCOMPARE(s.state(), state);
        QCOMPARE(state->reloadCount(), reads);

        QPointer<FolderWatch> old = s.state()->folderWatch();
        Simulator other = phone;
        other.udid = u"OTHER-UDID"_s;
        s.screen->setSimulator(other);
        QVERIFY(old.isNull() && state.isNull());
        QVERIFY(s.waitUntilSettled());
        QCOMPARE(s.state()->currentDirectory(), std::optional<QUrl>(storage.url()));
        QTRY_COMPARE(s.watched(), QStringList{root});
        s.click(s.screen->copyDeviceUDIDAction());
        QCOMPARE(s.pasteboard->text, std::optional<QString>(u"OTHER-UDID"_s));
    }

    void shownFolderChangedFromOutside_data()
    {
        QTest::addColumn<ViewMode>("mode");
        QTest::addColumn<QString>("change");
        QTest::newRow("list, deleted") << ViewMode::list << u"deleted"_s;
        QTest::newRow("icons, deleted") << ViewMode::icons << u"deleted"_s;
        QTest::newRow("columns, deleted") << ViewMode::columns << u"deleted"_s;
        QTest::newRow("list, unreadable") << ViewMode::list << u"unreadable"_s;
        QTest::newRow("icons, root linked out") << ViewMode::icons << u"root linked out"_s;
    }

    // The folder on screen deleted: the screen goes to its parent, without the spinner or an
    // alert; in columns the columns beyond it close. A folder that cannot be read says so. A
    // root replaced by a link shows as not found, and New Folder writes nothing.
    void shownFolderChangedFromOutside()
    {
        QFETCH(ViewMode, mode);
        QFETCH(QString, change);
        FilesStorageView::setViewMode(mode);
        TempFolder storage, outside;
        QVERIFY(storage.createFile(u"a.txt"_s) && storage.createFile(u"sub/inner/x.txt"_s));
        Screen s(&storage, std::make_shared<Probe>());
        QVERIFY(s.show());
        if (mode == ViewMode::columns) {
            s.click(u"sub"_s);
            QTRY_COMPARE(s.lastColumnNames(), QStringList{u"inner"_s});
        } else {
            QVERIFY(s.open(storage.url(u"sub"_s)));
        }
        QTRY_VERIFY(s.watched().contains(storage.path(u"sub"_s)));
        QList<QWidget *> pages;
        connect(s.screen, &FilesStorageView::applied, &s.window, [&] { pages << s.screen->shownPage(); });
        const QString sub = storage.path(u"sub"_s);
        const auto restore = qScopeGuard([&] {
            if (QFileInfo(storage.path()).isSymLink())
                QFile::remove(storage.path()) && QDir().rename(storage.path() + u".old"_s, storage.path());
        });
        if (change == u"deleted"_s) {
            QVERIFY(QDir(sub).removeRecursively());
        } else if (change == u"unreadable"_s) {
            // A link that loops cannot be read, whoever runs the test.
            QVERIFY(QDir(sub).removeRecursively() && QFile::link(u"sub"_s, sub));
            s.click(s.screen->refreshAction());
            QTRY_COMPARE(s.screen->shownPage(), s.screen->unreadablePlaceholder());
            QCOMPARE(s.state()->currentDirectory(), std::optional(storage.url(u"sub"_s)));
            return;
        } else {
            QVERIFY(QDir().rename(storage.path(), storage.path() + u".old"_s));
            QVERIFY(QFile::link(outside.path(), storage.path()));
            s.click(s.screen->newFolderAction());
            QTRY_COMPARE(s.screen->shownPage(), s.screen->missingPlaceholder());
            QCOMPARE(QDir(outside.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList());
            return;
        }
        QTRY_COMPARE_WITH_TIMEOUT(s.state()->currentDirectory(), std::optional(storage.url()), 10'000);
        QVERIFY(s.waitUntilSettled());
        QTRY_COMPARE(s.lastColumnNames(), (QStringList{u"a.txt"_s}));
        QCOMPARE(s.watched(), QStringList{storage.path()});
        QVERIFY(!pages.contains(s.screen->busyIndicator()->parentWidget()));
        s.click(s.screen->newFolderAction());
        QVERIFY(storage.exists(u"untitled folder"_s));
        QCOMPARE(s.state()->errorMessage(), std::nullopt);
    }

    void openRenameSurvivesOtherChanges_data()
    {
        QTest::addColumn<ViewMode>("mode");
        QTest::newRow("list") << ViewMode::list;
        QTest::newRow("icons") << ViewMode::icons;
        QTest::newRow("columns") << ViewMode::columns;
        QTest::newRow("list, the item vanishes") << ViewMode::list;
    }
    // A reload while a name is being edited leaves the editor and its text as they are, unless
    // the item itself is gone.
    void openRenameSurvivesOtherChanges()
    {
        QFETCH(ViewMode, mode);
        const bool itemVanishes = QByteArray(QTest::currentDataTag()).contains("vanishes");
        FilesStorageView::setViewMode(mode);
        TempFolder storage;
        QVERIFY(storage.createFile(u"a.txt"_s) && storage.createFile(u"b.txt"_s));
        Screen s(&storage, std::make_shared<Probe>());
        QVERIFY(s.show());
        QTRY_VERIFY(!s.watched().isEmpty());
        s.click(u"a.txt"_s);
        QTest::keyClick(s.table(), Qt::Key_Return);
        QTRY_VERIFY(s.editor());
        QPointer<QLineEdit> editor = s.editor();
        QTest::keyClicks(editor, u"renamed"_s);
        const QString typed = editor->text();

        if (itemVanishes) {
            QVERIFY(QFile::remove(storage.path(u"a.txt"_s)));
            QTRY_VERIFY_WITH_TIMEOUT(editor.isNull() || !editor->isVisible(), 10'000);
            QTRY_COMPARE(s.listedNames(), QStringList{u"b.txt"_s});
            QVERIFY(!storage.exists(typed));
            QCOMPARE(s.state()->errorMessage(), std::nullopt);
            return;
        }
        QVERIFY(storage.createFile(u"0 first.txt"_s) && QFile::remove(storage.path(u"b.txt"_s)));
        QTRY_COMPARE_WITH_TIMEOUT(s.listedNames(), (QStringList{u"0 first.txt"_s, u"a.txt"_s}), 10'000);
        QVERIFY(editor && editor->isVisible());
        QCOMPARE(editor->text(), typed);
        QTest::keyClick(editor, Qt::Key_Return);
        QTRY_COMPARE(s.listedNames(), (QStringList{u"0 first.txt"_s, typed}));
    }
};

QTEST_MAIN(TestFilesStorageView)
#include "tst_filesstorageview.moc"
