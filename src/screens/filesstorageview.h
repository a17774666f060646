#pragma once

#include "filestoolbar.h"
#include "filestore/filesstate.h"
#include "filestore/loadstate.h"
#include "fileviews/fileview.h"
#include "simulator/simulator.h"

#include <QList>
#include <QPointer>
#include <QWidget>

#include <optional>

class BusyIndicator;
class ContentUnavailableView;
class FileActions;
class MessageAlert;
class PathBar;
class QAction;
class QFileDialog;
class QStackedLayout;
class SegmentedPicker;

// The "Files" section of the detail pane: the device's Files storage folder as a file browser in
// one of three view modes, with a toolbar, a path bar, drops and an importer for copying files
// in, and the "Copy failed" alert. It owns one FilesState for as long as it is shown (one
// appearance); the view mode and icon size are the shared preferences. Every change of the
// state reaches the widgets through one idempotent apply(), run once per event-loop turn.
// GUI thread only.
class FilesStorageView final : public QWidget
{
    Q_OBJECT
public:
    // Declaration order is the order of the picker's segments.
    enum class ViewMode { icons, list, columns };
    Q_ENUM(ViewMode)
    using LoadState = ::LoadState;

    explicit FilesStorageView(const Simulator &simulator, QWidget *parent = nullptr);
    // With other desktop services and, when given, another way to find the storage folder.
    FilesStorageView(const Simulator &simulator, FilesState::Services services,
                     FilesState::StorageLookup storageLookup = {}, QWidget *parent = nullptr);
    ~FilesStorageView() override;

    const Simulator &simulator() const { return m_simulator; }
    // A new record of the same device keeps the state; another device starts afresh.
    void setSimulator(const Simulator &simulator);
    // The device folder that the browsed folder lies in, when the storage is found another way
    // than from the simulator; set before the screen shows.
    void setBoundary(const QString &deviceFolder);

    static QList<ViewMode> allViewModes();
    // "icons", "list", "columns"
    static QString rawValue(ViewMode mode);
    // Exactly a raw value, or none.
    static std::optional<ViewMode> viewModeFromRawValue(const QString &text);
    // The stored preference; absent or unknown reads as list.
    static ViewMode storedViewMode();
    // Stores the preference, which every screen then shows.
    static void setViewMode(ViewMode mode);
    static double storedIconSize();
    static void setIconSize(double size);

    // The mode this screen shows now.
    ViewMode viewMode() const { return m_viewMode; }
    FilesState *state() const { return m_state; }
    bool isImporting() const { return m_isImporting; }

    // The toolbar's commands that are not FileActions.
    void goUp();
    void importFiles();
    void copyDeviceUDID();

    QToolBar *toolBar() const { return m_toolBar; }
    SegmentedPicker *viewModePicker() const { return m_picker; }
    QAction *upAction() const { return m_up; }
    QAction *copyFilesAction() const { return m_copyFiles; }
    QAction *refreshAction() const { return m_refresh; }
    // The commands on the items and the folder, shared by the toolbar, the menus and the keys.
    FileActions *fileActions() const { return m_actions; }
    QAction *newFolderAction() const;
    QAction *moveToTrashAction() const;
    QAction *copyDeviceUDIDAction() const { return m_copyDeviceUDID; }
    // The drop target: everything between the toolbar and the path bar.
    QWidget *body() const { return m_body; }
    // The page the body shows now.
    QWidget *shownPage() const;
    BusyIndicator *busyIndicator() const { return m_busyIndicator; }
    ContentUnavailableView *missingPlaceholder() const { return m_missingPlaceholder; }
    // Shown in place of a current folder that cannot be read.
    ContentUnavailableView *unreadablePlaceholder() const { return m_unreadablePlaceholder; }
    ContentUnavailableView *dropHint() const { return m_dropHint; }
    // The page that holds the file view and the drop hint.
    QWidget *contentPage() const { return m_contentPage; }
    FileView *fileView() const { return m_fileView; }
    PathBar *pathBar() const { return m_pathBar; }
    MessageAlert *alert() const { return m_alert; }
    // The importer while it is shown, otherwise null.
    QFileDialog *importer() const;

    // Makes the view of a mode. The one place where a mode's view is chosen.
    FileView *makeFileView(ViewMode mode);

signals:
    // After every apply, once the widgets show the state.
    void applied();

protected:
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void setUpToolBar();
    QAction *addCommand(const QString &symbol, const QString &text, void (FilesStorageView::*command)());
    void setUpBody();
    void attachState();
    void replaceFileView();
    void viewModeDidChange(ViewMode mode);
    void currentDirectoryDidChange();
    void finishImport(bool accepted);

    void scheduleApply();
    void apply();
    void applyBody();
    void applyFileView();
    void applyToolBar();
    void applyPathBar();
    void applyAlert();
    void applyImporter();
    void applyWatch();

    Simulator m_simulator;
    FilesState::Services m_services;
    FilesState::StorageLookup m_storageLookup;
    QString m_boundary;
    QPointer<FilesState> m_state;
    ViewMode m_viewMode;
    bool m_isImporting = false;
    bool m_hasAppeared = false;
    bool m_applyScheduled = false;

    FilesToolBar *m_toolBar = nullptr;
    SegmentedPicker *m_picker = nullptr;
    QAction *m_up = nullptr;
    QAction *m_copyFiles = nullptr;
    QAction *m_refresh = nullptr;
    QAction *m_copyDeviceUDID = nullptr;
    FileActions *m_actions = nullptr;

    QWidget *m_body = nullptr;
    QStackedLayout *m_pages = nullptr;
    QWidget *m_loadingPage = nullptr;
    BusyIndicator *m_busyIndicator = nullptr;
    ContentUnavailableView *m_missingPlaceholder = nullptr;
    ContentUnavailableView *m_unreadablePlaceholder = nullptr;
    QWidget *m_contentPage = nullptr;
    ContentUnavailableView *m_dropHint = nullptr;
    QWidget *m_emptyPage = nullptr;
    FileView *m_fileView = nullptr;
    PathBar *m_pathBar = nullptr;
    MessageAlert *m_alert = nullptr;
    QPointer<QFileDialog> m_importer;
};
