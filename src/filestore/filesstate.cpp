#include "filesstate.h"

#include "fileoperations.h"
#include "listing.h"
#include "namerules.h"
#include "simulator/simulator.h"

#include <QDir>
#include <QFileInfo>
#include <QFutureWatcher>
#include <QtConcurrent/QtConcurrentRun>

using namespace Qt::StringLiterals;

struct FilesState::ReloadResult
{
    std::optional<QUrl> root;
    QList<FileEntry> entries;
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
}

FilesState::FilesState(StorageLookup storageLookup, Services services, QObject *parent)
    : QObject(parent), m_storageLookup(std::move(storageLookup)), m_services(std::move(services))
{
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

    const quint64 generation = ++m_latestReload;
    ++m_pendingReloads;
    auto *watcher = new QFutureWatcher<ReloadResult>(this);
    connect(watcher, &QFutureWatcher<ReloadResult>::finished, this, [this, watcher, generation] {
        --m_pendingReloads;
        watcher->deleteLater();
        // An older reload that ends late would show one folder's items under another's path.
        if (generation == m_latestReload)
            applyReload(watcher->result());
    });
    watcher->setFuture(QtConcurrent::run([lookup = m_storageLookup, folder = m_currentDirectory] {
        ReloadResult result;
        result.root = lookup ? lookup() : std::nullopt;
        if (result.root)
            result.entries = listDirectory(folder.value_or(*result.root));
        return result;
    }));
}

void FilesState::applyReload(const ReloadResult &result)
{
    if (!result.root) {
        setLoadState(LoadState::storageMissing());
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
    if (rootChanged)
        emit rootURLChanged();
    if (stateChanged)
        emit loadStateChanged();
    if (folderChanged)
        emit currentDirectoryChanged();
    emit reloadApplied();
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
