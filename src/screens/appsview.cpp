#include "appsview.h"

#include "base/workpools.h"
#include "busyindicator.h"
#include "contentunavailableview.h"
#include "filesstorageview.h"
#include "filestore/plaintext.h"
#include "fileviews/desktopworkspace.h"
#include "symbols.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QImageReader>
#include <QItemSelectionModel>
#include <QLabel>
#include <QListView>
#include <QPromise>
#include <QSplitter>
#include <QStackedLayout>
#include <QStandardItemModel>
#include <QVBoxLayout>
#include <QtConcurrent/QtConcurrentRun>

using namespace Qt::StringLiterals;

namespace {

constexpr int iconEdge = 32;
// Icons larger than this are not decoded: an app icon is at most 1024 pixels square.
constexpr int maxIconEdge = 1024;
constexpr int keyRole = Qt::UserRole + 1;

// The first icon file that decodes, scaled to the list's size; null when none does.
QImage decodeIcon(const QStringList &files)
{
    for (const QString &file : files) {
        QImageReader reader(file);
        const QSize size = reader.size();
        if (!size.isValid() || size.width() > maxIconEdge || size.height() > maxIconEdge)
            continue;
        reader.setScaledSize(size.scaled(iconEdge * 2, iconEdge * 2, Qt::KeepAspectRatio));
        QImage image = reader.read();
        if (!image.isNull())
            return image;
    }
    return {};
}

// The first icon of each app, decoded unless `known` has it.
QHash<QString, QImage> decodeIcons(const AppCatalogue::Catalogue &catalogue,
                                   const QHash<QString, QImage> &known)
{
    QHash<QString, QImage> icons;
    for (const AppCatalogue::App &app : catalogue.apps) {
        if (app.iconFiles.isEmpty())
            continue;
        const QString &key = app.iconFiles.first();
        icons.insert(key, known.contains(key) ? known.value(key) : decodeIcon(app.iconFiles));
    }
    return icons;
}

} // namespace

AppsView::AppsView(const Simulator &simulator, QWidget *parent)
    : AppsView(simulator, desktopFilesServices(), QDir::homePath(), parent)
{
}

AppsView::AppsView(const Simulator &simulator, FilesState::Services services, QString homePath,
                   QWidget *parent)
    : QWidget(parent), m_simulator(simulator), m_services(std::move(services)),
      m_homePath(std::move(homePath))
{
    m_pages = new QStackedLayout(this);

    m_busy = new BusyIndicator;
    m_loadingPage = centredPage(m_busy, this);
    m_empty = new ContentUnavailableView(u"app.dashed"_s, tr("No apps installed"),
                                         tr("Apps installed on this simulator appear here."), this);

    m_splitter = new QSplitter(Qt::Horizontal, this);
    m_splitter->setChildrenCollapsible(false);
    m_list = new QListView(m_splitter);
    m_list->setAccessibleName(tr("Apps"));
    m_list->setIconSize(QSize(iconEdge, iconEdge));
    m_list->setUniformItemSizes(true);
    m_list->setTextElideMode(Qt::ElideMiddle); // an identifier's end tells apps apart
    m_list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list->setMinimumWidth(180);
    m_model = new QStandardItemModel(this);
    m_list->setModel(m_model);
    connect(m_list->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex &current) {
                if (!m_syncing && current.isValid())
                    select(current.data(keyRole).toString());
            });

    m_detail = new QWidget(m_splitter);
    auto *detailLayout = new QVBoxLayout(m_detail);
    detailLayout->setContentsMargins(0, 0, 0, 0);
    detailLayout->setSpacing(0);
    auto *pickerRow = new QHBoxLayout;
    pickerRow->setContentsMargins(8, 4, 8, 4);
    m_pickerLabel = new QLabel(tr("Container:"), m_detail);
    m_picker = new QComboBox(m_detail);
    m_picker->setAccessibleName(tr("Container"));
    m_picker->setToolTip(tr("Container"));
    m_picker->view()->setAccessibleName(tr("Containers"));
    m_picker->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    m_pickerLabel->setBuddy(m_picker);
    pickerRow->addWidget(m_pickerLabel);
    pickerRow->addWidget(m_picker);
    pickerRow->addStretch(1);
    detailLayout->addLayout(pickerRow);
    connect(m_picker, &QComboBox::currentIndexChanged, this, [this](int index) {
        if (!m_syncing)
            chooseContainer(index);
    });
    m_splitter->addWidget(m_list);
    m_splitter->addWidget(m_detail);
    m_splitter->setStretchFactor(0, 0);
    m_splitter->setStretchFactor(1, 1);
    m_splitter->setSizes({240, 760});

    for (QWidget *page : {m_loadingPage, static_cast<QWidget *>(m_empty), static_cast<QWidget *>(m_splitter)})
        m_pages->addWidget(page);
    m_pages->setCurrentWidget(m_loadingPage);

    connect(&m_watcher, &QFutureWatcher<Loaded>::resultReadyAt, this, &AppsView::takeResult);
    connect(&m_watcher, &QFutureWatcher<Loaded>::finished, this, &AppsView::finishLoad);
}

// A load still running ends its tool and finishes on its pool thread; its result goes nowhere.
AppsView::~AppsView()
{
    m_stop.requestStop();
    m_watcher.disconnect(this);
}

QString AppsView::sharedGroupsKey()
{
    // No bundle identifier holds a space.
    return u" shared groups"_s;
}

void AppsView::setSimulator(const Simulator &simulator)
{
    if (simulator == m_simulator)
        return;
    m_simulator = simulator;
    if (m_browser)
        m_browser->setSimulator(simulator);
    // A load running now learns about the old record: it ends, and the next one starts afresh.
    stopLoad();
    refresh();
}

void AppsView::refresh()
{
    if (m_hasAppeared)
        startLoad();
}

void AppsView::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (m_hasAppeared)
        return;
    m_hasAppeared = true;
    startLoad();
}

// One load at a time: a refresh during a load reads again once it ends.
void AppsView::startLoad()
{
    if (m_loading) {
        m_loadAgain = true;
        return;
    }
    m_loading = true;
    m_loadAgain = false;
    m_watcher.setFuture(QtConcurrent::run(
        WorkPools::tools(), [home = m_homePath, simulator = m_simulator, cache = m_toolCache, known = m_icons,
                             stop = m_stop.token()](QPromise<Loaded> &promise) mutable {
            const auto shown = [&](const AppCatalogue::Catalogue &catalogue) {
                Loaded early;
                early.catalogue = catalogue;
                early.icons = known = decodeIcons(catalogue, known);
                promise.addResult(std::move(early));
            };
            auto catalogue = AppCatalogue::load(home, simulator, cache, stop, shown);
            if (!catalogue)
                return; // nothing changed, or stopped
            Loaded loaded;
            loaded.icons = decodeIcons(*catalogue, known);
            loaded.catalogue = std::move(*catalogue);
            loaded.toolCache = std::move(cache);
            promise.addResult(std::move(loaded));
        }));
}

void AppsView::stopLoad()
{
    if (!m_loading)
        return;
    m_stop.requestStop();
    m_stop = StopSource();
    // It ends on its own within a moment; nothing it reports reaches this screen.
    m_loading = false;
    m_watcher.setFuture(QFuture<Loaded>());
}

void AppsView::takeResult(int index)
{
    Loaded loaded = m_watcher.resultAt(index);
    if (loaded.toolCache)
        m_toolCache = std::move(*loaded.toolCache);
    const bool changed = !m_catalogue || *m_catalogue != loaded.catalogue;
    m_icons = std::move(loaded.icons);
    m_catalogue = std::move(loaded.catalogue);
    if (changed)
        applyCatalogue();
    emit catalogueApplied();
}

// Reported after every result of the load has been taken.
void AppsView::finishLoad()
{
    m_loading = false;
    if (m_loadAgain)
        startLoad();
}

void AppsView::applyCatalogue()
{
    const AppCatalogue::Catalogue &catalogue = *m_catalogue;
    m_syncing = true;
    m_model->clear();
    for (const AppCatalogue::App &app : catalogue.apps) {
        // Two lines, whatever the name holds: the name, then the identifier that tells apps apart.
        const QString name = PlainText::oneLine(app.displayName);
        const QString identifier = PlainText::oneLine(app.bundleIdentifier);
        auto *item = new QStandardItem(name + u'\n' + identifier);
        const QImage icon = app.iconFiles.isEmpty() ? QImage() : m_icons.value(app.iconFiles.first());
        item->setIcon(icon.isNull() ? Symbols::icon(u"app"_s) : QIcon(QPixmap::fromImage(icon)));
        item->setData(QString(name + u", "_s + identifier), Qt::AccessibleTextRole);
        item->setData(PlainText::toolTip(identifier), Qt::ToolTipRole);
        item->setData(app.bundleIdentifier, keyRole);
        m_model->appendRow(item);
    }
    if (!catalogue.apps.isEmpty() && !catalogue.sharedGroups.isEmpty()) {
        auto *item = new QStandardItem(Symbols::icon(u"square.stack.3d.up"_s), tr("Shared groups"));
        item->setData(tr("App groups no listed app claims"), Qt::ToolTipRole);
        item->setData(sharedGroupsKey(), keyRole);
        m_model->appendRow(item);
    }
    m_syncing = false;
    m_pages->setCurrentWidget(catalogue.apps.isEmpty() ? static_cast<QWidget *>(m_empty) : m_splitter);

    // The selected app stays selected while it is installed; otherwise the first one is.
    QString key = m_selectedKey;
    bool found = false;
    for (int row = 0; row < m_model->rowCount() && !found; ++row)
        found = m_model->item(row)->data(keyRole).toString() == key;
    if (!found)
        key = m_model->rowCount() > 0 ? m_model->item(0)->data(keyRole).toString() : QString();
    m_selectedKey.clear(); // the picker is rebuilt for the new catalogue
    select(key);
}

void AppsView::select(const QString &key)
{
    const QString previousChoice = m_picker->currentText();
    const bool sameKey = key == m_selectedKey;
    m_selectedKey = key;
    if (!m_catalogue)
        return;

    // The list's selection follows, without reporting back.
    m_syncing = true;
    QModelIndex index;
    for (int row = 0; row < m_model->rowCount(); ++row) {
        if (m_model->item(row)->data(keyRole).toString() == key)
            index = m_model->index(row, 0);
    }
    if (index.isValid())
        m_list->selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect);
    else
        m_list->selectionModel()->clear();

    // "Data" first, then the groups; "Shared groups" has only groups.
    m_picker->clear();
    if (key == sharedGroupsKey()) {
        for (const AppCatalogue::Group &group : m_catalogue->sharedGroups)
            m_picker->addItem(PlainText::oneLine(group.identifier), group.path);
    } else {
        for (const AppCatalogue::App &app : m_catalogue->apps) {
            if (app.bundleIdentifier != key)
                continue;
            m_picker->addItem(tr("Data"), app.dataContainer);
            for (const AppCatalogue::Group &group : app.groups)
                m_picker->addItem(PlainText::oneLine(group.identifier), group.path);
        }
    }
    const int kept = sameKey ? m_picker->findText(previousChoice) : -1;
    m_picker->setCurrentIndex(kept >= 0 ? kept : 0);
    m_picker->setEnabled(m_picker->count() > 1);
    m_syncing = false;
    applySelection();
}

void AppsView::chooseContainer(int index)
{
    if (index < 0 || index >= m_picker->count())
        return;
    if (m_picker->currentIndex() != index) {
        m_syncing = true;
        m_picker->setCurrentIndex(index);
        m_syncing = false;
    }
    applySelection();
}

void AppsView::applySelection()
{
    if (m_selectedKey.isEmpty() || m_picker->currentIndex() < 0) {
        delete m_browser;
        m_browser = nullptr;
        m_containerPath.clear();
        return;
    }
    showContainer(m_picker->currentData().toString());
}

// A new folder gets a new browser: its state (folder, selection) belongs to one container. The
// same folder keeps the browser, so a refresh does not disturb the user.
void AppsView::showContainer(const QString &path)
{
    if (m_browser && path == m_containerPath)
        return;
    m_containerPath = path;
    delete m_browser;
    // Read at every reload: a container removed meanwhile shows as not found.
    auto lookup = [path]() -> std::optional<QUrl> {
        const QFileInfo info(path);
        if (path.isEmpty() || !info.isDir())
            return std::nullopt;
        return QUrl::fromLocalFile(path);
    };
    m_browser = new FilesStorageView(m_simulator, m_services, lookup, m_detail);
    m_browser->setBoundary(AppCatalogue::deviceDataFolder(m_homePath, m_simulator.udid));
    m_browser->missingPlaceholder()->setTitle(tr("Container not found"));
    m_browser->missingPlaceholder()->setDescription(
        tr("The device holds no such container for this app yet. Launch the app once, then press Refresh."));
    m_detail->layout()->addWidget(m_browser);
    m_browser->show();
}

QWidget *AppsView::shownPage() const
{
    return m_pages->currentWidget();
}
