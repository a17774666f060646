#pragma once

#include "jobcontrol.h"

#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QString>
#include <QThread>
#include <QTimer>

#include <functional>
#include <memory>
#include <optional>

// Long file work (copies, duplicates, replacements, moves to the trash) off the GUI thread: the
// jobs run one after another, in the order given, on the queue's own thread, so two pastes never
// race over the same names. A job's work gives back what to do with its outcome, which runs on
// the GUI thread when the job ends, in the jobs' order. Cancelling asks the job to stop; it ends
// as soon as its current chunk or item is done, and a job cancelled before it began ends at once.
// Progress is sampled a few times a second while jobs are queued. Lives on the GUI thread.
class FileJobQueue final : public QObject
{
    Q_OBJECT

public:
    // Runs on the queue's thread; the function it gives runs on the GUI thread afterwards.
    using Work = std::function<std::function<void()>(JobControl &control)>;

    struct Job
    {
        quint64 id = 0;
        QString description;
        bool running = false;
        // Since it was queued: the progress shows only for jobs that take a moment.
        qint64 ageMSecs = 0;
        qint64 itemsDone = 0, itemsTotal = 0, bytesDone = 0, bytesTotal = 0;
        bool cancelled = false;
        // Estimated from the rate so far, once there is one.
        std::optional<qint64> secondsLeft;
    };

    explicit FileJobQueue(QObject *parent = nullptr);
    // Cancels what is left and waits for the running job to clean up.
    ~FileJobQueue() override;
    Q_DISABLE_COPY_MOVE(FileJobQueue)

    // The application's queue, shared by every screen so that a job outlives the screen that
    // started it. Made on first use, on the GUI thread; ends with the application object.
    static FileJobQueue *shared();

    quint64 enqueue(const QString &description, Work work);
    void cancel(quint64 id);
    void cancelAll();
    // Cancels everything and waits (the GUI thread's events still served) until the jobs have
    // ended and cleaned up, at most `timeoutMSecs`; whether they have.
    bool cancelAllAndWait(int timeoutMSecs = 5000);

    bool isIdle() const { return m_jobs.isEmpty(); }
    // Queued and running, in order.
    QList<Job> jobs() const;

signals:
    // A job was queued, began, or ended.
    void jobsChanged();
    // Sampled progress, a few times a second while jobs are queued.
    void progressChanged();
    void becameIdle();

private:
    struct Entry
    {
        quint64 id;
        QString description;
        std::shared_ptr<StopSource> stop;
        std::shared_ptr<JobControl> control;
        QElapsedTimer queued;
        QElapsedTimer started;
        bool running = false;
    };
    void markStarted(quint64 id);
    void finish(quint64 id, const std::function<void()> &apply);

    QThread m_thread;
    QObject *m_worker;
    QTimer m_sampler;
    QList<Entry> m_jobs;
    quint64 m_nextId = 1;
};
