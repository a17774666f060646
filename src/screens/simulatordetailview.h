#pragma once

#include "simulator/simulator.h"

#include <QList>
#include <QWidget>

#include <optional>

class AppsView;
class PhotosView;
class QAbstractButton;
class QButtonGroup;
class QLabel;
class QVBoxLayout;

// The detail pane of one device: the subtitle, the section bar with the "Files" / "Photos" /
// "Apps" picker, and below it the chosen section's screen. The window keys it by UDID: another device
// gets a new pane, a new record of the same device is handed over with setSimulator(). The
// section is the shared "detailSection" preference, so every pane follows a change at once.
class SimulatorDetailView final : public QWidget
{
    Q_OBJECT
public:
    // Declaration order is the order of the segments.
    enum class Section { Files, Photos, Apps };
    Q_ENUM(Section)

    explicit SimulatorDetailView(const Simulator &simulator, QWidget *parent = nullptr);

    const Simulator &simulator() const { return m_simulator; }
    void setSimulator(const Simulator &simulator);

    // "iOS 17.2 · Booted · UDID"
    static QString subtitle(const Simulator &simulator);

    static QList<Section> allSections();
    // "Files" / "Photos" / "apps": the stored form.
    static QString rawValue(Section section);
    // The segment's text: "Files" / "Photos" / "Apps".
    static QString label(Section section);
    // Exactly a raw value, or none.
    static std::optional<Section> sectionFromRawValue(const QString &text);

    // The stored preference; absent or unknown reads as Files.
    static Section section();
    // What the picker does: stores the preference, which every pane then shows.
    static void setSection(Section section);

    // The section this pane shows now.
    Section shownSection() const { return m_shownSection; }
    QWidget *sectionScreen() const { return m_screen; }
    // The Photos screen while the Photos section is shown, otherwise null.
    PhotosView *photosView() const;
    // The Apps screen while the Apps section is shown, otherwise null.
    AppsView *appsView() const;
    // The device list was read again: screens that show what is installed read it again too.
    void devicesRefreshed();
    QAbstractButton *sectionButton(Section section) const;
    QWidget *sectionPicker() const { return m_picker; }
    QWidget *sectionBar() const { return m_bar; }
    QLabel *subtitleLabel() const { return m_subtitle; }

private:
    QWidget *createSectionBar();
    void showSection(Section section);
    QWidget *createScreen(Section section);
    QWidget *createFilesScreen();
    void updateFilesScreen();
    void apply();

    Simulator m_simulator;
    Section m_shownSection = Section::Files;
    QVBoxLayout *m_layout;
    QWidget *m_bar = nullptr;
    QLabel *m_subtitle = nullptr;
    QWidget *m_picker = nullptr;
    QButtonGroup *m_sectionButtons = nullptr;
    QWidget *m_screen = nullptr;
};
