// Drives the real window for the desktop interoperability check (scripts/interop.sh): reads one
// command per line on standard input and answers "ok ..." or "error ..." on one line, so a shell
// script can put Lanthorn and a real file manager side by side and move files between them with
// the keyboard commands, the clipboard and the pointer (xdotool).
//
//   open DEVICE      select the device, show its Files storage as a list
//   mode MODE        show the storage as "icons", "list" or "columns"
//   folder           the local path of the folder shown
//   copy NAME        select NAME and press Ctrl+C in the list
//   paste            press Ctrl+V in the list and wait for the reload
//   trash NAME       select NAME and press Delete in the list
//   has NAME         wait (10 s) until NAME is listed; "error" if it never is
//   point NAME       the screen position of NAME's row
//   droppoint        a screen position on the list's empty space
//   alert            the alert's text, if one is shown
//   quit
#include "app/contentview.h"
#include "screens/filesstorageview.h"
#include "screens/messagealert.h"
#include "screens/segmentedpicker.h"
#include "screens/simulatordetailview.h"
#include "screens/symbols.h"

#include <QAbstractButton>
#include <QApplication>
#include <QIcon>
#include <QListView>
#include <QMessageBox>
#include <QSocketNotifier>
#include <QTest>

#include <cstdio>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

class Driver
{
public:
    explicit Driver(ContentView &window) : m_window(window) {}

    QString run(const QString &line)
    {
        const QString verb = line.section(u' ', 0, 0);
        const QString argument = line.section(u' ', 1);
        if (verb == u"open")
            return open(argument);
        if (verb == u"mode")
            return mode(argument);
        if (verb == u"quit") {
            QApplication::quit();
            return QStringLiteral("ok");
        }
        QAbstractItemView *list = listView();
        if (!list)
            return QStringLiteral("error no Files list is shown");
        if (verb == u"folder")
            return u"ok "_s + files()->state()->currentDirectory().value_or(QUrl()).toLocalFile();
        if (verb == u"copy" || verb == u"trash") {
            if (!select(list, argument))
                return u"error not listed: "_s + argument;
            QTest::keyClick(list, verb == u"copy" ? Qt::Key_C : Qt::Key_Delete,
                            verb == u"copy" ? Qt::ControlModifier : Qt::NoModifier);
            return settle();
        }
        if (verb == u"paste") {
            list->setFocus();
            QTest::keyClick(list, Qt::Key_V, Qt::ControlModifier);
            return settle();
        }
        if (verb == u"has") {
            const bool listed = QTest::qWaitFor(
                [&] {
                    if (row(list, argument).isValid())
                        return true;
                    if (!files()->state()->isReloading())
                        files()->state()->reload(false);
                    QTest::qWait(200);
                    return false;
                },
                10'000);
            return listed ? QStringLiteral("ok") : u"error never listed: "_s + argument;
        }
        if (verb == u"point") {
            const QModelIndex index = row(list, argument);
            if (!index.isValid())
                return u"error not listed: "_s + argument;
            list->scrollTo(index);
            return at(list->viewport()->mapToGlobal(list->visualRect(index).center()));
        }
        if (verb == u"droppoint")
            return at(list->viewport()->mapToGlobal(
                QPoint(list->viewport()->width() / 2, list->viewport()->height() - 20)));
        if (verb == u"alert") {
            auto *box = files()->findChild<QMessageBox *>();
            return box && box->isVisible() ? u"ok "_s + box->text().replace(u'\n', u' ')
                                           : QStringLiteral("ok");
        }
        return u"error unknown command: "_s + verb;
    }

private:
    FilesStorageView *files() const
    {
        auto *detail = qobject_cast<SimulatorDetailView *>(m_window.detailView());
        return detail ? qobject_cast<FilesStorageView *>(detail->sectionScreen()) : nullptr;
    }

    QAbstractItemView *listView() const
    {
        FilesStorageView *screen = files();
        if (!screen)
            return nullptr;
        for (QAbstractItemView *view : screen->findChildren<QAbstractItemView *>())
            if (view->isVisible() && view->model() && view->model()->rowCount(view->rootIndex()) > 0)
                return view;
        return nullptr;
    }

    bool loaded() const
    {
        FilesStorageView *screen = files();
        return screen && screen->state()->loadState().kind() == LoadState::Kind::loaded &&
               !screen->state()->isReloading();
    }

    static QModelIndex row(QAbstractItemView *view, const QString &name)
    {
        const QAbstractItemModel *model = view->model();
        for (int r = 0; model && r < model->rowCount(view->rootIndex()); ++r) {
            const QModelIndex index = model->index(r, 0, view->rootIndex());
            if (index.data().toString() == name)
                return index;
        }
        return {};
    }

    static bool select(QAbstractItemView *view, const QString &name)
    {
        const QModelIndex index = row(view, name);
        if (!index.isValid())
            return false;
        view->scrollTo(index);
        view->setFocus();
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, view->visualRect(index).center());
        return true;
    }

    static QString at(QPoint point) { return u"ok %1 %2"_s.arg(point.x()).arg(point.y()); }

    QString settle()
    {
        QTest::qWait(300);
        return QTest::qWaitFor([&] { return loaded(); }, 10'000) ? QStringLiteral("ok")
                                                                 : QStringLiteral("error still busy");
    }

    QString open(const QString &device)
    {
        QAbstractItemView *sidebar = m_window.sidebar();
        if (!QTest::qWaitFor([&] { return row(sidebar, device).isValid(); }, 20'000))
            return u"error no such device: "_s + device;
        select(sidebar, device);
        auto *detail = qobject_cast<SimulatorDetailView *>(m_window.detailView());
        if (!detail)
            return QStringLiteral("error no detail screen");
        detail->sectionButton(SimulatorDetailView::Section::Files)->click();
        if (FilesStorageView *screen = files())
            screen->viewModePicker()->segment(int(FilesStorageView::ViewMode::list))->click();
        if (!QTest::qWaitFor([&] { return loaded() && listView(); }, 15'000))
            return QStringLiteral("error the Files storage did not load");
        return QStringLiteral("ok");
    }

    QString mode(const QString &name)
    {
        const std::optional<FilesStorageView::ViewMode> mode = FilesStorageView::viewModeFromRawValue(name);
        if (!mode || !files())
            return u"error no such mode: "_s + name;
        files()->viewModePicker()->segment(int(*mode))->click();
        return settle();
    }

    ContentView &m_window;
};

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Lanthorn"));
    QApplication::setOrganizationName(QStringLiteral("Lanthorn"));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/icons/lanthorn.svg")));
    Symbols::setUpIconTheme();

    ContentView window;
    // Right of the file manager, which opens at the top left when there is no window manager.
    window.setGeometry(QApplication::primaryScreen()->availableGeometry().width() - 820, 40, 800, 640);
    window.show();
    if (!QTest::qWaitForWindowExposed(&window))
        return 1;

    Driver driver(window);
    QByteArray pending;
    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&input, &QSocketNotifier::activated, [&] {
        char buffer[4096];
        const ssize_t got = ::read(STDIN_FILENO, buffer, sizeof buffer);
        if (got <= 0) {
            input.setEnabled(false);
            QApplication::quit();
            return;
        }
        pending.append(buffer, got);
        qsizetype end;
        while ((end = pending.indexOf('\n')) >= 0) {
            const QString line = QString::fromUtf8(pending.left(end)).trimmed();
            pending.remove(0, end + 1);
            if (line.isEmpty())
                continue;
            input.setEnabled(false); // no nested commands while one waits inside the event loop
            const QString reply = driver.run(line);
            std::printf("%s\n", qPrintable(reply));
            std::fflush(stdout);
            input.setEnabled(true);
        }
    });
    return app.exec();
}
