#include "workpools.h"

#include <QCoreApplication>
#include <QMutex>
#include <QPointer>
#include <QThreadPool>

namespace {

QThreadPool *pool(QPointer<QThreadPool> &slot, const char *name, int threads)
{
    static QMutex mutex;
    const QMutexLocker lock(&mutex);
    if (!slot) {
        // Owned by the application, whose end waits for the runs still going; stopped tools end
        // within a moment.
        slot = new QThreadPool(QCoreApplication::instance());
        slot->setObjectName(QString::fromLatin1(name));
        slot->setMaxThreadCount(threads);
    }
    return slot;
}

} // namespace

namespace WorkPools {

QThreadPool *tools()
{
    static QPointer<QThreadPool> slot;
    return pool(slot, "Lanthorn tools", 16);
}

QThreadPool *disk()
{
    static QPointer<QThreadPool> slot;
    return pool(slot, "Lanthorn disk", 8);
}

QThreadPool *previews()
{
    static QPointer<QThreadPool> slot;
    return pool(slot, "Lanthorn previews", 3);
}

} // namespace WorkPools
