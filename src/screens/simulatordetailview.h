#pragma once

#include "simulator/simulator.h"

#include <QWidget>

class QLabel;

// The detail pane of one device. The window keys it by UDID: another device gets a new pane,
// a new record of the same device is handed over with setSimulator().
class SimulatorDetailView final : public QWidget
{
    Q_OBJECT
public:
    explicit SimulatorDetailView(const Simulator &simulator, QWidget *parent = nullptr);

    const Simulator &simulator() const { return m_simulator; }
    void setSimulator(const Simulator &simulator);

    // "iOS 17.2 · Booted · UDID"
    static QString subtitle(const Simulator &simulator);

private:
    void apply();

    Simulator m_simulator;
    QLabel *m_summary;
};
