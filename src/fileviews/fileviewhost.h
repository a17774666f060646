#pragma once

#include "filestore/filesstate.h"
#include "fileviewactions.h"

#include <QKeySequence>
#include <QPointer>
#include <QWidget>

class QAbstractItemView;
class QKeyEvent;
class QMenu;

// The container every file view lives in. It holds the screen's callbacks, builds the context
// menu each time it opens (item commands for the clicked item or the selection, folder commands
// for empty space), and answers Return, the trash key, copy and paste while the view has the
// focus. It changes no file itself: everything goes through the callbacks, except what only
// touches the clipboard or the file manager. GUI thread only.
class FileViewHost final : public QWidget
{
    Q_OBJECT
public:
    using SelectedURLs = std::function<QSet<QUrl>()>;
    // The item under a point (global coordinates) of the view, if any.
    using ClickedURL = std::function<std::optional<QUrl>(const QPoint &globalPos)>;
    using BeginRename = std::function<void(const QUrl &)>;
    // The commands that act on the selection: from the keys, and from the window's Edit menu.
    enum class Command { rename, trash, duplicate, copy, paste };

    FileViewHost(FileViewActions actions, SelectedURLs selectedURLs, ClickedURL clickedURL,
                 FilesState::Services services, QWidget *parent = nullptr);
    ~FileViewHost() override;

    const FileViewActions &actions() const { return m_actions; }
    void setActions(FileViewActions actions) { m_actions = std::move(actions); }
    void setBeginRename(BeginRename beginRename) { m_beginRename = std::move(beginRename); }

    // Makes `content` fill the host, and gives it the menu and the keys.
    void embed(QWidget *content);
    // Gives another widget (a column of a browser) the menu and the keys.
    void attach(QWidget *widget);

    // What happens just before the menu opens for a click at `globalPos`.
    QMenu *rebuildMenu(const QPoint &globalPos);
    QMenu *menu() const { return m_menu; }
    const QSet<QUrl> &menuTargets() const { return m_menuTargets; }

    // The menu's commands; they act on menuTargets().
    void openTargets();
    void renameTarget();
    void trashTargets();
    void duplicateTargets();
    void copyTargets();
    void copyPath();
    void newFolder();
    void paste();
    void openInTerminal();
    void revealInFinder();

    // The keyboard commands; they act on the selection. True when the key was one of them.
    bool handleKey(QKeyEvent *event);
    // Performs a command on the selection.
    void perform(Command command);
    // The command a key gives on this platform, if any: the one place that decides the keys.
    static std::optional<Command> commandForKey(const QKeyEvent *event);
    // Move to Trash's key as menus show it: Command-Backspace on macOS, Delete elsewhere.
    static QKeySequence trashShortcut();
    // The host whose view is `focus` (a name editor in the view does not count), if any.
    static FileViewHost *ofFocus(QWidget *focus);

    // Whether a view's mouse event must leave its selection alone: a right-button press or
    // release, since the menu acts on an item outside the selection without selecting it. For
    // the embedded views' selectionCommand().
    static bool keepsSelection(const QEvent *event);

    // Makes a list or table view (with its model set) answer screen readers with its rows as they
    // are after a reload, through the one accessible object it keeps for its life.
    static void keepAccessibleRowsCurrent(QAbstractItemView *view);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void showMenu(QWidget *origin, const QPoint &localPos);
    void run(Command command, const QSet<QUrl> &targets);

    FileViewActions m_actions;
    SelectedURLs m_selectedURLs;
    ClickedURL m_clickedURL;
    BeginRename m_beginRename = [](const QUrl &) {};
    FilesState::Services m_services;
    QMenu *m_menu;
    QSet<QUrl> m_menuTargets;
    QList<QPointer<QWidget>> m_views;
};
