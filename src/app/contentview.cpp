#include "contentview.h"

#include "devicelistpoller.h"
#include "filestore/filejobqueue.h"
#include "filestore/plaintext.h"
#include "menubar.h"
#include "screens/contentunavailableview.h"
#include "screens/messagealert.h"
#include "screens/simulatordetailview.h"
#include "simulatorlistmodel.h"

#include <QCloseEvent>
#include <QItemSelectionModel>
#include <QListView>
#include <QMessageBox>
#include <QPushButton>
#include <QSplitter>
#include <QStackedWidget>

using namespace Qt::StringLiterals;

ContentView::ContentView(QWidget *parent) : ContentView(new DeviceListPoller, parent)
{
}

ContentView::ContentView(DeviceListPoller *poller, QWidget *parent)
    : QMainWindow(parent), m_poller(poller), m_model(new SimulatorListModel(this)), m_sidebar(new QListView),
      m_detailStack(new QStackedWidget),
      m_placeholder(new ContentUnavailableView(QStringLiteral("iphone"), tr("Select a simulator"))),
      m_errorAlert(new MessageAlert(tr("Error"), this))
{
    m_poller->setParent(this);
    setWindowTitle(QStringLiteral("Lanthorn"));

    m_sidebar->setModel(m_model);
    m_sidebar->setItemDelegate(new SimulatorRowDelegate(m_sidebar));
    m_sidebar->setSelectionMode(QAbstractItemView::SingleSelection);
    m_sidebar->setUniformItemSizes(true);
    m_sidebar->setMinimumWidth(200);
    m_sidebar->setAccessibleName(tr("Simulators"));
    m_sidebar->setFrameShape(QFrame::NoFrame);

    m_detailStack->addWidget(m_placeholder);

    auto *splitter = new QSplitter(Qt::Horizontal);
    splitter->addWidget(m_sidebar);
    splitter->addWidget(m_detailStack);
    splitter->setStretchFactor(1, 1);
    splitter->setCollapsible(0, false);
    splitter->setSizes({240, 760});
    setCentralWidget(splitter);
    resize(1100, 700);
    setUpMenuBar(this);

    connect(m_sidebar->selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] {
        if (m_syncingSelection)
            return;
        const QModelIndexList rows = m_sidebar->selectionModel()->selectedRows();
        if (rows.isEmpty())
            return; // the selection is only ever replaced by the user, never emptied
        selectSimulator(m_model->simulators().at(rows.first().row()));
    });
    connect(m_poller, &DeviceListPoller::listed, this, &ContentView::applySimulators);
    connect(m_poller, &DeviceListPoller::failed, this,
            [this](const QString &message) { m_errorAlert->setMessage(message); });
}

ContentView::~ContentView() = default;

const QList<Simulator> &ContentView::simulators() const
{
    return m_model->simulators();
}

const std::optional<QString> &ContentView::errorMessage() const
{
    return m_errorAlert->message();
}

void ContentView::showEvent(QShowEvent *event)
{
    QMainWindow::showEvent(event);
    m_poller->start();
}

void ContentView::closeEvent(QCloseEvent *event)
{
    // A file job still running is asked about, and stopped cleanly (its temporaries removed,
    // every destination as it was) before the window goes.
    if (FileJobQueue *jobs = FileJobQueue::shared(); !jobs->isIdle()) {
        QMessageBox box(QMessageBox::Warning, tr("Stop copying and quit?"), tr("Stop copying and quit?"),
                        QMessageBox::NoButton, this);
        box.setInformativeText(tr("The items not yet copied are left as they were."));
        const QAbstractButton *quit = box.addButton(tr("Quit"), QMessageBox::DestructiveRole);
        box.setDefaultButton(box.addButton(QMessageBox::Cancel));
        box.exec();
        if (box.clickedButton() != quit) {
            event->ignore();
            return;
        }
        jobs->cancelAllAndWait();
    }
    m_poller->stop();
    QMainWindow::closeEvent(event);
}

void ContentView::applySimulators(const QList<Simulator> &simulators)
{
    m_model->setSimulators(simulators);
    syncSidebarSelection();
    if (m_detail)
        static_cast<SimulatorDetailView *>(m_detail)->devicesRefreshed();
}

// A row shows as selected only while its record equals the selected one in every field; a
// device that booted since it was picked therefore shows no selection until picked again.
void ContentView::syncSidebarSelection()
{
    const int row = m_selectedSimulator ? m_model->rowOf(*m_selectedSimulator) : -1;
    QItemSelectionModel *selection = m_sidebar->selectionModel();
    const QModelIndexList selected = selection->selectedRows();
    if (row < 0 ? selected.isEmpty() : (selected.size() == 1 && selected.first().row() == row))
        return;
    m_syncingSelection = true;
    if (row < 0)
        selection->clearSelection();
    else
        selection->select(m_model->index(row), QItemSelectionModel::ClearAndSelect);
    m_syncingSelection = false;
}

void ContentView::selectSimulator(const Simulator &simulator)
{
    const bool sameDevice = m_selectedSimulator && m_selectedSimulator->udid == simulator.udid;
    m_selectedSimulator = simulator;
    if (sameDevice && m_detail) {
        static_cast<SimulatorDetailView *>(m_detail)->setSimulator(simulator);
    } else {
        if (m_detail) {
            m_detailStack->removeWidget(m_detail);
            m_detail->deleteLater();
        }
        m_detail = new SimulatorDetailView(simulator);
        m_detailStack->addWidget(m_detail);
    }
    showDetail();
}

void ContentView::showDetail()
{
    m_detailStack->setCurrentWidget(m_detail ? m_detail : static_cast<QWidget *>(m_placeholder));
    // "[*]" in a title stands for the modified mark; doubled, it shows as itself.
    setWindowTitle(m_selectedSimulator
                       ? PlainText::oneLine(m_selectedSimulator->name).replace(u"[*]"_s, u"[*][*]"_s)
                       : QStringLiteral("Lanthorn"));
}
