#pragma once

#include "platform.h"

#include <QElapsedTimer>
#include <QObject>
#include <QSet>
#include <QStringList>
#include <QTimer>

#include <chrono>
#include <memory>

// Watches a set of folders and reports their changes coalesced: once nothing has changed for
// `quiet`, or at the latest `longest` after the first change not yet reported, so that a script
// creating thousands of files gives a few reports and the last one follows the last change
// closely. While the owner is busy (a reload runs), a due report waits; however many changes
// come meanwhile, they give one report when it ends. Folders the platform refuses stay
// unwatched, silently. Nothing polls: with no change, no timer runs. GUI thread only.
class FolderWatch final : public QObject
{
    Q_OBJECT
public:
    struct Timing
    {
        std::chrono::milliseconds quiet{150};
        std::chrono::milliseconds longest{1000};
        // After a change that may go unreported.
        std::chrono::milliseconds again{1000};
        // An item modified less than this long ago may still be being written.
        std::chrono::milliseconds writing{1500};
    };

    explicit FolderWatch(std::unique_ptr<FolderNotifier> notifier, QObject *parent = nullptr);
    ~FolderWatch() override;
    Q_DISABLE_COPY_MOVE(FolderWatch)

    const Timing &timing() const { return m_timing; }
    void setTiming(Timing timing) { m_timing = timing; }
    // Watches exactly these folders (clean paths) from now on; answers those newly watched.
    QStringList setFolders(const QStringList &folders);
    // The folders the platform accepted and still watches.
    QStringList watchedFolders() const;

    void setBusy(bool busy);
    // No report due or waiting.
    bool isQuiet() const { return !m_timer.isActive() && !m_pending; }
    // A change, as if the platform had reported one.
    void noteChange();
    // A change that the platform may not report (a file still being written): one report after
    // `again`, unless one is on its way already.
    void expectChange();
    bool isWatching() const { return !m_watched.isEmpty(); }
    // Forgets the changes not yet reported.
    void cancel();

signals:
    void changed();

private:
    void timeout();

    std::unique_ptr<FolderNotifier> m_notifier;
    Timing m_timing;
    QStringList m_wanted;
    QSet<QString> m_watched;
    QTimer m_timer;
    QElapsedTimer m_sinceFirst;
    QElapsedTimer m_sinceLast;
    bool m_busy = false;
    bool m_pending = false;
};

// inotify on Linux; QFileSystemWatcher (FSEvents) elsewhere.
std::unique_ptr<FolderNotifier> makeSystemFolderNotifier();

// The folders whose changes may mean that a storage folder appeared in `appGroup` (a device's
// app-group folder): the folder and those of its containers that may hold the storage (no
// metadata yet, or the storage's own), at most `maxContainers`; so a device with many groups
// costs one watch, not one per group. While it does not exist, its nearest existing ancestor at
// most `maxLevels` up. Reads the disk; safe on any thread.
QStringList storageAppearanceFolders(const QString &appGroup, int maxLevels = 5, int maxContainers = 1024);
