#include "screens/contentunavailableview.h"
#include "screens/messagealert.h"
#include "screens/photosview.h"
#include "support/plaintextcheck.h"
#include "widgets/fakeaddmedia.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QListWidget>
#include <QMessageBox>
#include <QMimeData>
#include <QPushButton>
#include <QTest>
#include <QThreadPool>
#include <QToolBar>

#include <memory>

using namespace Qt::StringLiterals;

namespace {

const Simulator bootedPhone{u"5C2D7F0A-1111-4222-8333-944455556666"_s, u"iPhone 15"_s, u"iOS 17.2"_s, true};

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

class TestPhotosView : public QObject
{
    Q_OBJECT

    std::unique_ptr<FakeAddMedia> m_tool;

    static std::unique_ptr<PhotosView> shownView(const Simulator &simulator)
    {
        auto view = std::make_unique<PhotosView>(simulator);
        view->resize(640, 480);
        view->show();
        return QTest::qWaitForWindowExposed(view.get()) ? std::move(view) : nullptr;
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
        auto view = shownView(simulator);
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
        auto view = shownView(bootedPhone);
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
        auto view = shownView(bootedPhone);
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
        QTRY_COMPARE(m_tool->runs().size(), 1);
        QVERIFY(!anyMessageBoxShown());
    }
};

QTEST_MAIN(TestPhotosView)
#include "tst_photosview.moc"
