#include "menubar.h"

#include "fileviews/fileactions.h"
#include "screens/filesstorageview.h"

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QTimer>

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

QAction *placeholder(QMainWindow *window, const char *text, const QKeySequence &shortcut = {})
{
    auto *action = new QAction(QCoreApplication::translate("MenuBar", text), window);
    action->setShortcut(shortcut);
    action->setShortcutContext(Qt::WidgetShortcut);
    action->setEnabled(false);
    return action;
}

// File shows the shown Files screen's own New Folder and Copy Files…, Edit the commands of the
// file view that has (or, while the menu bar is used from the keyboard and holds the focus
// itself, last had) the focus: the very actions its menus and keys use. Without them, the same
// items show disabled, so that other widgets keep their keys.
void followFilesScreen(QMainWindow *window, QMenu *file, QMenu *edit, QAction *about)
{
    const QList<QAction *> fileIdle = {placeholder(window, "New Folder"), placeholder(window, "Copy Files…")};
    const QList<QAction *> editIdle = {placeholder(window, "Copy", QKeySequence::Copy),
                                       placeholder(window, "Paste Item", QKeySequence::Paste),
                                       placeholder(window, "Move to Trash", FileActions::trashShortcut()),
                                       placeholder(window, "Duplicate"),
                                       placeholder(window, "Rename"),
                                       placeholder(window, "Quick Look")};
    const auto follow = [=](QWidget *focus) {
        if (qobject_cast<QMenuBar *>(focus) || qobject_cast<QMenu *>(focus))
            return;
        FilesStorageView *shown = shownFilesScreen(window);
        file->clear();
        file->addActions(shown ? QList<QAction *>{shown->newFolderAction(), shown->copyFilesAction()}
                               : fileIdle);
        if (about)
            file->addAction(about);
        FileActions *focused = focus && focus->window() == window ? FileActions::ofFocus(focus) : nullptr;
        edit->clear();
        edit->addActions(focused ? focused->editActions() : editIdle);
        if (focused)
            focused->updateActions();
    };
    follow(nullptr);
    // On the next turn: focus also moves while a focused view is being destroyed (a view mode
    // change), and the screen's children must not be walked then.
    QObject::connect(qApp, &QApplication::focusChanged, edit, [edit, follow] {
        QTimer::singleShot(0, edit, [follow] { follow(QApplication::focusWidget()); });
    });
    for (QMenu *menu : {file, edit})
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
    QMenu *edit = bar->addMenu(tr("&Edit"));
#ifdef Q_OS_DARWIN
    followFilesScreen(window, file, edit, about); // Qt moves About into the application menu
#else
    followFilesScreen(window, file, edit, nullptr);
#endif

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
