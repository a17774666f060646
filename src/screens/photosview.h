#pragma once

#include "simulator/simulator.h"

#include <QList>
#include <QPointer>
#include <QUrl>
#include <QWidget>

#include <memory>
#include <optional>

class BusyIndicator;
class ContentUnavailableView;
class MessageAlert;
class QAction;
class QFileDialog;
class QListWidget;
class QPushButton;
class StopSource;
class QStackedWidget;
class QThreadPool;
class QToolBar;

// The private state of one appearance of the Photos screen. Plain data; the screen pushes it
// into its widgets with one idempotent apply().
struct PhotosState
{
    Simulator simulator;
    QList<QUrl> addedFiles; // in the order the runs added them; duplicates stay
    bool isImporting = false;
    bool isAdding = false;
    std::optional<QString> errorMessage;
};

// The Photos screen: adds dropped or picked media to the device with `simctl addmedia` and lists
// what each successful run added. Lives as long as one appearance of the screen; a run still in
// progress when it is destroyed goes on to its end, and its outcome goes nowhere. GUI thread.
class PhotosView final : public QWidget
{
    Q_OBJECT
public:
    explicit PhotosView(const Simulator &simulator, QWidget *parent = nullptr);
    ~PhotosView() override;

    const PhotosState &state() const { return m_state; }
    const Simulator &simulator() const { return m_state.simulator; }
    const QList<QUrl> &addedFiles() const { return m_state.addedFiles; }
    bool isAdding() const { return m_state.isAdding; }
    bool isImporting() const { return m_state.isImporting; }
    const std::optional<QString> &errorMessage() const { return m_state.errorMessage; }

    // A new record of the same device: the state stays, only the device is replaced.
    void setSimulator(const Simulator &simulator);

    // Adds the batch with one tool run in the background (refused with a message when the device
    // is not booted). Returns at once; runs may overlap.
    void addMediaFiles(const QList<QUrl> &files);
    void clearList();
    // Opens the file importer ("Add Media…").
    void importMedia();

    QToolBar *toolBar() const { return m_toolBar; }
    QAction *addMediaAction() const { return m_addMediaAction; }
    QAction *clearListAction() const { return m_clearListAction; }
    // The drop target: everything below the toolbar.
    QWidget *body() const { return m_body; }
    ContentUnavailableView *placeholder() const { return m_placeholder; }
    QListWidget *fileList() const { return m_fileList; }
    BusyIndicator *busyIndicator() const { return m_busyIndicator; }
    // Beside the spinner: stops the runs in progress (their tools end, with their children).
    QPushButton *cancelButton() const { return m_cancelRuns; }
    MessageAlert *alert() const { return m_alert; }
    // The importer while it is shown, otherwise null.
    QFileDialog *importer() const;

    // The threads the tool runs on. Separate from the global pool, so that long imports never
    // hold up the device listing or each other.
    static QThreadPool *runPool();

    // The text of a row: the URL's last path component.
    static QString rowText(const QUrl &url);

    // "Images and Movies (…)" and friends, built from the image/ and video/ MIME types.
    static QStringList importerNameFilters();

signals:
    // After every change of the state, once the widgets show it.
    void stateChanged();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void setUpToolBar();
    void setUpBody();
    void finishRun(const Status &status, const QList<QUrl> &files);
    void finishImport(bool accepted);
    void apply();
    void applyList();
    void applyAlert();
    void applyImporter();

    PhotosState m_state;
    QToolBar *m_toolBar;
    QAction *m_addMediaAction;
    QAction *m_clearListAction;
    QWidget *m_body;
    QStackedWidget *m_bodyStack;
    ContentUnavailableView *m_placeholder;
    QListWidget *m_fileList;
    BusyIndicator *m_busyIndicator;
    QPushButton *m_cancelRuns;
    // The runs in progress, to stop on Cancel.
    QList<std::shared_ptr<StopSource>> m_runStops;
    MessageAlert *m_alert;
    QPointer<QFileDialog> m_importer;
    QList<QUrl> m_listedFiles; // what m_fileList shows
};
