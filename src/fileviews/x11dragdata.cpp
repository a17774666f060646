#include "x11dragdata.h"

#include <QGuiApplication>
#include <QMimeData>

#ifdef LANTHORN_HAVE_XCB
#include <xcb/xcb.h>

#include <cstdlib>
#include <memory>

namespace {

xcb_connection_t *xcb(void *connection)
{
    return static_cast<xcb_connection_t *>(connection);
}

} // namespace

X11DragData::X11DragData(void *connection)
    : m_connection(connection), m_xdndSelection(internAtom("XdndSelection"))
{
}

X11DragData *X11DragData::instance()
{
    // Made once, on the first drag; the application keeps it as a filter until it ends.
    static X11DragData *bridge = []() -> X11DragData * {
        auto *x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
        if (!x11 || !x11->connection())
            return nullptr;
        auto *made = new X11DragData(x11->connection());
        qGuiApp->installNativeEventFilter(made);
        return made;
    }();
    return bridge;
}

quint32 X11DragData::internAtom(const QByteArray &name)
{
    std::unique_ptr<xcb_intern_atom_reply_t, decltype(&std::free)> reply(
        xcb_intern_atom_reply(xcb(m_connection),
                              xcb_intern_atom(xcb(m_connection), 0, name.size(), name.constData()), nullptr),
        &std::free);
    return reply ? reply->atom : quint32(XCB_ATOM_NONE);
}

QByteArray X11DragData::atomName(quint32 atom)
{
    const auto known = m_atomNames.constFind(atom);
    if (known != m_atomNames.cend())
        return *known;
    std::unique_ptr<xcb_get_atom_name_reply_t, decltype(&std::free)> reply(
        xcb_get_atom_name_reply(xcb(m_connection), xcb_get_atom_name(xcb(m_connection), atom), nullptr),
        &std::free);
    QByteArray name;
    if (reply)
        name = QByteArray(xcb_get_atom_name_name(reply.get()), xcb_get_atom_name_name_length(reply.get()));
    m_atomNames.insert(atom, name);
    return name;
}

bool X11DragData::nativeEventFilter(const QByteArray &eventType, void *message, qintptr *)
{
    if (!m_data || eventType != "xcb_generic_event_t")
        return false;
    const auto *event = static_cast<const xcb_generic_event_t *>(message);
    if ((event->response_type & 0x7f) != XCB_SELECTION_REQUEST)
        return false;
    const auto *request = reinterpret_cast<const xcb_selection_request_event_t *>(event);
    if (request->selection != m_xdndSelection || request->target == XCB_ATOM_NONE)
        return false;
    // Only MIME types the drag holds as they are; conversions (TARGETS, UTF8_STRING, ...) stay Qt's.
    const QByteArray format = atomName(request->target);
    if (!format.contains('/') || !m_data->hasFormat(QString::fromLatin1(format)))
        return false;
    const QByteArray bytes = m_data->data(QString::fromLatin1(format));
    // Past one request's size the data would need the incremental protocol; Qt has that.
    const quint64 limit = quint64(xcb_get_maximum_request_length(xcb(m_connection))) * 4 - 1024;
    if (quint64(bytes.size()) > limit)
        return false;
    // Clients older than ICCCM 2 leave the property out and expect the target's name used.
    const xcb_atom_t property = request->property != XCB_ATOM_NONE ? request->property : request->target;
    xcb_change_property(xcb(m_connection), XCB_PROP_MODE_REPLACE, request->requestor, property,
                        request->target, 8, quint32(bytes.size()), bytes.constData());
    xcb_selection_notify_event_t notify = {};
    notify.response_type = XCB_SELECTION_NOTIFY;
    notify.time = request->time;
    notify.requestor = request->requestor;
    notify.selection = request->selection;
    notify.target = request->target;
    notify.property = property;
    xcb_send_event(xcb(m_connection), false, request->requestor, XCB_EVENT_MASK_NO_EVENT,
                   reinterpret_cast<const char *>(&notify));
    xcb_flush(xcb(m_connection));
    return true;
}

void X11DragData::offer(QMimeData *data)
{
    if (X11DragData *bridge = instance())
        bridge->m_data = data;
}

bool X11DragData::isActive()
{
    return instance() != nullptr;
}

#else

X11DragData::X11DragData(void *connection) : m_connection(connection), m_xdndSelection(0)
{
}
X11DragData *X11DragData::instance()
{
    return nullptr;
}
quint32 X11DragData::internAtom(const QByteArray &)
{
    return 0;
}
QByteArray X11DragData::atomName(quint32)
{
    return {};
}
bool X11DragData::nativeEventFilter(const QByteArray &, void *, qintptr *)
{
    return false;
}
void X11DragData::offer(QMimeData *)
{
}
bool X11DragData::isActive()
{
    return false;
}

#endif
