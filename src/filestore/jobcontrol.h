#pragma once

#include "base/stoptoken.h"

#include <QtGlobal>

#include <atomic>

// What a running file job shares with the thread that watches it: the stop request, checked
// between chunks and items, and the work done so far of the total. Written by the job's thread,
// read from any; every counter stands on its own (a reader may see items and bytes a moment
// apart).
class JobControl
{
public:
    JobControl() = default;
    explicit JobControl(StopToken stop) : m_stop(std::move(stop)) {}
    Q_DISABLE_COPY_MOVE(JobControl)

    bool stopRequested() const { return m_stop.stopRequested(); }

    void addToTotal(qint64 items, qint64 bytes)
    {
        m_itemsTotal.fetch_add(items, std::memory_order_relaxed);
        m_bytesTotal.fetch_add(bytes, std::memory_order_relaxed);
    }
    void addBytesDone(qint64 bytes) { m_bytesDone.fetch_add(bytes, std::memory_order_relaxed); }
    void addItemDone() { m_itemsDone.fetch_add(1, std::memory_order_relaxed); }

    qint64 itemsDone() const { return m_itemsDone.load(std::memory_order_relaxed); }
    qint64 itemsTotal() const { return m_itemsTotal.load(std::memory_order_relaxed); }
    qint64 bytesDone() const { return m_bytesDone.load(std::memory_order_relaxed); }
    qint64 bytesTotal() const { return m_bytesTotal.load(std::memory_order_relaxed); }

private:
    StopToken m_stop;
    std::atomic<qint64> m_itemsDone{0};
    std::atomic<qint64> m_itemsTotal{0};
    std::atomic<qint64> m_bytesDone{0};
    std::atomic<qint64> m_bytesTotal{0};
};
