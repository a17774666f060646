#include "treesnapshot.h"

#include <QCryptographicHash>
#include <QFile>
#include <QStringList>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstring>

namespace {

void collect(const QByteArray &root, const QByteArray &relative, Tree &tree)
{
    DIR *dir = ::opendir((relative.isEmpty() ? root : root + '/' + relative).constData());
    if (!dir)
        return;
    while (const dirent *item = ::readdir(dir)) {
        const QByteArray name(item->d_name);
        if (name == "." || name == "..")
            continue;
        const QByteArray rel = relative.isEmpty() ? name : relative + '/' + name;
        const QByteArray full = root + '/' + rel;
        struct stat st;
        if (::lstat(full.constData(), &st) != 0) {
            tree[rel] = "gone";
        } else if (S_ISDIR(st.st_mode)) {
            tree[rel] = "folder " + QByteArray::number(st.st_mode & 07777, 8);
            collect(root, rel, tree);
        } else if (S_ISLNK(st.st_mode)) {
            char target[PATH_MAX];
            const ssize_t n = ::readlink(full.constData(), target, sizeof target);
            tree[rel] = "link -> " + QByteArray(target, n > 0 ? n : 0);
        } else if (S_ISFIFO(st.st_mode)) {
            tree[rel] = "fifo";
        } else if (S_ISREG(st.st_mode)) {
            // Non-blocking, so that a file swapped for a pipe meanwhile cannot hang the snapshot.
            const int fd = ::open(full.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
            QFile file;
            if (fd >= 0 && file.open(fd, QIODevice::ReadOnly, QFile::AutoCloseHandle))
                tree[rel] = fileDescription(file.readAll());
            else
                tree[rel] = "file " + QByteArray::number(qlonglong(st.st_size)) + " unreadable";
            if (fd >= 0 && !file.isOpen())
                ::close(fd);
        } else {
            tree[rel] = "other";
        }
    }
    ::closedir(dir);
}

} // namespace

Tree treeOf(const QString &root)
{
    Tree tree;
    collect(QFile::encodeName(root), {}, tree);
    return tree;
}

QByteArray fileDescription(const QByteArray &content)
{
    return "file " + QByteArray::number(content.size()) + ' ' +
           QCryptographicHash::hash(content, QCryptographicHash::Sha1).toHex();
}

Tree subtree(const Tree &tree, const QByteArray &prefix)
{
    Tree out;
    for (auto it = tree.cbegin(); it != tree.cend(); ++it) {
        if (it.key().startsWith(QByteArray(prefix + '/')))
            out[it.key().mid(prefix.size() + 1)] = it.value();
    }
    return out;
}

QString differences(const Tree &expected, const Tree &actual)
{
    QStringList lines;
    for (auto it = expected.cbegin(); it != expected.cend(); ++it) {
        if (!actual.contains(it.key()))
            lines << QStringLiteral("missing: ") + QString::fromUtf8(it.key());
        else if (actual.value(it.key()) != it.value())
            lines << QStringLiteral("changed: ") + QString::fromUtf8(it.key() + " (" + it.value() + " -> " +
                                                                     actual.value(it.key()) + ')');
    }
    for (auto it = actual.cbegin(); it != actual.cend(); ++it) {
        if (!expected.contains(it.key()))
            lines << QStringLiteral("unexpected: ") + QString::fromUtf8(it.key() + " (" + it.value() + ')');
    }
    return lines.join(u'\n');
}
