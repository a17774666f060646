#include "fileviews/filelistmodel.h"
#include "fileviews/fileviewhost.h"
#include "fileviews/selectbasename.h"
#include "filestore/filetypes.h"
#include "support/recordingservices.h"
#include "support/tempfolder.h"

#include <QLineEdit>
#include <QMenu>
#include <QTest>
#include <QTreeView>

namespace {

FileEntry entry(const QString &parent, const QString &name)
{
    const FileType &type = FileTypes::forFileName(name);
    return FileEntry(parent, name, false, 0, 1, type.kind, type.icon);
}

QStringList titles(const QMenu *menu)
{
    QStringList out;
    for (const QAction *action : menu->actions())
        out << (action->isSeparator() ? QStringLiteral("-") : action->text());
    return out;
}

QAction *actionNamed(const QMenu *menu, const QString &text)
{
    for (QAction *action : menu->actions())
        if (action->text() == text)
            return action;
    return nullptr;
}

// A list of five files in a tree view inside a host, with every callback recorded.
struct Fixture
{
    std::shared_ptr<RecordingPasteboard> pasteboard = std::make_shared<RecordingPasteboard>();
    std::shared_ptr<RecordingWorkspace> workspace = std::make_shared<RecordingWorkspace>();
    FileListModel model;
    QTreeView *view = new QTreeView;
    FileViewHost *host = nullptr;
    QList<QSet<QUrl>> trashed;
    QList<QSet<QUrl>> duplicated;
    QList<QUrl> opened;
    QList<QUrl> renames;
    QList<QUrl> terminals;
    int pastes = 0;
    int newFolders = 0;
    std::optional<QUrl> currentDirectory = QUrl::fromLocalFile("/storage/docs");

    Fixture()
    {
        QList<FileEntry> entries;
        for (const char *name : {"a.txt", "b.txt", "c.txt", "d.txt", "e.txt"})
            entries << entry("/storage/docs/", QString::fromLatin1(name));
        model.setEntries(entries);
        view->setModel(&model);
        view->setSelectionMode(QAbstractItemView::ExtendedSelection);
        view->setRootIsDecorated(false);

        FileViewActions actions;
        actions.open = [this](const QUrl &url) { opened << url; };
        actions.trash = [this](const QSet<QUrl> &urls) { trashed << urls; };
        actions.duplicate = [this](const QSet<QUrl> &urls) { duplicated << urls; };
        actions.paste = [this] { ++pastes; };
        actions.newFolder = [this] { ++newFolders; };
        actions.openInTerminal = [this](const QUrl &url) { terminals << url; };
        actions.currentDirectory = [this] { return currentDirectory; };
        host = new FileViewHost(
            actions,
            [this] {
                QSet<QUrl> urls;
                for (const QModelIndex &index : view->selectionModel()->selectedRows())
                    urls << model.entryAt(index.row()).url();
                return urls;
            },
            [this](const QPoint &global) -> std::optional<QUrl> {
                const QModelIndex index = view->indexAt(view->viewport()->mapFromGlobal(global));
                if (!index.isValid())
                    return std::nullopt;
                return model.entryAt(index.row()).url();
            },
            FilesState::Services{workspace, pasteboard, nullptr});
        host->setBeginRename([this](const QUrl &url) { renames << url; });
        host->embed(view);
        host->resize(600, 400);
        host->show();
    }
    ~Fixture() { delete host; }

    QUrl url(int row) const { return model.entryAt(row).url(); }
    void select(std::initializer_list<int> rows)
    {
        view->selectionModel()->clearSelection();
        for (int row : rows)
            view->selectionModel()->select(model.index(row, 0),
                                           QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }
    QPoint globalAtRow(int row) const
    {
        return view->viewport()->mapToGlobal(view->visualRect(model.index(row, 0)).center());
    }
    QPoint globalOnEmptySpace() const { return view->viewport()->mapToGlobal(QPoint(5, view->viewport()->height() - 5)); }
};

} // namespace

class TestFileViewHost : public QObject
{
    Q_OBJECT

private slots:
    void itemMenuOnASelectedItemTargetsTheSelection()
    {
        Fixture f;
        QVERIFY(QTest::qWaitForWindowExposed(f.host));
        f.select({0, 1, 2});
        QMenu *menu = f.host->rebuildMenu(f.globalAtRow(1));
        QCOMPARE(titles(menu), QStringList({"Open", "-", "Rename", "Move to Trash", "Duplicate", "Copy", "-",
                                            "Copy Path", "Reveal in Finder"}));
        QVERIFY(!actionNamed(menu, "Rename")->isEnabled());
        QVERIFY(actionNamed(menu, "Open")->isEnabled());
        actionNamed(menu, "Move to Trash")->trigger();
        QCOMPARE(f.trashed, (QList<QSet<QUrl>>{{f.url(0), f.url(1), f.url(2)}}));

        actionNamed(menu, "Copy Path")->trigger();
        QStringList paths = f.pasteboard->text.value_or(QString()).split('\n');
        paths.sort();
        QCOMPARE(paths, QStringList({"/storage/docs/a.txt", "/storage/docs/b.txt", "/storage/docs/c.txt"}));

        actionNamed(menu, "Open")->trigger();
        QCOMPARE(f.opened.size(), 3);
        actionNamed(menu, "Reveal in Finder")->trigger();
        QCOMPARE(f.workspace->revealed.size(), 1);
        QCOMPARE(f.workspace->revealed.first().size(), 3);
    }

    void itemMenuOutsideTheSelectionTargetsOnlyTheClickedItem()
    {
        Fixture f;
        QVERIFY(QTest::qWaitForWindowExposed(f.host));
        f.select({0, 1});
        QMenu *menu = f.host->rebuildMenu(f.globalAtRow(3));
        QCOMPARE(f.host->menuTargets(), QSet<QUrl>{f.url(3)});
        QVERIFY(actionNamed(menu, "Rename")->isEnabled());
        actionNamed(menu, "Rename")->trigger();
        QCOMPARE(f.renames, QList<QUrl>{f.url(3)});
        actionNamed(menu, "Duplicate")->trigger();
        QCOMPARE(f.duplicated, (QList<QSet<QUrl>>{{f.url(3)}}));
        actionNamed(menu, "Copy")->trigger();
        QCOMPARE(f.pasteboard->fileURLs, QList<QUrl>{f.url(3)});
        QCOMPARE(f.view->selectionModel()->selectedRows().size(), 2); // the selection stays
    }

    void backgroundMenu()
    {
        Fixture f;
        QVERIFY(QTest::qWaitForWindowExposed(f.host));
        f.select({0});
        QMenu *menu = f.host->rebuildMenu(f.globalOnEmptySpace());
        QVERIFY(f.host->menuTargets().isEmpty());
        QCOMPARE(titles(menu),
                 QStringList({"New Folder", "Paste Item", "-", "Copy Path", "Open in Terminal", "Reveal in Finder"}));
        // Only text on the clipboard: nothing to paste.
        f.pasteboard->writeText("hello");
        menu = f.host->rebuildMenu(f.globalOnEmptySpace());
        QVERIFY(!actionNamed(menu, "Paste Item")->isEnabled());
        f.pasteboard->writeFileURLs({QUrl::fromLocalFile("/tmp/x")});
        menu = f.host->rebuildMenu(f.globalOnEmptySpace());
        QVERIFY(actionNamed(menu, "Paste Item")->isEnabled());
        actionNamed(menu, "Paste Item")->trigger();
        QCOMPARE(f.pastes, 1);

        actionNamed(menu, "Copy Path")->trigger();
        QCOMPARE(f.pasteboard->text.value_or(QString()), "/storage/docs");
        actionNamed(menu, "Open in Terminal")->trigger();
        QCOMPARE(f.terminals, QList<QUrl>{QUrl::fromLocalFile("/storage/docs")});
        actionNamed(menu, "Reveal in Finder")->trigger();
        QCOMPARE(f.workspace->opened, QList<QUrl>{QUrl::fromLocalFile("/storage/docs")});
        actionNamed(menu, "New Folder")->trigger();
        QCOMPARE(f.newFolders, 1);

        // Without a current folder these do nothing; "Copy Path" leaves empty text.
        f.currentDirectory.reset();
        actionNamed(menu, "Open in Terminal")->trigger();
        actionNamed(menu, "Reveal in Finder")->trigger();
        actionNamed(menu, "Copy Path")->trigger();
        QCOMPARE(f.terminals.size(), 1);
        QCOMPARE(f.workspace->opened.size(), 1);
        QCOMPARE(f.pasteboard->text.value_or("unset"), QString());
    }

    void keys()
    {
        Fixture f;
        QVERIFY(QTest::qWaitForWindowExposed(f.host));
        f.view->setFocus();

        f.select({2});
        QTest::keyClick(f.view, Qt::Key_Return);
        QCOMPARE(f.renames, QList<QUrl>{f.url(2)});
        f.select({1, 2});
        QTest::keyClick(f.view, Qt::Key_Return);
        QCOMPARE(f.renames.size(), 1);

        QTest::keyClick(f.view, Qt::Key_Delete);
        QCOMPARE(f.trashed.last(), (QSet<QUrl>{f.url(1), f.url(2)}));
        f.select({});
        QTest::keyClick(f.view, Qt::Key_Backspace);
        QCOMPARE(f.trashed.size(), 2);
        QVERIFY(f.trashed.last().isEmpty());

        f.select({4});
        QTest::keySequence(f.view, QKeySequence::Copy);
        QCOMPARE(f.pasteboard->fileURLs, QList<QUrl>{f.url(4)});
        QTest::keySequence(f.view, QKeySequence::Paste);
        QCOMPARE(f.pastes, 1);
        // The menu targets are not the keyboard's business.
        QVERIFY(f.host->menuTargets().isEmpty());
    }

    void selectBaseName_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("folder");
        QTest::addColumn<QString>("selected");
        QTest::newRow("file") << "photo.jpg" << false << "photo";
        QTest::newRow("two extensions") << "archive.tar.gz" << false << "archive.tar";
        QTest::newRow("no extension") << "README" << false << "README";
        QTest::newRow("hidden-style name") << ".profile" << false << ".profile";
        QTest::newRow("folder with a dot") << "site.bundle" << true << "site.bundle";
        QTest::newRow("outside the BMP") << QString::fromUtf8("\xF0\x9F\x98\x80\xF0\x9F\x93\xB7.png") << false
                                         << QString::fromUtf8("\xF0\x9F\x98\x80\xF0\x9F\x93\xB7");
    }
    void selectBaseName()
    {
        QFETCH(QString, name);
        QFETCH(bool, folder);
        QFETCH(QString, selected);
        TempFolder dir;
        QVERIFY2(dir.isValid(), qPrintable(dir.errorString()));
        QVERIFY(folder ? dir.createDir(name) : dir.createFile(name));
        QLineEdit editor(name);
        ::selectBaseName(&editor, dir.url(name));
        QCOMPARE(editor.selectedText(), selected);
        QCOMPARE(editor.selectionStart(), 0);
        ::selectBaseName(nullptr, dir.url(name)); // no editor: nothing happens

        // An item that cannot be read counts as a file.
        QLineEdit missing("gone.dir.txt");
        ::selectBaseName(&missing, dir.url("gone.dir.txt"));
        QCOMPARE(missing.selectedText(), "gone.dir");
    }
};

QTEST_MAIN(TestFileViewHost)
#include "tst_fileviewhost.moc"
