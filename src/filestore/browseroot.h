#pragma once

#include "listing.h"

#include <QList>
#include <QString>

#include <optional>

// An open file descriptor, closed with the object.
class UniqueFd
{
public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) : m_fd(fd) {}
    UniqueFd(UniqueFd &&other) noexcept : m_fd(other.release()) {}
    UniqueFd &operator=(UniqueFd &&other) noexcept;
    UniqueFd(const UniqueFd &) = delete;
    UniqueFd &operator=(const UniqueFd &) = delete;
    ~UniqueFd();

    int get() const { return m_fd; }
    explicit operator bool() const { return m_fd >= 0; }
    int release()
    {
        const int fd = m_fd;
        m_fd = -1;
        return fd;
    }

private:
    int m_fd = -1;
};

// The folder a screen browses (an app's container, the Files storage), held inside the device
// folder it belongs to. The root is resolved once, to its real path; from then on it counts as
// there only while that real path still leads, with no link anywhere below the device folder, to
// a folder: a container replaced by a link (to "/", or anywhere else) is gone. Links inside the
// root still open when the user follows them, but writing is allowed only into a folder whose
// real path lies inside the device folder. A plain value; safe on any thread; reads the disk.
class BrowseRoot
{
public:
    // The root `root` names inside `boundary` (the device folder; empty: the root itself). None
    // when the root is not a folder or leads out of the boundary, or the boundary is a link.
    static std::optional<BrowseRoot> resolve(const QString &root, const QString &boundary);

    // The root as the screen names it, and its real path.
    const QString &path() const { return m_path; }
    const QString &realPath() const { return m_realPath; }

    // The root now: invalid (errno set) when it has gone, is no longer a folder, or now leads
    // elsewhere.
    UniqueFd open() const;
    // Lists `folder`, a folder below the root as the screen names it (links in it followed),
    // relative to the open root `rootFd`.
    FolderListing list(int rootFd, const QString &folder) const;
    // The folder for writing into: invalid (errno set) when it does not exist, or its real path
    // lies outside the device folder (EXDEV).
    UniqueFd openForWriting(const QString &folder) const;

    friend bool operator==(const BrowseRoot &, const BrowseRoot &) = default;

private:
    UniqueFd openRealFolder(const QString &realPath) const;

    QString m_path;
    QString m_realPath;
    QString m_boundary; // real path
};
