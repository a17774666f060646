#pragma once

#include <QAbstractNativeEventFilter>
#include <QByteArray>
#include <QHash>
#include <QPointer>

class QMimeData;

// Qt 6.4's X11 drag source turns down the data requests that GTK 4 programs (Nautilus 43 among
// them) send for a drop: they ask with CurrentTime from their leader window rather than the drop
// target, which Qt cannot match to the drag, so the drop silently copies nothing. This answers
// such requests for the XdndSelection from the drag's own data, in the formats it holds; every
// other request is left to Qt. Without X11 (or without xcb at build time) it does nothing.
class X11DragData final : public QAbstractNativeEventFilter
{
public:
    // The data of the drag about to start; the drag keeps owning it.
    static void offer(QMimeData *data);
    // Whether drags are served here on this display (false on other platforms).
    static bool isActive();

    bool nativeEventFilter(const QByteArray &eventType, void *message, qintptr *result) override;

private:
    explicit X11DragData(void *connection);
    static X11DragData *instance();
    QByteArray atomName(quint32 atom);
    quint32 internAtom(const QByteArray &name);

    void *m_connection;
    quint32 m_xdndSelection;
    QPointer<QMimeData> m_data;
    QHash<quint32, QByteArray> m_atomNames;
};
