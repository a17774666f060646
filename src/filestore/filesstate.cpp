#include "filesstate.h"

#include "base/workpools.h"
#include "fileoperations.h"
#include "filepaths_p.h"
#include "folderwatch.h"
#include "listing.h"
#include "simulator/appcatalogue.h"
#include "simulator/simulator.h"
#include "simulator/storagelocator.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QFutureWatcher>
#include <QtConcurrent/QtConcurrentRun>

using namespace Qt::StringLiterals;
using namespace FilePaths;

struct FilesState::ReloadResult
{
    std::optional<QUrl> root;
    std::optional<BrowseRoot> browseRoot;
    // The current folder when the read began, and the folder read: that one, or its nearest
    // existing ancestor when it has gone.
    std::optional<QUrl> requested;
    std::optional<QUrl> folder;
    bool unreadable = false;
    QList<FileEntry> entries;
    // Folder path → listing, for the folder read and the other watched folders.
    QHash<QString, QList<FileEntry>> listings;
    QStringList storageFolders;
};

namespace {

bool isSameOrBelow(const QString &path, const QString &folder)
{
    return path == folder || path.startsWith(folder.endsWith(u'/') ? folder : folder + u'/');
}

} // namespace

FilesState::FilesState(const Simulator &simulator, Services services, QObject *parent)
    : FilesState([simulator] { return simulator.filesStorageURL(); }, std::move(services), parent)
{
    // A UDID is one plain path component, or there is nothing to watch for.
    const QString &udid = simulator.udid;
    if (!udid.isEmpty() && !udid.contains(u'/') && !udid.contains(QChar(0)) && udid != u"."_s &&
        udid != u".."_s) {
        m_storageAnchor = StorageLocator::appGroupFolder(QDir::homePath(), udid);
        m_boundary = AppCatalogue::deviceDataFolder(QDir::homePath(), udid);
    }
}

FilesState::FilesState(StorageLookup storageLookup, Services services, QObject *parent)
    : QObject(parent), m_storageLookup(std::move(storageLookup)), m_services(std::move(services))
{
    if (m_services.folderNotifier) {
        m_watch = std::make_unique<FolderWatch>(m_services.folderNotifier());
        connect(m_watch.get(), &FolderWatch::changed, this, &FilesState::checkForChanges);
    }
}

FilesState::~FilesState() = default;

void FilesState::setCurrentDirectory(const std::optional<QUrl> &folder)
{
    if (m_currentDirectory == folder)
        return;
    m_currentDirectory = folder;
    m_loadedFolder.reset();
    emit currentDirectoryChanged();
}

void FilesState::setSelection(const QSet<QUrl> &selection)
{
    if (m_selection == selection)
        return;
    m_selection = selection;
    emit selectionChanged();
}

void FilesState::setErrorMessage(const std::optional<QString> &message)
{
    setMessage(message, false);
}

void FilesState::setMessage(const std::optional<QString> &message, bool stopNote)
{
    stopNote = stopNote && message;
    if (m_errorMessage == message && m_errorMessageIsStopNote == stopNote)
        return;
    m_errorMessage = message;
    m_errorMessageIsStopNote = stopNote;
    emit errorMessageChanged();
}

void FilesState::setRenameRequest(const std::optional<QUrl> &url)
{
    if (m_renameRequest == url)
        return;
    m_renameRequest = url;
    emit renameRequestChanged();
}

void FilesState::setLoadState(LoadState state)
{
    if (m_loadState == state)
        return;
    m_loadState = std::move(state);
    emit loadStateChanged();
}

void FilesState::reload(bool showLoading)
{
    if (showLoading || !m_loadState.isLoaded()) {
        setLoadState(LoadState::loading());
        setSelection({});
    }
    ++m_reloadCount;
    emit reloadCountChanged();
    // Watched before it is read, so that no change falls between the two.
    updateWatch();
    startRead(false);
}

void FilesState::startRead(bool isCheck)
{
    const quint64 generation = ++m_latestReload;
    ++m_pendingReloads;
    if (m_watch)
        m_watch->setBusy(true);
    auto *watcher = new QFutureWatcher<ReloadResult>(this);
    connect(watcher, &QFutureWatcher<ReloadResult>::finished, this, [this, watcher, generation, isCheck] {
        --m_pendingReloads;
        watcher->deleteLater();
        // An older reload that ends late would show one folder's items under another's path.
        if (generation == m_latestReload) {
            const ReloadResult &result = watcher->result();
            if (isCheck)
                applyCheck(result);
            else
                applyReload(result);
            followRecentWrites(result);
        }
        // Changes seen meanwhile start their check only now, after this result.
        if (m_watch && m_pendingReloads == 0 && m_pendingJobs == 0)
            m_watch->setBusy(false);
    });
    QStringList others;
    if (m_watch) {
        for (const QUrl &folder : std::as_const(m_shownFolders))
            if (folder != m_currentDirectory && folder.isLocalFile())
                others << localPath(folder);
    }
    watcher->setFuture(QtConcurrent::run(WorkPools::disk(), [lookup = m_storageLookup,
                                                             folder = m_currentDirectory, others,
                                                             anchor = m_watch ? m_storageAnchor : QString(),
                                                             known = m_root, boundary = m_boundary] {
        ReloadResult result;
        result.requested = folder;
        result.root = lookup ? lookup() : std::nullopt;
        UniqueFd rootFd;
        if (result.root && result.root->isLocalFile()) {
            // Resolved once: while the lookup names the same folder, it must stay that folder.
            const QString path = localPath(*result.root);
            result.browseRoot = known && known->path() == path ? known : BrowseRoot::resolve(path, boundary);
            if (result.browseRoot)
                rootFd = result.browseRoot->open();
        }
        if (!rootFd) {
            result.root.reset();
            result.browseRoot.reset();
            if (!anchor.isEmpty())
                result.storageFolders = storageAppearanceFolders(anchor);
            return result;
        }
        const BrowseRoot &root = *result.browseRoot;
        QString shown = folder ? localPath(*folder) : root.path();
        if (!isSameOrBelow(shown, root.path()))
            shown = root.path();
        FolderListing listing = root.list(rootFd.get(), shown);
        // Deleted, renamed or replaced by a file: its nearest existing ancestor is shown instead.
        while ((listing.error == ENOENT || listing.error == ENOTDIR) && shown != root.path()) {
            shown = parentPath(shown);
            listing = root.list(rootFd.get(), shown);
        }
        if (folder && localPath(*folder) == shown)
            result.folder = folder;
        else if (shown == root.path())
            result.folder = result.root;
        else
            result.folder = QUrl::fromLocalFile(shown);
        result.unreadable = listing.error != 0;
        result.entries = listing.entries;
        result.listings.insert(shown, result.entries);
        for (const QString &other : others)
            if (!result.listings.contains(other))
                result.listings.insert(other, root.list(rootFd.get(), other).entries);
        return result;
    }));
}

void FilesState::applyReload(const ReloadResult &result)
{
    m_listings = result.listings;
    m_storageFolders = result.storageFolders;
    if (!result.root) {
        m_loadedFolder.reset();
        setLoadState(LoadState::storageMissing());
        // A container made between the scan and its watch would go unseen: look once more.
        if (!updateWatch().isEmpty())
            m_watch->noteChange();
        emit reloadApplied();
        return;
    }
    // All fields first, then the signals, so that a reaction to the folder change (the screen
    // reloads) sees the finished state and its own reload comes last.
    const bool rootChanged = m_rootURL != result.root;
    m_rootURL = result.root;
    m_root = result.browseRoot;
    // The folder read stands in for the one asked for, unless the user went elsewhere meanwhile.
    const bool relocated = m_currentDirectory.has_value() && m_currentDirectory == result.requested &&
                           result.folder != result.requested;
    const bool folderChanged = !m_currentDirectory.has_value() || relocated;
    if (folderChanged)
        m_currentDirectory = result.folder;
    if (m_currentDirectory == result.folder)
        m_loadedFolder = result.folder;
    const bool selectionCleared = relocated && !m_selection.isEmpty();
    if (relocated)
        m_selection.clear();
    LoadState loaded = result.unreadable ? LoadState::unreadable() : LoadState::loaded(result.entries);
    const bool stateChanged = !(m_loadState == loaded);
    m_loadState = std::move(loaded);
    updateWatch();
    if (rootChanged)
        emit rootURLChanged();
    if (stateChanged)
        emit loadStateChanged();
    if (selectionCleared)
        emit selectionChanged();
    if (folderChanged)
        emit currentDirectoryChanged();
    emit reloadApplied();
}

// A check found something the last reload did not see (or the storage came or went): it becomes
// that reload. Otherwise it changes nothing, and no reload is counted.
void FilesState::applyCheck(const ReloadResult &result)
{
    bool differs = false;
    if (!result.root) {
        differs = m_loadState.kind() != LoadState::Kind::storageMissing;
    } else {
        differs = m_rootURL != result.root || !(m_root == result.browseRoot) ||
                  m_loadState.kind() !=
                      (result.unreadable ? LoadState::Kind::unreadable : LoadState::Kind::loaded) ||
                  (m_currentDirectory == result.requested && result.folder != result.requested);
        for (auto it = result.listings.begin(); !differs && it != result.listings.end(); ++it) {
            const auto seen = m_listings.constFind(it.key());
            differs = seen == m_listings.constEnd() || *seen != it.value();
        }
    }
    if (differs) {
        ++m_reloadCount;
        emit reloadCountChanged();
        applyReload(result);
        return;
    }
    if (!result.root)
        m_storageFolders = result.storageFolders;
    // A watched folder deleted and made again is no longer watched by the platform; watched
    // anew, it is read once more for what came between.
    if (!updateWatch().isEmpty())
        m_watch->noteChange();
}

// Linux reports a file's creation but not the writes into it that follow, so a file copied in
// would keep the size it had when it was first read. While a watched folder holds an item
// modified moments ago, it is read once more a little later.
void FilesState::followRecentWrites(const ReloadResult &result)
{
    if (!m_watch || !m_shown || !result.root || !m_watch->isWatching())
        return;
    const qint64 recentMSecs = m_watch->timing().writing.count();
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    for (const QList<FileEntry> &listing : result.listings) {
        for (const FileEntry &entry : listing) {
            const std::optional<qint64> modified = entry.modifiedMSecs();
            if (modified && *modified > now - recentMSecs && *modified < now + recentMSecs) {
                m_watch->expectChange();
                return;
            }
        }
    }
}

void FilesState::checkForChanges()
{
    // A reload on its way reads everything anyway.
    if (m_pendingReloads > 0 || m_loadState.kind() == LoadState::Kind::loading)
        return;
    startRead(true);
}

void FilesState::setShown(bool shown)
{
    if (shown == m_shown)
        return;
    m_shown = shown;
    updateWatch();
    if (!m_watch)
        return;
    if (!shown)
        m_watch->cancel();
    else if (m_loadState.kind() != LoadState::Kind::loading && m_watch->isWatching())
        m_watch->noteChange();
}

void FilesState::setShownFolders(const QList<QUrl> &folders)
{
    if (folders == m_shownFolders)
        return;
    m_shownFolders = folders;
    updateWatch();
}

// Watches what is on screen; answers the folders newly watched.
QStringList FilesState::updateWatch()
{
    if (!m_watch)
        return {};
    QStringList folders;
    if (m_shown && m_loadState.kind() == LoadState::Kind::storageMissing) {
        folders = m_storageFolders;
    } else if (m_shown) {
        for (const QUrl &folder : std::as_const(m_shownFolders))
            if (folder.isLocalFile())
                folders << localPath(folder);
        if (m_currentDirectory && m_currentDirectory->isLocalFile())
            folders << localPath(*m_currentDirectory);
        folders.removeDuplicates();
    }
    return m_watch->setFolders(folders);
}

void FilesState::open(const QUrl &url)
{
    if (url.isLocalFile() && FileOperations::isDirectory(localPath(url)).value_or(false)) {
        setCurrentDirectory(url);
        return;
    }
    if (m_services.workspace)
        m_services.workspace->open(url);
}

void FilesState::readFolders(const QList<QUrl> &folders)
{
    using Listings = QList<FolderListing>;
    auto *watcher = new QFutureWatcher<Listings>(this);
    connect(watcher, &QFutureWatcher<Listings>::finished, this, [this, watcher, folders] {
        watcher->deleteLater();
        const Listings listings = watcher->result();
        for (qsizetype i = 0; i < folders.size(); ++i)
            emit folderRead(folders.at(i), listings.at(i).entries, listings.at(i).error == 0);
    });
    watcher->setFuture(QtConcurrent::run(WorkPools::disk(), [root = m_root, folders] {
        Listings listings;
        const UniqueFd rootFd = root ? root->open() : UniqueFd();
        for (const QUrl &folder : folders) {
            if (!rootFd || !folder.isLocalFile())
                listings.append({{}, ENOENT});
            else
                listings.append(root->list(rootFd.get(), localPath(folder)));
        }
        return listings;
    }));
}

bool FilesState::showsCurrentDirectory() const
{
    return m_loadedFolder && m_loadedFolder == m_currentDirectory &&
           (m_loadState.isLoaded() || m_loadState.kind() == LoadState::Kind::unreadable);
}
