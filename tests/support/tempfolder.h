#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QTemporaryDir>
#include <QUrl>

#include <functional>
#include <optional>

// A temporary folder for file-system tests, removed with the object. Paths are relative to it.
class TempFolder
{
public:
    TempFolder();

    bool isValid() const { return m_dir.isValid(); }
    QString errorString() const { return m_dir.errorString(); }
    QString path(const QString &relative = {}) const;
    QUrl url(const QString &relative = {}) const { return QUrl::fromLocalFile(path(relative)); }

    // Creates the file (and its missing parent folders); an invalid `modified` leaves the time.
    bool createFile(const QString &relative, const QByteArray &bytes = {}, const QDateTime &modified = {});
    bool createDir(const QString &relative);
    // Dates the folder and everything in it an hour back, as if it had been left alone since.
    bool backdate(const QString &relative);
    bool createSymlink(const QString &target, const QString &relative);
    bool createSocket(const QString &relative); // a bound Unix socket: an item no copy can take
    QByteArray read(const QString &relative) const;
    bool exists(const QString &relative) const; // anything at the path, a dangling link too

private:
    QTemporaryDir m_dir;
};

// Sets an environment variable for the lifetime of the object (an empty value unsets it), then
// restores the old state.
class ScopedEnv
{
public:
    ScopedEnv(const char *name, const QByteArray &value);
    ~ScopedEnv();
    ScopedEnv(const ScopedEnv &) = delete;
    ScopedEnv &operator=(const ScopedEnv &) = delete;

private:
    const char *m_name;
    bool m_wasSet;
    QByteArray m_old;
};

// True when permission bits do not stop this process (root).
bool permissionsAreIgnored();

// Runs `work` where permission bits apply: directly for an ordinary user; as root, in a forked
// child that has dropped to the "nobody" user. Gives what `work` returned, or none when the child
// failed. Keep `work` small: the child only has the calling thread.
std::optional<QByteArray> runWithPermissionsApplied(const std::function<QByteArray()> &work);
