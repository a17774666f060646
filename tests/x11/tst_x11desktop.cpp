// The desktop as X11 programs meet it, against a real X server, session and accessibility bus
// (ctest runs this under its own Xvfb): drag data requests as GTK 4 programs send them
// (CurrentTime, from a window of their own, over a second X connection), and what a screen reader
// gets from the file views while Qt's accessibility bridge is active (the offscreen platform has
// no accessibility to deliver notices to).
#include "fileviews/x11dragdata.h"
#include "support/fileviewharness.h"
#include "support/tempfolder.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QMimeData>
#include <QTest>
#include <QUrl>
#include <QWidget>

#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>

namespace {

template <typename T> using Reply = std::unique_ptr<T, decltype(&std::free)>;

xcb_atom_t atom(xcb_connection_t *connection, const char *name)
{
    Reply<xcb_intern_atom_reply_t> reply(
        xcb_intern_atom_reply(connection, xcb_intern_atom(connection, 0, uint16_t(std::strlen(name)), name),
                              nullptr),
        &std::free);
    return reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
}

// The requesting program: its own connection and window, as a GTK 4 file manager has.
class Requestor
{
public:
    Requestor() : m_connection(xcb_connect(nullptr, nullptr))
    {
        const xcb_screen_t *screen = xcb_setup_roots_iterator(xcb_get_setup(m_connection)).data;
        m_window = xcb_generate_id(m_connection);
        xcb_create_window(m_connection, XCB_COPY_FROM_PARENT, m_window, screen->root, 0, 0, 1, 1, 0,
                          XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual, 0, nullptr);
        xcb_flush(m_connection);
    }
    ~Requestor() { xcb_disconnect(m_connection); }

    struct Answer
    {
        bool answered = false;
        QByteArray data;
        QByteArray type;
    };

    // Asks the XdndSelection's owner for `target` into `property` and waits for its notice,
    // letting the application under test run meanwhile.
    Answer request(const char *target, const char *property)
    {
        const xcb_atom_t targetAtom = atom(m_connection, target);
        const xcb_atom_t propertyAtom = property ? atom(m_connection, property) : xcb_atom_t(XCB_ATOM_NONE);
        xcb_convert_selection(m_connection, m_window, atom(m_connection, "XdndSelection"), targetAtom,
                              propertyAtom, XCB_CURRENT_TIME);
        xcb_flush(m_connection);
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < 5000) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
            while (xcb_generic_event_t *event = xcb_poll_for_event(m_connection)) {
                const bool notice = (event->response_type & 0x7f) == XCB_SELECTION_NOTIFY;
                const xcb_selection_notify_event_t copy =
                    *reinterpret_cast<xcb_selection_notify_event_t *>(event);
                std::free(event);
                if (notice)
                    return read(copy);
            }
        }
        QTest::qFail("the selection's owner never answered", __FILE__, __LINE__);
        return {};
    }

private:
    Answer read(const xcb_selection_notify_event_t &notify)
    {
        Answer answer;
        if (notify.property == XCB_ATOM_NONE)
            return answer;
        Reply<xcb_get_property_reply_t> reply(
            xcb_get_property_reply(m_connection,
                                   xcb_get_property(m_connection, 1, m_window, notify.property,
                                                    XCB_GET_PROPERTY_TYPE_ANY, 0, 1 << 20),
                                   nullptr),
            &std::free);
        if (!reply)
            return answer;
        answer.answered = true;
        answer.data = QByteArray(static_cast<const char *>(xcb_get_property_value(reply.get())),
                                 xcb_get_property_value_length(reply.get()));
        Reply<xcb_get_atom_name_reply_t> name(
            xcb_get_atom_name_reply(m_connection, xcb_get_atom_name(m_connection, reply->type), nullptr),
            &std::free);
        if (name)
            answer.type =
                QByteArray(xcb_get_atom_name_name(name.get()), xcb_get_atom_name_name_length(name.get()));
        return answer;
    }

    xcb_connection_t *m_connection;
    xcb_window_t m_window = 0;
};

QList<QPair<QAccessible::Event, int>> notices;

void record(QAccessibleEvent *event)
{
    if (event->type() == QAccessible::Focus || event->type() == QAccessible::SelectionAdd ||
        event->type() == QAccessible::SelectionRemove || event->type() == QAccessible::SelectionWithin)
        notices << qMakePair(event->type(), event->child());
}

} // namespace

class TestX11Desktop : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        auto *x11 = qApp->nativeInterface<QNativeInterface::QX11Application>();
        if (!x11)
            QSKIP("needs the xcb platform and an X server");
        QAccessible::setActive(true);
        QAccessible::installUpdateHandler(&record);
        m_window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&m_window));
        // The application owns the drag selection, as it does while one of its drags runs.
        xcb_connection_t *connection = x11->connection();
        xcb_set_selection_owner(connection, xcb_window_t(m_window.winId()), atom(connection, "XdndSelection"),
                                XCB_CURRENT_TIME);
        xcb_flush(connection);
    }

    void cleanupTestCase() { QAccessible::installUpdateHandler(nullptr); }

    void answersFormatsTheDragHolds()
    {
        if (!X11DragData::isActive())
            QSKIP("built without xcb: drags are left to Qt");
        auto data = std::make_unique<QMimeData>();
        data->setUrls(
            {QUrl::fromLocalFile("/storage/Café menu.txt"), QUrl::fromLocalFile("/storage/a b/\"q\".md")});
        data->setData("x-special/gnome-copied-files", "copy\nfile:///storage/Caf%C3%A9%20menu.txt");
        X11DragData::offer(data.get());

        Requestor requestor;
        const Requestor::Answer uris = requestor.request("text/uri-list", "GDK_SELECTION");
        QCOMPARE(uris.data, data->data("text/uri-list"));
        QCOMPARE(uris.type, QByteArray("text/uri-list"));

        const Requestor::Answer gnome = requestor.request("x-special/gnome-copied-files", "GDK_SELECTION");
        QCOMPARE(gnome.data, data->data("x-special/gnome-copied-files"));

        // Old clients name no property: the answer goes on the target's own name.
        QCOMPARE(requestor.request("text/uri-list", nullptr).data, data->data("text/uri-list"));
    }

    // Formats the drag does not hold, and a drag that ended, are refused, not invented.
    void refusesWhatItDoesNotHold()
    {
        if (!X11DragData::isActive())
            QSKIP("built without xcb: drags are left to Qt");
        auto data = std::make_unique<QMimeData>();
        data->setUrls({QUrl::fromLocalFile("/storage/photo.heic")});
        X11DragData::offer(data.get());
        Requestor requestor;
        QVERIFY(!requestor.request("image/png", "GDK_SELECTION").answered);
        QVERIFY(!requestor.request("application/x-unknown", "GDK_SELECTION").answered);
        data.reset();
        QVERIFY(!requestor.request("text/uri-list", "GDK_SELECTION").answered);
    }

    void gridAnnouncesFocusAndSelection()
    {
        // The bridge comes up once it has reached the accessibility bus.
        if (!QTest::qWaitFor([] { return QAccessible::isActive(); }, 5000))
            QSKIP("no accessibility bus (run under dbus-run-session with at-spi2-core)");
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

private:
    QWidget m_window;
};

QTEST_MAIN(TestX11Desktop)
#include "tst_x11desktop.moc"
