#include "filestore/fileoperations.h"
#include "filestore/trash.h"
#include "support/tempfolder.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QTest>
#include <QTimeZone>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

// A socket cannot be copied: a reliable way, even as root, to make a copy fail part-way.
bool createSocket(const QString &path)
{
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    if (fd < 0)
        return false;
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const QByteArray encoded = QFile::encodeName(path);
    if (size_t(encoded.size()) >= sizeof address.sun_path) {
        ::close(fd);
        return false;
    }
    std::memcpy(address.sun_path, encoded.constData(), size_t(encoded.size()));
    const bool bound = ::bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0;
    ::close(fd);
    return bound;
}

// Every item below the folder, hidden ones included, as relative paths; links not followed.
QStringList treeOf(const QString &folder)
{
    QStringList items;
    QDirIterator it(folder, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        items.append(QDir(folder).relativeFilePath(it.next()));
    items.sort();
    return items;
}

mode_t modeOf(const QString &path)
{
    struct stat st;
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_mode : 0;
}

QString linkTarget(const QString &path)
{
    return QFile::symLinkTarget(path).isEmpty() ? QString() : QFileInfo(path).symLinkTarget();
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
        QTest::newRow("file onto file") << false << false;
        QTest::newRow("folder onto empty folder") << true << true;
        QTest::newRow("file onto folder") << false << true;
        QTest::newRow("folder onto file") << true << false;
    }

    void moveNeverReplaces()
    {
        QFETCH(bool, fromFolder);
        QFETCH(bool, toFolder);
        TempFolder dir;
        QVERIFY2(dir.isValid(), qPrintable(dir.errorString()));
        QVERIFY(fromFolder ? dir.createDir(u"a"_s) : dir.createFile(u"a"_s, "A"));
        QVERIFY(toFolder ? dir.createDir(u"b"_s) : dir.createFile(u"b"_s, "B"));
        const Status moved = FileOperations::moveNoReplace(dir.path(u"a"_s), dir.path(u"b"_s));
        QVERIFY(!moved);
        QVERIFY2(moved.error().contains(u"“a”"_s) && moved.error().contains(u"already exists"_s),
                 qPrintable(moved.error()));
        QCOMPARE(treeOf(dir.path()), (QStringList{u"a"_s, u"b"_s}));
        if (!toFolder)
            QCOMPARE(dir.read(u"b"_s), "B");

        QVERIFY(FileOperations::moveNoReplace(dir.path(u"a"_s), dir.path(u"c"_s)));
        QCOMPARE(treeOf(dir.path()), (QStringList{u"b"_s, u"c"_s}));
    }

    void copyKeepsContentModeTimeAndLinks()
    {
        TempFolder dir;
        QVERIFY(dir.isValid());
        const QDateTime when = QDateTime::fromSecsSinceEpoch(1'600'000'000, QTimeZone::utc());
        QVERIFY(dir.createFile(u"outside/secret.txt"_s, "outside"));
        QVERIFY(dir.createFile(u"src/tool.sh"_s, "#!/bin/sh\n", when));
        QCOMPARE(::chmod(QFile::encodeName(dir.path(u"src/tool.sh"_s)).constData(), 0751), 0);
        QVERIFY(dir.createFile(u"src/sub/deep/big.bin"_s, QByteArray(3 << 20, 'x')));
        QVERIFY(dir.createFile(u"src/empty"_s));
        QVERIFY(dir.createSymlink(dir.path(u"outside"_s), u"src/to-outside"_s));
        QVERIFY(dir.createSymlink(u".."_s, u"src/sub/loop"_s));
        QVERIFY(dir.createSymlink(u"missing"_s, u"src/dangling"_s));
        QCOMPARE(::mkfifo(QFile::encodeName(dir.path(u"src/fifo"_s)).constData(), 0600), 0);

        QVERIFY(FileOperations::copyItem(dir.path(u"src"_s), dir.path(u"dst"_s)));
        QCOMPARE(treeOf(dir.path(u"dst"_s)), treeOf(dir.path(u"src"_s)));
        QCOMPARE(dir.read(u"dst/sub/deep/big.bin"_s).size(), 3 << 20);
        QCOMPARE(dir.read(u"dst/tool.sh"_s), "#!/bin/sh\n");
        QCOMPARE(modeOf(dir.path(u"dst/tool.sh"_s)) & 07777, mode_t(0751));
        QCOMPARE(QFileInfo(dir.path(u"dst/tool.sh"_s)).lastModified().toUTC(), when);
        QCOMPARE(linkTarget(dir.path(u"dst/to-outside"_s)), dir.path(u"outside"_s));
        QVERIFY(S_ISLNK(modeOf(dir.path(u"dst/sub/loop"_s))));
        QVERIFY(S_ISLNK(modeOf(dir.path(u"dst/dangling"_s))));
        QVERIFY(S_ISFIFO(modeOf(dir.path(u"dst/fifo"_s))));
        QCOMPARE(treeOf(dir.path(u"outside"_s)), QStringList{u"secret.txt"_s});
    }

    void copyRefusesAnExistingDestination()
    {
        TempFolder dir;
        QVERIFY(dir.isValid());
        QVERIFY(dir.createFile(u"a.txt"_s, "new"));
        QVERIFY(dir.createFile(u"b.txt"_s, "old"));
        QVERIFY(!FileOperations::copyItem(dir.path(u"a.txt"_s), dir.path(u"b.txt"_s)));
        QCOMPARE(dir.read(u"b.txt"_s), "old");
        QCOMPARE(treeOf(dir.path()), (QStringList{u"a.txt"_s, u"b.txt"_s}));
    }

    // A copy that fails part-way leaves nothing behind: no final name, no temporary.
    void failedCopyLeavesNothing()
    {
        TempFolder dir;
        QVERIFY(dir.isValid());
        QVERIFY(dir.createFile(u"src/a.txt"_s, "a"));
        QVERIFY(dir.createDir(u"dst"_s));
        QVERIFY(createSocket(dir.path(u"src/zz.sock"_s)));
        const Status copied = FileOperations::copyItem(dir.path(u"src"_s), dir.path(u"dst/src"_s));
        QVERIFY(!copied);
        QVERIFY2(copied.error().startsWith(u"“src” couldn’t be copied because"_s), qPrintable(copied.error()));
        QCOMPARE(treeOf(dir.path(u"dst"_s)), QStringList{});
    }

    void copyReplacing_data()
    {
        QTest::addColumn<bool>("sourceIsFolder");
        QTest::addColumn<bool>("existingIsFolder");
        QTest::addColumn<bool>("sourceFails");
        for (bool fails : {false, true}) {
            const char *suffix = fails ? ", copy fails" : "";
            QTest::addRow("file over file%s", suffix) << false << false << fails;
            QTest::addRow("folder over folder%s", suffix) << true << true << fails;
            QTest::addRow("folder over file%s", suffix) << true << false << fails;
            QTest::addRow("file over folder%s", suffix) << false << true << fails;
        }
    }

    void copyReplacing()
    {
        QFETCH(bool, sourceIsFolder);
        QFETCH(bool, existingIsFolder);
        QFETCH(bool, sourceFails);
        TempFolder dir;
        QVERIFY(dir.isValid());
        if (sourceIsFolder) {
            QVERIFY(dir.createFile(u"host/item/new.txt"_s, "new"));
            if (sourceFails)
                QVERIFY(createSocket(dir.path(u"host/item/s.sock"_s)));
        } else if (!sourceFails) {
            QVERIFY(dir.createFile(u"host/item"_s, "new"));
        } // a missing source file fails too
        QVERIFY(existingIsFolder ? dir.createFile(u"store/item/old.txt"_s, "old")
                                 : dir.createFile(u"store/item"_s, "old"));
        const QStringList before = treeOf(dir.path(u"store"_s));

        const Status copied = FileOperations::copyReplacing(dir.path(u"host/item"_s), dir.path(u"store/item"_s));
        QCOMPARE(copied.ok(), !sourceFails);
        if (sourceFails) {
            QCOMPARE(treeOf(dir.path(u"store"_s)), before);
            QCOMPARE(dir.read(existingIsFolder ? u"store/item/old.txt"_s : u"store/item"_s), "old");
        } else {
            QCOMPARE(treeOf(dir.path(u"store"_s)), sourceIsFolder ? (QStringList{u"item"_s, u"item/new.txt"_s})
                                                                   : QStringList{u"item"_s});
            QCOMPARE(dir.read(sourceIsFolder ? u"store/item/new.txt"_s : u"store/item"_s), "new");
        }
    }

    // QDir::removeRecursively would empty the folder a link points to.
    void removeTakesALinkAsALink()
    {
        TempFolder dir;
        QVERIFY(dir.isValid());
        QVERIFY(dir.createFile(u"target/keep.txt"_s, "keep"));
        QVERIFY(dir.createFile(u"tree/sub/a.txt"_s, "a"));
        QVERIFY(dir.createSymlink(dir.path(u"target"_s), u"tree/link"_s));
        QVERIFY(dir.createSymlink(dir.path(u"target"_s), u"toplink"_s));
        QVERIFY(FileOperations::removeItem(dir.path(u"toplink"_s)));
        QVERIFY(FileOperations::removeItem(dir.path(u"tree"_s)));
        QCOMPARE(treeOf(dir.path()), (QStringList{u"target"_s, u"target/keep.txt"_s}));
        QVERIFY(!FileOperations::removeItem(dir.path(u"missing"_s)));
    }

    void createFolder()
    {
        TempFolder dir;
        QVERIFY(dir.isValid());
        QVERIFY(FileOperations::createFolder(dir.path(u"new"_s)));
        QCOMPARE(FileOperations::isDirectory(dir.path(u"new"_s)), true);
        QVERIFY(!FileOperations::createFolder(dir.path(u"new"_s)));
        QVERIFY(!FileOperations::createFolder(dir.path(u"missing/new"_s)));
        QCOMPARE(FileOperations::isDirectory(dir.path(u"missing"_s)), std::nullopt);
    }

    void sameOrInside_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("folder");
        QTest::addColumn<bool>("inside");
        QTest::newRow("itself") << u"a"_s << u"a"_s << true;
        QTest::newRow("child") << u"a/b"_s << u"a"_s << true;
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
        QVERIFY(dir.isValid());
        QVERIFY(dir.createDir(u"a/b/c"_s));
        QVERIFY(dir.createDir(u"ab"_s));
        QVERIFY(dir.createSymlink(dir.path(u"a/b"_s), u"link-to-b"_s));
        QCOMPARE(FileOperations::isSameOrInside(dir.path(path), dir.path(folder)), inside);
    }

    // A fresh account: no ~/.local/share yet, and the trash must not land in the working folder.
    void trashInAFreshHome()
    {
        TempFolder home;
        TempFolder work;
        QVERIFY(home.isValid() && work.isValid());
        ScopedEnv homeEnv("HOME", QFile::encodeName(home.path()));
        ScopedEnv dataEnv("XDG_DATA_HOME", {});
        const QString oldCurrent = QDir::currentPath();
        QVERIFY(QDir::setCurrent(work.path()));
        QVERIFY(work.createFile(u"stuff/with space & 100%.txt"_s, "x"));
        QVERIFY(work.createFile(u"stuff/folder/inner.txt"_s, "y"));

        const QDateTime fixed(QDate(2024, 1, 5), QTime(15, 7, 9));
        FreedesktopTrash trash([fixed] { return fixed; });
        QCOMPARE(FreedesktopTrash::homeTrashPath(), home.path(u".local/share/Trash"_s));
        QVERIFY(trash.moveToTrash(work.path(u"stuff/with space & 100%.txt"_s)));
        QVERIFY(trash.moveToTrash(work.path(u"stuff/folder"_s)));
        QVERIFY(QDir::setCurrent(oldCurrent));

        QCOMPARE(treeOf(work.path()), QStringList{u"stuff"_s});
        const QString trashPath = home.path(u".local/share/Trash"_s);
        QCOMPARE(modeOf(trashPath) & 0777, mode_t(0700));
        QCOMPARE(modeOf(trashPath + u"/files"_s) & 0777, mode_t(0700));
        QCOMPARE(modeOf(trashPath + u"/info"_s) & 0777, mode_t(0700));
        QCOMPARE(treeOf(trashPath + u"/files"_s),
                 (QStringList{u"folder"_s, u"folder/inner.txt"_s, u"with space & 100%.txt"_s}));
        QFile info(trashPath + u"/info/with space & 100%.txt.trashinfo"_s);
        QVERIFY(info.open(QIODevice::ReadOnly));
        const QByteArray encodedPath =
            QUrl::toPercentEncoding(work.path(u"stuff/with space & 100%.txt"_s), "/");
        QCOMPARE(info.readAll(),
                 "[Trash Info]\nPath=" + encodedPath + "\nDeletionDate=2024-01-05T15:07:09\n");
        QVERIFY(encodedPath.contains("with%20space%20%26%20100%25.txt"));
    }

    void trashCollisionsAndFailures()
    {
        TempFolder data;
        TempFolder work;
        QVERIFY(data.isValid() && work.isValid());
        ScopedEnv dataEnv("XDG_DATA_HOME", QFile::encodeName(data.path()));
        FreedesktopTrash trash;
        for (int i = 0; i < 3; ++i) {
            QVERIFY(work.createFile(u"photo.jpg"_s, QByteArray::number(i)));
            QVERIFY(trash.moveToTrash(work.path(u"photo.jpg"_s)));
        }
        QCOMPARE(treeOf(data.path(u"Trash/files"_s)), (QStringList{u"photo.2.jpg"_s, u"photo.3.jpg"_s, u"photo.jpg"_s}));
        QCOMPARE(treeOf(data.path(u"Trash/info"_s)), (QStringList{u"photo.2.jpg.trashinfo"_s,
                                                                   u"photo.3.jpg.trashinfo"_s,
                                                                   u"photo.jpg.trashinfo"_s}));
        QCOMPARE(data.read(u"Trash/files/photo.3.jpg"_s), "2");

        const Status missing = trash.moveToTrash(work.path(u"missing.txt"_s));
        QVERIFY(!missing);
        QVERIFY2(missing.error().contains(u"missing.txt"_s), qPrintable(missing.error()));
        QCOMPARE(treeOf(data.path(u"Trash/info"_s)).size(), 3); // no stray info file
    }
};

QTEST_GUILESS_MAIN(TestFileOperations)
#include "tst_fileoperations.moc"
