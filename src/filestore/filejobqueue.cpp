#include "filejobqueue.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QPointer>
#include <cmath>

namespace {

// Progress a person can follow without the window redrawing on every chunk.
constexpr int sampleMSecs = 250;
// Before this, a rate says too little about the time left.
constexpr qint64 estimateAfterMSecs = 1000;

} // namespace

FileJobQueue::FileJobQueue(QObject *parent) : QObject(parent), m_worker(new QObject)
{
    m_thread.setObjectName(QStringLiteral("Lanthorn file jobs"));
    m_worker->moveToThread(&m_thread);
    m_thread.start();
    m_sampler.setInterval(sampleMSecs);
    connect(&m_sampler, &QTimer::timeout, this, &FileJobQueue::progressChanged);
}

FileJobQueue::~FileJobQueue()
{
    cancelAll();
    // The jobs left see their stop at once; the running one removes its temporaries first.
    m_thread.quit();
    m_thread.wait();
    // Not by deleteLater: at the application's end nothing would deliver it.
    delete m_worker;
}

FileJobQueue *FileJobQueue::shared()
{
    static QPointer<FileJobQueue> queue;
    if (!queue)
        queue = new FileJobQueue(QCoreApplication::instance());
    return queue;
}

quint64 FileJobQueue::enqueue(const QString &description, Work work)
{
    Entry entry{m_nextId++, description, std::make_shared<StopSource>(), nullptr, {}, {}, false};
    entry.control = std::make_shared<JobControl>(entry.stop->token());
    entry.queued.start();
    const quint64 id = entry.id;
    // The queue outlives its thread (the destructor waits for it), so the worker may post to it.
    QMetaObject::invokeMethod(
        m_worker,
        [this, id, control = entry.control, work = std::move(work)] {
            // Posted back in the order the jobs run, so their outcomes apply in that order too.
            QMetaObject::invokeMethod(
                this, [this, id] { markStarted(id); }, Qt::QueuedConnection);
            std::function<void()> apply = work(*control);
            QMetaObject::invokeMethod(
                this, [this, id, apply = std::move(apply)] { finish(id, apply); }, Qt::QueuedConnection);
        },
        Qt::QueuedConnection);
    m_jobs.append(std::move(entry));
    m_sampler.start();
    emit jobsChanged();
    return id;
}

void FileJobQueue::markStarted(quint64 id)
{
    for (Entry &entry : m_jobs) {
        if (entry.id == id) {
            entry.running = true;
            entry.started.start();
            emit jobsChanged();
            return;
        }
    }
}

void FileJobQueue::finish(quint64 id, const std::function<void()> &apply)
{
    m_jobs.removeIf([id](const Entry &entry) { return entry.id == id; });
    if (m_jobs.isEmpty())
        m_sampler.stop();
    if (apply)
        apply();
    emit jobsChanged();
    if (m_jobs.isEmpty())
        emit becameIdle();
}

void FileJobQueue::cancel(quint64 id)
{
    for (const Entry &entry : std::as_const(m_jobs)) {
        if (entry.id == id && !entry.stop->stopRequested()) {
            entry.stop->requestStop();
            emit jobsChanged();
        }
    }
}

void FileJobQueue::cancelAll()
{
    for (const Entry &entry : std::as_const(m_jobs))
        entry.stop->requestStop();
    if (!m_jobs.isEmpty())
        emit jobsChanged();
}

bool FileJobQueue::cancelAllAndWait(int timeoutMSecs)
{
    cancelAll();
    if (m_jobs.isEmpty())
        return true;
    QEventLoop loop;
    connect(this, &FileJobQueue::becameIdle, &loop, &QEventLoop::quit);
    QTimer::singleShot(timeoutMSecs, &loop, &QEventLoop::quit);
    loop.exec();
    return m_jobs.isEmpty();
}

QList<FileJobQueue::Job> FileJobQueue::jobs() const
{
    QList<Job> jobs;
    for (const Entry &entry : m_jobs) {
        Job job;
        job.id = entry.id;
        job.description = entry.description;
        job.running = entry.running;
        job.ageMSecs = entry.queued.elapsed();
        job.itemsDone = entry.control->itemsDone();
        job.itemsTotal = entry.control->itemsTotal();
        job.bytesDone = entry.control->bytesDone();
        job.bytesTotal = entry.control->bytesTotal();
        job.cancelled = entry.stop->stopRequested();
        const qint64 elapsed = entry.running ? entry.started.elapsed() : 0;
        // By bytes, or by items for a job of empty files and folders.
        const bool byBytes = job.bytesTotal > 0;
        const qint64 done = byBytes ? job.bytesDone : job.itemsDone;
        const qint64 total = byBytes ? job.bytesTotal : job.itemsTotal;
        if (elapsed >= estimateAfterMSecs && done > 0 && total >= done)
            job.secondsLeft = std::llround(double(total - done) * double(elapsed) / double(done) / 1000.0);
        jobs.append(job);
    }
    return jobs;
}
