#include "filestore/listing.h"
#include "fileviews/fileiconview.h"
#include "fileviews/fileviewhost.h"
#include "support/recordingservices.h"
#include "support/tempfolder.h"

#include <QAbstractItemView>
#include <QAccessible>
#include <QApplication>
#include <QContextMenuEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QRegularExpression>
#include <QScrollBar>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTest>

#include <cmath>

namespace {

QStringList titles(const QMenu *menu)
{
    QStringList out;
    for (const QAction *action : menu->actions())
        out << (action->isSeparator() ? QStringLiteral("-") : action->text());
    return out;
}

// The icon grid of a real folder inside its host, with a screen stand-in that keeps the bound
// values and records every callback.
struct Grid
{
    TempFolder folder;
    std::shared_ptr<RecordingPasteboard> pasteboard = std::make_shared<RecordingPasteboard>();
    std::shared_ptr<RecordingWorkspace> workspace = std::make_shared<RecordingWorkspace>();
    FileIconView view{FilesState::Services{workspace, pasteboard, nullptr}};

    QList<FileEntry> entries;
    double iconSize = 64;
    QSet<QUrl> selection;
    std::optional<QUrl> renameRequest;

    QList<QUrl> opened;
    QList<QPair<QUrl, QString>> renames;
    QList<QSet<QUrl>> selectionReports;
    QList<QSet<QUrl>> trashed;

    explicit Grid(const QStringList &names, QSize size = QSize(600, 400))
    {
        for (const QString &name : names) {
            if (name.endsWith('/'))
                folder.createDir(name);
            else
                folder.createFile(name, "x");
        }
        entries = listDirectory(folder.path());
        render();
        view.host()->resize(size);
        view.host()->show();
    }

    FileIconView::Description description()
    {
        FileIconView::Description d;
        d.entries = entries;
        d.iconSize = iconSize;
        d.selection = {selection, [this](const QSet<QUrl> &value) { selection = value; }};
        d.renameRequest = {renameRequest,
                           [this](const std::optional<QUrl> &value) { renameRequest = value; }};
        d.actions.open = [this](const QUrl &url) { opened << url; };
        d.actions.rename = [this](const QUrl &url, const QString &name) { renames << qMakePair(url, name); };
        d.actions.selectionChanged = [this](const QSet<QUrl> &urls) { selectionReports << urls; };
        d.actions.trash = [this](const QSet<QUrl> &urls) { trashed << urls; };
        d.actions.currentDirectory = [this] { return std::optional<QUrl>(folder.url()); };
        return d;
    }
    void render() { view.update(description()); }

    QAbstractItemView *grid() const { return view.host()->findChild<QAbstractItemView *>(); }
    QWidget *viewport() const { return grid()->viewport(); }
    int row(const QString &name) const
    {
        for (int i = 0; i < entries.size(); ++i)
            if (entries.at(i).name() == name)
                return i;
        return -1;
    }
    QModelIndex index(const QString &name) const { return grid()->model()->index(row(name), 0); }
    QUrl url(const QString &name) const { return folder.url(name); }
    QRect rect(const QString &name) const { return grid()->visualRect(index(name)); }
    QPoint centre(const QString &name) const { return rect(name).center(); }
    QSet<int> selectedRows() const
    {
        QSet<int> rows;
        for (const QModelIndex &index : grid()->selectionModel()->selectedIndexes())
            rows << index.row();
        return rows;
    }
    QLineEdit *editor() const { return qobject_cast<QLineEdit *>(QApplication::focusWidget()); }
};

// What a real double click delivers: press, release, double-click press, release.
void doubleClick(QWidget *widget, QPoint pos, Qt::MouseButton button = Qt::LeftButton)
{
    QTest::mousePress(widget, button, {}, pos);
    QTest::mouseRelease(widget, button, {}, pos);
    QTest::mouseDClick(widget, button, {}, pos);
    QTest::mouseRelease(widget, button, {}, pos);
}

QColor blend(const QColor &over, qreal alpha, const QColor &under)
{
    return QColor::fromRgbF(over.redF() * alpha + under.redF() * (1 - alpha),
                            over.greenF() * alpha + under.greenF() * (1 - alpha),
                            over.blueF() * alpha + under.blueF() * (1 - alpha));
}

bool near(const QColor &a, const QColor &b)
{
    return std::abs(a.red() - b.red()) <= 2 && std::abs(a.green() - b.green()) <= 2 &&
           std::abs(a.blue() - b.blue()) <= 2;
}

// How many pixels of the colour lie in the area of the image.
int pixelsOf(const QImage &image, const QRect &area, const QColor &colour)
{
    int count = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            if (near(image.pixelColor(x, y), colour))
                ++count;
    return count;
}

// The smallest rectangle holding every pixel of the colour in the area.
QRect boundsOf(const QImage &image, const QRect &area, const QColor &colour)
{
    QRect bounds;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            if (near(image.pixelColor(x, y), colour))
                bounds |= QRect(x, y, 1, 1);
    return bounds;
}

// Pixels close to white: the antialiased strokes of white text.
int lightPixels(const QImage &image, const QRect &area)
{
    int count = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            if (const QColor c = image.pixelColor(x, y); std::min({c.red(), c.green(), c.blue()}) > 225)
                ++count;
    return count;
}

} // namespace

class TestFileIconView : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    void geometry_data()
    {
        QTest::addColumn<double>("iconSize");
        QTest::addColumn<QSize>("item");
        QTest::addColumn<QRect>("tile");
        QTest::addColumn<QRect>("icon");
        QTest::addColumn<int>("labelTop");
        QTest::newRow("64") << 64.0 << QSize(88, 110) << QRect(6, 0, 76, 76) << QRect(12, 6, 64, 64) << 80;
        QTest::newRow("96") << 96.0 << QSize(120, 142) << QRect(6, 0, 108, 108) << QRect(12, 6, 96, 96)
                            << 112;
        QTest::newRow("32, the smallest")
            << 32.0 << QSize(56, 78) << QRect(6, 0, 44, 44) << QRect(12, 6, 32, 32) << 48;
        QTest::newRow("256, the largest")
            << 256.0 << QSize(280, 302) << QRect(6, 0, 268, 268) << QRect(12, 6, 256, 256) << 272;
        QTest::newRow("fraction rounds")
            << 63.6 << QSize(88, 110) << QRect(6, 0, 76, 76) << QRect(12, 6, 64, 64) << 80;
        QTest::newRow("not a number")
            << std::nan("") << QSize(88, 110) << QRect(6, 0, 76, 76) << QRect(12, 6, 64, 64) << 80;
        QTest::newRow("negative") << -10.0 << QSize(88, 110) << QRect(6, 0, 76, 76) << QRect(12, 6, 64, 64)
                                  << 80;
    }
    void geometry()
    {
        QFETCH(double, iconSize);
        const auto g = FileCollectionItem::geometry(iconSize);
        QTEST(g.itemSize, "item");
        QTEST(g.tile, "tile");
        QTEST(g.icon, "icon");
        QCOMPARE(g.tileRadius, 8);
        QCOMPARE(g.labelRadius, 4);
        QTEST(g.label.top(), "labelTop");
        QCOMPARE(g.label.bottom(), g.itemSize.height() - 1);
        QCOMPARE(g.label.width(), g.itemSize.width());
    }

    void layoutHasInsetsAndSpacing()
    {
        Grid g({"a.txt", "b.txt", "c.txt", "d.txt", "e.txt", "f.txt", "g.txt", "h.txt"}, QSize(400, 600));
        QVERIFY(QTest::qWaitForWindowExposed(g.view.host()));
        QCOMPARE(g.rect("a.txt"), QRect(16, 16, 88, 110));
        QCOMPARE(g.rect("b.txt").left(), 16 + 88 + 8);
        // Four items fit in 400 points (16 + 4 × 88 + 3 × 8 + 16 = 408 does not): three per line.
        QCOMPARE(g.rect("d.txt").topLeft(), QPoint(16, 16 + 110 + 8));
        QCOMPARE(g.grid()->indexAt(g.centre("e.txt")), g.index("e.txt"));
    }

    void iconSizeChangeResizesItemsAndKeepsTheSelection()
    {
        Grid g({"a.txt", "b.txt", "c.txt"});
        QVERIFY(QTest::qWaitForWindowExposed(g.view.host()));
        QTest::mouseClick(g.viewport(), Qt::LeftButton, {}, g.centre("b.txt"));
        QCOMPARE(g.selection, QSet<QUrl>{g.url("b.txt")});
        QCOMPARE(g.rect("b.txt").size(), QSize(88, 110));

        QSignalSpy resets(g.grid()->model(), &QAbstractItemModel::modelReset);
        g.iconSize = 96;
        g.render();
        QCOMPARE(g.rect("a.txt"), QRect(16, 16, 120, 142));
        QCOMPARE(g.rect("b.txt").size(), QSize(120, 142));
        QCOMPARE(g.selectedRows(), QSet<int>{g.row("b.txt")});
        QCOMPARE(g.selectionReports.size(), 1); // the resize reported nothing

        // The same entries listed again (equal by value) and the same size: nothing reloads.
        g.entries = listDirectory(g.folder.path());
        g.render();
        QCOMPARE(resets.size(), 0);
        // New entries reload the items; the bound selection is put back.
        g.folder.createFile("0.txt");
        g.entries = listDirectory(g.folder.path());
        g.render();
        QCOMPARE(g.grid()->model()->rowCount(), 4);
        QCOMPARE(g.selectedRows(), QSet<int>{g.row("b.txt")});
        QCOMPARE(g.row("b.txt"), 2);
        QCOMPARE(g.selectionReports.size(), 1);
    }

    void boundSelectionIsAppliedWithoutReport()
    {
        Grid g({"a.txt", "b.txt", "c.txt", "d/"});
        g.selection = {g.url("a.txt"), g.url("c.txt"), g.folder.url("not-listed.txt"),
                       QUrl("https://example.com/a.txt")};
        g.render();
        QCOMPARE(g.selectedRows(), (QSet<int>{0, 2}));
        // A folder URL written with a trailing slash still matches by path.
        g.selection = {QUrl::fromLocalFile(g.folder.path("d") + "/")};
        g.render();
        QCOMPARE(g.selectedRows(), QSet<int>{3});
        g.selection.clear();
        g.render();
        QVERIFY(g.selectedRows().isEmpty());
        QVERIFY(g.selectionReports.isEmpty());
    }

    void clickSelectsAndPaintsTheSelection()
    {
        Grid g({"a.txt", "b.txt", "c.txt"});
        QVERIFY(QTest::qWaitForWindowExposed(g.view.host()));
        QTest::mouseClick(g.viewport(), Qt::LeftButton, {}, g.centre("a.txt"));
        QCOMPARE(g.selectionReports, QList<QSet<QUrl>>{{g.url("a.txt")}});
        QCOMPARE(g.selection, QSet<QUrl>{g.url("a.txt")});
        QTest::mouseClick(g.viewport(), Qt::LeftButton, Qt::ControlModifier, g.centre("c.txt"));
        QCOMPARE(g.selectionReports.size(), 2);
        QCOMPARE(g.selection, (QSet<QUrl>{g.url("a.txt"), g.url("c.txt")}));
        QTest::mouseClick(g.viewport(), Qt::LeftButton, {}, g.centre("b.txt"));
        QCOMPARE(g.selection, QSet<QUrl>{g.url("b.txt")});

        const QImage image = g.viewport()->grab().toImage();
        const QPalette palette = g.grid()->palette();
        const QColor window = palette.color(QPalette::Window);
        const QColor tile = blend(palette.color(QPalette::WindowText), 0.15, window);
        const auto geometry = FileCollectionItem::geometry(64);
        const QPoint selected = g.rect("b.txt").topLeft();
        const QPoint plain = g.rect("a.txt").topLeft();
        // The tile's left margin beside the icon, mid-height; its corner is cut by the radius.
        const QPoint margin = geometry.tile.topLeft() + QPoint(2, geometry.tile.height() / 2);
        QVERIFY(near(image.pixelColor(selected + margin), tile));
        QVERIFY(near(image.pixelColor(plain + margin), window));
        QVERIFY(near(image.pixelColor(selected + geometry.tile.topLeft() + QPoint(8, 1)), tile));
        QVERIFY(!near(image.pixelColor(selected + geometry.tile.topLeft()), tile));
        // The name: white on the accent colour when selected, none of either otherwise.
        const QRect label = geometry.label.adjusted(0, 0, 0, -14);
        const QColor accent = palette.color(QPalette::Active, QPalette::Highlight);
        QVERIFY(pixelsOf(image, label.translated(selected), accent) > 50);
        QVERIFY(lightPixels(image, boundsOf(image, label.translated(selected), accent)) > 5);
        QCOMPARE(pixelsOf(image, label.translated(plain), accent), 0);
    }

    void rubberBandAndArrowKeysSelect()
    {
        Grid g({"a.txt", "b.txt", "c.txt", "d.txt", "e.txt", "f.txt", "g.txt"}, QSize(400, 600));
        QVERIFY(QTest::qWaitForWindowExposed(g.view.host()));
        // From the top inset across the first two tiles of the first line.
        QTest::mousePress(g.viewport(), Qt::LeftButton, {}, QPoint(8, 8));
        QTest::mouseMove(g.viewport(), g.centre("b.txt"));
        QTest::mouseRelease(g.viewport(), Qt::LeftButton, {}, g.centre("b.txt"));
        QCOMPARE(g.selection, (QSet<QUrl>{g.url("a.txt"), g.url("b.txt")}));

        QTest::mouseClick(g.viewport(), Qt::LeftButton, {}, g.centre("a.txt"));
        QTest::keyClick(g.grid(), Qt::Key_Right);
        QCOMPARE(g.selection, QSet<QUrl>{g.url("b.txt")});
        QTest::keyClick(g.grid(), Qt::Key_Down); // three per line
        QCOMPARE(g.selection, QSet<QUrl>{g.url("e.txt")});
        QTest::keyClick(g.grid(), Qt::Key_Down); // into the shorter last line
        QCOMPARE(g.selection, QSet<QUrl>{g.url("g.txt")});
        QTest::keyClick(g.grid(), Qt::Key_A, Qt::ControlModifier);
        QCOMPARE(g.selection.size(), 7);
    }

    void doubleClickOpensOnce()
    {
        Grid g({"a.txt", "b.txt"});
        QVERIFY(QTest::qWaitForWindowExposed(g.view.host()));
        doubleClick(g.viewport(), g.centre("b.txt"));
        QCOMPARE(g.opened, QList<QUrl>{g.url("b.txt")});
        QCOMPARE(g.selectionReports, QList<QSet<QUrl>>{{g.url("b.txt")}});
        // Empty space and the right button open nothing.
        doubleClick(g.viewport(), QPoint(g.viewport()->width() - 5, g.viewport()->height() - 5));
        doubleClick(g.viewport(), g.centre("a.txt"), Qt::RightButton);
        QCOMPARE(g.opened.size(), 1);
    }

    void menuOnEmptySpaceBetweenTiles()
    {
        Grid g({"a.txt", "b.txt"});
        QVERIFY(QTest::qWaitForWindowExposed(g.view.host()));
        g.selection = {g.url("a.txt")};
        g.render();
        const QPoint gap(g.rect("a.txt").right() + 4, g.rect("a.txt").center().y());
        QMenu *menu = g.view.host()->rebuildMenu(g.viewport()->mapToGlobal(gap));
        QCOMPARE(titles(menu), QStringList({"New Folder", "Paste Item", "-", "Copy Path", "Open in Terminal",
                                            "Reveal in Finder"}));
        QVERIFY(g.view.host()->menuTargets().isEmpty());

        // A real right-click on a tile outside the selection targets that tile.
        const QPoint onB = g.centre("b.txt");
        QContextMenuEvent event(QContextMenuEvent::Mouse, onB, g.viewport()->mapToGlobal(onB));
        QApplication::sendEvent(g.viewport(), &event);
        QCOMPARE(g.view.host()->menuTargets(), QSet<QUrl>{g.url("b.txt")});
        QCOMPARE(titles(g.view.host()->menu()).first(), "Open");
        g.view.host()->menu()->close();
        QCOMPARE(g.selection, QSet<QUrl>{g.url("a.txt")});
    }

    void keysReachTheHostAndDragOffersFileURLs()
    {
        Grid g({"a.txt", "b.txt"});
        QVERIFY(QTest::qWaitForWindowExposed(g.view.host()));
        QTest::mouseClick(g.viewport(), Qt::LeftButton, {}, g.centre("a.txt"));
        QTest::keyClick(g.grid(), Qt::Key_Backspace);
        QCOMPARE(g.trashed, QList<QSet<QUrl>>{{g.url("a.txt")}});

        QAbstractItemModel *model = g.grid()->model();
        QVERIFY(g.grid()->dragEnabled());
        QCOMPARE(model->supportedDragActions(), Qt::CopyAction);
        std::unique_ptr<QMimeData> mime(model->mimeData(g.grid()->selectionModel()->selectedIndexes()));
        QCOMPARE(mime->urls(), QList<QUrl>{g.url("a.txt")});
    }

    void returnCommitsAChangedName()
    {
        Grid g({"a.txt", "photo.jpg"});
        QVERIFY(QTest::qWaitForWindowExposed(g.view.host()));
        g.renameRequest = g.url("photo.jpg");
        g.render();
        QVERIFY(!g.editor()); // deferred to the next turn of the event loop
        QTRY_VERIFY(g.editor());
        QCOMPARE(g.editor()->text(), "photo.jpg");
        QCOMPARE(g.editor()->selectedText(), "photo");
        QCOMPARE(g.renameRequest, std::nullopt);
        QCOMPARE(g.selectedRows(), QSet<int>{g.row("photo.jpg")});
        QVERIFY(g.selectionReports.isEmpty());

        QTest::keyClicks(g.editor(), "holiday");
        QTest::keyClick(g.editor(), Qt::Key_Return);
        QTRY_COMPARE(g.renames.size(), 1);
        QCOMPARE(g.renames.first(), qMakePair(g.url("photo.jpg"), QString("holiday.jpg")));
        QTRY_VERIFY(!g.grid()->indexWidget(g.index("photo.jpg")));
        QCoreApplication::processEvents();
        QCOMPARE(g.renames.size(), 1);

        // Unchanged: nothing is sent.
        g.renameRequest = g.url("a.txt");
        g.render();
        QTRY_VERIFY(g.editor());
        QTest::keyClick(g.editor(), Qt::Key_Return);
        QTRY_VERIFY(!g.grid()->indexWidget(g.index("a.txt")));
        QCOMPARE(g.renames.size(), 1);
    }

    void escapeRestoresTheName()
    {
        Grid g({"a.txt", "notes.md"});
        QVERIFY(QTest::qWaitForWindowExposed(g.view.host()));
        QTest::mouseClick(g.viewport(), Qt::LeftButton, {}, g.centre("notes.md"));
        QTest::keyClick(g.grid(), Qt::Key_Return); // the host starts renaming the selected item
        QVERIFY(g.editor());
        QCOMPARE(g.editor()->selectedText(), "notes");
        QTest::keyClicks(g.editor(), "changed");
        QTest::keyClick(g.editor(), Qt::Key_Escape);
        QVERIFY(!g.grid()->indexWidget(g.index("notes.md")));
        QCoreApplication::processEvents();
        QVERIFY(g.renames.isEmpty());
        // Editing again starts from the old name.
        QTest::keyClick(g.grid(), Qt::Key_Return);
        QVERIFY(g.editor());
        QCOMPARE(g.editor()->text(), "notes.md");
    }

    void focusElsewhereCommits()
    {
        Grid g({"a.txt", "b.txt"});
        QApplication::setActiveWindow(g.view.host());
        QVERIFY(QTest::qWaitForWindowActive(g.view.host()));
        QTest::mouseClick(g.viewport(), Qt::LeftButton, {}, g.centre("b.txt"));
        QTest::keyClick(g.grid(), Qt::Key_Return);
        QVERIFY(g.editor());
        QTest::keyClicks(g.editor(), "c");
        // A click on empty space between the tiles takes the focus.
        QTest::mouseClick(g.viewport(), Qt::LeftButton, {},
                          QPoint(g.rect("a.txt").right() + 4, g.rect("a.txt").center().y()));
        QTRY_COMPARE(g.renames, (QList<QPair<QUrl, QString>>{{g.url("b.txt"), "c.txt"}}));
    }

    void goingAwayWhileEditingRenamesNothing()
    {
        // The editor must not outlive the view's bookkeeping, nor commit on its way out.
        QTest::failOnWarning(QRegularExpression("editor that does not belong"));
        auto g = std::make_unique<Grid>(QStringList{"a.txt"});
        QVERIFY(QTest::qWaitForWindowExposed(g->view.host()));
        QTest::mouseClick(g->viewport(), Qt::LeftButton, {}, g->centre("a.txt"));
        QTest::keyClick(g->grid(), Qt::Key_Return);
        QVERIFY(g->editor());
        QTest::keyClicks(g->editor(), "b");
        QList<QPair<QUrl, QString>> renames;
        g->view.update([&] {
            FileIconView::Description d = g->description();
            d.actions.rename = [&](const QUrl &url, const QString &name) { renames << qMakePair(url, name); };
            return d;
        }());
        g.reset();
        QCoreApplication::processEvents();
        QVERIFY(renames.isEmpty());
    }

    void renameRequestScrollsTheItemIntoView()
    {
        QStringList names;
        for (int i = 0; i < 120; ++i)
            names << QString("file %1.txt").arg(i, 3, 10, QChar('0'));
        Grid g(names, QSize(400, 300));
        QVERIFY(QTest::qWaitForWindowExposed(g.view.host()));
        QVERIFY(!g.viewport()->rect().contains(g.rect("file 110.txt")));
        g.renameRequest = g.url("file 110.txt");
        g.render();
        QTRY_VERIFY(g.editor());
        QVERIFY(g.grid()->verticalScrollBar()->value() > 0);
        QVERIFY(g.viewport()->rect().contains(g.rect("file 110.txt")));
        QCOMPARE(g.editor()->selectedText(), "file 110");
    }

    void renameRequestWaitsForTheItem()
    {
        Grid g({"a.txt"});
        QVERIFY(QTest::qWaitForWindowExposed(g.view.host()));
        g.renameRequest = g.url("untitled folder");
        g.render();
        QCoreApplication::processEvents();
        QVERIFY(!g.editor());
        QCOMPARE(g.renameRequest, g.url("untitled folder"));

        // The folder appears with the next listing: its whole name, dot included, is preselected.
        QVERIFY(g.folder.createDir("untitled folder"));
        g.entries = listDirectory(g.folder.path());
        g.render();
        QTRY_VERIFY(g.editor());
        QCOMPARE(g.editor()->selectedText(), "untitled folder");
        QCOMPARE(g.renameRequest, std::nullopt);
    }

    // A screen reader finds the grid's items as a list: names, places, selection, the item with
    // the focus, and the list following the folder when it changes. (The notices it gets are
    // checked under X11, where Qt delivers them.)
    void screenReadersReadTheItems()
    {
        Grid g({"b.txt", "a folder/", "Zed.md", "c\u00e9.txt"});
        QVERIFY(QTest::qWaitForWindowExposed(g.view.host()));
        QAccessibleInterface *list = QAccessible::queryAccessibleInterface(g.grid());
        QVERIFY(list);
        QCOMPARE(list->role(), QAccessible::List);
        QCOMPARE(list->text(QAccessible::Name), "Files");
        QCOMPARE(list->childCount(), g.entries.size());
        for (int i = 0; i < g.entries.size(); ++i) {
            QAccessibleInterface *item = list->child(i);
            QVERIFY(item && item->isValid());
            QCOMPARE(item->role(), QAccessible::ListItem);
            QCOMPARE(item->text(QAccessible::Name), g.entries.at(i).name());
            QCOMPARE(list->indexOfChild(item), i);
            QCOMPARE(item->parent(), list);
            QCOMPARE(list->child(i), item); // one interface per item, not one per question
            const QRect onScreen = item->rect();
            QCOMPARE(onScreen.size(), g.rect(g.entries.at(i).name()).size());
            QCOMPARE(list->childAt(onScreen.center().x(), onScreen.center().y()), item);
            QVERIFY(!item->state().selected);
            QVERIFY(item->state().selectable && item->state().multiSelectable);
        }
        QCOMPARE(list->child(int(g.entries.size())), nullptr);
        QCOMPARE(list->child(-1), nullptr);

        g.grid()->setFocus();
        QTest::mouseClick(g.viewport(), Qt::LeftButton, {}, g.centre("Zed.md"));
        const int zed = g.row("Zed.md");
        QVERIFY(list->child(zed)->state().selected);
        QVERIFY(list->child(zed)->state().focused);
        QCOMPARE(list->focusChild(), list->child(zed));
        QTest::keyClick(g.grid(), Qt::Key_Home);
        QVERIFY(!list->child(zed)->state().selected);
        QVERIFY(list->child(0)->state().selected);

        // The folder changes: the old items go stale and the list reads the new rows.
        const QAccessible::Id staleId = QAccessible::uniqueId(list->child(g.row("b.txt")));
        QVERIFY(QFile::remove(g.folder.path() + "/b.txt"));
        g.entries = listDirectory(g.folder.path());
        g.render();
        QCOMPARE(list->childCount(), g.entries.size());
        QStringList names;
        for (int i = 0; i < list->childCount(); ++i)
            names << list->child(i)->text(QAccessible::Name);
        QCOMPARE(names.size(), 3);
        QVERIFY(!names.contains("b.txt"));
        QCOMPARE(names.first(), g.entries.first().name());
        QCOMPARE(QAccessible::accessibleInterface(staleId), nullptr);
    }
};

QTEST_MAIN(TestFileIconView)
#include "tst_fileiconview.moc"
