#include "filesstorageview.h"
#include "fileprogressstrip.h"

#include "busyindicator.h"
#include "contentunavailableview.h"
#include "fileviews/desktopworkspace.h"
#include "fileviews/fileactions.h"
#include "fileviews/filecolumnview.h"
#include "fileviews/fileiconview.h"
#include "fileviews/filelistview.h"
#include "messagealert.h"
#include "pathbar.h"
#include "preferences.h"
#include "segmentedpicker.h"
#include "symbols.h"

#include <QAction>
#include <QDir>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QGridLayout>
#include <QMimeData>
#include <QStackedLayout>
#include <QTimer>
#include <QVBoxLayout>

namespace {

// The same URL without its last path component.
QUrl parentFolder(const QUrl &url)
{
    return url.adjusted(QUrl::StripTrailingSlash)
        .adjusted(QUrl::RemoveFilename)
        .adjusted(QUrl::StripTrailingSlash);
}

} // namespace

FilesStorageView::FilesStorageView(const Simulator &simulator, QWidget *parent)
    : FilesStorageView(simulator, desktopFilesServices(), {}, parent)
{
}

FilesStorageView::FilesStorageView(const Simulator &simulator, FilesState::Services services,
                                   FilesState::StorageLookup storageLookup, QWidget *parent)
    : QWidget(parent), m_simulator(simulator), m_services(std::move(services)),
      m_storageLookup(std::move(storageLookup)), m_viewMode(storedViewMode()),
      m_toolBar(new FilesToolBar(this)), m_body(new QWidget(this)), m_pathBar(new PathBar(this)),
      m_alert(new MessageAlert(tr("Copy failed"), this, tr("Stopped")))
{
    m_actions = new FileActions(nullptr, m_services, this);
    setUpToolBar();
    setUpBody();
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(m_toolBar);
    layout->addWidget(m_body, 1);
    layout->addWidget(m_pathBar);
    layout->addWidget(
        new FileProgressStrip(m_services.jobs ? m_services.jobs : FileJobQueue::shared(), this));

    connect(m_pathBar, &PathBar::pathClicked, this, [this] { m_state->copyCurrentPath(); });
    connect(m_pathBar, &PathBar::iconSizeMoved, this, [](double size) { setIconSize(size); });
    connect(m_alert, &MessageAlert::dismissed, this, [this] { m_state->setErrorMessage(std::nullopt); });
    connect(&Preferences::shared(), &Preferences::viewModeChanged, this,
            [this] { viewModeDidChange(storedViewMode()); });
    connect(&Preferences::shared(), &Preferences::iconSizeChanged, this, &FilesStorageView::scheduleApply);

    attachState();
    apply();
}

FilesStorageView::~FilesStorageView() = default;

QAction *FilesStorageView::newFolderAction() const
{
    return m_actions->newFolderAction();
}

QAction *FilesStorageView::moveToTrashAction() const
{
    return m_actions->moveToTrashAction();
}

void FilesStorageView::setUpToolBar()
{
    m_picker = m_toolBar->viewModePicker();
    // The shown mode is checked again on every apply; only another mode is a choice.
    connect(m_picker, &SegmentedPicker::segmentChecked, this, [this](int id) {
        if (ViewMode(id) != m_viewMode)
            setViewMode(ViewMode(id));
    });
    m_up = addCommand(QStringLiteral("chevron.up"), tr("Up"), &FilesStorageView::goUp);
    m_copyFiles = addCommand(QStringLiteral("plus"), tr("Copy Files…"), &FilesStorageView::importFiles);
    m_refresh = m_toolBar->addCommand(QStringLiteral("arrow.clockwise"), tr("Refresh"));
    connect(m_refresh, &QAction::triggered, this, [this] { m_state->reload(false); });
    m_toolBar->addGroupSpacer();
    m_toolBar->addCommand(QStringLiteral("folder.badge.plus"), m_actions->newFolderAction());
    m_toolBar->addCommand(QStringLiteral("trash"), m_actions->moveToTrashAction());
    m_toolBar->addCommand(QStringLiteral("eye"), m_actions->quickLookAction());
    m_toolBar->addGroupSpacer();
    m_toolBar->addCommand(QStringLiteral("folder"), m_actions->revealInFinderAction());
    m_toolBar->addCommand(QStringLiteral("terminal"), m_actions->openInTerminalAction());
    m_toolBar->addCommand(QStringLiteral("document.on.document"), m_actions->copyPathAction());
    m_copyDeviceUDID =
        addCommand(QStringLiteral("iphone"), tr("Copy Device UDID"), &FilesStorageView::copyDeviceUDID);
    Symbols::makeKeyboardReachable(m_toolBar);
}

QAction *FilesStorageView::addCommand(const QString &symbol, const QString &text,
                                      void (FilesStorageView::*command)())
{
    QAction *action = m_toolBar->addCommand(symbol, text);
    connect(action, &QAction::triggered, this, command);
    return action;
}

void FilesStorageView::setUpBody()
{
    m_body->setAccessibleName(tr("Files"));
    m_body->setAcceptDrops(true);
    m_body->installEventFilter(this);

    m_busyIndicator = new BusyIndicator;
    m_loadingPage = centredPage(m_busyIndicator, m_body);
    m_missingPlaceholder = new ContentUnavailableView(
        QStringLiteral("folder.badge.questionmark"), tr("Files storage not found"),
        tr("Open the Files app once on this simulator, then press Refresh."), m_body);
    m_unreadablePlaceholder =
        new ContentUnavailableView(QStringLiteral("folder.badge.questionmark"), tr("Folder can’t be read"),
                                   tr("You may not have permission to see its contents."), m_body);
    m_contentPage = new QWidget(m_body);
    auto *content = new QGridLayout(m_contentPage);
    content->setContentsMargins(0, 0, 0, 0);
    m_dropHint = new ContentUnavailableView(QStringLiteral("square.and.arrow.down"), tr("Drop files here"),
                                            {}, m_contentPage);
    // Clicks and drops pass through the hint to the view beneath it.
    m_dropHint->setAttribute(Qt::WA_TransparentForMouseEvents);
    content->addWidget(m_dropHint, 0, 0, Qt::AlignCenter);
    m_emptyPage = new QWidget(m_body);

    m_pages = new QStackedLayout(m_body);
    for (QWidget *page : {m_loadingPage, static_cast<QWidget *>(m_missingPlaceholder),
                          static_cast<QWidget *>(m_unreadablePlaceholder), m_contentPage, m_emptyPage})
        m_pages->addWidget(page);
}

// The state of one appearance for one device, and the reactions to its changes.
void FilesStorageView::attachState()
{
    delete m_state.data();
    m_state = m_storageLookup ? new FilesState(m_storageLookup, m_services, this)
                              : new FilesState(m_simulator, m_services, this);
    if (!m_boundary.isEmpty())
        m_state->setBoundary(m_boundary);
    for (auto signal : {&FilesState::rootURLChanged, &FilesState::loadStateChanged,
                        &FilesState::selectionChanged, &FilesState::reloadCountChanged,
                        &FilesState::errorMessageChanged, &FilesState::renameRequestChanged})
        connect(m_state, signal, this, &FilesStorageView::scheduleApply);
    connect(m_state, &FilesState::currentDirectoryChanged, this,
            &FilesStorageView::currentDirectoryDidChange);
    connect(m_state, &FilesState::folderRead, this,
            [this](const QUrl &folder, const QList<FileEntry> &entries, bool readable) {
                m_fileView->setListing(folder, entries, readable);
            });
    m_state->setShown(m_hasAppeared && isVisible());
    m_actions->setState(m_state);
    replaceFileView();
}

QList<FilesStorageView::ViewMode> FilesStorageView::allViewModes()
{
    return {ViewMode::icons, ViewMode::list, ViewMode::columns};
}

QString FilesStorageView::rawValue(ViewMode mode)
{
    switch (mode) {
    case ViewMode::icons:
        return QStringLiteral("icons");
    case ViewMode::list:
        return QStringLiteral("list");
    case ViewMode::columns:
        return QStringLiteral("columns");
    }
    return {};
}

std::optional<FilesStorageView::ViewMode> FilesStorageView::viewModeFromRawValue(const QString &text)
{
    for (const ViewMode mode : allViewModes()) {
        if (rawValue(mode) == text)
            return mode;
    }
    return std::nullopt;
}

FilesStorageView::ViewMode FilesStorageView::storedViewMode()
{
    return viewModeFromRawValue(Preferences::shared().viewMode()).value_or(ViewMode::list);
}

void FilesStorageView::setViewMode(ViewMode mode)
{
    Preferences::shared().setViewMode(rawValue(mode));
}

double FilesStorageView::storedIconSize()
{
    return Preferences::shared().iconSize();
}

void FilesStorageView::setIconSize(double size)
{
    Preferences::shared().setIconSize(size);
}

void FilesStorageView::setSimulator(const Simulator &simulator)
{
    if (simulator == m_simulator)
        return;
    const bool sameDevice = simulator.udid == m_simulator.udid;
    m_simulator = simulator;
    if (!sameDevice) {
        attachState();
        if (m_hasAppeared)
            m_state->reload(true);
    }
    scheduleApply();
}

void FilesStorageView::setBoundary(const QString &deviceFolder)
{
    m_boundary = deviceFolder;
    m_state->setBoundary(deviceFolder);
}

FileView *FilesStorageView::makeFileView(ViewMode mode)
{
    FileView *view = nullptr;
    switch (mode) {
    case ViewMode::icons:
        view = new FileIconView(m_contentPage);
        break;
    case ViewMode::list:
        view = new FileListView(m_contentPage);
        break;
    case ViewMode::columns:
        view = new FileColumnView(m_contentPage);
        break;
    }
    // The view's requests go to the state of the moment: another device replaces it.
    connect(view, &FileView::activated, this, [this](const QUrl &url) { m_state->open(url); });
    connect(view, &FileView::selectionChanged, this,
            [this](const QSet<QUrl> &urls) { m_state->setSelection(urls); });
    connect(view, &FileView::renameRequested, this,
            [this](const QUrl &url, const QString &name) { m_state->rename(url, name); });
    connect(view, &FileView::currentFolderChanged, this,
            [this](const QUrl &folder) { m_state->setCurrentDirectory(folder); });
    connect(view, &FileView::renameRequestDone, this, [this] { m_state->setRenameRequest(std::nullopt); });
    // The columns read their folders within the same bounds as the state, in the background.
    connect(view, &FileView::listingsWanted, this,
            [this](const QList<QUrl> &folders) { m_state->readFolders(folders); });
    connect(view, &FileView::shownFoldersChanged, this, &FilesStorageView::scheduleApply);
    return view;
}

void FilesStorageView::replaceFileView()
{
    delete m_fileView;
    m_fileView = makeFileView(m_viewMode);
    m_actions->setView(m_fileView);
    auto *content = static_cast<QGridLayout *>(m_contentPage->layout());
    content->addWidget(m_fileView, 0, 0);
    m_dropHint->raise();
}

// A new mode starts at the root with nothing selected; the folder change reloads, except in
// the column mode, whose browser reads its folders itself.
void FilesStorageView::viewModeDidChange(ViewMode mode)
{
    if (mode == m_viewMode)
        return;
    m_viewMode = mode;
    replaceFileView();
    m_state->setCurrentDirectory(m_state->rootURL());
    m_state->setSelection({});
    scheduleApply();
}

void FilesStorageView::currentDirectoryDidChange()
{
    // A folder that gave way to its ancestor has been read already.
    if (m_viewMode != ViewMode::columns && !m_state->showsCurrentDirectory())
        m_state->reload(true);
    scheduleApply();
}

void FilesStorageView::goUp()
{
    if (const std::optional<QUrl> folder = m_state->currentDirectory())
        m_state->setCurrentDirectory(parentFolder(*folder));
}

void FilesStorageView::importFiles()
{
    if (m_isImporting)
        return;
    m_isImporting = true;
    scheduleApply();
}

void FilesStorageView::finishImport(bool accepted)
{
    const QList<QUrl> chosen = accepted && m_importer ? m_importer->selectedUrls() : QList<QUrl>();
    // This dialog is done even if the next apply finds the importer wanted again.
    if (m_importer)
        m_importer->deleteLater();
    m_importer = nullptr;
    m_isImporting = false;
    scheduleApply();
    if (accepted)
        m_state->copyItemsIn(chosen);
}

void FilesStorageView::copyDeviceUDID()
{
    if (m_services.pasteboard)
        m_services.pasteboard->writeText(m_simulator.udid);
}

void FilesStorageView::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    m_state->setShown(true);
    if (m_hasAppeared)
        return;
    m_hasAppeared = true;
    m_state->reload(true);
}

void FilesStorageView::hideEvent(QHideEvent *event)
{
    QWidget::hideEvent(event);
    m_state->setShown(false);
}

void FilesStorageView::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    m_toolBar->fitTo(width());
}

bool FilesStorageView::eventFilter(QObject *watched, QEvent *event)
{
    if (watched != m_body)
        return QWidget::eventFilter(watched, event);
    switch (event->type()) {
    case QEvent::DragEnter:
    case QEvent::DragMove: {
        auto *drag = static_cast<QDragMoveEvent *>(event);
        if (drag->mimeData() && drag->mimeData()->hasUrls()) {
            // Copy, never move: the source keeps its files.
            drag->setDropAction(Qt::CopyAction);
            drag->accept();
        } else {
            drag->ignore();
        }
        return true;
    }
    case QEvent::Drop: {
        auto *drop = static_cast<QDropEvent *>(event);
        const QList<QUrl> urls = drop->mimeData() ? drop->mimeData()->urls() : QList<QUrl>();
        drop->setDropAction(Qt::CopyAction);
        drop->accept();
        m_state->copyItemsIn(urls);
        return true;
    }
    default:
        return QWidget::eventFilter(watched, event);
    }
}

// State changes arrive in bursts (a reload sets several fields) and sometimes from inside a
// view's own callbacks; the widgets follow once, after the burst, outside those callbacks.
void FilesStorageView::scheduleApply()
{
    if (m_applyScheduled)
        return;
    m_applyScheduled = true;
    QTimer::singleShot(0, this, &FilesStorageView::apply);
}

void FilesStorageView::apply()
{
    m_applyScheduled = false;
    applyBody();
    applyFileView();
    applyToolBar();
    applyPathBar();
    applyAlert();
    applyImporter();
    applyWatch();
    emit applied();
}

QFileDialog *FilesStorageView::importer() const
{
    return m_importer.data();
}

QWidget *FilesStorageView::shownPage() const
{
    return m_pages->currentWidget();
}

void FilesStorageView::applyBody()
{
    QWidget *page = m_contentPage;
    switch (m_state->loadState().kind()) {
    case LoadState::Kind::loading:
        page = m_loadingPage;
        break;
    case LoadState::Kind::storageMissing:
        page = m_missingPlaceholder;
        break;
    case LoadState::Kind::unreadable:
        page = m_unreadablePlaceholder;
        break;
    case LoadState::Kind::loaded:
        if (m_viewMode == ViewMode::columns && !m_state->rootURL())
            page = m_emptyPage;
        break;
    }
    m_pages->setCurrentWidget(page);
    m_dropHint->setVisible(m_viewMode == ViewMode::icons && m_state->loadState().isLoaded() &&
                           m_state->loadState().entries().isEmpty());
}

// Only the shown view follows the state; a hidden one keeps its rows until it shows again.
void FilesStorageView::applyFileView()
{
    if (shownPage() != m_contentPage)
        return;
    m_fileView->setEntries(m_state->loadState().entries());
    m_fileView->setRoot(m_state->rootURL(), m_state->reloadCount());
    m_fileView->setIconSize(storedIconSize());
    m_fileView->setSelectedUrls(m_state->selection());
    m_fileView->setRenameRequest(m_state->renameRequest());
}

void FilesStorageView::applyToolBar()
{
    m_picker->setCheckedId(int(m_viewMode));
    const std::optional<QUrl> &folder = m_state->currentDirectory();
    m_up->setEnabled(m_viewMode != ViewMode::columns && folder && folder != m_state->rootURL());
    m_actions->updateActions();
}

void FilesStorageView::applyPathBar()
{
    const std::optional<QUrl> &folder = m_state->currentDirectory();
    m_pathBar->setPath(folder ? QDir::cleanPath(folder->toLocalFile()) : QString());
    m_pathBar->setShowsIconSize(m_viewMode == ViewMode::icons);
    m_pathBar->setIconSize(storedIconSize());
}

void FilesStorageView::applyAlert()
{
    if (m_alert->message() != m_state->errorMessage() ||
        m_alert->isNote() != m_state->errorMessageIsStopNote())
        m_alert->setMessage(m_state->errorMessage(), m_state->errorMessageIsStopNote());
}

// The folders on screen are watched: the browser's columns, or the current folder.
void FilesStorageView::applyWatch()
{
    QList<QUrl> folders = m_fileView->shownFolders();
    if (folders.isEmpty() && m_state->currentDirectory())
        folders << *m_state->currentDirectory();
    m_state->setShownFolders(folders);
}

void FilesStorageView::applyImporter()
{
    if (!m_isImporting) {
        if (m_importer) {
            m_importer->deleteLater();
            m_importer = nullptr;
        }
        return;
    }
    if (m_importer)
        return;
    m_importer = new QFileDialog(this, tr("Copy Files…"));
    m_importer->setAccessibleName(tr("Copy Files…"));
    m_importer->setFileMode(QFileDialog::ExistingFiles);
    m_importer->setAcceptMode(QFileDialog::AcceptOpen);
    m_importer->setWindowModality(Qt::WindowModal);
    connect(m_importer, &QFileDialog::finished, this,
            [this](int result) { finishImport(result == QDialog::Accepted); });
    m_importer->open();
}
