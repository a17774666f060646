#include "photosview.h"

#include "busyindicator.h"
#include "contentunavailableview.h"
#include "filestore/plaintext.h"
#include "messagealert.h"
#include "symbols.h"

#include <QAction>
#include <QCoreApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QFutureWatcher>
#include <QGridLayout>
#include <QListWidget>
#include <QMimeData>
#include <QMimeDatabase>
#include <QPushButton>
#include <QStackedWidget>
#include <QThreadPool>
#include <QToolBar>
#include <QVBoxLayout>
#include <QtConcurrent/QtConcurrentRun>

namespace {

// Each run mostly waits for its child process, so many may run side by side.
constexpr int maxParallelRuns = 64;

QStringList globPatterns(const QString &mimePrefix)
{
    QStringList patterns;
    const QList<QMimeType> types = QMimeDatabase().allMimeTypes();
    for (const QMimeType &type : types) {
        if (!type.name().startsWith(mimePrefix))
            continue;
        for (const QString &pattern : type.globPatterns()) {
            // A name filter is a space-separated list inside parentheses.
            if (pattern.contains(QLatin1Char(' ')) || pattern.contains(QLatin1Char('(')) ||
                pattern.contains(QLatin1Char(')')))
                continue;
            patterns << pattern << pattern.toUpper(); // Linux file dialogs match case-sensitively
        }
    }
    patterns.sort();
    patterns.removeDuplicates();
    return patterns;
}

} // namespace

PhotosView::PhotosView(const Simulator &simulator, QWidget *parent)
    : QWidget(parent), m_toolBar(new QToolBar(this)),
      m_addMediaAction(new QAction(Symbols::icon(QStringLiteral("plus")), tr("Add Media…"), this)),
      m_clearListAction(new QAction(Symbols::icon(QStringLiteral("xmark.circle")), tr("Clear List"), this)),
      m_body(new QWidget(this)), m_bodyStack(new QStackedWidget(m_body)),
      m_placeholder(new ContentUnavailableView(QStringLiteral("photo.on.rectangle.angled"),
                                               tr("Drop photos or videos here"))),
      m_fileList(new QListWidget), m_busyIndicator(new BusyIndicator(m_body)),
      m_cancelRuns(new QPushButton(tr("Cancel"), m_body)),
      m_alert(new MessageAlert(tr("Add media failed"), this))
{
    m_state.simulator = simulator;
    setUpToolBar();
    setUpBody();

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(m_toolBar);
    layout->addWidget(m_body, 1);

    connect(m_alert, &MessageAlert::dismissed, this, [this] {
        m_state.errorMessage.reset();
        apply();
    });
    apply();
}

PhotosView::~PhotosView() = default;

QFileDialog *PhotosView::importer() const
{
    return m_importer;
}

void PhotosView::setUpToolBar()
{
    m_toolBar->setAccessibleName(tr("Photos toolbar"));
    m_toolBar->setMovable(false);
    m_toolBar->setFloatable(false);
    m_toolBar->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);

    auto *spacer = new QWidget(m_toolBar);
    spacer->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    m_toolBar->addWidget(spacer);

    m_addMediaAction->setObjectName(QStringLiteral("addMedia"));
    m_addMediaAction->setToolTip(tr("Add Media…"));
    m_clearListAction->setObjectName(QStringLiteral("clearList"));
    m_clearListAction->setToolTip(tr("Clear List"));
    m_toolBar->addAction(m_addMediaAction);
    m_toolBar->addAction(m_clearListAction);
    Symbols::makeKeyboardReachable(m_toolBar);
    connect(m_addMediaAction, &QAction::triggered, this, &PhotosView::importMedia);
    connect(m_clearListAction, &QAction::triggered, this, &PhotosView::clearList);
}

void PhotosView::setUpBody()
{
    m_body->setAccessibleName(tr("Media drop area"));
    m_body->setAcceptDrops(true);
    m_body->installEventFilter(this);

    m_fileList->setAccessibleName(tr("Added media"));
    m_fileList->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_fileList->setUniformItemSizes(true);
    m_fileList->setFrameShape(QFrame::NoFrame);
    // Drops anywhere on the body go to the body, the list included.
    m_fileList->setDragDropMode(QAbstractItemView::NoDragDrop);
    m_fileList->setAcceptDrops(false);
    m_fileList->viewport()->setAcceptDrops(false);

    m_bodyStack->addWidget(m_placeholder);
    m_bodyStack->addWidget(m_fileList);
    m_busyIndicator->hide();

    // Both in one cell: the indicator lies over the content, centred.
    auto *layout = new QGridLayout(m_body);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_bodyStack, 0, 0);
    layout->addWidget(m_busyIndicator, 0, 0, Qt::AlignCenter);
    m_busyIndicator->raise();
    m_cancelRuns->setObjectName(QStringLiteral("cancelAddMedia"));
    m_cancelRuns->setAccessibleName(tr("Cancel adding media"));
    m_cancelRuns->hide();
    layout->addWidget(m_cancelRuns, 0, 0, Qt::AlignHCenter | Qt::AlignBottom);
    connect(m_cancelRuns, &QPushButton::clicked, this, [this] {
        for (const auto &stop : std::as_const(m_runStops))
            stop->requestStop();
    });
}

QThreadPool *PhotosView::runPool()
{
    static QPointer<QThreadPool> pool;
    if (!pool) {
        pool = new QThreadPool(QCoreApplication::instance());
        pool->setMaxThreadCount(maxParallelRuns);
    }
    return pool;
}

QString PhotosView::rowText(const QUrl &url)
{
    const QString path = url.isLocalFile() ? url.toLocalFile() : url.path(QUrl::FullyDecoded);
    const QStringList components = path.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    if (!components.isEmpty())
        return components.constLast();
    return path.isEmpty() ? QString() : QStringLiteral("/");
}

QStringList PhotosView::importerNameFilters()
{
    static const QStringList filters = [] {
        const QStringList images = globPatterns(QStringLiteral("image/"));
        const QStringList movies = globPatterns(QStringLiteral("video/"));
        QStringList both = images + movies;
        both.sort();
        both.removeDuplicates();
        const QChar space(QLatin1Char(' '));
        return QStringList{tr("Images and Movies (%1)").arg(both.join(space)),
                           tr("Images (%1)").arg(images.join(space)),
                           tr("Movies (%1)").arg(movies.join(space))};
    }();
    return filters;
}

void PhotosView::setSimulator(const Simulator &simulator)
{
    if (simulator == m_state.simulator)
        return;
    m_state.simulator = simulator;
    apply();
}

void PhotosView::addMediaFiles(const QList<QUrl> &files)
{
    if (!m_state.simulator.isBooted) {
        m_state.errorMessage = tr("Boot the simulator before adding media.");
        apply();
        return;
    }
    m_state.isAdding = true;
    apply();

    // Parented to the screen: when the screen goes, the watcher goes, and the run's outcome
    // has nobody to reach.
    auto *watcher = new QFutureWatcher<Status>(this);
    const auto stop = std::make_shared<StopSource>();
    m_runStops.append(stop);
    connect(watcher, &QFutureWatcherBase::finished, this, [this, watcher, files, stop] {
        const Status status = watcher->future().resultCount() > 0
                                  ? watcher->result()
                                  : Status::failure(tr("The media could not be added."));
        watcher->deleteLater();
        m_runStops.removeOne(stop);
        // Stopped by the user: nothing was added, and there is nothing to tell.
        const bool stopped = !status && stop->stopRequested();
        finishRun(stopped ? Status::success({}) : status, stopped ? QList<QUrl>() : files);
    });
    watcher->setFuture(
        QtConcurrent::run(runPool(), [udid = m_state.simulator.udid, files, token = stop->token()] {
            return Simulator::addMedia(udid, files, token);
        }));
}

void PhotosView::finishRun(const Status &status, const QList<QUrl> &files)
{
    if (status.ok())
        m_state.addedFiles += files;
    else
        m_state.errorMessage = status.error();
    // Cleared by whichever run ends first, even while others still work.
    m_state.isAdding = false;
    apply();
}

void PhotosView::clearList()
{
    if (m_state.addedFiles.isEmpty())
        return;
    m_state.addedFiles.clear();
    apply();
}

void PhotosView::importMedia()
{
    if (m_state.isImporting)
        return;
    m_state.isImporting = true;
    apply();
}

void PhotosView::finishImport(bool accepted)
{
    const QList<QUrl> chosen = accepted && m_importer ? m_importer->selectedUrls() : QList<QUrl>();
    m_state.isImporting = false;
    apply();
    if (!chosen.isEmpty())
        addMediaFiles(chosen);
}

bool PhotosView::eventFilter(QObject *watched, QEvent *event)
{
    if (watched != m_body)
        return QWidget::eventFilter(watched, event);
    switch (event->type()) {
    case QEvent::DragEnter:
    case QEvent::DragMove: {
        auto *drag = static_cast<QDragMoveEvent *>(event);
        if (drag->mimeData() && drag->mimeData()->hasUrls()) {
            // Copy, never move: the source must keep its files.
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
        if (!urls.isEmpty())
            addMediaFiles(urls);
        return true;
    }
    default:
        return QWidget::eventFilter(watched, event);
    }
}

void PhotosView::apply()
{
    const bool isEmpty = m_state.addedFiles.isEmpty();
    m_placeholder->setDescription(m_state.simulator.isBooted ? tr("Added media appears in the Photos app.")
                                                             : tr("Boot the simulator first."));
    applyList();
    m_bodyStack->setCurrentWidget(isEmpty ? static_cast<QWidget *>(m_placeholder) : m_fileList);
    m_busyIndicator->setVisible(m_state.isAdding);
    m_cancelRuns->setVisible(m_state.isAdding);
    m_addMediaAction->setEnabled(m_state.simulator.isBooted);
    m_clearListAction->setEnabled(!isEmpty);
    applyAlert();
    applyImporter();
    emit stateChanged();
}

void PhotosView::applyList()
{
    if (m_listedFiles == m_state.addedFiles)
        return;
    // Runs only ever append; anything else (clearing) rebuilds.
    const bool appended =
        m_state.addedFiles.size() > m_listedFiles.size() &&
        std::equal(m_listedFiles.cbegin(), m_listedFiles.cend(), m_state.addedFiles.cbegin());
    if (!appended) {
        m_fileList->clear();
        m_listedFiles.clear();
    }
    const QIcon icon = Symbols::icon(QStringLiteral("checkmark.circle"));
    for (qsizetype i = m_listedFiles.size(); i < m_state.addedFiles.size(); ++i) {
        const QUrl &url = m_state.addedFiles.at(i);
        auto *item = new QListWidgetItem(icon, PlainText::oneLine(rowText(url)), m_fileList);
        item->setData(Qt::UserRole, url);
        item->setToolTip(PlainText::toolTip(
            PlainText::oneLine(url.isLocalFile() ? url.toLocalFile() : url.toDisplayString())));
    }
    m_listedFiles = m_state.addedFiles;
}

void PhotosView::applyAlert()
{
    if (m_alert->message() != m_state.errorMessage)
        m_alert->setMessage(m_state.errorMessage);
}

void PhotosView::applyImporter()
{
    if (!m_state.isImporting) {
        if (m_importer) {
            m_importer->deleteLater();
            m_importer = nullptr;
        }
        return;
    }
    if (m_importer)
        return;
    m_importer = new QFileDialog(this, tr("Add Media…"));
    m_importer->setAccessibleName(tr("Add Media…"));
    m_importer->setFileMode(QFileDialog::ExistingFiles);
    m_importer->setAcceptMode(QFileDialog::AcceptOpen);
    m_importer->setNameFilters(importerNameFilters());
    m_importer->setWindowModality(Qt::WindowModal);
    connect(m_importer, &QFileDialog::finished, this,
            [this](int result) { finishImport(result == QDialog::Accepted); });
    m_importer->open();
}
