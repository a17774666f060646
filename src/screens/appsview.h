#pragma once

#include "base/stoptoken.h"
#include "filestore/filesstate.h"
#include "simulator/appcatalogue.h"
#include "simulator/simulator.h"

#include <QFutureWatcher>
#include <QHash>
#include <QImage>
#include <QWidget>

#include <optional>

class BusyIndicator;
class ContentUnavailableView;
class FilesStorageView;
class QComboBox;
class QLabel;
class QListView;
class QSplitter;
class QStackedLayout;
class QStandardItemModel;

// The "Apps" section of the detail pane: the apps installed on the device, and for the selected
// one the Files screen's browser rooted at one of its containers ("Data", then its app groups).
// App groups no listed app claims sit under "Shared groups". The catalogue is read on a pool
// thread when the screen first shows and again on refresh() when the disk changed; the disk's
// apps show at once, and the groups are tied to them when `simctl listapps` answers. GUI thread
// only.
class AppsView final : public QWidget
{
    Q_OBJECT
public:
    explicit AppsView(const Simulator &simulator, QWidget *parent = nullptr);
    // With other desktop services and another home folder (tests).
    AppsView(const Simulator &simulator, FilesState::Services services, QString homePath,
             QWidget *parent = nullptr);
    ~AppsView() override;

    const Simulator &simulator() const { return m_simulator; }
    // A new record of the same device reads the catalogue again (it may have booted).
    void setSimulator(const Simulator &simulator);
    // Reads the catalogue again: apps come and go while the device list refreshes.
    void refresh();

    const std::optional<AppCatalogue::Catalogue> &catalogue() const { return m_catalogue; }
    // Until the load's last report has been taken.
    bool isLoading() const { return m_loading; }

    // The bundle identifier of the selected row, sharedGroupsKey() for "Shared groups", or empty.
    QString selectedKey() const { return m_selectedKey; }
    static QString sharedGroupsKey();
    void select(const QString &key);
    // The folder the browser shows (empty when none), and the picker's choice.
    QString containerPath() const { return m_containerPath; }
    void chooseContainer(int index);

    QListView *appList() const { return m_list; }
    QComboBox *containerPicker() const { return m_picker; }
    ContentUnavailableView *emptyPlaceholder() const { return m_empty; }
    // The browser while an app is selected, otherwise null.
    FilesStorageView *browser() const { return m_browser; }
    QWidget *shownPage() const;

signals:
    // After each catalogue has been applied to the widgets.
    void catalogueApplied();

protected:
    void showEvent(QShowEvent *event) override;

private:
    struct Loaded
    {
        AppCatalogue::Catalogue catalogue;
        // None for the disk's catalogue shown while the tool runs.
        std::optional<AppCatalogue::ToolCache> toolCache;
        QHash<QString, QImage> icons; // by file path
    };
    void startLoad();
    void takeResult(int index);
    void finishLoad();
    void stopLoad();
    void applyCatalogue();
    void applySelection();
    void showContainer(const QString &path);

    Simulator m_simulator;
    FilesState::Services m_services;
    QString m_homePath;
    std::optional<AppCatalogue::Catalogue> m_catalogue;
    AppCatalogue::ToolCache m_toolCache;
    QHash<QString, QImage> m_icons;
    QFutureWatcher<Loaded> m_watcher;
    StopSource m_stop;
    bool m_hasAppeared = false;
    bool m_loading = false;
    bool m_loadAgain = false;
    QString m_selectedKey;
    QString m_containerPath;
    bool m_syncing = false;

    QStackedLayout *m_pages = nullptr;
    QWidget *m_loadingPage = nullptr;
    BusyIndicator *m_busy = nullptr;
    ContentUnavailableView *m_empty = nullptr;
    QSplitter *m_splitter = nullptr;
    QListView *m_list = nullptr;
    QStandardItemModel *m_model = nullptr;
    QWidget *m_detail = nullptr;
    QLabel *m_pickerLabel = nullptr;
    QComboBox *m_picker = nullptr;
    FilesStorageView *m_browser = nullptr;
};
