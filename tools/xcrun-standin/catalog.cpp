#include "catalog.h"

using namespace Qt::StringLiterals;

namespace Catalog {

const QList<Runtime> &runtimes()
{
    static const QList<Runtime> table = {
        {runtimePrefix + u"iOS-17-2", u"iOS"_s, u"17.2"_s, u"21C62"_s},
        {runtimePrefix + u"iOS-17-5", u"iOS"_s, u"17.5"_s, u"21F79"_s},
        {runtimePrefix + u"iOS-18-1", u"iOS"_s, u"18.1"_s, u"22B81"_s},
        {runtimePrefix + u"watchOS-10-2", u"watchOS"_s, u"10.2"_s, u"21S364"_s},
    };
    return table;
}

const QList<DeviceType> &deviceTypes()
{
    static const QList<DeviceType> table = {
        {deviceTypePrefix + u"iPhone-15", u"iPhone 15"_s, u"iOS"_s},
        {deviceTypePrefix + u"iPhone-15-Plus", u"iPhone 15 Plus"_s, u"iOS"_s},
        {deviceTypePrefix + u"iPhone-15-Pro", u"iPhone 15 Pro"_s, u"iOS"_s},
        {deviceTypePrefix + u"iPhone-15-Pro-Max", u"iPhone 15 Pro Max"_s, u"iOS"_s},
        {deviceTypePrefix + u"iPhone-16", u"iPhone 16"_s, u"iOS"_s},
        {deviceTypePrefix + u"iPhone-16-Pro", u"iPhone 16 Pro"_s, u"iOS"_s},
        {deviceTypePrefix + u"iPhone-SE-3rd-generation", u"iPhone SE (3rd generation)"_s, u"iOS"_s},
        {deviceTypePrefix + u"iPad-Air-5th-generation", u"iPad Air (5th generation)"_s, u"iOS"_s},
        {deviceTypePrefix + u"iPad-10th-generation", u"iPad (10th generation)"_s, u"iOS"_s},
        {deviceTypePrefix + u"iPad-mini-6th-generation", u"iPad mini (6th generation)"_s, u"iOS"_s},
        {deviceTypePrefix + u"Apple-Watch-Series-9-41mm", u"Apple Watch Series 9 (41mm)"_s, u"watchOS"_s},
        {deviceTypePrefix + u"Apple-Watch-Series-9-45mm", u"Apple Watch Series 9 (45mm)"_s, u"watchOS"_s},
        {deviceTypePrefix + u"Apple-Watch-Ultra-2-49mm", u"Apple Watch Ultra 2 (49mm)"_s, u"watchOS"_s},
    };
    return table;
}

const Runtime *findRuntime(const QString &text)
{
    for (const Runtime &runtime : runtimes()) {
        const QString shortId = runtime.identifier.mid(runtimePrefix.size());
        if (text == runtime.identifier || text == shortId || text == runtime.name() ||
            text == runtime.platform + runtime.version)
            return &runtime;
    }
    return nullptr;
}

const DeviceType *findDeviceType(const QString &text)
{
    for (const DeviceType &type : deviceTypes()) {
        if (text == type.identifier || text == type.identifier.mid(deviceTypePrefix.size()) ||
            text == type.name)
            return &type;
    }
    return nullptr;
}

QString runtimeDisplayName(const QString &identifier)
{
    for (const Runtime &runtime : runtimes()) {
        if (runtime.identifier == identifier)
            return runtime.name();
    }
    const QStringList dotted = identifier.split(u'.', Qt::SkipEmptyParts);
    if (dotted.isEmpty())
        return identifier;
    const QStringList dashed = dotted.last().split(u'-', Qt::SkipEmptyParts);
    if (dashed.isEmpty())
        return dotted.last();
    return dashed.first() + u' ' + dashed.mid(1).join(u'.');
}

} // namespace Catalog
