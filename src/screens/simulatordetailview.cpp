#include "simulatordetailview.h"

#include "appsview.h"
#include "filesstorageview.h"
#include "filestore/plaintext.h"
#include "photosview.h"
#include "preferences.h"
#include "segmentedpicker.h"

#include <QButtonGroup>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

constexpr int pickerMaxWidth = 240;
constexpr int barPadding = 8;

// The bar's look: the window colour a shade darker, a one-pixel divider along the bottom.
class SectionBar final : public QWidget
{
public:
    using QWidget::QWidget;

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        painter.fillRect(rect(), palette().color(QPalette::Window).darker(108));
        painter.setPen(palette().color(QPalette::Mid));
        painter.drawLine(0, height() - 1, width(), height() - 1);
    }
};

} // namespace

SimulatorDetailView::SimulatorDetailView(const Simulator &simulator, QWidget *parent)
    : QWidget(parent), m_simulator(simulator), m_layout(new QVBoxLayout(this))
{
    m_layout->setContentsMargins(0, 0, 0, 0);
    m_layout->setSpacing(0);
    m_layout->addWidget(createSectionBar());

    connect(&Preferences::shared(), &Preferences::detailSectionChanged, this,
            [this] { showSection(section()); });
    showSection(section());
}

QWidget *SimulatorDetailView::createSectionBar()
{
    m_bar = new SectionBar(this);

    // Qt has no window subtitle, so it heads the pane instead.
    m_subtitle = new QLabel(m_bar);
    m_subtitle->setTextFormat(Qt::PlainText);
    m_subtitle->setAlignment(Qt::AlignCenter);
    m_subtitle->setWordWrap(true); // a long UDID must not set the pane's minimum width
    m_subtitle->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    m_subtitle->setForegroundRole(QPalette::PlaceholderText);

    m_picker = new QWidget(m_bar);
    m_picker->setAccessibleName(tr("Section"));
    m_picker->setStyleSheet(SegmentedPicker::styleSheet());
    m_picker->setMaximumWidth(pickerMaxWidth);
    m_picker->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    auto *segments = new QHBoxLayout(m_picker);
    segments->setContentsMargins(0, 0, 0, 0);
    segments->setSpacing(0);
    m_sectionButtons = new QButtonGroup(this);
    m_sectionButtons->setExclusive(true);
    for (const Section section : allSections()) {
        auto *button = new QToolButton(m_picker);
        // Shown as they are, never translated.
        button->setText(label(section));
        button->setAccessibleName(label(section));
        button->setCheckable(true);
        button->setToolButtonStyle(Qt::ToolButtonTextOnly);
        button->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
        segments->addWidget(button);
        m_sectionButtons->addButton(button, int(section));
    }
    // Whatever checked the segment (mouse, keys, a screen reader, code), the pane follows it. The
    // shown section is checked again on every apply; only another one is a choice.
    connect(m_sectionButtons, &QButtonGroup::idToggled, this, [this](int id, bool checked) {
        if (checked && Section(id) != m_shownSection)
            setSection(Section(id));
    });

    auto *pickerRow = new QHBoxLayout;
    pickerRow->setContentsMargins(barPadding, barPadding, barPadding, barPadding);
    pickerRow->addStretch(1);
    pickerRow->addWidget(m_picker, 1000); // grows to its maximum before the stretches do
    pickerRow->addStretch(1);

    auto *layout = new QVBoxLayout(m_bar);
    layout->setContentsMargins(0, barPadding / 2, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(m_subtitle);
    layout->addLayout(pickerRow);
    return m_bar;
}

void SimulatorDetailView::setSimulator(const Simulator &simulator)
{
    if (simulator == m_simulator)
        return;
    m_simulator = simulator;
    if (auto *photos = photosView())
        photos->setSimulator(simulator);
    else if (auto *apps = appsView())
        apps->setSimulator(simulator);
    else
        updateFilesScreen();
    apply();
}

QString SimulatorDetailView::subtitle(const Simulator &simulator)
{
    const QString separator = QStringLiteral(" \u00B7 ");
    return PlainText::oneLine(simulator.runtime) + separator +
           (simulator.isBooted ? QStringLiteral("Booted") : QStringLiteral("Shutdown")) + separator +
           PlainText::oneLine(simulator.udid);
}

QList<SimulatorDetailView::Section> SimulatorDetailView::allSections()
{
    return {Section::Files, Section::Photos, Section::Apps};
}

QString SimulatorDetailView::rawValue(Section section)
{
    switch (section) {
    case Section::Files:
        return QStringLiteral("Files");
    case Section::Photos:
        return QStringLiteral("Photos");
    case Section::Apps:
        return QStringLiteral("apps");
    }
    return {};
}

QString SimulatorDetailView::label(Section section)
{
    return section == Section::Apps ? QStringLiteral("Apps") : rawValue(section);
}

std::optional<SimulatorDetailView::Section> SimulatorDetailView::sectionFromRawValue(const QString &text)
{
    for (const Section section : allSections()) {
        if (rawValue(section) == text)
            return section;
    }
    return std::nullopt;
}

SimulatorDetailView::Section SimulatorDetailView::section()
{
    return sectionFromRawValue(Preferences::shared().detailSection()).value_or(Section::Files);
}

void SimulatorDetailView::setSection(Section section)
{
    Preferences::shared().setDetailSection(rawValue(section));
}

PhotosView *SimulatorDetailView::photosView() const
{
    return m_shownSection == Section::Photos ? static_cast<PhotosView *>(m_screen) : nullptr;
}

AppsView *SimulatorDetailView::appsView() const
{
    return m_shownSection == Section::Apps ? static_cast<AppsView *>(m_screen) : nullptr;
}

void SimulatorDetailView::devicesRefreshed()
{
    if (AppsView *apps = appsView())
        apps->refresh();
}

QAbstractButton *SimulatorDetailView::sectionButton(Section section) const
{
    return m_sectionButtons->button(int(section));
}

// Each appearance of a section gets a new screen: its private state starts afresh.
void SimulatorDetailView::showSection(Section section)
{
    if (m_screen && section == m_shownSection)
        return;
    // Deleted at once, not later: a run that ends in between must not reach the old screen.
    delete m_screen;
    m_shownSection = section;
    m_screen = createScreen(section);
    m_layout->addWidget(m_screen, 1);
    m_screen->show(); // a child added to a shown pane stays hidden otherwise
    apply();
}

QWidget *SimulatorDetailView::createScreen(Section section)
{
    switch (section) {
    case Section::Photos:
        return new PhotosView(m_simulator, this);
    case Section::Apps:
        return new AppsView(m_simulator, this);
    case Section::Files:
        break;
    }
    return createFilesScreen();
}

QWidget *SimulatorDetailView::createFilesScreen()
{
    return new FilesStorageView(m_simulator, this);
}

void SimulatorDetailView::updateFilesScreen()
{
    if (auto *files = qobject_cast<FilesStorageView *>(m_screen))
        files->setSimulator(m_simulator);
}

void SimulatorDetailView::apply()
{
    const QString text = subtitle(m_simulator);
    m_subtitle->setText(text);
    m_subtitle->setAccessibleName(text);
    if (QAbstractButton *button = sectionButton(m_shownSection); button && !button->isChecked())
        button->setChecked(true);
}
