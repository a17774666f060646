#include "listing.h"

#include "catalog.h"
#include "devicestore.h"

#include <QDirIterator>
#include <QFileInfo>
#include <QMap>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace Listing {

bool parse(const QStringList &words, Query *query, QString *problem)
{
    int sections = 0;
    for (const QString &word : words) {
        if (word == u"-j" || word == u"--json")
            query->json = true;
        else if (word == u"-v")
            continue;
        else if (word == u"devices")
            sections |= Devices;
        else if (word == u"devicetypes")
            sections |= DeviceTypes;
        else if (word == u"runtimes")
            sections |= Runtimes;
        else if (word == u"pairs")
            sections |= Pairs;
        else if (word == u"available")
            query->availableOnly = true;
        else if (word == u"booted")
            query->bootedOnly = true;
        else if (word.startsWith(u'-')) {
            *problem = u"Unrecognized option: "_s + word;
            return false;
        } else if (query->search.isEmpty())
            query->search = word;
        else {
            *problem = u"Only one search term is supported: "_s + word;
            return false;
        }
    }
    query->sections = sections ? sections : int(All);
    return true;
}

QByteArray jsonString(const QString &text)
{
    QByteArray out = "\"";
    for (const char32_t c : text.toUcs4()) {
        switch (c) {
        case u'"':
            out += "\\\"";
            break;
        case u'\\':
            out += "\\\\";
            break;
        case u'/':
            out += "\\/";
            break;
        case u'\n':
            out += "\\n";
            break;
        case u'\r':
            out += "\\r";
            break;
        case u'\t':
            out += "\\t";
            break;
        default:
            if (c < 0x20)
                out += "\\u" + QByteArray::number(uint(c), 16).rightJustified(4, '0');
            else
                out += QString::fromUcs4(&c, 1).toUtf8();
        }
    }
    return out + '"';
}

namespace {

struct Member
{
    QByteArray key;
    QByteArray value; // already JSON
};

QByteArray object(const QList<Member> &members, int indent)
{
    const QByteArray inner(indent + 2, ' ');
    QByteArray out = "{\n";
    for (qsizetype i = 0; i < members.size(); ++i) {
        out += inner + jsonString(QString::fromUtf8(members[i].key)) + " : " + members[i].value;
        out += i + 1 < members.size() ? ",\n" : "\n";
    }
    return out + QByteArray(indent, ' ') + '}';
}

QByteArray array(const QList<QByteArray> &items, int indent)
{
    const QByteArray inner(indent + 2, ' ');
    // An empty array comes out as "[", a blank line and "]", like the real tool's.
    if (items.isEmpty())
        return "[\n\n" + QByteArray(indent, ' ') + ']';
    QByteArray out = "[\n";
    for (qsizetype i = 0; i < items.size(); ++i) {
        out += inner + items[i];
        out += i + 1 < items.size() ? ",\n" : "\n";
    }
    return out + QByteArray(indent, ' ') + ']';
}

QByteArray boolean(bool value)
{
    return value ? "true" : "false";
}

qint64 folderSize(const QString &path)
{
    qint64 total = 0;
    QDirIterator it(path, QDir::Files | QDir::Hidden | QDir::System | QDir::NoSymLinks,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        it.next();
        total += it.fileInfo().size();
    }
    return total;
}

bool matches(const Query &query, const Device &device)
{
    if (query.bootedOnly && !device.isBooted())
        return false;
    if (query.search.isEmpty())
        return true;
    return device.name.contains(query.search, Qt::CaseInsensitive) ||
           device.udid.compare(query.search, Qt::CaseInsensitive) == 0;
}

// Runtime identifier to its devices; every installed runtime is present, even without devices.
QMap<QString, QList<Device>> byRuntime(const Query &query, const QList<Device> &devices)
{
    QMap<QString, QList<Device>> groups;
    for (const Catalog::Runtime &runtime : Catalog::runtimes())
        groups[runtime.identifier];
    for (const Device &device : devices) {
        if (matches(query, device))
            groups[device.runtime].append(device);
    }
    for (auto &list : groups) {
        std::stable_sort(list.begin(), list.end(), [](const Device &a, const Device &b) {
            return a.name != b.name ? a.name < b.name : a.udid < b.udid;
        });
    }
    return groups;
}

QByteArray deviceJson(const Device &device, const QString &home, int indent)
{
    QList<Member> members;
    if (!device.lastBootedAt.isEmpty())
        members.append({"lastBootedAt", jsonString(device.lastBootedAt)});
    members.append({"dataPath", jsonString(device.dataPath())});
    members.append({"dataPathSize", QByteArray::number(folderSize(device.dataPath()))});
    members.append({"logPath", jsonString(home + u"/Library/Logs/CoreSimulator/" + device.udid)});
    members.append({"udid", jsonString(device.udid)});
    members.append({"isAvailable", boolean(true)});
    members.append({"deviceTypeIdentifier", jsonString(device.deviceType)});
    members.append({"state", jsonString(stateText(device.state))});
    members.append({"name", jsonString(device.name)});
    return object(members, indent);
}

QByteArray renderJson(const Query &query, const QList<Device> &devices, const QString &home)
{
    QList<Member> top;
    if (query.sections & DeviceTypes) {
        QList<QByteArray> items;
        for (const Catalog::DeviceType &type : Catalog::deviceTypes()) {
            if (!query.search.isEmpty() && !type.name.contains(query.search, Qt::CaseInsensitive))
                continue;
            items.append(object({{"productFamily", jsonString(type.platform == u"watchOS" ? u"Apple Watch"_s
                                                              : type.name.startsWith(u"iPad") ? u"iPad"_s
                                                                                              : u"iPhone"_s)},
                                 {"identifier", jsonString(type.identifier)},
                                 {"name", jsonString(type.name)}},
                                6));
        }
        top.append({"devicetypes", array(items, 2)});
    }
    if (query.sections & Runtimes) {
        QList<QByteArray> items;
        for (const Catalog::Runtime &runtime : Catalog::runtimes()) {
            items.append(object({{"isAvailable", boolean(true)},
                                 {"version", jsonString(runtime.version)},
                                 {"isInternal", boolean(false)},
                                 {"buildversion", jsonString(runtime.buildVersion)},
                                 {"platform", jsonString(runtime.platform)},
                                 {"identifier", jsonString(runtime.identifier)},
                                 {"name", jsonString(runtime.name())}},
                                6));
        }
        top.append({"runtimes", array(items, 2)});
    }
    if (query.sections & Devices) {
        QList<Member> groups;
        const auto grouped = byRuntime(query, devices);
        for (auto it = grouped.cbegin(); it != grouped.cend(); ++it) {
            QList<QByteArray> items;
            for (const Device &device : it.value())
                items.append(deviceJson(device, home, 6));
            groups.append({it.key().toUtf8(), array(items, 4)});
        }
        top.append({"devices", object(groups, 2)});
    }
    if (query.sections & Pairs)
        top.append(Member{"pairs", QByteArray("{\n\n  }")});
    return object(top, 0) + '\n';
}

QByteArray renderText(const Query &query, const QList<Device> &devices)
{
    QByteArray out;
    if (query.sections & DeviceTypes) {
        out += "== Device Types ==\n";
        for (const Catalog::DeviceType &type : Catalog::deviceTypes())
            out += (type.name + u" (" + type.identifier + u")\n").toUtf8();
    }
    if (query.sections & Runtimes) {
        out += "== Runtimes ==\n";
        for (const Catalog::Runtime &runtime : Catalog::runtimes())
            out += (runtime.name() + u" (" + runtime.version + u" - " + runtime.buildVersion + u") - " +
                    runtime.identifier + u'\n')
                       .toUtf8();
    }
    if (query.sections & Devices) {
        out += "== Devices ==\n";
        const auto grouped = byRuntime(query, devices);
        for (auto it = grouped.cbegin(); it != grouped.cend(); ++it) {
            out += (u"-- "_s + Catalog::runtimeDisplayName(it.key()) + u" --\n").toUtf8();
            for (const Device &device : it.value())
                out += (u"    "_s + device.name + u" (" + device.udid + u") (" + stateText(device.state) +
                        u") \n")
                           .toUtf8();
        }
    }
    if (query.sections & Pairs)
        out += "== Device Pairs ==\n";
    return out;
}

} // namespace

QByteArray render(const Query &query, const QList<Device> &devices, const QString &home)
{
    return query.json ? renderJson(query, devices, home) : renderText(query, devices);
}

} // namespace Listing
