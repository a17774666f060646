#include "filecommandjob.h"

#include "fileoperations.h"
#include "filepaths_p.h"
#include "namerules.h"
#include "plaintext.h"

#include <QDir>
#include <QFileInfo>

#include <cerrno>

using namespace Qt::StringLiterals;
using namespace FilePaths;

namespace {

QString shownName(const QUrl &url)
{
    return PlainText::oneLine(url.isLocalFile() ? nameOf(localPath(url)) : url.fileName());
}

// Sizes up the local items first, so the progress has a total to count against.
FileCommandJob::Outcome measured(const QList<QUrl> &items, const QString &verb, JobControl &control)
{
    for (const QUrl &url : items) {
        if (url.isLocalFile())
            FileOperations::measure(localPath(url), control);
    }
    FileCommandJob::Outcome outcome;
    outcome.items = int(items.size());
    outcome.verb = verb;
    return outcome;
}

} // namespace

QString FileCommandJob::Outcome::cancelNote() const
{
    if (!cancelled || finished == 0)
        return {};
    return u"Stopped after %1 of %2 items. The items already %3 stay."_s.arg(finished).arg(items).arg(verb);
}

FileCommandJob::FileCommandJob(std::optional<BrowseRoot> root, std::shared_ptr<Trash> trash,
                               JobControl &control)
    : m_root(std::move(root)), m_trash(std::move(trash)), m_control(control)
{
}

QString FileCommandJob::copyInDescription(const QString &folder, const QList<QUrl> &sources)
{
    const QString into = PlainText::oneLine(nameOf(folder));
    if (sources.size() == 1)
        return u"Copying “%1” to %2"_s.arg(shownName(sources.first()), into);
    return u"Copying %1 items to %2"_s.arg(sources.size()).arg(into);
}

QString FileCommandJob::duplicateDescription(const QList<QUrl> &items)
{
    if (items.size() == 1)
        return u"Duplicating “%1”"_s.arg(shownName(items.first()));
    return u"Duplicating %1 items"_s.arg(items.size());
}

QString FileCommandJob::trashDescription(const QList<QUrl> &items)
{
    if (items.size() == 1)
        return u"Moving “%1” to the Trash"_s.arg(shownName(items.first()));
    return u"Moving %1 items to the Trash"_s.arg(items.size());
}

// Checked just before each write: the root must still be there, and the folder written into
// must lie inside the device folder along its real path.
bool FileCommandJob::writable(const QString &folder, Outcome &outcome)
{
    if (!m_root || outcome.rootGone)
        return false;
    if (!m_root->open()) {
        outcome.rootGone = true;
        return false;
    }
    const UniqueFd fd = m_root->openForWriting(folder);
    if (!fd && errno == EXDEV)
        outcome.errors << u"“%1” lies outside this simulator device, so nothing is written there."_s.arg(
            PlainText::oneLine(nameOf(folder)));
    return bool(fd);
}

bool FileCommandJob::stopped(Outcome &outcome)
{
    outcome.cancelled = outcome.cancelled || m_control.stopRequested();
    return outcome.cancelled;
}

// False with a message when the copy failed; true also when all names are taken and the item is
// skipped, or the copy was stopped (the outcome says so).
bool FileCommandJob::duplicateItem(const QString &path, Outcome &outcome, QString *error)
{
    const QString folder = parentPath(path);
    const QString name = nameOf(path);
    const auto copyName = NameRules::firstFreeName(
        [&](int n) { return NameRules::duplicateName(name, n); },
        [&](const QString &candidate) { return FileOperations::exists(childPath(folder, candidate)); });
    if (!copyName || !writable(folder, outcome))
        return true;
    const Status copied = FileOperations::copyItem(path, childPath(folder, *copyName), &m_control);
    if (FileOperations::wasCancelled(copied, &m_control))
        return stopped(outcome);
    if (!copied)
        *error = copied.error();
    return copied.ok();
}

FileCommandJob::Outcome FileCommandJob::copyIn(const QString &folder, const QList<QUrl> &sources)
{
    Outcome outcome = measured(sources, u"copied"_s, m_control);
    const QString canonicalFolder = QFileInfo(folder).canonicalFilePath();
    for (const QUrl &source : sources) {
        if (stopped(outcome))
            break;
        const QString path = localPath(source);
        const QString name = source.isLocalFile() ? nameOf(path) : source.fileName();
        const auto fail = [&](const QString &description) {
            outcome.errors << PlainText::oneLine(name) + u": "_s + description;
        };
        if (!source.isLocalFile() || name.isEmpty()) {
            fail(u"Only files on this computer can be copied in."_s);
            continue;
        }
        // The item already lies in this folder: replacing it with itself would delete it first,
        // so it is duplicated instead.
        const QString canonicalParent = QFileInfo(parentPath(path)).canonicalFilePath();
        if (!canonicalFolder.isEmpty() && canonicalParent == canonicalFolder) {
            QString error;
            if (!duplicateItem(path, outcome, &error))
                fail(error);
            else if (!outcome.cancelled)
                ++outcome.finished;
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
        if (!writable(folder, outcome))
            break;
        const Status copied = FileOperations::copyReplacing(path, destination, &m_control);
        if (FileOperations::wasCancelled(copied, &m_control))
            stopped(outcome);
        else if (!copied)
            fail(copied.error());
        else
            ++outcome.finished;
    }
    return outcome;
}

FileCommandJob::Outcome FileCommandJob::duplicate(const QList<QUrl> &items)
{
    Outcome outcome = measured(items, u"duplicated"_s, m_control);
    for (const QUrl &url : items) {
        if (stopped(outcome))
            break;
        QString error;
        if (!url.isLocalFile())
            continue;
        if (!duplicateItem(localPath(url), outcome, &error))
            outcome.errors << error;
        else if (!outcome.cancelled)
            ++outcome.finished;
    }
    return outcome;
}

FileCommandJob::Outcome FileCommandJob::moveToTrash(const QList<QUrl> &items)
{
    Outcome outcome;
    outcome.items = int(items.size());
    outcome.verb = u"moved to the Trash"_s;
    m_control.addToTotal(items.size(), 0);
    for (const QUrl &url : items) {
        if (stopped(outcome))
            break;
        if (m_trash && url.isLocalFile() && writable(parentPath(localPath(url)), outcome) &&
            m_trash->moveToTrash(localPath(url)))
            ++outcome.finished;
        m_control.addItemDone();
    }
    return outcome;
}
