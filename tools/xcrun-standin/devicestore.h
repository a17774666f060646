#pragma once

#include <QList>
#include <QString>

#include <optional>

// What CoreSimulator writes as the "state" integer of device.plist.
enum class DeviceState : quint64 { Creating = 0, Shutdown = 1, Booting = 2, Booted = 3, ShuttingDown = 4 };

QString stateText(DeviceState state);

struct Device
{
    QString udid;
    QString name;
    QString runtime;
    QString deviceType;
    DeviceState state = DeviceState::Shutdown;
    QString lastBootedAt; // ISO 8601, empty when never booted here
    QString folder;       // absolute path of the device's folder

    QString dataPath() const { return folder + u"/data"; }
    bool isBooted() const { return state == DeviceState::Booted; }
};

// A simctl failure: the text for standard error and the exit status.
struct CommandError
{
    QString message;
    int exitCode = 1;
};

// The device set on disk: HOME/Library/Developer/CoreSimulator/Devices, or the --set folder.
class DeviceStore
{
public:
    explicit DeviceStore(QString devicesRoot);
    static QString defaultRoot();

    const QString &root() const { return m_root; }

    // Every readable device, by UDID. Broken folders and plists are skipped.
    QList<Device> devices() const;

    // A UDID (any letter case) or "booted".
    std::optional<Device> find(const QString &argument, CommandError *error) const;

    std::optional<Device> create(const QString &name, const QString &deviceType, const QString &runtime,
                                 CommandError *error) const;
    bool setState(Device &device, DeviceState state, CommandError *error) const;
    bool remove(const Device &device, CommandError *error) const;
    bool eraseData(const Device &device, CommandError *error) const;

    static bool looksLikeUdid(const QString &text);

private:
    std::optional<Device> load(const QString &folder) const;

    QString m_root;
};
