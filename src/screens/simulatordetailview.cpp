#include "simulatordetailview.h"

#include <QLabel>
#include <QVBoxLayout>

SimulatorDetailView::SimulatorDetailView(const Simulator &simulator, QWidget *parent)
    : QWidget(parent), m_simulator(simulator), m_summary(new QLabel(this))
{
    m_summary->setAlignment(Qt::AlignCenter);
    m_summary->setTextInteractionFlags(Qt::TextSelectableByMouse);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_summary);
    apply();
}

void SimulatorDetailView::setSimulator(const Simulator &simulator)
{
    if (simulator == m_simulator)
        return;
    m_simulator = simulator;
    apply();
}

QString SimulatorDetailView::subtitle(const Simulator &simulator)
{
    const QString separator = QStringLiteral(" \u00B7 ");
    return simulator.runtime + separator + (simulator.isBooted ? QStringLiteral("Booted") : QStringLiteral("Shutdown"))
        + separator + simulator.udid;
}

void SimulatorDetailView::apply()
{
    m_summary->setText(m_simulator.name + QLatin1Char('\n') + subtitle(m_simulator));
}
