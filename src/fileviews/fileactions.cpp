#include "fileactions.h"

#include "fileview.h"
#include "quicklookwindow.h"

#include <QAbstractItemView>
#include <QAction>
#include <QApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QTimer>

#include <algorithm>

FileActions::FileActions(FilesState *state, FilesState::Services services, QWidget *parent)
    : QObject(parent), m_state(state), m_services(std::move(services)), m_menu(new QMenu(parent)),
      m_open(make(tr("Open"), &FileActions::open)), m_rename(make(tr("Rename"), &FileActions::rename)),
      m_moveToTrash(make(tr("Move to Trash"), &FileActions::moveToTrash)),
      m_duplicate(make(tr("Duplicate"), &FileActions::duplicate)),
      m_copy(make(tr("Copy"), &FileActions::copy)), m_paste(make(tr("Paste Item"), &FileActions::paste)),
      m_copyPath(make(tr("Copy Path"), &FileActions::copyPath)),
      m_newFolder(make(tr("New Folder"), &FileActions::newFolder)),
      m_openInTerminal(make(tr("Open in Terminal"), &FileActions::openInTerminal)),
      m_revealInFinder(make(tr("Reveal in Finder"), &FileActions::revealInFinder)),
      m_quickLook(make(tr("Quick Look"), &FileActions::quickLook))
{
    // The keys show in the menus; the file view's keys reach the actions through eventFilter(),
    // so that a name editor in the view keeps its own.
    m_moveToTrash->setShortcut(trashShortcut());
    m_copy->setShortcut(QKeySequence::Copy);
    m_paste->setShortcut(QKeySequence::Paste);
    m_quickLook->setShortcut(Qt::Key_Space);
    setState(state);
    // The menu's command runs after the menu hides; the targets stay for it until the next turn.
    connect(m_menu, &QMenu::aboutToHide, this, [this] {
        QTimer::singleShot(0, this, [this, shown = m_menusShown] {
            if (!m_menu->isVisible() && m_menusShown == shown) {
                m_menuActive = false;
                updateActions();
            }
        });
    });
}

QAction *FileActions::make(const QString &text, void (FileActions::*command)())
{
    auto *action = new QAction(text, this);
    action->setShortcutContext(Qt::WidgetShortcut);
    connect(action, &QAction::triggered, this, command);
    return action;
}

QList<QAction *> FileActions::editActions() const
{
    return {m_copy, m_paste, m_moveToTrash, m_duplicate, m_rename, m_quickLook};
}

void FileActions::setState(FilesState *state)
{
    m_state = state;
    updateActions();
}

void FileActions::setView(FileView *view)
{
    m_view = view;
    m_menuActive = false;
    if (view) {
        for (QAbstractItemView *itemView : view->itemViews())
            watch(itemView);
        connect(view, &FileView::itemViewAdded, this, &FileActions::watch);
        connect(view, &FileView::selectionChanged, this, &FileActions::updateActions);
        connect(view, &FileView::selectionChanged, this, &FileActions::followSelection);
        connect(view, &FileView::entriesChanged, this, &FileActions::followListing);
        connect(view, &FileView::contextMenuRequested, this, &FileActions::showContextMenu);
    }
    updateActions();
}

void FileActions::watch(QObject *itemView)
{
    itemView->installEventFilter(this);
}

QSet<QUrl> FileActions::targets() const
{
    if (m_menuActive)
        return m_menuTargets;
    return m_view ? m_view->selectedUrls() : QSet<QUrl>();
}

std::optional<QUrl> FileActions::folder() const
{
    return m_state ? m_state->currentDirectory() : std::nullopt;
}

void FileActions::updateActions()
{
    const QSet<QUrl> items = targets();
    m_open->setEnabled(!items.isEmpty());
    m_rename->setEnabled(items.size() == 1);
    m_moveToTrash->setEnabled(!items.isEmpty());
    m_duplicate->setEnabled(!items.isEmpty());
    m_quickLook->setEnabled(!items.isEmpty() || (m_quickLookWindow && m_quickLookWindow->isVisible()));
    m_paste->setEnabled(m_services.pasteboard && m_services.pasteboard->canReadFileURLs());
    const LoadState::Kind kind = m_state ? m_state->loadState().kind() : LoadState::Kind::loading;
    m_newFolder->setEnabled(folder().has_value() &&
                            (kind == LoadState::Kind::loaded || kind == LoadState::Kind::unreadable));
}

QMenu *FileActions::prepareContextMenu(const QPoint &globalPos, const QUrl &item)
{
    const QSet<QUrl> selection = m_view ? m_view->selectedUrls() : QSet<QUrl>();
    Q_UNUSED(globalPos)
    const std::optional<QUrl> clicked = item.isEmpty() ? std::nullopt : std::optional<QUrl>(item);
    // Right-clicking outside the selection acts on that item alone and keeps the selection.
    if (!clicked)
        m_menuTargets.clear();
    else if (selection.contains(*clicked))
        m_menuTargets = selection;
    else
        m_menuTargets = {*clicked};
    m_menuActive = true;
    ++m_menusShown;
    updateActions();

    m_menu->clear();
    if (!m_menuTargets.isEmpty()) {
        m_menu->addActions({m_open, m_quickLook});
        m_menu->addSeparator();
        m_menu->addActions({m_rename, m_moveToTrash, m_duplicate, m_copy});
        m_menu->addSeparator();
        m_menu->addActions({m_copyPath, m_revealInFinder});
    } else {
        m_menu->addActions({m_newFolder, m_paste});
        m_menu->addSeparator();
        m_menu->addActions({m_copyPath, m_openInTerminal, m_revealInFinder});
    }
    return m_menu;
}

void FileActions::showContextMenu(const QPoint &globalPos, const QUrl &item)
{
    prepareContextMenu(globalPos, item)->popup(globalPos);
}

void FileActions::open()
{
    const QSet<QUrl> items = targets();
    for (const QUrl &url : items)
        if (m_state)
            m_state->open(url);
}

void FileActions::rename()
{
    const QSet<QUrl> items = targets();
    if (items.size() == 1 && m_view)
        m_view->editName(*items.constBegin());
}

void FileActions::moveToTrash()
{
    if (m_state)
        m_state->moveToTrash(targets());
}

void FileActions::duplicate()
{
    const QSet<QUrl> items = targets();
    if (!items.isEmpty() && m_state)
        m_state->duplicate(items);
}

void FileActions::copy()
{
    if (m_services.pasteboard)
        m_services.pasteboard->writeFileURLs(targets().values());
}

void FileActions::paste()
{
    if (m_state)
        m_state->paste();
}

// The menu's items, else the folder.
void FileActions::copyPath()
{
    QList<QUrl> urls = m_menuActive ? m_menuTargets.values() : QList<QUrl>();
    if (urls.isEmpty() && folder())
        urls << *folder();
    QStringList paths;
    for (const QUrl &url : std::as_const(urls))
        paths << url.toLocalFile();
    if (m_services.pasteboard && !paths.isEmpty())
        m_services.pasteboard->writeText(paths.join(QLatin1Char('\n')));
}

void FileActions::newFolder()
{
    if (m_state)
        m_state->newFolder();
}

void FileActions::openInTerminal()
{
    if (const std::optional<QUrl> current = folder(); current && m_state)
        m_state->openInTerminal(*current);
}

// The menu's items in the file manager, else the folder itself.
void FileActions::revealInFinder()
{
    if (!m_services.workspace)
        return;
    if (m_menuActive && !m_menuTargets.isEmpty())
        m_services.workspace->reveal(m_menuTargets.values());
    else if (const std::optional<QUrl> current = folder())
        m_services.workspace->open(*current);
}

namespace {

// The item Quick Look shows of several: the first by path, so that it does not change at random.
std::optional<QUrl> firstOf(const QSet<QUrl> &urls)
{
    if (urls.isEmpty())
        return std::nullopt;
    return *std::min_element(urls.begin(), urls.end(),
                             [](const QUrl &a, const QUrl &b) { return a.toLocalFile() < b.toLocalFile(); });
}

} // namespace

void FileActions::quickLook()
{
    if (m_quickLookWindow && m_quickLookWindow->isVisible()) {
        m_quickLookWindow->close();
        updateActions();
        return;
    }
    const std::optional<QUrl> url = firstOf(targets());
    if (!url)
        return;
    if (!m_quickLookWindow)
        m_quickLookWindow = new QuickLookWindow(qobject_cast<QWidget *>(parent()));
    showInQuickLook(*url);
    m_quickLookWindow->show();
    updateActions();
}

// From the view's listing where it has the item, so that a later listing can tell it changed.
void FileActions::showInQuickLook(const QUrl &url)
{
    if (const std::optional<FileEntry> entry = m_view ? m_view->entryOf(url) : std::nullopt)
        m_quickLookWindow->showFile(*entry);
    else
        m_quickLookWindow->showFile(url);
}

// While open, the window shows what the view selects (the arrows move it).
void FileActions::followSelection()
{
    if (!m_quickLookWindow || !m_quickLookWindow->isVisible() || !m_view)
        return;
    if (const std::optional<QUrl> url = firstOf(m_view->selectedUrls()))
        showInQuickLook(*url);
}

// The file on show changed on disk: the window reads it again.
void FileActions::followListing()
{
    if (!m_quickLookWindow || !m_quickLookWindow->isVisible() || !m_view)
        return;
    if (const std::optional<FileEntry> entry = m_view->entryOf(m_quickLookWindow->url()))
        m_quickLookWindow->showFile(*entry);
}

QKeySequence FileActions::trashShortcut()
{
#ifdef Q_OS_DARWIN
    return QKeySequence(Qt::CTRL | Qt::Key_Backspace); // Qt's Ctrl is the Command key here
#else
    return QKeySequence(Qt::Key_Delete);
#endif
}

QAction *FileActions::actionForKey(const QKeyEvent *event) const
{
    const Qt::KeyboardModifiers modifiers = event->modifiers() & ~Qt::KeypadModifier;
    const int key = event->key();
    if (modifiers == Qt::NoModifier && (key == Qt::Key_Return || key == Qt::Key_Enter))
        return m_rename;
#ifdef Q_OS_DARWIN
    // Finder's Command-Backspace alone: a plain Backspace or Delete, or Control-D (which Qt
    // counts as the Delete key here), must never throw files away.
    if (QKeySequence(QKeyCombination(modifiers, Qt::Key(key))) == trashShortcut())
        return m_moveToTrash;
#else
    if ((modifiers == Qt::NoModifier && (key == Qt::Key_Backspace || key == Qt::Key_Delete)) ||
        event->matches(QKeySequence::Delete))
        return m_moveToTrash;
#endif
    if (modifiers == Qt::NoModifier && key == Qt::Key_Space)
        return m_quickLook;
    if (event->matches(QKeySequence::Copy))
        return m_copy;
    if (event->matches(QKeySequence::Paste))
        return m_paste;
    return nullptr;
}

FileActions *FileActions::ofFocus(QWidget *focus)
{
    auto *itemView = qobject_cast<QAbstractItemView *>(focus);
    for (QWidget *widget = focus; itemView && widget; widget = widget->parentWidget()) {
        for (FileActions *actions : widget->findChildren<FileActions *>(Qt::FindDirectChildrenOnly))
            if (actions->m_view && actions->m_view->itemViews().contains(itemView))
                return actions;
    }
    return nullptr;
}

bool FileActions::eventFilter(QObject *watched, QEvent *event)
{
    // The view sees these keys before its own handling (which would, for instance, copy the
    // cell text); an open name editor is a separate widget and keeps its keys.
    if (event->type() != QEvent::KeyPress && event->type() != QEvent::ShortcutOverride)
        return QObject::eventFilter(watched, event);
    auto *view = qobject_cast<QWidget *>(watched);
    const QWidget *focus = QApplication::focusWidget();
    if (view && focus && focus != view && view->isAncestorOf(focus))
        return QObject::eventFilter(watched, event);
    auto *key = static_cast<QKeyEvent *>(event);
    QAction *action = actionForKey(key);
    // Esc in the view closes Quick Look, as it does in the window.
    if (!action && key->key() == Qt::Key_Escape && key->modifiers() == Qt::NoModifier && m_quickLookWindow &&
        m_quickLookWindow->isVisible())
        action = m_quickLook;
    if (event->type() == QEvent::ShortcutOverride) {
        // Claim our keys so that no window shortcut takes them while the view has focus.
        if (action)
            event->accept();
        return false;
    }
    if (!action)
        return QObject::eventFilter(watched, event);
    // Keys act on the selection, whatever a menu last showed.
    m_menuActive = false;
    updateActions();
    if (action->isEnabled())
        action->trigger();
    return true;
}
