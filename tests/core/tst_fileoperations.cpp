#include "filestore/desktopcommands.h"
#include "filestore/fileoperations.h"
#include "filestore/fileoperations_p.h"
#include "filestore/jobcontrol.h"
#include "filestore/trash.h"
#include "support/tempfolder.h"
#include "support/treesnapshot.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QScopeGuard>
#include <QTest>
#include <QTimeZone>

#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>
#ifdef Q_OS_LINUX
#include <linux/fs.h>
#endif

#include <cerrno>
#include <cstring>
#include <optional>
#include <thread>

using namespace Qt::StringLiterals;

namespace {

// Locks or unlocks an item as the Finder's Locked does (on Linux: the immutable attribute, which
// needs root and a file system that has it). Empty, or why it cannot be done here.
QString setLocked(const QString &path, bool locked)
{
    const QByteArray bytes = QFile::encodeName(path);
#if defined(Q_OS_DARWIN)
    struct stat st;
    if (::lstat(bytes.constData(), &st) == 0 &&
        ::lchflags(bytes.constData(), locked ? st.st_flags | UF_IMMUTABLE : st.st_flags & ~UF_IMMUTABLE) == 0)
        return {};
#elif defined(Q_OS_LINUX)
    const int fd = ::open(bytes.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    int attributes = 0;
    bool done = fd >= 0 && ::ioctl(fd, FS_IOC_GETFLAGS, &attributes) == 0;
    attributes = locked ? attributes | FS_IMMUTABLE_FL : attributes & ~FS_IMMUTABLE_FL;
    done = done && ::ioctl(fd, FS_IOC_SETFLAGS, &attributes) == 0;
    const int error = errno;
    if (fd >= 0)
        ::close(fd);
    if (done)
        return {};
    errno = error;
#endif
    return u"no lock flag here: "_s + QString::fromLocal8Bit(std::strerror(errno));
}

// An extended attribute of an item (links not followed); none when it has none.
#ifdef Q_OS_DARWIN
#define lgetxattr(path, name, value, size) getxattr(path, name, value, size, 0, XATTR_NOFOLLOW)
#define lsetxattr(path, name, value, size, flags) setxattr(path, name, value, size, 0, XATTR_NOFOLLOW)
#endif
std::optional<QByteArray> attribute(const QString &path, const char *name)
{
    QByteArray value(256, '\0');
    const ssize_t n = ::lgetxattr(QFile::encodeName(path).constData(), name, value.data(), 256);
    return n < 0 ? std::nullopt : std::optional(value.left(n));
}

bool setAttribute(const QString &path, const char *name, const QByteArray &value)
{
    return ::lsetxattr(QFile::encodeName(path).constData(), name, value.constData(), size_t(value.size()),
                       0) == 0;
}

} // namespace

class TestFileOperations : public QObject
{
    Q_OBJECT

private slots:
    void moveNeverReplaces_data()
    {
        QTest::addColumn<bool>("fromFolder");
        QTest::addColumn<bool>("toFolder");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("shown"); // in the message: on one line, nothing hidden
        QTest::newRow("file onto file") << false << false << u"a"_s << u"a"_s;
        QTest::newRow("folder onto empty folder") << true << true << u"a\n\u202Ex"_s << u"a\u240A<U+202E>x"_s;
    }

    void moveNeverReplaces()
    {
        QFETCH(bool, fromFolder);
        QFETCH(bool, toFolder);
        QFETCH(QString, name);
        QFETCH(QString, shown);
        TempFolder dir;
        QVERIFY(fromFolder ? dir.createDir(name) : dir.createFile(name, "A"));
        QVERIFY(toFolder ? dir.createDir(u"b"_s) : dir.createFile(u"b"_s, "B"));
        const Tree before = treeOf(dir.path());
        const Status moved = FileOperations::moveNoReplace(dir.path(name), dir.path(u"b"_s));
        QVERIFY2(moved.error().startsWith(u"“"_s + shown + u"” couldn’t be renamed “b” because"_s) &&
                     moved.error().contains(u"already exists"_s),
                 qPrintable(moved.error()));
        QCOMPARE_TREE(before, treeOf(dir.path()));
        QVERIFY(FileOperations::moveNoReplace(dir.path(name), dir.path(u"c"_s)));
        QCOMPARE(treeOf(dir.path()).keys(), (QList<QByteArray>{"b", "c"}));
    }

    // Content, mode, time and extended attributes (Finder tags) are kept; links stay links (loops,
    // dangling, leading out), pipes pipes (never opened), names that are not UTF-8 their bytes.
    void copyKeepsContentModeTimeAndLinks()
    {
        TempFolder dir;
        const QDateTime when = QDateTime::fromSecsSinceEpoch(1'600'000'000, QTimeZone::utc());
        QVERIFY(dir.createFile(u"outside/secret.txt"_s, "outside"));
        QVERIFY(dir.createFile(u"src/tool.sh"_s, "#!/bin/sh\n", when));
        QCOMPARE(::chmod(QFile::encodeName(dir.path(u"src/tool.sh"_s)).constData(), 0751), 0);
        QVERIFY(dir.createFile(u"src/sub/deep/big.bin"_s, QByteArray(3 << 20, 'x')));
        QVERIFY(dir.createSymlink(dir.path(u"outside"_s), u"src/to-outside"_s));
        QVERIFY(dir.createSymlink(u".."_s, u"src/sub/loop"_s));
        QVERIFY(dir.createSymlink(u"missing"_s, u"src/dangling"_s));
        QCOMPARE(::mkfifo(QFile::encodeName(dir.path(u"src/fifo"_s)).constData(), 0600), 0);
#ifndef Q_OS_DARWIN // APFS refuses a name that is not UTF-8 (EILSEQ)
        QCOMPARE(::mkdir(QByteArray(QFile::encodeName(dir.path(u"src/sub"_s)) + "/caf\xE9 \xFF").constData(),
                         0755),
                 0);
        const char *tag = "user.lanthorn.tags";
#else
        const char *tag = "com.apple.metadata:_kMDItemUserTags";
#endif
        const bool tagged = setAttribute(dir.path(u"src"_s), tag, "folder") &&
                            setAttribute(dir.path(u"src/tool.sh"_s), tag, "file");
        const Tree outside = treeOf(dir.path(u"outside"_s));

        QVERIFY(FileOperations::copyItem(dir.path(u"src"_s), dir.path(u"dst"_s)));
        QCOMPARE_TREE(treeOf(dir.path(u"src"_s)), treeOf(dir.path(u"dst"_s)));
        QCOMPARE(QFileInfo(dir.path(u"dst/tool.sh"_s)).lastModified().toUTC(), when);
        if (tagged) {
            QCOMPARE(attribute(dir.path(u"dst"_s), tag), QByteArray("folder"));
            QCOMPARE(attribute(dir.path(u"dst/tool.sh"_s), tag), QByteArray("file"));
        } else {
            qWarning("no extended attributes here: not checked");
        }
        QCOMPARE_TREE(outside, treeOf(dir.path(u"outside"_s)));
        QVERIFY(!FileOperations::copyItem(dir.path(u"src/tool.sh"_s),
                                          dir.path(u"dst/fifo"_s))); // never over an item
    }

    void copyReplacing_data()
    {
        QTest::addColumn<bool>("sourceIsFolder");
        QTest::addColumn<bool>("existingIsFolder");
        QTest::addColumn<bool>("sourceFails");
        QTest::addColumn<QString>("stopped"); // "", "before" or "midway" (through a big file)
        for (const char *stop : {"", "before", "midway"}) {
            for (bool fails : {false, true}) {
                if (fails && *stop)
                    continue;
                const QByteArray suffix =
                    QByteArray(fails ? ", copy fails" : "") + (*stop ? ", stopped " : "") + stop;
                QTest::addRow("file over file%s", suffix.constData())
                    << false << false << fails << QString::fromLatin1(stop);
                QTest::addRow("folder over folder%s", suffix.constData())
                    << true << true << fails << QString::fromLatin1(stop);
                QTest::addRow("folder over file%s", suffix.constData())
                    << true << false << fails << QString::fromLatin1(stop);
            }
        }
    }

    // The old item goes only once the copy succeeded; a failed or stopped copy leaves no partial
    // item; a stop ends the copy of a file between chunks.
    void copyReplacing()
    {
        QFETCH(bool, sourceIsFolder);
        QFETCH(bool, existingIsFolder);
        QFETCH(bool, sourceFails);
        QFETCH(QString, stopped);
        TempFolder dir;
        const QByteArray big(qsizetype(64) << 20, 'b');
        if (!stopped.isEmpty()) {
            QVERIFY(dir.createFile(sourceIsFolder ? u"host/item/a/big"_s : u"host/item"_s, big));
        } else if (sourceIsFolder) {
            QVERIFY(dir.createFile(u"host/item/new.txt"_s, "new"));
            if (sourceFails)
                QVERIFY(dir.createSocket(u"host/item/s.sock"_s));
        } else if (!sourceFails) {
            QVERIFY(dir.createFile(u"host/item"_s, "new"));
        } // a missing source file fails too
        QVERIFY(existingIsFolder ? dir.createFile(u"store/item/old.txt"_s, "old")
                                 : dir.createFile(u"store/item"_s, "old"));
        const Tree before = treeOf(dir.path(u"store"_s));
        StopSource stop;
        JobControl control(stop.token());
        if (stopped == u"before"_s)
            stop.requestStop();
        // Chunks of the plain copy, so that the stop lands inside the file.
        FileOperationsPrivate::setByteCopyOnly(true);
        const auto restore = qScopeGuard([] { FileOperationsPrivate::setByteCopyOnly(false); });
        std::thread stopper([&] {
            while (stopped == u"midway"_s && control.bytesDone() == 0)
                std::this_thread::yield();
            stop.requestStop();
        });
        JobControl *const controlled = stopped.isEmpty() ? nullptr : &control;
        const Status copied =
            FileOperations::copyReplacing(dir.path(u"host/item"_s), dir.path(u"store/item"_s), controlled);
        stopper.join();
        QCOMPARE(copied.ok(), !sourceFails && stopped.isEmpty());
        QCOMPARE(FileOperations::wasCancelled(copied, controlled), !stopped.isEmpty());
        QCOMPARE_TREE(sourceFails || !stopped.isEmpty() ? before : subtree(treeOf(dir.path()), "host"),
                      treeOf(dir.path(u"store"_s)));
        if (stopped == u"midway"_s)
            QVERIFY(control.bytesDone() < big.size());
    }

    // A locked item copies, its copy locked once in place (macOS; on Linux copies come unlocked); a
    // replace that would meet a locked item changes nothing and names it.
    void lockedItems_data()
    {
        QTest::addColumn<QString>("locked");
        QTest::addColumn<QString>("from");
        QTest::addColumn<QString>("to");
        QTest::addColumn<QString>("message"); // of a replace; empty: a copy that succeeds
        QTest::newRow("duplicate a locked file")
            << u"src/a.txt"_s << u"src/a.txt"_s << u"src/a copy.txt"_s << QString();
        QTest::newRow("copy a locked folder")
            << u"src/Folder"_s << u"src/Folder"_s << u"dst/Folder"_s << QString();
        QTest::newRow("replace a locked file") << u"store/note.txt"_s << u"src/a.txt"_s << u"store/note.txt"_s
                                               << u"“note.txt” couldn’t be replaced because it’s locked."_s;
        QTest::newRow("replace a folder holding a locked item")
            << u"store/Album/sub/keep.jpg"_s << u"src/Folder"_s << u"store/Album"_s
            << u"“Album” couldn’t be replaced because “sub/keep.jpg” in it is locked."_s;
    }

    void lockedItems()
    {
        QFETCH(QString, locked);
        QFETCH(QString, from);
        QFETCH(QString, to);
        QFETCH(QString, message);
        TempFolder dir;
        for (const QString &file : {u"src/a.txt"_s, u"src/Folder/inner.txt"_s, u"store/note.txt"_s,
                                    u"store/Album/pic.jpg"_s, u"store/Album/sub/keep.jpg"_s})
            QVERIFY(dir.createFile(file, file.toUtf8()));
        QVERIFY(dir.createDir(u"dst"_s));
        if (const QString refusal = setLocked(dir.path(locked), true); !refusal.isEmpty())
            QSKIP(qPrintable(refusal));
        const auto unlock = qScopeGuard([&] {
            setLocked(dir.path(locked), false);
            setLocked(dir.path(to), false);
        });
        const Tree before = treeOf(dir.path());
        if (!message.isEmpty()) {
            QCOMPARE(FileOperations::copyReplacing(dir.path(from), dir.path(to)).error(), message);
            QCOMPARE_TREE(before, treeOf(dir.path()));
            return;
        }
        const Status status = FileOperations::copyItem(dir.path(from), dir.path(to));
        QVERIFY2(status, qPrintable(status.error()));
        Tree expected = before;
        const Tree copied = subtree(before, from.toUtf8());
        for (const auto &[path, description] : copied.asKeyValueRange())
            expected.insert(to.toUtf8() + '/' + path, description);
        expected.insert(to.toUtf8(), before.value(from.toUtf8()));
        QCOMPARE_TREE(expected, treeOf(dir.path())); // and no hidden temporary
#ifdef Q_OS_DARWIN
        struct stat st;
        QVERIFY(::lstat(QFile::encodeName(dir.path(to)).constData(), &st) == 0 &&
                (st.st_flags & UF_IMMUTABLE));
#endif
    }

    // QDir::removeRecursively would empty the folder a link points to.
    void removeTakesALinkAsALink()
    {
        TempFolder dir;
        QVERIFY(dir.createFile(u"target/keep.txt"_s, "keep"));
        QVERIFY(dir.createFile(u"tree/sub/a.txt"_s, "a"));
        QVERIFY(dir.createSymlink(dir.path(u"target"_s), u"tree/link"_s));
        QVERIFY(dir.createSymlink(dir.path(u"target"_s), u"toplink"_s));
        QVERIFY(FileOperations::removeItem(dir.path(u"toplink"_s)));
        QVERIFY(FileOperations::removeItem(dir.path(u"tree"_s)));
        QCOMPARE(treeOf(dir.path()).keys(), (QList<QByteArray>{"target", "target/keep.txt"}));
    }

    void sameOrInside_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("folder");
        QTest::addColumn<bool>("inside");
        QTest::newRow("itself") << u"a"_s << u"a"_s << true;
        QTest::newRow("grandchild") << u"a/b/c"_s << u"a"_s << true;
        QTest::newRow("parent") << u"a"_s << u"a/b"_s << false;
        QTest::newRow("name prefix") << u"ab"_s << u"a"_s << false;
        QTest::newRow("through a link") << u"link-to-b/c"_s << u"a"_s << true;
        QTest::newRow("missing") << u"a/missing"_s << u"a"_s << false;
    }

    void sameOrInside()
    {
        QFETCH(QString, path);
        QFETCH(QString, folder);
        QFETCH(bool, inside);
        TempFolder dir;
        QVERIFY(dir.createDir(u"a/b/c"_s) && dir.createDir(u"ab"_s));
        QVERIFY(dir.createSymlink(dir.path(u"a/b"_s), u"link-to-b"_s));
        QCOMPARE(FileOperations::isSameOrInside(dir.path(path), dir.path(folder)), inside);
    }

    // A fresh account: no ~/.local/share yet, and the trash must not land in the working folder.
    // Names that collide get numbers; the info file records the percent-encoded path.
    void trash()
    {
        TempFolder home;
        TempFolder work;
        ScopedEnv homeEnv("HOME", QFile::encodeName(home.path()));
        ScopedEnv dataEnv("XDG_DATA_HOME", {});
        const QString oldCurrent = QDir::currentPath();
        QVERIFY(QDir::setCurrent(work.path()));
        FreedesktopTrash trash([] { return QDateTime(QDate(2024, 1, 5), QTime(15, 7, 9)); });
        const QString item = work.path(u"stuff/with space & 100%.txt"_s);
        for (int i = 0; i < 3; ++i) {
            QVERIFY(work.createFile(u"stuff/with space & 100%.txt"_s, QByteArray::number(i)));
            QVERIFY(trash.moveToTrash(item));
        }
        QVERIFY(!trash.moveToTrash(work.path(u"missing.txt"_s)));
        QVERIFY(QDir::setCurrent(oldCurrent));

        QCOMPARE(treeOf(work.path()).keys(), QList<QByteArray>{"stuff"});
        const QString trashPath = home.path(u".local/share/Trash"_s);
        struct stat st;
        QVERIFY(::stat(QFile::encodeName(trashPath).constData(), &st) == 0 && (st.st_mode & 0777) == 0700);
        QCOMPARE(treeOf(trashPath + u"/files"_s).keys(),
                 (QList<QByteArray>{"with space & 100%.2.txt", "with space & 100%.3.txt",
                                    "with space & 100%.txt"}));
        QCOMPARE(treeOf(trashPath + u"/info"_s).size(), 3);
        QCOMPARE(home.read(u".local/share/Trash/files/with space & 100%.3.txt"_s), "2");
        QCOMPARE(home.read(u".local/share/Trash/info/with space & 100%.txt.trashinfo"_s),
                 "[Trash Info]\nPath=" + QUrl::toPercentEncoding(item, "/") +
                     "\nDeletionDate=2024-01-05T15:07:09\n");
    }

    // What the desktop is asked to run to open a terminal or reveal items.
    void terminals_data()
    {
        QTest::addColumn<QString>("terminalVariable");
        QTest::addColumn<QStringList>("installed"); // names found on PATH, in /opt/bin
        QTest::addColumn<QList<ProcessLaunch>>("expected");
        const QString folder = u"/data/My Files"_s;

        QTest::newRow("order of the fallbacks")
            << QString() << QStringList{u"xterm"_s, u"konsole"_s, u"gnome-terminal"_s}
            << QList<ProcessLaunch>{
                   {u"/opt/bin/gnome-terminal"_s, {u"--working-directory=/data/My Files"_s}, folder},
                   {u"/opt/bin/konsole"_s, {u"--workdir"_s, folder}, folder},
                   {u"/opt/bin/xterm"_s, {}, folder}};
        QTest::newRow("$TERMINAL first, with its arguments")
            << u"kitty --single-instance"_s << QStringList{u"kitty"_s, u"xfce4-terminal"_s}
            << QList<ProcessLaunch>{
                   {u"/opt/bin/kitty"_s, {u"--single-instance"_s, u"--directory"_s, folder}, folder},
                   {u"/opt/bin/xfce4-terminal"_s, {u"--working-directory=/data/My Files"_s}, folder}};
        QTest::newRow("$TERMINAL missing") << u"nosuchterm"_s << QStringList{u"xterm"_s}
                                           << QList<ProcessLaunch>{{u"/opt/bin/xterm"_s, {}, folder}};
    }

    void terminals()
    {
#ifdef Q_OS_DARWIN
        QSKIP("macOS opens Terminal.app");
#endif
        QFETCH(QString, terminalVariable);
        QFETCH(QStringList, installed);
        QFETCH(QList<ProcessLaunch>, expected);
        const auto finder = [&](const QString &name) {
            return installed.contains(name) ? u"/opt/bin/"_s + name : QString();
        };
        QCOMPARE(DesktopCommands::terminalLaunches(u"/data/My Files"_s, terminalVariable, finder), expected);
    }

    void revealAsksTheFileManager()
    {
#ifdef Q_OS_DARWIN
        QSKIP("macOS uses open -R");
#endif
        const ProcessLaunch launch = DesktopCommands::revealLaunch(
            {QUrl::fromLocalFile(u"/data/a, b.txt"_s), QUrl::fromLocalFile(u"/data/ü 100%"_s)});
        // A comma in a name must not split the array of URLs.
        QCOMPARE(launch.arguments.at(launch.arguments.size() - 2),
                 u"array:string:file:///data/a%2C%20b.txt,file:///data/%C3%BC%20100%25"_s);
    }
};

QTEST_GUILESS_MAIN(TestFileOperations)
#include "tst_fileoperations.moc"
