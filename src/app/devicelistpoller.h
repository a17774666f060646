#pragma once

#include "simulator/simulator.h"

#include <QFutureWatcher>
#include <QObject>
#include <QTimer>

#include "base/stoptoken.h"
#include <chrono>
#include <functional>

// The window's refresh loop: one listing at once, the next one `interval` after each listing
// ends, so listings never overlap. The listing runs on a worker thread; results arrive on the
// thread that owns the poller. Stopping (or destroying) the poller ends a running tool quickly.
class DeviceListPoller final : public QObject
{
    Q_OBJECT
public:
    using Lister = std::function<Result<QList<Simulator>>(StopToken)>;

    explicit DeviceListPoller(QObject *parent = nullptr);
    DeviceListPoller(Lister lister, std::chrono::milliseconds interval, QObject *parent = nullptr);
    ~DeviceListPoller() override;

    void start();
    void stop();
    bool isRunning() const { return m_running; }
    bool isListing() const { return m_watcher.isRunning(); }
    int listingsStarted() const { return m_listingsStarted; }

signals:
    void listed(const QList<Simulator> &simulators);
    void failed(const QString &message);

private:
    void listNow();
    void finishListing();

    Lister m_lister;
    QTimer m_timer;
    QFutureWatcher<Result<QList<Simulator>>> m_watcher;
    StopSource m_stop;
    bool m_running = false;
    int m_listingsStarted = 0;
};
