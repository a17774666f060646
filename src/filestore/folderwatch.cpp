#include "folderwatch.h"

#include "simulator/storagelocator.h"

#include <QDir>
#include <QFileInfo>
#include <QFileSystemWatcher>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace {

class SystemFolderNotifier final : public FolderNotifier
{
public:
    SystemFolderNotifier()
    {
        QObject::connect(&m_watcher, &QFileSystemWatcher::directoryChanged, &m_watcher,
                         [this](const QString &folder) {
                             if (changed)
                                 changed(folder);
                         });
    }

    bool add(const QString &folder) override { return m_watcher.addPath(folder); }
    void remove(const QString &folder) override { m_watcher.removePath(folder); }
    bool isWatching(const QString &folder) const override { return m_watcher.directories().contains(folder); }

private:
    QFileSystemWatcher m_watcher;
};

} // namespace

FolderWatch::FolderWatch(std::unique_ptr<FolderNotifier> notifier, QObject *parent)
    : QObject(parent), m_notifier(std::move(notifier))
{
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, &FolderWatch::timeout);
    if (m_notifier) {
        m_notifier->changed = [this](const QString &folder) {
            // A deleted folder is dropped by the platform; forgetting it lets it be watched again
            // should it come back.
            if (!m_notifier->isWatching(folder))
                m_watched.remove(folder);
            noteChange();
        };
    }
}

FolderWatch::~FolderWatch()
{
    if (m_notifier)
        m_notifier->changed = nullptr;
}

QStringList FolderWatch::setFolders(const QStringList &folders)
{
    QStringList added;
    const QSet<QString> wanted(folders.begin(), folders.end());
    // A folder refused or lost (deleted) before is asked for again.
    if (!m_notifier || (folders == m_wanted && m_watched.size() == wanted.size()))
        return added;
    m_wanted = folders;
    for (auto it = m_watched.begin(); it != m_watched.end();) {
        if (wanted.contains(*it)) {
            ++it;
            continue;
        }
        m_notifier->remove(*it);
        it = m_watched.erase(it);
    }
    for (const QString &folder : wanted) {
        if (!m_watched.contains(folder) && !folder.isEmpty() && m_notifier->add(folder)) {
            m_watched.insert(folder);
            added << folder;
        }
    }
    return added;
}

QStringList FolderWatch::watchedFolders() const
{
    QStringList folders(m_watched.begin(), m_watched.end());
    folders.sort();
    return folders;
}

void FolderWatch::setBusy(bool busy)
{
    if (busy == m_busy)
        return;
    m_busy = busy;
    if (!busy && m_pending) {
        // The report now covers every change so far, also those a running timer waits on.
        m_pending = false;
        m_timer.stop();
        emit changed();
    }
}

// Called for every single change of a burst: two clock reads, and a timer only for the first.
void FolderWatch::noteChange()
{
    m_sinceLast.start();
    if (m_timer.isActive())
        return;
    m_sinceFirst.start();
    m_timer.start(m_timing.quiet);
}

void FolderWatch::expectChange()
{
    if (m_timer.isActive() || m_pending)
        return;
    m_sinceFirst.start();
    m_sinceLast.start();
    m_timer.start(m_timing.again);
}

void FolderWatch::cancel()
{
    m_timer.stop();
    m_pending = false;
}

void FolderWatch::timeout()
{
    const auto quietLeft = m_timing.quiet.count() - m_sinceLast.elapsed();
    const auto longestLeft = m_timing.longest.count() - m_sinceFirst.elapsed();
    if (quietLeft > 0 && longestLeft > 0) {
        m_timer.start(int(std::min(quietLeft, longestLeft)));
        return;
    }
    if (m_busy) {
        m_pending = true;
        return;
    }
    emit changed();
}

std::unique_ptr<FolderNotifier> makeSystemFolderNotifier()
{
    return std::make_unique<SystemFolderNotifier>();
}

QStringList storageAppearanceFolders(const QString &appGroup, int maxLevels, int maxContainers)
{
    const QString folder = QDir::cleanPath(appGroup);
    const QFileInfo info(folder);
    if (info.isDir()) {
        QStringList folders{folder};
        const QStringList containers = QDir(folder).entryList(
            QDir::Dirs | QDir::NoSymLinks | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
        for (const QString &name : containers) {
            if (folders.size() > maxContainers)
                break;
            // A container whose metadata names another group never holds the storage; one
            // without metadata yet may, and the storage's own may still lack its folder.
            const QString container = folder + u'/' + name;
            const auto metadata = StorageLocator::readSmallRegularFile(
                container + u"/.com.apple.mobile_container_manager.metadata.plist"_s,
                StorageLocator::maxMetadataBytes, false);
            const auto identifier = metadata ? StorageLocator::metadataIdentifier(*metadata) : std::nullopt;
            if (!identifier || *identifier == StorageLocator::localStorageGroup)
                folders << container;
        }
        return folders;
    }
    QString ancestor = folder;
    for (int level = 0; level < maxLevels; ++level) {
        const QString parent = QFileInfo(ancestor).path();
        if (parent == ancestor)
            break;
        ancestor = parent;
        if (QFileInfo(ancestor).isDir())
            return {ancestor};
    }
    return {};
}
