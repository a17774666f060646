#include "screens/busyindicator.h"
#include "screens/contentunavailableview.h"
#include "screens/messagealert.h"
#include "screens/photosview.h"
#include "widgets/fakeaddmedia.h"

#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QFileDialog>
#include <QListWidget>
#include <QMessageBox>
#include <QMimeData>
#include <QProcess>
#include <QPushButton>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QThreadPool>
#include <QToolBar>

#include <memory>

using namespace Qt::StringLiterals;

namespace {

const Simulator bootedPhone{u"5C2D7F0A-1111-4222-8333-944455556666"_s, u"iPhone 15"_s, u"iOS 17.2"_s, true};
const Simulator idlePhone{u"5C2D7F0A-1111-4222-8333-944455556666"_s, u"iPhone 15"_s, u"iOS 17.2"_s, false};

QStringList rowTexts(const PhotosView &view)
{
    QStringList texts;
    for (int row = 0; row < view.fileList()->count(); ++row)
        texts << view.fileList()->item(row)->text();
    return texts;
}

// A drag that enters `under`, then drops there. QApplication routes the enter event up to the
// first widget that accepts drops and sends the drop to that widget, as a real drag would.
bool drop(QWidget *under, const QList<QUrl> &urls, Qt::DropAction *action = nullptr)
{
    QMimeData mime;
    mime.setUrls(urls);
    const Qt::DropActions offered = Qt::CopyAction | Qt::MoveAction;
    QDragEnterEvent enter(QPoint(5, 5), offered, &mime, Qt::LeftButton, Qt::NoModifier);
    enter.setDropAction(Qt::MoveAction);
    QApplication::sendEvent(under, &enter);
    if (!enter.isAccepted())
        return false;
    QDropEvent event(QPointF(5, 5), offered, &mime, Qt::LeftButton, Qt::NoModifier);
    event.setDropAction(Qt::MoveAction);
    QApplication::sendEvent(under, &event);
    if (action)
        *action = event.dropAction();
    return event.isAccepted();
}

bool dragEnterAccepted(QWidget *under, QMimeData *mime)
{
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(under, &enter);
    const bool accepted = enter.isAccepted();
    if (accepted) {
        QDragLeaveEvent leave;
        QApplication::sendEvent(under, &leave);
    }
    return accepted;
}

QMessageBox *visibleMessageBox()
{
    for (QWidget *widget : QApplication::topLevelWidgets()) {
        if (auto *box = qobject_cast<QMessageBox *>(widget); box && box->isVisible())
            return box;
    }
    return nullptr;
}

void pressOk(MessageAlert *alert)
{
    QVERIFY(alert->box());
    QAbstractButton *ok = nullptr;
    for (QAbstractButton *button : alert->box()->buttons())
        if (button->text() == u"OK"_s)
            ok = button;
    QVERIFY(ok);
    QTest::mouseClick(ok, Qt::LeftButton);
}

QString accessibleName(QObject *object)
{
    QAccessibleInterface *iface = QAccessible::queryAccessibleInterface(object);
    return iface ? iface->text(QAccessible::Name) : QString();
}

} // namespace

class TestPhotosView : public QObject
{
    Q_OBJECT

    std::unique_ptr<FakeAddMedia> m_tool;

    std::unique_ptr<PhotosView> shownView(const Simulator &simulator)
    {
        auto view = std::make_unique<PhotosView>(simulator);
        view->resize(640, 480);
        view->show();
        if (!QTest::qWaitForWindowExposed(view.get()))
            return nullptr;
        return view;
    }

private slots:
    void init()
    {
        m_tool = std::make_unique<FakeAddMedia>();
        QVERIFY(m_tool->isValid());
    }

    void cleanup()
    {
        QVERIFY(PhotosView::runPool()->waitForDone(30000));
        QCoreApplication::sendPostedEvents();
        m_tool.reset();
    }

    void rowTextIsTheLastPathComponent_data()
    {
        QTest::addColumn<QUrl>("url");
        QTest::addColumn<QString>("text");
        QTest::newRow("file") << QUrl::fromLocalFile(u"/Users/me/Pictures/IMG 0001.HEIC"_s)
                              << u"IMG 0001.HEIC"_s;
        QTest::newRow("escaped") << QUrl(u"file:///tmp/caf%C3%A9%20au%20lait.jpg"_s) << u"café au lait.jpg"_s;
        QTest::newRow("folder") << QUrl(u"file:///tmp/holiday/"_s) << u"holiday"_s;
        QTest::newRow("root") << QUrl(u"file:///"_s) << u"/"_s;
        QTest::newRow("web") << QUrl(u"https://example.com/a/b.png?x=1"_s) << u"b.png"_s;
    }

    void rowTextIsTheLastPathComponent()
    {
        QFETCH(QUrl, url);
        QFETCH(QString, text);
        QCOMPARE(PhotosView::rowText(url), text);
    }

    void notBootedRefusesWithoutRunningTheTool()
    {
        auto view = shownView(idlePhone);
        QVERIFY(view);
        QCOMPARE(view->placeholder()->title(), u"Drop photos or videos here"_s);
        QCOMPARE(view->placeholder()->description(), u"Boot the simulator first."_s);
        QVERIFY(!view->addMediaAction()->isEnabled());
        QVERIFY(!view->clearListAction()->isEnabled());

        Qt::DropAction action = Qt::IgnoreAction;
        QVERIFY(drop(view->body(), {m_tool->file(u"a.png"_s)}, &action));
        QCOMPARE(action, Qt::CopyAction);
        QCOMPARE(view->errorMessage(), std::optional<QString>(u"Boot the simulator before adding media."_s));
        QVERIFY(!view->isAdding());
        QVERIFY(view->busyIndicator()->isHidden());
        QVERIFY(view->alert()->isShown());
        QCOMPARE(view->alert()->box()->text(), u"Add media failed"_s);
        QCOMPARE(view->alert()->box()->informativeText(), u"Boot the simulator before adding media."_s);
        QCOMPARE(view->alert()->box()->windowModality(), Qt::WindowModal);
        QVERIFY(view->addedFiles().isEmpty());
        QVERIFY(!m_tool->hasStarted(u"a.png"_s));

        pressOk(view->alert());
        QTRY_VERIFY(!view->alert()->isShown());
        QCOMPARE(view->errorMessage(), std::nullopt);
        QVERIFY(m_tool->runs().isEmpty());
    }

    void successfulDropsAppendTheirFiles()
    {
        auto view = shownView(bootedPhone);
        QVERIFY(view);
        QCOMPARE(view->placeholder()->description(), u"Added media appears in the Photos app."_s);
        QVERIFY(view->addMediaAction()->isEnabled());

        const QUrl first = m_tool->file(u"first photo.png"_s);
        const QUrl second = m_tool->file(u"second.mov"_s);
        m_tool->hold(u"first photo.png"_s);
        Qt::DropAction action = Qt::IgnoreAction;
        QVERIFY(drop(view->body(), {first, second}, &action));
        QCOMPARE(action, Qt::CopyAction);
        QVERIFY(view->isAdding());
        QVERIFY(view->busyIndicator()->isVisible());
        QTRY_VERIFY(view->busyIndicator()->isAnimating());
        QVERIFY(view->placeholder()->isVisible()); // nothing listed before the run ends

        m_tool->release(u"first photo.png"_s);
        QTRY_VERIFY(!view->isAdding());
        QVERIFY(view->busyIndicator()->isHidden());
        QCOMPARE(view->addedFiles(), (QList<QUrl>{first, second}));
        QCOMPARE(rowTexts(*view), (QStringList{u"first photo.png"_s, u"second.mov"_s}));
        QVERIFY(view->fileList()->isVisible());
        QVERIFY(!view->fileList()->item(0)->icon().isNull());
        QCOMPARE(m_tool->runs(), (QList<QStringList>{{u"simctl"_s, u"addmedia"_s, bootedPhone.udid,
                                                      first.toLocalFile(), second.toLocalFile()}}));

        view->addMediaFiles({first});
        QTRY_COMPARE(view->addedFiles().size(), 3);
        QCOMPARE(rowTexts(*view), (QStringList{u"first photo.png"_s, u"second.mov"_s, u"first photo.png"_s}));
        QCOMPARE(m_tool->runs().size(), 2);
        QVERIFY(!view->alert()->isShown());
    }

    void dropsLandOnTheWholeBody()
    {
        auto view = shownView(bootedPhone);
        QVERIFY(view);
        const QUrl a = m_tool->file(u"a.png"_s);
        const QUrl b = m_tool->file(u"b.png"_s);
        QVERIFY(drop(view->placeholder(), {a}));
        QTRY_COMPARE(view->addedFiles().size(), 1);
        QVERIFY(drop(view->fileList()->viewport(), {b, a}));
        QTRY_COMPARE(view->addedFiles(), (QList<QUrl>{a, b, a}));
        QVERIFY(drop(view->toolBar(), {b}) == false);

        QMimeData text;
        text.setText(u"just words"_s);
        QVERIFY(!dragEnterAccepted(view->body(), &text));
    }

    void clearListIsEnabledOnlyWithRows()
    {
        auto view = shownView(bootedPhone);
        QVERIFY(view);
        QVERIFY(!view->clearListAction()->isEnabled());
        view->addMediaFiles({m_tool->file(u"a.png"_s), m_tool->file(u"b.png"_s)});
        QTRY_VERIFY(view->clearListAction()->isEnabled());

        QWidget *button = view->toolBar()->widgetForAction(view->clearListAction());
        QVERIFY(button);
        QTest::mouseClick(button, Qt::LeftButton);
        QVERIFY(view->addedFiles().isEmpty());
        QCOMPARE(view->fileList()->count(), 0);
        QVERIFY(view->placeholder()->isVisible());
        QVERIFY(!view->clearListAction()->isEnabled());
        QCOMPARE(m_tool->runs().size(), 1); // nothing is removed from the device
    }

    void failingRunShowsItsMessageAndAddsNothing()
    {
        auto view = shownView(bootedPhone);
        QVERIFY(view);
        view->addMediaFiles({m_tool->file(u"good.png"_s)});
        QTRY_COMPARE(view->addedFiles().size(), 1);

        view->addMediaFiles({m_tool->file(u"fail-one.png"_s), m_tool->file(u"c.png"_s)});
        QTRY_VERIFY(!view->isAdding());
        QCOMPARE(view->errorMessage(), std::optional<QString>(u"Could not add fail-one.png"_s));
        QVERIFY(view->alert()->isShown());
        QCOMPARE(view->alert()->box()->informativeText(), u"Could not add fail-one.png"_s);
        QCOMPARE(rowTexts(*view), QStringList{u"good.png"_s});

        // A second failure while the alert is up replaces its text; there is still one box.
        view->addMediaFiles({m_tool->file(u"fail-two.png"_s)});
        QTRY_COMPARE(view->errorMessage(), std::optional<QString>(u"Could not add fail-two.png"_s));
        QCOMPARE(view->alert()->box()->informativeText(), u"Could not add fail-two.png"_s);
        QCOMPARE(view->findChildren<QMessageBox *>().size(), 1);

        pressOk(view->alert());
        QTRY_VERIFY(!view->alert()->isShown());
        QCOMPARE(view->errorMessage(), std::nullopt);
        QCOMPARE(rowTexts(*view), QStringList{u"good.png"_s});
    }

    void overlappingRunsAreIndependent()
    {
        auto view = shownView(bootedPhone);
        QVERIFY(view);
        const QUrl slow = m_tool->file(u"slow.mov"_s);
        const QUrl quick = m_tool->file(u"quick.png"_s);
        m_tool->hold(u"slow.mov"_s);
        m_tool->hold(u"quick.png"_s);
        view->addMediaFiles({slow});
        view->addMediaFiles({quick});
        QTRY_VERIFY(m_tool->hasStarted(u"slow.mov"_s) && m_tool->hasStarted(u"quick.png"_s));
        QVERIFY(view->isAdding());

        m_tool->release(u"quick.png"_s);
        QTRY_COMPARE(view->addedFiles(), QList<QUrl>{quick});
        // The first run to end clears the indicator while the other still works.
        QVERIFY(!view->isAdding());
        QVERIFY(view->busyIndicator()->isHidden());

        m_tool->release(u"slow.mov"_s);
        QTRY_COMPARE(view->addedFiles(), (QList<QUrl>{quick, slow}));
        QVERIFY(!view->isAdding());
    }

    void newRecordKeepsTheListAndFollowsTheBootState()
    {
        auto view = shownView(bootedPhone);
        QVERIFY(view);
        view->addMediaFiles({m_tool->file(u"a.png"_s)});
        QTRY_COMPARE(view->addedFiles().size(), 1);

        view->setSimulator(idlePhone);
        QCOMPARE(view->simulator(), idlePhone);
        QCOMPARE(rowTexts(*view), QStringList{u"a.png"_s});
        QVERIFY(!view->addMediaAction()->isEnabled());
        view->clearList();
        QCOMPARE(view->placeholder()->description(), u"Boot the simulator first."_s);

        view->setSimulator(bootedPhone);
        QVERIFY(view->addMediaAction()->isEnabled());
        QCOMPARE(view->placeholder()->description(), u"Added media appears in the Photos app."_s);
    }

    void screenDestroyedDuringARunShowsNothing()
    {
        auto view = shownView(bootedPhone);
        QVERIFY(view);
        m_tool->hold(u"fail-late.png"_s);
        view->addMediaFiles({m_tool->file(u"fail-late.png"_s)});
        QTRY_VERIFY(m_tool->hasStarted(u"fail-late.png"_s));
        view.reset();

        m_tool->release(u"fail-late.png"_s);
        QVERIFY(PhotosView::runPool()->waitForDone(30000));
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents();
        // The tool ran to its end, and its failure reached no one.
        QTRY_COMPARE(m_tool->runs().size(), 1);
        QCOMPARE(visibleMessageBox(), nullptr);
    }

    void importerPicksImagesAndMovies()
    {
        auto view = shownView(bootedPhone);
        QVERIFY(view);
        QWidget *button = view->toolBar()->widgetForAction(view->addMediaAction());
        QVERIFY(button);
        QCOMPARE(view->addMediaAction()->toolTip(), u"Add Media\u2026"_s);
        QTest::mouseClick(button, Qt::LeftButton);
        QVERIFY(view->isImporting());
        QFileDialog *importer = view->importer();
        QVERIFY(importer);
        QTRY_VERIFY(importer->isVisible());
        QCOMPARE(importer->windowModality(), Qt::WindowModal);
        QCOMPARE(importer->fileMode(), QFileDialog::ExistingFiles);
        const QString filters = importer->nameFilters().join(u'\n');
        for (const char *pattern : {"*.png", "*.jpg", "*.JPG", "*.heic", "*.mov", "*.mp4"})
            QVERIFY2(filters.contains(QLatin1String(pattern)), pattern);

        importer->reject();
        QTRY_VERIFY(!view->isImporting());
        QVERIFY(view->importer() == nullptr);
        QVERIFY(m_tool->runs().isEmpty());
        QVERIFY(!view->isAdding());

        const QUrl first = m_tool->file(u"one.png"_s);
        const QUrl second = m_tool->file(u"two.mov"_s);
        view->importMedia();
        importer = view->importer();
        QVERIFY(importer);
        importer->setDirectory(m_tool->mediaDir());
        importer->selectFile(u"\"one.png\" \"two.mov\""_s);
        QMetaObject::invokeMethod(importer, "accept");
        QTRY_VERIFY(!view->isImporting());
        QTRY_COMPARE(view->addedFiles().size(), 2);
        QCOMPARE(QSet<QUrl>(view->addedFiles().cbegin(), view->addedFiles().cend()),
                 (QSet<QUrl>{first, second}));
        QCOMPARE(m_tool->runs().size(), 1);
    }

    void everyControlHasAnAccessibleName()
    {
        auto view = shownView(bootedPhone);
        QVERIFY(view);
        for (QAction *action : {view->addMediaAction(), view->clearListAction()})
            QCOMPARE(accessibleName(view->toolBar()->widgetForAction(action)), action->text());
        QCOMPARE(view->addMediaAction()->text(), u"Add Media\u2026"_s);
        QCOMPARE(view->clearListAction()->text(), u"Clear List"_s);
        QCOMPARE(view->clearListAction()->toolTip(), u"Clear List"_s);
        for (QWidget *widget : std::initializer_list<QWidget *>{
                 view->toolBar(), view->body(), view->fileList(), view->busyIndicator(), view->placeholder()})
            QVERIFY2(!accessibleName(widget).isEmpty(), widget->metaObject()->className());
    }

    void standinFailureReachesTheUser()
    {
        QTemporaryDir home;
        QVERIFY(home.isValid());
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(u"HOME"_s, home.path());
        QProcess create;
        create.setProcessEnvironment(environment);
        create.start(QStringLiteral(LANTHORN_STANDIN_PATH),
                     {u"simctl"_s, u"create"_s, u"Idle"_s, u"iPhone-15"_s, u"iOS-17-2"_s});
        QVERIFY(create.waitForFinished(30000));
        QCOMPARE(create.exitCode(), 0);
        const QString udid = QString::fromUtf8(create.readAllStandardOutput().trimmed());

        const QByteArray oldHome = qgetenv("HOME");
        qputenv("HOME", QFile::encodeName(home.path()));
        const auto restoreHome = qScopeGuard([&] { qputenv("HOME", oldHome); });
        ScopedToolPath standin(QStringLiteral(LANTHORN_STANDIN_PATH));
        // The record still says booted: the device shut down since the last listing.
        auto view = shownView(Simulator{udid, u"Idle"_s, u"iOS 17.2"_s, true});
        QVERIFY(view);
        view->addMediaFiles({m_tool->file(u"a.png"_s)});
        QTRY_VERIFY(!view->isAdding());
        QCOMPARE(view->errorMessage(),
                 std::optional<QString>(u"Unable to lookup in current state: Shutdown"_s));
        QVERIFY(view->addedFiles().isEmpty());
    }
};

QTEST_MAIN(TestPhotosView)
#include "tst_photosview.moc"
