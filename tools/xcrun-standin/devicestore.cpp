#include "devicestore.h"

#include "plistfile.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QUuid>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace {
const QString plistName = u"device.plist"_s;
}

QString stateText(DeviceState state)
{
    switch (state) {
    case DeviceState::Creating:
        return u"Creating"_s;
    case DeviceState::Shutdown:
        return u"Shutdown"_s;
    case DeviceState::Booting:
        return u"Booting"_s;
    case DeviceState::Booted:
        return u"Booted"_s;
    case DeviceState::ShuttingDown:
        return u"Shutting Down"_s;
    }
    return u"Shutdown"_s;
}

DeviceStore::DeviceStore(QString devicesRoot) : m_root(QDir::cleanPath(std::move(devicesRoot)))
{
}

QString DeviceStore::defaultRoot()
{
    return QDir::homePath() + u"/Library/Developer/CoreSimulator/Devices";
}

bool DeviceStore::looksLikeUdid(const QString &text)
{
    static const QRegularExpression pattern(
        u"^[0-9A-Fa-f]{8}-[0-9A-Fa-f]{4}-[0-9A-Fa-f]{4}-[0-9A-Fa-f]{4}-[0-9A-Fa-f]{12}$"_s);
    return pattern.match(text).hasMatch();
}

std::optional<Device> DeviceStore::load(const QString &folder) const
{
    const PlistPtr root = PlistFile::read(folder + u'/' + plistName);
    plist_t dict = root.get();
    if (!dict || plist_get_node_type(dict) != PLIST_DICT)
        return std::nullopt;

    const auto udid = PlistFile::stringMember(dict, "UDID");
    const auto name = PlistFile::stringMember(dict, "name");
    const auto runtime = PlistFile::stringMember(dict, "runtime");
    const auto deviceType = PlistFile::stringMember(dict, "deviceType");
    const auto state = PlistFile::uintMember(dict, "state");
    // The folder name is what every command looks up, so a plist that disagrees is broken.
    if (!udid || !name || !runtime || !deviceType || !state || *udid != QFileInfo(folder).fileName() ||
        !looksLikeUdid(*udid) || *state > quint64(DeviceState::ShuttingDown))
        return std::nullopt;

    Device device;
    device.udid = *udid;
    device.name = *name;
    device.runtime = *runtime;
    device.deviceType = *deviceType;
    device.state = DeviceState(*state);
    device.lastBootedAt = PlistFile::stringMember(dict, "lastBootedAt").value_or(QString());
    device.folder = folder;
    return device;
}

QList<Device> DeviceStore::devices() const
{
    QList<Device> result;
    const QStringList folders = QDir(m_root).entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
    for (const QString &entry : folders) {
        if (auto device = load(m_root + u'/' + entry))
            result.append(std::move(*device));
    }
    return result;
}

std::optional<Device> DeviceStore::find(const QString &argument, CommandError *error) const
{
    if (argument == u"booted") {
        for (const Device &device : devices()) {
            if (device.isBooted())
                return device;
        }
        *error = {u"No devices are booted."_s, 148};
        return std::nullopt;
    }
    if (looksLikeUdid(argument)) {
        if (auto device = load(m_root + u'/' + argument))
            return device;
        if (auto device = load(m_root + u'/' + argument.toUpper()))
            return device;
    }
    *error = {u"Invalid device: "_s + argument, 148};
    return std::nullopt;
}

std::optional<Device> DeviceStore::create(const QString &name, const QString &deviceType,
                                          const QString &runtime, CommandError *error) const
{
    Device device;
    device.udid = QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper();
    device.name = name;
    device.deviceType = deviceType;
    device.runtime = runtime;
    device.folder = m_root + u'/' + device.udid;

    if (!QDir().mkpath(device.dataPath())) {
        *error = {u"Unable to create a device at "_s + device.folder, 1};
        return std::nullopt;
    }
    PlistPtr dict(plist_new_dict());
    PlistFile::setString(dict.get(), "UDID", device.udid);
    PlistFile::setString(dict.get(), "deviceType", device.deviceType);
    PlistFile::setString(dict.get(), "name", device.name);
    PlistFile::setString(dict.get(), "runtime", device.runtime);
    PlistFile::setUInt(dict.get(), "state", quint64(DeviceState::Shutdown));
    if (!PlistFile::write(device.folder + u'/' + plistName, dict.get(), PlistFile::Format::Xml)) {
        QDir(device.folder).removeRecursively();
        *error = {u"Unable to create a device at "_s + device.folder, 1};
        return std::nullopt;
    }
    return device;
}

bool DeviceStore::setState(Device &device, DeviceState state, CommandError *error) const
{
    // Rewrite the plist as found, so keys this tool does not know about survive.
    const QString path = device.folder + u'/' + plistName;
    PlistPtr dict = PlistFile::read(path);
    if (!dict || plist_get_node_type(dict.get()) != PLIST_DICT) {
        *error = {u"Invalid device: "_s + device.udid, 148};
        return false;
    }
    PlistFile::setUInt(dict.get(), "state", quint64(state));
    QString bootedAt = device.lastBootedAt;
    if (state == DeviceState::Booted) {
        bootedAt = QDateTime::currentDateTimeUtc().toString(Qt::ISODate);
        PlistFile::setString(dict.get(), "lastBootedAt", bootedAt);
    }
    if (!PlistFile::write(path, dict.get(), PlistFile::Format::Xml)) {
        *error = {u"Unable to write "_s + path, 1};
        return false;
    }
    device.state = state;
    device.lastBootedAt = bootedAt;
    return true;
}

bool DeviceStore::remove(const Device &device, CommandError *error) const
{
    // Drop the plist first: a half-removed folder then no longer lists as a device.
    QFile::remove(device.folder + u'/' + plistName);
    if (!QDir(device.folder).removeRecursively()) {
        *error = {u"Unable to delete the device folder "_s + device.folder, 1};
        return false;
    }
    return true;
}

bool DeviceStore::eraseData(const Device &device, CommandError *error) const
{
    QDir data(device.dataPath());
    if ((data.exists() && !data.removeRecursively()) || !QDir().mkpath(device.dataPath())) {
        *error = {u"Unable to erase the device data at "_s + device.dataPath(), 1};
        return false;
    }
    return true;
}
