#include "folderwatch.h"

#include "simulator/storagelocator.h"

#include <QDir>
#include <QFileInfo>
#include <QFileSystemWatcher>

#ifdef Q_OS_LINUX
#include <QFile>
#include <QHash>
#include <QSocketNotifier>

#include <sys/inotify.h>
#include <unistd.h>

#include <cerrno>
#endif

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

#ifdef Q_OS_LINUX
// inotify itself: Qt's watcher leaves out writes into the files of a folder, so a file
// rewritten in place (a database, a log, a list saved without a rename) would keep its old
// size and preview until something else in the folder changed.
class InotifyFolderNotifier final : public FolderNotifier
{
public:
    InotifyFolderNotifier() : m_fd(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC))
    {
        if (m_fd < 0)
            return;
        m_readable = std::make_unique<QSocketNotifier>(m_fd, QSocketNotifier::Read);
        QObject::connect(m_readable.get(), &QSocketNotifier::activated, m_readable.get(), [this] { read(); });
    }
    ~InotifyFolderNotifier() override
    {
        m_readable.reset();
        if (m_fd >= 0)
            ::close(m_fd);
    }
    Q_DISABLE_COPY_MOVE(InotifyFolderNotifier)

    bool add(const QString &folder) override
    {
        if (m_fd < 0)
            return false;
        if (m_watches.contains(folder))
            return true;
        constexpr uint32_t mask = IN_ATTRIB | IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO |
                                  IN_MODIFY | IN_CLOSE_WRITE | IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR;
        const int wd = ::inotify_add_watch(m_fd, QFile::encodeName(folder).constData(), mask);
        if (wd < 0)
            return false;
        // Two paths to one folder (through a link) share its watch.
        m_watches.insert(folder, wd);
        m_folders[wd].append(folder);
        return true;
    }
    void remove(const QString &folder) override
    {
        const auto it = m_watches.find(folder);
        if (it == m_watches.end())
            return;
        const int wd = *it;
        m_watches.erase(it);
        QStringList &folders = m_folders[wd];
        folders.removeAll(folder);
        if (folders.isEmpty()) {
            m_folders.remove(wd);
            ::inotify_rm_watch(m_fd, wd);
        }
    }
    bool isWatching(const QString &folder) const override { return m_watches.contains(folder); }
    bool isValid() const { return m_fd >= 0; }

private:
    void read()
    {
        QStringList touched;
        alignas(inotify_event) char buffer[16384];
        for (;;) {
            const ssize_t length = ::read(m_fd, buffer, sizeof buffer);
            if (length < 0 && errno == EINTR)
                continue;
            if (length <= 0)
                break;
            for (ssize_t at = 0; at < length;) {
                const auto *event = reinterpret_cast<const inotify_event *>(buffer + at);
                at += ssize_t(sizeof(inotify_event) + event->len);
                if (event->mask & IN_Q_OVERFLOW) {
                    touched << m_watches.keys();
                    continue;
                }
                const QStringList folders = m_folders.value(event->wd);
                touched << folders;
                // The folder went (deleted, moved, unmounted): its watch is gone or no longer
                // watches that path. Forgotten first, so that the report lets it be asked for again.
                if (event->mask & (IN_DELETE_SELF | IN_MOVE_SELF | IN_UNMOUNT | IN_IGNORED)) {
                    for (const QString &folder : folders)
                        remove(folder);
                }
            }
        }
        touched.removeDuplicates();
        for (const QString &folder : std::as_const(touched)) {
            if (changed)
                changed(folder);
        }
    }

    int m_fd;
    std::unique_ptr<QSocketNotifier> m_readable;
    QHash<QString, int> m_watches;
    QHash<int, QStringList> m_folders;
};
#endif

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
#ifdef Q_OS_LINUX
    // Out of inotify instances (the user's limit is small): Qt's watcher, which can poll.
    if (auto notifier = std::make_unique<InotifyFolderNotifier>(); notifier->isValid())
        return notifier;
#endif
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
