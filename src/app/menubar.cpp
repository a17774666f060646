#include "menubar.h"

#include "fileviews/fileviewhost.h"
#include "screens/filesstorageview.h"

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPointer>

#include <memory>

namespace {

void showAbout(QWidget *window)
{
    auto *box = new QMessageBox(window);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowTitle(QCoreApplication::translate("MenuBar", "About Lanthorn"));
    box->setTextFormat(Qt::PlainText);
    box->setText(QStringLiteral("Lanthorn"));
    box->setInformativeText(
        QCoreApplication::translate("MenuBar", "Version %1").arg(QCoreApplication::applicationVersion()));
    for (QLabel *label : box->findChildren<QLabel *>())
        label->setTextFormat(Qt::PlainText);
    box->setIconPixmap(QApplication::windowIcon().pixmap(64, 64));
    box->setStandardButtons(QMessageBox::Ok);
    box->show();
}

FilesStorageView *shownFilesScreen(QMainWindow *window)
{
    for (FilesStorageView *files : window->findChildren<FilesStorageView *>())
        if (files->isVisible())
            return files;
    return nullptr;
}

// The File menu's items run the shown Files screen's own toolbar commands.
void addFilesCommands(QMainWindow *window, QMenu *menu)
{
    struct Command
    {
        QString text;
        QAction *(FilesStorageView::*action)() const;
    };
    const Command commands[] = {
        {QCoreApplication::translate("MenuBar", "New Folder"), &FilesStorageView::newFolderAction},
        {QCoreApplication::translate("MenuBar", "Copy Files…"), &FilesStorageView::copyFilesAction},
    };
    for (const Command &command : commands) {
        QAction *item = menu->addAction(command.text);
        const auto target = [window, command]() -> QAction * {
            FilesStorageView *files = shownFilesScreen(window);
            return files ? (files->*command.action)() : nullptr;
        };
        QObject::connect(item, &QAction::triggered, window, [target] {
            if (QAction *action = target(); action && action->isEnabled())
                action->trigger();
        });
        QObject::connect(menu, &QMenu::aboutToShow, item, [item, target] {
            QAction *action = target();
            item->setEnabled(action && action->isEnabled());
        });
    }
}

// The Edit menu's items act on the selection of the file view that has (or, while the menu bar
// is used from the keyboard and holds the focus itself, last had) the focus.
void addEditCommands(QMainWindow *window, QMenu *menu)
{
    using Command = FileViewHost::Command;
    struct Item
    {
        QString text;
        Command command;
        QKeySequence shortcut;
    };
    const Item items[] = {
        {QCoreApplication::translate("MenuBar", "Copy"), Command::copy, QKeySequence::Copy},
        {QCoreApplication::translate("MenuBar", "Paste"), Command::paste, QKeySequence::Paste},
        {QCoreApplication::translate("MenuBar", "Move to Trash"), Command::trash, FileViewHost::trashShortcut()},
        {QCoreApplication::translate("MenuBar", "Duplicate"), Command::duplicate, {}},
        {QCoreApplication::translate("MenuBar", "Rename"), Command::rename, {}},
    };
    const auto host = std::make_shared<QPointer<FileViewHost>>();
    QList<QAction *> actions;
    for (const Item &item : items) {
        QAction *action = menu->addAction(item.text);
        // The view claims its keys while it has the focus; elsewhere a disabled item lets other
        // widgets have them.
        action->setShortcut(item.shortcut);
        action->setEnabled(false);
        QObject::connect(action, &QAction::triggered, window, [host, command = item.command] {
            if (*host)
                (*host)->perform(command);
        });
        actions << action;
    }
    const auto follow = [window, host, actions](QWidget *focus) {
        if (qobject_cast<QMenuBar *>(focus) || qobject_cast<QMenu *>(focus))
            return;
        *host = focus && focus->window() == window ? FileViewHost::ofFocus(focus) : nullptr;
        for (QAction *action : actions)
            action->setEnabled(!host->isNull());
    };
    QObject::connect(qApp, &QApplication::focusChanged, menu,
                     [follow](QWidget *, QWidget *now) { follow(now); });
    QObject::connect(menu, &QMenu::aboutToShow, menu, [follow] { follow(QApplication::focusWidget()); });
}

} // namespace

void setUpMenuBar(QMainWindow *window)
{
    QMenuBar *bar = window->menuBar();
    const auto tr = [](const char *text) { return QCoreApplication::translate("MenuBar", text); };

    auto *about = new QAction(tr("About Lanthorn"), window);
    about->setMenuRole(QAction::AboutRole);
    QObject::connect(about, &QAction::triggered, window, [window] { showAbout(window); });

    QMenu *file = bar->addMenu(tr("&File"));
    addFilesCommands(window, file);
#ifdef Q_OS_DARWIN
    file->addAction(about); // Qt moves it into the application menu
#endif

    addEditCommands(window, bar->addMenu(tr("&Edit")));

    QMenu *windowMenu = bar->addMenu(tr("&Window"));
    QAction *close = windowMenu->addAction(tr("Close"));
    close->setShortcuts(QKeySequence::Close);
    QObject::connect(close, &QAction::triggered, window, &QWidget::close);
    QAction *minimize = windowMenu->addAction(tr("Minimize"));
    minimize->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_M));
    QObject::connect(minimize, &QAction::triggered, window, &QWidget::showMinimized);

#ifndef Q_OS_DARWIN
    bar->addMenu(tr("&Help"))->addAction(about);
#endif
}
