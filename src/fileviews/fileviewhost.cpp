#include "fileviewhost.h"

#include <QAbstractItemView>
#include <QAccessible>
#include <QApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QVBoxLayout>

FileViewHost::FileViewHost(FileViewActions actions, SelectedURLs selectedURLs, ClickedURL clickedURL,
                           FilesState::Services services, QWidget *parent)
    : QWidget(parent), m_actions(std::move(actions)), m_selectedURLs(std::move(selectedURLs)),
      m_clickedURL(std::move(clickedURL)), m_services(std::move(services)), m_menu(new QMenu(this))
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
}

FileViewHost::~FileViewHost() = default;

void FileViewHost::embed(QWidget *content)
{
    layout()->addWidget(content);
    attach(content);
}

void FileViewHost::attach(QWidget *widget)
{
    widget->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(widget, &QWidget::customContextMenuRequested, this, [this, widget](const QPoint &pos) {
        // Item views report the position in their viewport.
        auto *view = qobject_cast<QAbstractScrollArea *>(widget);
        showMenu(view ? view->viewport() : widget, pos);
    });
    widget->installEventFilter(this);
    m_views.removeAll(nullptr);
    m_views.append(widget);
}

void FileViewHost::showMenu(QWidget *origin, const QPoint &localPos)
{
    const QPoint global = origin->mapToGlobal(localPos);
    rebuildMenu(global);
    m_menu->popup(global);
}

QMenu *FileViewHost::rebuildMenu(const QPoint &globalPos)
{
    const QSet<QUrl> selection = m_selectedURLs ? m_selectedURLs() : QSet<QUrl>();
    const std::optional<QUrl> clicked = m_clickedURL ? m_clickedURL(globalPos) : std::nullopt;
    // Right-clicking outside the selection acts on that item alone and keeps the selection.
    if (!clicked)
        m_menuTargets.clear();
    else if (selection.contains(*clicked))
        m_menuTargets = selection;
    else
        m_menuTargets = {*clicked};

    m_menu->clear();
    auto add = [this](const QString &title, void (FileViewHost::*command)(), bool enabled = true) {
        QAction *action = m_menu->addAction(title);
        action->setEnabled(enabled);
        connect(action, &QAction::triggered, this, command);
        return action;
    };
    if (!m_menuTargets.isEmpty()) {
        add(tr("Open"), &FileViewHost::openTargets);
        m_menu->addSeparator();
        add(tr("Rename"), &FileViewHost::renameTarget, m_menuTargets.size() == 1);
        // Shows the key; it only works from here while the menu is open.
        QAction *trash = add(tr("Move to Trash"), &FileViewHost::trashTargets);
        trash->setShortcut(trashShortcut());
        trash->setShortcutContext(Qt::WidgetShortcut);
        add(tr("Duplicate"), &FileViewHost::duplicateTargets);
        add(tr("Copy"), &FileViewHost::copyTargets);
        m_menu->addSeparator();
        add(tr("Copy Path"), &FileViewHost::copyPath);
        add(tr("Reveal in Finder"), &FileViewHost::revealInFinder);
    } else {
        add(tr("New Folder"), &FileViewHost::newFolder);
        add(tr("Paste Item"), &FileViewHost::paste,
            m_services.pasteboard && m_services.pasteboard->canReadFileURLs());
        m_menu->addSeparator();
        add(tr("Copy Path"), &FileViewHost::copyPath);
        add(tr("Open in Terminal"), &FileViewHost::openInTerminal);
        add(tr("Reveal in Finder"), &FileViewHost::revealInFinder);
    }
    return m_menu;
}

void FileViewHost::openTargets()
{
    for (const QUrl &url : std::as_const(m_menuTargets))
        invokeAction(m_actions.open, url);
}

void FileViewHost::renameTarget()
{
    run(Command::rename, m_menuTargets);
}

void FileViewHost::trashTargets()
{
    run(Command::trash, m_menuTargets);
}

void FileViewHost::duplicateTargets()
{
    run(Command::duplicate, m_menuTargets);
}

void FileViewHost::copyTargets()
{
    run(Command::copy, m_menuTargets);
}

void FileViewHost::run(Command command, const QSet<QUrl> &targets)
{
    switch (command) {
    case Command::rename:
        if (targets.size() == 1)
            m_beginRename(*targets.constBegin());
        break;
    case Command::trash:
        invokeAction(m_actions.trash, targets);
        break;
    case Command::duplicate:
        if (!targets.isEmpty())
            invokeAction(m_actions.duplicate, targets);
        break;
    case Command::copy:
        if (m_services.pasteboard)
            m_services.pasteboard->writeFileURLs(targets.values());
        break;
    case Command::paste:
        invokeAction(m_actions.paste);
        break;
    }
}

void FileViewHost::copyPath()
{
    QList<QUrl> urls = m_menuTargets.values();
    if (urls.isEmpty()) {
        if (const auto folder = invokeAction(m_actions.currentDirectory))
            urls << *folder;
    }
    QStringList paths;
    for (const QUrl &url : std::as_const(urls))
        paths << url.toLocalFile();
    if (m_services.pasteboard)
        m_services.pasteboard->writeText(paths.join(QLatin1Char('\n')));
}

void FileViewHost::newFolder()
{
    invokeAction(m_actions.newFolder);
}

void FileViewHost::paste()
{
    run(Command::paste, {});
}

void FileViewHost::openInTerminal()
{
    if (const auto folder = invokeAction(m_actions.currentDirectory))
        invokeAction(m_actions.openInTerminal, *folder);
}

void FileViewHost::revealInFinder()
{
    if (!m_services.workspace)
        return;
    if (m_menuTargets.isEmpty()) {
        if (const auto folder = invokeAction(m_actions.currentDirectory))
            m_services.workspace->open(*folder);
        return;
    }
    m_services.workspace->reveal(m_menuTargets.values());
}

bool FileViewHost::handleKey(QKeyEvent *event)
{
    const std::optional<Command> command = commandForKey(event);
    if (command)
        perform(*command);
    return command.has_value();
}

void FileViewHost::perform(Command command)
{
    run(command, m_selectedURLs ? m_selectedURLs() : QSet<QUrl>());
}

QKeySequence FileViewHost::trashShortcut()
{
#ifdef Q_OS_DARWIN
    return QKeySequence(Qt::CTRL | Qt::Key_Backspace); // Qt's Ctrl is the Command key here
#else
    return QKeySequence(Qt::Key_Delete);
#endif
}

std::optional<FileViewHost::Command> FileViewHost::commandForKey(const QKeyEvent *event)
{
    const Qt::KeyboardModifiers modifiers = event->modifiers() & ~Qt::KeypadModifier;
    const int key = event->key();
    if (modifiers == Qt::NoModifier && (key == Qt::Key_Return || key == Qt::Key_Enter))
        return Command::rename;
#ifdef Q_OS_DARWIN
    // Finder's Command-Backspace alone: a plain Backspace or Delete, or Control-D (which Qt
    // counts as the Delete key here), must never throw files away.
    if (QKeySequence(QKeyCombination(modifiers, Qt::Key(key))) == trashShortcut())
        return Command::trash;
#else
    if ((modifiers == Qt::NoModifier && (key == Qt::Key_Backspace || key == Qt::Key_Delete)) ||
        event->matches(QKeySequence::Delete))
        return Command::trash;
#endif
    if (event->matches(QKeySequence::Copy))
        return Command::copy;
    if (event->matches(QKeySequence::Paste))
        return Command::paste;
    return std::nullopt;
}

FileViewHost *FileViewHost::ofFocus(QWidget *focus)
{
    for (QWidget *widget = focus; widget; widget = widget->parentWidget()) {
        if (auto *host = qobject_cast<FileViewHost *>(widget))
            return host->m_views.contains(focus) ? host : nullptr;
    }
    return nullptr;
}

bool FileViewHost::keepsSelection(const QEvent *event)
{
    if (!event || (event->type() != QEvent::MouseButtonPress && event->type() != QEvent::MouseButtonRelease))
        return false;
    return static_cast<const QMouseEvent *>(event)->button() == Qt::RightButton;
}

void FileViewHost::keepAccessibleRowsCurrent(QAbstractItemView *view)
{
    // Qt's accessible lists and tables keep the cells they handed out and drop them only when
    // told of a change of rows, which Qt sends only while a bridge is active; a kept cell then
    // reads the row it was made for, or nothing. So the cells are dropped here on every change of
    // rows, and the view's own object stays: a screen reader holding it keeps its place.
    const auto renew = [view] {
        QAccessibleInterface *iface = QAccessible::queryAccessibleInterface(view);
        QAccessibleTableInterface *table = iface ? iface->tableInterface() : nullptr;
        if (!table)
            return;
        QAccessibleTableModelChangeEvent reset(view, QAccessibleTableModelChangeEvent::ModelReset);
        table->modelChange(&reset);
        QAccessible::updateAccessibility(&reset);
    };
    QAbstractItemModel *model = view->model();
    connect(model, &QAbstractItemModel::modelReset, view, renew);
    connect(model, &QAbstractItemModel::rowsInserted, view, renew);
    connect(model, &QAbstractItemModel::rowsRemoved, view, renew);
}

bool FileViewHost::eventFilter(QObject *watched, QEvent *event)
{
    // The view sees these keys before its own handling (which would, for instance, copy the
    // cell text); an open name editor is a separate widget and keeps its keys.
    if (event->type() == QEvent::KeyPress || event->type() == QEvent::ShortcutOverride) {
        auto *view = qobject_cast<QWidget *>(watched);
        const QWidget *focus = QApplication::focusWidget();
        if (view && focus && focus != view && view->isAncestorOf(focus))
            return QWidget::eventFilter(watched, event); // a name editor keeps its keys
        auto *key = static_cast<QKeyEvent *>(event);
        if (event->type() == QEvent::ShortcutOverride) {
            // Claim our keys so that no window shortcut takes them while the view has focus.
            if (commandForKey(key))
                event->accept();
            return false;
        }
        if (handleKey(key))
            return true;
    }
    return QWidget::eventFilter(watched, event);
}
