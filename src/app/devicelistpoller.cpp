#include "devicelistpoller.h"

#include "base/workpools.h"

#include <QtConcurrent/QtConcurrentRun>

using namespace std::chrono_literals;

DeviceListPoller::DeviceListPoller(QObject *parent)
    : DeviceListPoller([](StopToken stop) { return Simulator::listAvailable(std::move(stop)); }, 3s, parent)
{
}

DeviceListPoller::DeviceListPoller(Lister lister, std::chrono::milliseconds interval, QObject *parent)
    : QObject(parent), m_lister(std::move(lister))
{
    m_timer.setSingleShot(true);
    m_timer.setTimerType(Qt::PreciseTimer);
    m_timer.setInterval(interval);
    connect(&m_timer, &QTimer::timeout, this, &DeviceListPoller::listNow);
    connect(&m_watcher, &QFutureWatcherBase::finished, this, &DeviceListPoller::finishListing);
}

DeviceListPoller::~DeviceListPoller()
{
    // The worker may outlive us; it only holds its own copies, and the stop ends its tool.
    m_stop.requestStop();
}

void DeviceListPoller::start()
{
    if (m_running)
        return;
    m_running = true;
    if (!m_watcher.isRunning())
        listNow();
}

void DeviceListPoller::stop()
{
    m_running = false;
    m_timer.stop();
}

void DeviceListPoller::listNow()
{
    if (!m_running || m_watcher.isRunning())
        return;
    ++m_listingsStarted;
    m_watcher.setFuture(QtConcurrent::run(
        WorkPools::tools(), [lister = m_lister, token = m_stop.token()] { return lister(token); }));
}

void DeviceListPoller::finishListing()
{
    const auto result = m_watcher.result();
    // A listing that was running when the loop stopped still reports, as the window may want
    // its outcome; only the next cycle is not scheduled.
    if (result)
        emit listed(result.value());
    else
        emit failed(result.error());
    if (m_running)
        m_timer.start();
}
