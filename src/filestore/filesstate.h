#pragma once

#include "browseroot.h"
#include "filecommandjob.h"
#include "loadstate.h"
#include "platform.h"

#include <QHash>
#include <QObject>
#include <QSet>
#include <QString>
#include <QUrl>

#include <functional>
#include <memory>
#include <optional>

class FileJobQueue;
class FolderWatch;
struct Simulator;

// The browsing state of one Files screen and the file operations on it. Lives on the GUI
// thread. The locating and listing inside reload() run on a pool thread and come back here;
// the writes that can take long (copy in, paste, duplicate, move to the trash) run as jobs of
// the file job queue, one after another, and their outcome (messages, then the reload) is
// applied here when each ends. While a job of this state runs, the watch holds its reports:
// the job's own reload reads what it wrote. Of overlapping reloads only the one
// started last is applied. Each field has a getter, a change signal, and (where the screen or
// the views write it) a setter that does nothing when the value is equal.
// With a folder notifier among the services, the folders on screen are watched: their changes,
// coalesced, lead to a check that reads them again in the background and, only when a listing
// differs from what the last reload saw, becomes a reload (counted, without the loading state).
// So the program's own operations, which reload at once, are not read a second time.
// What the screen browses stays inside the device folder (see BrowseRoot): the root is checked
// before every read and every write, and a root that has gone or now leads out shows as the
// storage missing, with nothing written. A current folder that has gone gives way to its
// nearest existing ancestor; one that cannot be read shows as unreadable, not as empty.
class FilesState final : public QObject
{
    Q_OBJECT

public:
    // Finds the storage folder; blocking, called on a pool thread.
    using StorageLookup = std::function<std::optional<QUrl>()>;

    struct Services
    {
        std::shared_ptr<Workspace> workspace;
        std::shared_ptr<Pasteboard> pasteboard;
        std::shared_ptr<Trash> trash;
        // Makes the watch of the shown folders; none: the folders are read only on reloads.
        std::function<std::unique_ptr<FolderNotifier>()> folderNotifier = {};
        // Where the long writes run; none: the application's shared queue.
        FileJobQueue *jobs = nullptr;
    };

    FilesState(const Simulator &simulator, Services services, QObject *parent = nullptr);
    FilesState(StorageLookup storageLookup, Services services, QObject *parent = nullptr);
    ~FilesState() override;
    Q_DISABLE_COPY_MOVE(FilesState)

    const std::optional<QUrl> &rootURL() const { return m_rootURL; }
    const std::optional<QUrl> &currentDirectory() const { return m_currentDirectory; }
    const LoadState &loadState() const { return m_loadState; }
    const QSet<QUrl> &selection() const { return m_selection; }
    int reloadCount() const { return m_reloadCount; }
    const std::optional<QString> &errorMessage() const { return m_errorMessage; }
    // The message says how far a stopped job got: no failure, only a note.
    bool errorMessageIsStopNote() const { return m_errorMessageIsStopNote; }
    const std::optional<QUrl> &renameRequest() const { return m_renameRequest; }

    // Also the effects of the views' `directoryChanged` and `selectionChanged` callbacks.
    void setCurrentDirectory(const std::optional<QUrl> &folder);
    void setSelection(const QSet<QUrl> &selection);
    void setErrorMessage(const std::optional<QString> &message);
    void setRenameRequest(const std::optional<QUrl> &url);

    void reload(bool showLoading);
    void open(const QUrl &url);
    void moveToTrash(const QSet<QUrl> &urls);
    void rename(const QUrl &url, const QString &proposedName);
    void newFolder();
    void duplicate(const QSet<QUrl> &urls);
    void paste();
    void copyItemsIn(const QList<QUrl> &sources);
    void openInTerminal(const QUrl &folder);
    void copyCurrentPath();

    // Whether a reload's (or a check's) background work is still running.
    bool isReloading() const { return m_pendingReloads > 0; }
    // Whether a write of this state's is queued or running as a job.
    bool isWriting() const { return m_pendingJobs > 0; }

    // Whether the screen is on display; nothing is watched while it is not, and coming back
    // checks for what changed meanwhile.
    void setShown(bool shown);
    // The folders the screen shows (the current folder, or the browser's columns); watched,
    // together with the current folder, while the storage is found.
    void setShownFolders(const QList<QUrl> &folders);
    // Where the storage folder appears (the device's app-group folder); watched, or its nearest
    // existing ancestor, while the storage is missing. Set from the simulator when given one.
    void setStorageAnchor(const QString &folder) { m_storageAnchor = folder; }
    // The device folder that everything browsed and written lies in. Set from the simulator
    // when given one; otherwise, unless set before the first reload, the root itself.
    void setBoundary(const QString &deviceFolder) { m_boundary = deviceFolder; }
    // Reads folders below the root in a pool thread, within the same bounds (the column
    // browser's reads); each arrives with folderRead(), in the order asked.
    void readFolders(const QList<QUrl> &folders);
    // Whether the load state holds the current folder's listing (no read for it is needed).
    bool showsCurrentDirectory() const;
    // Null without a folder notifier.
    FolderWatch *folderWatch() const { return m_watch.get(); }

signals:
    void rootURLChanged();
    void currentDirectoryChanged();
    void loadStateChanged();
    void selectionChanged();
    void reloadCountChanged();
    void errorMessageChanged();
    void renameRequestChanged();
    // The newest reload's result has been applied (whether or not it changed anything).
    void reloadApplied();
    // A folder asked for with readFolders(); `readable` false when it could not be read.
    void folderRead(const QUrl &folder, const QList<FileEntry> &entries, bool readable);

private:
    struct ReloadResult;
    void startRead(bool isCheck);
    void applyReload(const ReloadResult &result);
    void applyCheck(const ReloadResult &result);
    void checkForChanges();
    void followRecentWrites(const ReloadResult &result);
    void runJob(const QString &description, std::function<FileCommandJob::Outcome(FileCommandJob &)> work);
    void applyJob(const FileCommandJob::Outcome &outcome);
    void setMessage(const std::optional<QString> &message, bool stopNote);
    QStringList updateWatch();
    void setLoadState(LoadState state);
    UniqueFd writableFolder(const QString &folder);
    void rootWentAway();
    void reloadAfterWrite();

    StorageLookup m_storageLookup;
    Services m_services;
    std::optional<QUrl> m_rootURL;
    std::optional<QUrl> m_currentDirectory;
    QString m_boundary;
    std::optional<BrowseRoot> m_root;
    // The folder the load state lists.
    std::optional<QUrl> m_loadedFolder;
    LoadState m_loadState;
    QSet<QUrl> m_selection;
    int m_reloadCount = 0;
    std::optional<QString> m_errorMessage;
    bool m_errorMessageIsStopNote = false;
    std::optional<QUrl> m_renameRequest;
    quint64 m_latestReload = 0;
    int m_pendingReloads = 0;
    int m_pendingJobs = 0;

    std::unique_ptr<FolderWatch> m_watch;
    bool m_shown = false;
    QList<QUrl> m_shownFolders;
    QString m_storageAnchor;
    // What the last applied read saw: each watched folder's listing, and while the storage is
    // missing the folders where it would appear.
    QHash<QString, QList<FileEntry>> m_listings;
    QStringList m_storageFolders;
};
