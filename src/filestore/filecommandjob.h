#pragma once

#include "browseroot.h"
#include "jobcontrol.h"
#include "platform.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <memory>
#include <optional>

// The Files commands' writes, as a job on the file jobs' thread: plain data in, an outcome out,
// for the screen's state to take in on the GUI thread. The same rules as the commands on the
// screen: every write is checked against the root just before it (a root that has gone stops
// the writes), copies go through a hidden temporary, and a stop leaves the item in progress as
// it was while the items finished before it stay.
class FileCommandJob
{
public:
    struct Outcome
    {
        // Each failure's message, in the order they happened.
        QStringList errors;
        // The root went away: nothing more was written.
        bool rootGone = false;
        bool cancelled = false;
        // The items asked for and those completed (before a stop).
        int items = 0;
        int finished = 0;
        // Said after a stop when some items were finished: they stay.
        QString cancelNote() const;
        QString verb;
    };

    // `root`: none when nothing may be written (the storage is missing).
    FileCommandJob(std::optional<BrowseRoot> root, std::shared_ptr<Trash> trash, JobControl &control);

    // Copies the sources into `folder`, an item of the same name replaced once the copy is
    // complete; an item already in the folder is duplicated instead.
    Outcome copyIn(const QString &folder, const QList<QUrl> &sources);
    // Copies each item beside itself under the first free "copy" name.
    Outcome duplicate(const QList<QUrl> &items);
    Outcome moveToTrash(const QList<QUrl> &items);

    // "Copying “Movie.mov” to Documents" and friends.
    static QString copyInDescription(const QString &folder, const QList<QUrl> &sources);
    static QString duplicateDescription(const QList<QUrl> &items);
    static QString trashDescription(const QList<QUrl> &items);

private:
    bool writable(const QString &folder, Outcome &outcome);
    bool duplicateItem(const QString &path, Outcome &outcome, QString *error);
    bool stopped(Outcome &outcome);

    std::optional<BrowseRoot> m_root;
    std::shared_ptr<Trash> m_trash;
    JobControl &m_control;
};
