#pragma once

#include "filestore/filesstate.h"
#include "quicklookwindow.h"

#include <QObject>
#include <QPointer>
#include <QSet>
#include <QUrl>

class FileView;
class QAction;
class QKeyEvent;
class QKeySequence;
class QMenu;

// Every command of the Files screen on its items and its folder, each one QAction made once with
// its text, shortcut and enabled state: the context menus, the keys of the file view, the toolbar
// and the window's menu bar all use these pointers. A command acts on the menu's targets while a
// context menu is open (the right-clicked item, or the selection when clicked on it), otherwise
// on the view's selection; the folder commands act on the current folder. Changes no file
// itself: the operations belong to the FilesState. Owned by the Files screen; GUI thread only.
class FileActions final : public QObject
{
    Q_OBJECT
public:
    FileActions(FilesState *state, FilesState::Services services, QWidget *parent);

    // The state the commands run on; the screen replaces it for another device.
    void setState(FilesState *state);
    // The view whose selection the commands act on and whose item views take the keys.
    void setView(FileView *view);

    QAction *openAction() const { return m_open; }
    QAction *renameAction() const { return m_rename; }
    QAction *moveToTrashAction() const { return m_moveToTrash; }
    QAction *duplicateAction() const { return m_duplicate; }
    QAction *copyAction() const { return m_copy; }
    QAction *pasteAction() const { return m_paste; }
    QAction *copyPathAction() const { return m_copyPath; }
    QAction *newFolderAction() const { return m_newFolder; }
    QAction *openInTerminalAction() const { return m_openInTerminal; }
    QAction *revealInFinderAction() const { return m_revealInFinder; }
    // Opens the Quick Look window on the first selected file, or closes it when open.
    QAction *quickLookAction() const { return m_quickLook; }
    // The Quick Look window, once made (it is made on first use).
    QuickLookWindow *quickLookWindow() const { return m_quickLookWindow; }
    // The commands on the selection that the window's Edit menu shows, in its order.
    QList<QAction *> editActions() const;

    // Builds the menu for a right click at `globalPos` on `item` (empty: on empty space), with
    // the right-click rule applied to the targets.
    QMenu *prepareContextMenu(const QPoint &globalPos, const QUrl &item);
    void showContextMenu(const QPoint &globalPos, const QUrl &item);
    QMenu *contextMenu() const { return m_menu; }
    const QSet<QUrl> &menuTargets() const { return m_menuTargets; }

    // Recomputes every enabled state: the screen calls it after every change of its state (the
    // pasteboard has no change signal, so the menus and keys call it too).
    void updateActions();

    // The action a key gives on this platform, if any: the one place that decides the keys.
    QAction *actionForKey(const QKeyEvent *event) const;
    // Move to Trash's key as menus show it: Command-Backspace on macOS, Delete elsewhere.
    static QKeySequence trashShortcut();
    // The actions of the file view that has `focus` (a name editor in it does not count).
    static FileActions *ofFocus(QWidget *focus);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QAction *make(const QString &text, void (FileActions::*command)());
    void watch(QObject *itemView);
    QSet<QUrl> targets() const;
    std::optional<QUrl> folder() const;

    void open();
    void rename();
    void moveToTrash();
    void duplicate();
    void copy();
    void paste();
    void copyPath();
    void newFolder();
    void openInTerminal();
    void revealInFinder();
    void quickLook();
    void followSelection();
    void followListing();
    void showInQuickLook(const QUrl &url);

    QPointer<FilesState> m_state;
    FilesState::Services m_services;
    QPointer<FileView> m_view;
    QMenu *m_menu;
    QSet<QUrl> m_menuTargets;
    bool m_menuActive = false;
    int m_menusShown = 0;
    QAction *m_open;
    QAction *m_rename;
    QAction *m_moveToTrash;
    QAction *m_duplicate;
    QAction *m_copy;
    QAction *m_paste;
    QAction *m_copyPath;
    QAction *m_newFolder;
    QAction *m_openInTerminal;
    QAction *m_revealInFinder;
    QAction *m_quickLook;
    QPointer<QuickLookWindow> m_quickLookWindow;
};
