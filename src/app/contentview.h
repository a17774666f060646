#pragma once

#include "simulator/simulator.h"

#include <QMainWindow>

#include <chrono>
#include <optional>

class ContentUnavailableView;
class DeviceListPoller;
class MessageAlert;
class QListView;
class QStackedWidget;
class SimulatorListModel;

// The main window: the device sidebar and the detail column for the selected device. Owns the
// refresh loop, which runs from the first show until the window closes.
class ContentView final : public QMainWindow
{
    Q_OBJECT
public:
    explicit ContentView(QWidget *parent = nullptr);
    // For tests: a lister in place of the developer tools and a shorter interval.
    ContentView(DeviceListPoller *poller, QWidget *parent = nullptr);
    ~ContentView() override;

    const QList<Simulator> &simulators() const;
    const std::optional<Simulator> &selectedSimulator() const { return m_selectedSimulator; }
    const std::optional<QString> &errorMessage() const;

    QListView *sidebar() const { return m_sidebar; }
    MessageAlert *errorAlert() const { return m_errorAlert; }
    QWidget *detailView() const { return m_detail; }
    DeviceListPoller *poller() const { return m_poller; }

protected:
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    void applySimulators(const QList<Simulator> &simulators);
    void selectSimulator(const Simulator &simulator);
    void syncSidebarSelection();
    void showDetail();

    DeviceListPoller *m_poller;
    SimulatorListModel *m_model;
    QListView *m_sidebar;
    QStackedWidget *m_detailStack;
    ContentUnavailableView *m_placeholder;
    QWidget *m_detail = nullptr;
    MessageAlert *m_errorAlert;
    std::optional<Simulator> m_selectedSimulator;
    bool m_syncingSelection = false;
};
