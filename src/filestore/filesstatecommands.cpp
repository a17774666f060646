#include "filesstate.h"

#include "filejobqueue.h"
#include "fileoperations.h"
#include "filepaths_p.h"
#include "folderwatch.h"
#include "namerules.h"
#include "plaintext.h"

#include <QDir>
#include <QFileInfo>
#include <QPointer>

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>

// The commands of FilesState: every write into the storage, and the jobs that carry the long ones.

using namespace Qt::StringLiterals;
using namespace FilePaths;

// Checked again just before each write: the folder written into, opened along its real path,
// which must lie inside the device folder, and the root, which must still be there. A root
// that has gone or leads out shows as missing at once.
UniqueFd FilesState::writableFolder(const QString &folder)
{
    // A write before the first read has found the root (none comes from the screen, whose
    // commands wait for it) finds it here.
    if (!m_root && m_storageLookup) {
        if (const auto url = m_storageLookup(); url && url->isLocalFile())
            m_root = BrowseRoot::resolve(localPath(*url), m_boundary);
    }
    if (!m_root || m_loadState.kind() == LoadState::Kind::storageMissing)
        return {};
    if (!m_root->open()) {
        rootWentAway();
        return {};
    }
    UniqueFd fd = m_root->openForWriting(folder);
    if (!fd && errno == EXDEV)
        setErrorMessage(u"“%1” lies outside this simulator device, so nothing is written there."_s.arg(
            PlainText::oneLine(nameOf(folder))));
    return fd;
}

void FilesState::rootWentAway()
{
    m_listings.clear();
    m_loadedFolder.reset();
    setSelection({});
    setLoadState(LoadState::storageMissing());
    // Finds where the storage would appear, and watches there.
    updateWatch();
    startRead(true);
}

// After a write, unless the root went away meanwhile.
void FilesState::reloadAfterWrite()
{
    if (m_loadState.kind() != LoadState::Kind::storageMissing)
        reload(false);
}

void FilesState::moveToTrash(const QSet<QUrl> &urls)
{
    const QList<QUrl> items = urls.values();
    runJob(FileCommandJob::trashDescription(items),
           [items](FileCommandJob &job) { return job.moveToTrash(items); });
}

void FilesState::rename(const QUrl &url, const QString &proposedName)
{
    const QString path = localPath(url);
    if (const auto name = NameRules::acceptedNewName(nameOf(path), proposedName); name && url.isLocalFile()) {
        const QString destination = childPath(parentPath(path), *name);
        if (writableFolder(parentPath(path))) {
            const Status moved = FileOperations::moveNoReplace(path, destination);
            if (moved)
                setSelection({QUrl::fromLocalFile(destination)});
            else
                setErrorMessage(moved.error());
        }
    }
    reloadAfterWrite();
}

// Made inside the folder as opened, so that nothing swapped in after the check receives it.
void FilesState::newFolder()
{
    if (!m_currentDirectory)
        return;
    const QString folder = localPath(*m_currentDirectory);
    const UniqueFd dir = writableFolder(folder);
    if (!dir) {
        // A folder gone meanwhile gives way to its nearest existing ancestor.
        reloadAfterWrite();
        return;
    }
    const auto name = NameRules::firstFreeName(&NameRules::untitledFolderName, [&](const QString &candidate) {
        struct stat st;
        return ::fstatat(dir.get(), QFile::encodeName(candidate).constData(), &st, AT_SYMLINK_NOFOLLOW) == 0;
    });
    if (!name)
        return;
    const QString path = childPath(folder, *name);
    if (const Status created = FileOperations::createFolderIn(dir.get(), path); !created) {
        setErrorMessage(created.error());
        return;
    }
    setRenameRequest(QUrl::fromLocalFile(path));
    reload(false);
}

void FilesState::duplicate(const QSet<QUrl> &urls)
{
    const QList<QUrl> items = urls.values();
    runJob(FileCommandJob::duplicateDescription(items),
           [items](FileCommandJob &job) { return job.duplicate(items); });
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
    runJob(FileCommandJob::copyInDescription(folder, sources),
           [folder, sources](FileCommandJob &job) { return job.copyIn(folder, sources); });
}

void FilesState::runJob(const QString &description,
                        std::function<FileCommandJob::Outcome(FileCommandJob &)> work)
{
    // A write before the first read has found the root (none comes from the screen, whose
    // commands wait for it) finds it here.
    if (!m_root && m_storageLookup) {
        if (const auto url = m_storageLookup(); url && url->isLocalFile())
            m_root = BrowseRoot::resolve(localPath(*url), m_boundary);
    }
    std::optional<BrowseRoot> root;
    if (m_loadState.kind() != LoadState::Kind::storageMissing)
        root = m_root;
    ++m_pendingJobs;
    if (m_watch)
        m_watch->setBusy(true);
    FileJobQueue *queue = m_services.jobs ? m_services.jobs : FileJobQueue::shared();
    queue->enqueue(description,
                   [self = QPointer<FilesState>(this), root, trash = m_services.trash,
                    work = std::move(work)](JobControl &control) -> std::function<void()> {
                       FileCommandJob job(root, trash, control);
                       return [self, outcome = work(job)] {
                           if (self)
                               self->applyJob(outcome);
                       };
                   });
}

// Messages in the order the writes failed, then the reload, as the commands always did.
void FilesState::applyJob(const FileCommandJob::Outcome &outcome)
{
    --m_pendingJobs;
    for (const QString &error : outcome.errors)
        setErrorMessage(error);
    // A stop after a failure is still a failure; the note then follows its message.
    if (const QString note = outcome.cancelNote(); !note.isEmpty() && outcome.errors.isEmpty())
        setMessage(note, true);
    else if (!note.isEmpty())
        setErrorMessage(outcome.errors.last() + u"\n\n"_s + note);
    if (outcome.rootGone)
        rootWentAway();
    reloadAfterWrite();
    if (m_watch && m_pendingJobs == 0 && m_pendingReloads == 0)
        m_watch->setBusy(false);
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
