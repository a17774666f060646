#pragma once

#include <QThreadPool>
#include <QtConcurrent/QtConcurrentRun>

// Runs `work` on a pool thread with a small stack, as the program's pools run their parsers: a
// parse that recurses once per nesting level overflows here rather than on a user's machine
// (macOS gives pool threads 512 KiB).
template <typename Work> auto onSmallStack(Work work)
{
    static QThreadPool *const pool = [] {
        auto *p = new QThreadPool;
        p->setStackSize(96 * 1024);
        p->setMaxThreadCount(1);
        return p;
    }();
    return QtConcurrent::run(pool, work).result();
}
