#include "filesstate.h"

#include "fileoperations.h"
#include "folderwatch.h"
#include "listing.h"
#include "namerules.h"
#include "simulator/simulator.h"
#include "simulator/storagelocator.h"
#include "simulator/workpools.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QFutureWatcher>
#include <QtConcurrent/QtConcurrentRun>

using namespace Qt::StringLiterals;

struct FilesState::ReloadResult
{
    std::optional<QUrl> root;
    QList<FileEntry> entries;
    // Folder path → listing, for the folder read and the other watched folders.
    QHash<QString, QList<FileEntry>> listings;
    QStringList storageFolders;
};

namespace {

QString localPath(const QUrl &url)
{
    return QDir::cleanPath(url.toLocalFile());
}

QString childPath(const QString &folder, const QString &name)
{
    return folder.endsWith(u'/') ? QString(folder + name) : QString(folder + u'/' + name);
}

QString parentPath(const QString &path)
{
    return QFileInfo(path).path();
}

QString nameOf(const QString &path)
{
    return QFileInfo(path).fileName();
}

} // namespace

FilesState::FilesState(const Simulator &simulator, Services services, QObject *parent)
    : FilesState([simulator] { return simulator.filesStorageURL(); }, std::move(services), parent)
{
    // A UDID is one plain path component, or there is nothing to watch for.
    const QString &udid = simulator.udid;
    if (!udid.isEmpty() && !udid.contains(u'/') && !udid.contains(QChar(0)) && udid != u"."_s &&
        udid != u".."_s)
        m_storageAnchor = StorageLocator::appGroupFolder(QDir::homePath(), udid);
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
    if (m_errorMessage == message)
        return;
    m_errorMessage = message;
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
        if (m_watch && m_pendingReloads == 0)
            m_watch->setBusy(false);
    });
    QStringList others;
    if (m_watch) {
        for (const QUrl &folder : std::as_const(m_shownFolders))
            if (folder != m_currentDirectory && folder.isLocalFile())
                others << localPath(folder);
    }
    watcher->setFuture(QtConcurrent::run(WorkPools::disk(), [lookup = m_storageLookup, folder = m_currentDirectory, others,
                                          anchor = m_watch ? m_storageAnchor : QString()] {
        ReloadResult result;
        result.root = lookup ? lookup() : std::nullopt;
        if (!result.root) {
            if (!anchor.isEmpty())
                result.storageFolders = storageAppearanceFolders(anchor);
            return result;
        }
        const QUrl shown = folder.value_or(*result.root);
        result.entries = listDirectory(shown);
        result.listings.insert(localPath(shown), result.entries);
        for (const QString &other : others)
            if (!result.listings.contains(other))
                result.listings.insert(other, listDirectory(other));
        return result;
    }));
}

void FilesState::applyReload(const ReloadResult &result)
{
    m_listings = result.listings;
    m_storageFolders = result.storageFolders;
    if (!result.root) {
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
    const bool folderChanged = !m_currentDirectory.has_value();
    if (folderChanged)
        m_currentDirectory = result.root;
    LoadState loaded = LoadState::loaded(result.entries);
    const bool stateChanged = !(m_loadState == loaded);
    m_loadState = std::move(loaded);
    updateWatch();
    if (rootChanged)
        emit rootURLChanged();
    if (stateChanged)
        emit loadStateChanged();
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
        differs = !m_loadState.isLoaded() || m_rootURL != result.root;
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
    if (!result.root && result.storageFolders != m_storageFolders) {
        m_storageFolders = result.storageFolders;
        if (!updateWatch().isEmpty())
            m_watch->noteChange();
    }
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

void FilesState::moveToTrash(const QSet<QUrl> &urls)
{
    for (const QUrl &url : urls) {
        if (m_services.trash && url.isLocalFile())
            (void)m_services.trash->moveToTrash(localPath(url));
    }
    reload(false);
}

void FilesState::rename(const QUrl &url, const QString &proposedName)
{
    const QString path = localPath(url);
    if (const auto name = NameRules::acceptedNewName(nameOf(path), proposedName); name && url.isLocalFile()) {
        const QString destination = childPath(parentPath(path), *name);
        const Status moved = FileOperations::moveNoReplace(path, destination);
        if (moved)
            setSelection({QUrl::fromLocalFile(destination)});
        else
            setErrorMessage(moved.error());
    }
    reload(false);
}

void FilesState::newFolder()
{
    if (!m_currentDirectory)
        return;
    const QString folder = localPath(*m_currentDirectory);
    const auto name = NameRules::firstFreeName(&NameRules::untitledFolderName, [&](const QString &candidate) {
        return FileOperations::exists(childPath(folder, candidate));
    });
    if (!name)
        return;
    const QString path = childPath(folder, *name);
    if (const Status created = FileOperations::createFolder(path); !created) {
        setErrorMessage(created.error());
        return;
    }
    setRenameRequest(QUrl::fromLocalFile(path));
    reload(false);
}

// Copies the item beside itself under the first free "copy" name. False with a message when the
// copy failed; true also when all names are taken and the item is skipped.
bool FilesState::duplicateItem(const QString &path, QString *error)
{
    const QString folder = parentPath(path);
    const QString name = nameOf(path);
    const auto copyName = NameRules::firstFreeName(
        [&](int n) { return NameRules::duplicateName(name, n); },
        [&](const QString &candidate) { return FileOperations::exists(childPath(folder, candidate)); });
    if (!copyName)
        return true;
    const Status copied = FileOperations::copyItem(path, childPath(folder, *copyName));
    if (!copied)
        *error = copied.error();
    return copied.ok();
}

void FilesState::duplicate(const QSet<QUrl> &urls)
{
    for (const QUrl &url : urls) {
        QString error;
        if (url.isLocalFile() && !duplicateItem(localPath(url), &error))
            setErrorMessage(error);
    }
    reload(false);
}

void FilesState::paste()
{
    copyItemsIn(m_services.pasteboard ? m_services.pasteboard->readFileURLs() : QList<QUrl>());
}

void FilesState::copyItemsIn(const QList<QUrl> &sources)
{
    if (!m_currentDirectory)
        return;
    const QString folder = localPath(*m_currentDirectory);
    const QString canonicalFolder = QFileInfo(folder).canonicalFilePath();
    for (const QUrl &source : sources) {
        const QString path = localPath(source);
        const QString name = source.isLocalFile() ? nameOf(path) : source.fileName();
        const auto fail = [&](const QString &description) { setErrorMessage(name + u": "_s + description); };
        if (!source.isLocalFile() || name.isEmpty()) {
            fail(u"Only files on this computer can be copied in."_s);
            continue;
        }
        // The item already lies in this folder: replacing it with itself would delete it first,
        // so it is duplicated instead.
        const QString canonicalParent = QFileInfo(parentPath(path)).canonicalFilePath();
        if (!canonicalFolder.isEmpty() && canonicalParent == canonicalFolder) {
            QString error;
            if (!duplicateItem(path, &error))
                fail(error);
            continue;
        }
        if (FileOperations::isDirectory(path).value_or(false) && !QFileInfo(path).isSymLink() &&
            FileOperations::isSameOrInside(folder, path)) {
            fail(u"A folder can’t be copied into itself or into one of its own folders."_s);
            continue;
        }
        const QString destination = childPath(folder, name);
        // Replacing a folder that holds the source would delete the source with it, and with it
        // everything else in that folder.
        if (FileOperations::liesWithinItem(path, destination)) {
            fail(u"An item can’t replace the folder that contains it."_s);
            continue;
        }
        if (const Status copied = FileOperations::copyReplacing(path, destination); !copied)
            fail(copied.error());
    }
    reload(false);
}

void FilesState::openInTerminal(const QUrl &folder)
{
    if (m_services.workspace)
        m_services.workspace->openInTerminal(folder);
}

void FilesState::copyCurrentPath()
{
    if (m_currentDirectory && m_services.pasteboard)
        m_services.pasteboard->writeText(localPath(*m_currentDirectory));
}
