// Drives the real window against the demo devices and saves the screenshots the README shows:
// `lanthorn-screenshots OUTPUT_DIR`, with HOME on a demo home and LANTHORN_XCRUN on the stand-in
// (scripts/screenshots.sh sets both up).
#include "app/contentview.h"
#include "fileviews/filecolumnview.h"
#include "screens/appsview.h"
#include "screens/filesstorageview.h"
#include "screens/photosview.h"
#include "screens/segmentedpicker.h"
#include "screens/simulatordetailview.h"
#include "screens/symbols.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QIcon>
#include <QListView>
#include <QTest>
#include <QTreeView>

#include <cstdio>

namespace {

QString outputDir;
int failures = 0;

void fail(const char *what)
{
    std::fprintf(stderr, "lanthorn-screenshots: %s\n", what);
    ++failures;
}

void shot(QWidget &window, const QString &name)
{
    QTest::qWait(300); // let animations and deferred layouts settle before the grab
    const QString path = QDir(outputDir).filePath(name + QStringLiteral(".png"));
    if (!window.grab().save(path))
        fail("could not save a screenshot");
    else
        std::printf("%s\n", qPrintable(path));
}

bool clickRowNamed(QAbstractItemView *view, const QString &name, bool twice = false)
{
    const QAbstractItemModel *model = view->model();
    for (int row = 0; model && row < model->rowCount(view->rootIndex()); ++row) {
        const QModelIndex index = model->index(row, 0, view->rootIndex());
        if (index.data().toString() != name)
            continue;
        view->scrollTo(index);
        const QPoint centre = view->visualRect(index).center();
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, centre);
        if (twice)
            QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, centre);
        return true;
    }
    return false;
}

FilesStorageView *filesScreen(ContentView &window)
{
    auto *detail = qobject_cast<SimulatorDetailView *>(window.detailView());
    return detail ? qobject_cast<FilesStorageView *>(detail->sectionScreen()) : nullptr;
}

bool waitLoaded(ContentView &window)
{
    return QTest::qWaitFor(
        [&] {
            FilesStorageView *files = filesScreen(window);
            return files && files->state()->loadState().kind() == LoadState::Kind::loaded &&
                   !files->state()->isReloading();
        },
        15'000);
}

} // namespace

int main(int argc, char *argv[])
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: lanthorn-screenshots OUTPUT_DIR\n");
        return 64;
    }
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Lanthorn"));
    QApplication::setOrganizationName(QStringLiteral("Lanthorn"));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/icons/lanthorn.svg")));
    Symbols::setUpIconTheme();
    outputDir = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(outputDir);

    SimulatorDetailView::setSection(SimulatorDetailView::Section::Photos);
    FilesStorageView::setViewMode(FilesStorageView::ViewMode::list);
    FilesStorageView::setIconSize(64);

    ContentView window;
    window.resize(1280, 800);
    window.show();
    if (!QTest::qWaitForWindowExposed(&window) ||
        !QTest::qWaitFor([&] { return !window.simulators().isEmpty(); }, 20'000)) {
        fail("no devices were listed");
        return 1;
    }
    shot(window, QStringLiteral("sidebar"));

    // Photos, on the booted phone with the Files content.
    if (!clickRowNamed(window.sidebar(), QStringLiteral("iPhone 15 Pro")))
        fail("the demo phone is not in the sidebar");
    auto *detail = qobject_cast<SimulatorDetailView *>(window.detailView());
    if (!detail || !detail->photosView()) {
        fail("no Photos screen");
        return 1;
    }
    QList<QUrl> photos;
    const QDir samples(QDir::home().filePath(QStringLiteral("Sample Photos")));
    for (const QString &name : samples.entryList(QDir::Files, QDir::Name))
        photos << QUrl::fromLocalFile(samples.filePath(name));
    detail->photosView()->addMediaFiles(photos);
    if (!QTest::qWaitFor([&] { return !detail->photosView()->isAdding(); }, 20'000))
        fail("adding media did not finish");
    shot(window, QStringLiteral("photos"));

    // Files in the list mode, one row selected.
    detail->sectionButton(SimulatorDetailView::Section::Files)->click();
    if (!waitLoaded(window))
        fail("the Files storage did not load");
    FilesStorageView *files = filesScreen(window);
    if (files) {
        QTest::qWait(300);
        if (auto *tree = files->findChild<QTreeView *>())
            clickRowNamed(tree, QStringLiteral("Projects"));
        shot(window, QStringLiteral("files-list"));

        files->viewModePicker()->segment(int(FilesStorageView::ViewMode::icons))->click();
        waitLoaded(window);
        QTest::qWait(300);
        for (QAbstractItemView *grid : files->findChildren<QAbstractItemView *>())
            if (grid->isVisible() && grid->model() && grid->model()->rowCount() > 8) {
                QTest::mouseClick(grid->viewport(), Qt::LeftButton, {},
                                  grid->visualRect(grid->model()->index(8, 0)).center());
                break;
            }
        shot(window, QStringLiteral("files-icons"));

        files->viewModePicker()->segment(int(FilesStorageView::ViewMode::columns))->click();
        QTest::qWait(300);
        const QStringList path = {QStringLiteral("Projects"), QStringLiteral("Lanthorn"),
                                  QStringLiteral("Notes"), QStringLiteral("Roadmap.md")};
        for (int depth = 0; depth < path.size(); ++depth) {
            bool clicked = false;
            for (QListView *column : files->findChildren<QListView *>())
                if (column->isVisible() && clickRowNamed(column, path[depth])) {
                    clicked = true;
                    break;
                }
            if (!clicked)
                fail("could not open the folders in the column browser");
            QTest::qWait(150);
        }
        shot(window, QStringLiteral("files-columns"));
        FilesStorageView::setViewMode(FilesStorageView::ViewMode::list);
    }

    // Apps: the app with a group, its documents in the list mode.
    detail->sectionButton(SimulatorDetailView::Section::Apps)->click();
    AppsView *apps = detail->appsView();
    if (!apps || !QTest::qWaitFor([&] { return apps->catalogue() && !apps->isLoading(); }, 15'000)) {
        fail("the Apps screen did not load");
    } else {
        apps->select(QStringLiteral("com.example.FieldNotes"));
        if (apps->containerPicker()->findText(QStringLiteral("group.com.example.fieldnotes")) < 0)
            fail("the app's group is not offered");
        if (!apps->browser() || !QTest::qWaitFor(
                                    [&] {
                                        return apps->browser()->state()->loadState().kind() ==
                                                   LoadState::Kind::loaded &&
                                               !apps->browser()->state()->isReloading();
                                    },
                                    15'000))
            fail("the app's data container did not load");
        QTest::qWait(300);
        if (auto *tree = apps->browser() ? apps->browser()->findChild<QTreeView *>() : nullptr)
            clickRowNamed(tree, QStringLiteral("Documents"), true);
        shot(window, QStringLiteral("apps"));
    }
    SimulatorDetailView::setSection(SimulatorDetailView::Section::Files);
    return failures ? 1 : 0;
}
