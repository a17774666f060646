#include "simulator.h"
#include "toolrunner.h"

#include <QCoreApplication>
#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("SimulatorListing", text);
}

QString decodingFailure(const QString &detail)
{
    return tr("The device list from the developer tools could not be read: %1").arg(detail);
}

// The order of Unicode scalar values after canonical normalisation. QString::compare works on
// UTF-16 units, which misorders characters above U+FFFF against U+E000..U+FFFF.
int compareScalars(const QString &a, const QString &b)
{
    const bool ascii = [&] {
        for (const QString *s : {&a, &b})
            for (QChar c : *s)
                if (c.unicode() >= 0x80)
                    return false;
        return true;
    }();
    if (ascii)
        return a.compare(b, Qt::CaseSensitive);
    const QList<uint> ua = a.normalized(QString::NormalizationForm_C).toUcs4();
    const QList<uint> ub = b.normalized(QString::NormalizationForm_C).toUcs4();
    const auto [ia, ib] = std::mismatch(ua.begin(), ua.end(), ub.begin(), ub.end());
    if (ia == ua.end())
        return ib == ub.end() ? 0 : -1;
    if (ib == ub.end())
        return 1;
    return *ia < *ib ? -1 : 1;
}

QString canonical(const QString &s)
{
    return s.normalized(QString::NormalizationForm_C);
}

} // namespace

QString Simulator::AddMediaError::errorDescription() const
{
    return message.isEmpty() ? QStringLiteral("simctl addmedia failed") : message;
}

bool operator==(const Simulator &a, const Simulator &b)
{
    if (a.isBooted != b.isBooted)
        return false;
    // Plain equality first: the tool's output is ASCII, where canonical equivalence is identity.
    if (a.udid == b.udid && a.name == b.name && a.runtime == b.runtime)
        return true;
    return canonical(a.udid) == canonical(b.udid) && canonical(a.name) == canonical(b.name) &&
           canonical(a.runtime) == canonical(b.runtime);
}

size_t qHash(const Simulator &simulator, size_t seed)
{
    return qHashMulti(seed, canonical(simulator.udid), canonical(simulator.name),
                      canonical(simulator.runtime), simulator.isBooted);
}

bool isSafePathComponent(const QString &text)
{
    if (text.isEmpty() || text == QLatin1String(".") || text == QLatin1String(".."))
        return false;
    return !text.contains(QLatin1Char('/')) && !text.contains(QLatin1Char('\\')) &&
           !text.contains(QChar(u'\0'));
}

Result<QList<Simulator>> Simulator::listAvailable(StopToken stop, std::chrono::milliseconds timeout)
{
    ToolRunner::Options options;
    options.capture = ToolRunner::Capture::StandardOutput;
    options.timeout = timeout;
    options.stop = std::move(stop);
    const auto run =
        ToolRunner::run({QStringLiteral("simctl"), QStringLiteral("list"), QStringLiteral("devices"),
                         QStringLiteral("available"), QStringLiteral("-j")},
                        options);
    if (!run)
        return Result<QList<Simulator>>::failure(run.error());
    // The exit status is deliberately not looked at: a valid document is a valid listing.
    auto listing = SimulatorListing::decode(run.value().captured);
    if (!listing)
        return Result<QList<Simulator>>::failure(listing.error());
    return Result<QList<Simulator>>::success(SimulatorListing::records(listing.value()));
}

namespace SimulatorListing {

QString runtimeDisplayName(const QString &runtimeKey)
{
    // Tools before Xcode 10.1 keyed the devices by display name ("iOS 12.1"); splitting that at
    // the dots would show "1 ".
    if (runtimeKey.contains(QLatin1Char(' ')) && !runtimeKey.contains(QLatin1Char('-')))
        return runtimeKey;
    const QStringList dotPieces = runtimeKey.split(QLatin1Char('.'), Qt::SkipEmptyParts);
    if (dotPieces.isEmpty())
        return runtimeKey;
    const QString &last = dotPieces.constLast();
    QStringList dashPieces = last.split(QLatin1Char('-'), Qt::SkipEmptyParts);
    if (dashPieces.isEmpty())
        return last;
    const QString first = dashPieces.takeFirst();
    return first + QLatin1Char(' ') + dashPieces.join(QLatin1Char('.'));
}

Result<Simulator::Listing> decode(const QByteArray &json)
{
    using R = Result<Simulator::Listing>;
    if (json.trimmed().isEmpty())
        return R::failure(decodingFailure(tr("the tool wrote nothing.")));

    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(json, &parseError);
    if (parseError.error != QJsonParseError::NoError)
        return R::failure(
            decodingFailure(tr("%1 at byte %2.").arg(parseError.errorString()).arg(parseError.offset)));
    if (!document.isObject())
        return R::failure(decodingFailure(tr("the document is not an object.")));

    const QJsonObject root = document.object();
    const auto devicesIt = root.constFind(QLatin1String("devices"));
    if (devicesIt == root.constEnd())
        return R::failure(decodingFailure(tr("the member “devices” is missing.")));
    if (!devicesIt->isObject())
        return R::failure(decodingFailure(tr("the member “devices” is not an object.")));

    Simulator::Listing listing;
    const QJsonObject devices = devicesIt->toObject();
    for (auto it = devices.constBegin(); it != devices.constEnd(); ++it) {
        if (!it->isArray())
            return R::failure(decodingFailure(tr("the runtime “%1” does not hold a list.").arg(it.key())));
        const QJsonArray array = it->toArray();
        QList<Simulator::Listing::Device> runtimeDevices;
        runtimeDevices.reserve(array.size());
        for (qsizetype i = 0; i < array.size(); ++i) {
            const QJsonValue value = array.at(i);
            if (!value.isObject())
                return R::failure(decodingFailure(
                    tr("device %1 of the runtime “%2” is not an object.").arg(i + 1).arg(it.key())));
            const QJsonObject device = value.toObject();
            Simulator::Listing::Device decoded;
            for (auto [key, field] : {std::pair{"udid", &decoded.udid}, std::pair{"name", &decoded.name},
                                      std::pair{"state", &decoded.state}}) {
                const QJsonValue member = device.value(QLatin1String(key));
                if (!member.isString())
                    return R::failure(decodingFailure(
                        (member.isUndefined() ? tr("device %1 of the runtime “%2” has no “%3”.")
                                              : tr("the “%3” of device %1 of the runtime “%2” is not text."))
                            .arg(i + 1)
                            .arg(it.key(), QLatin1String(key))));
                *field = member.toString();
            }
            // Every later use keys the device by its UDID; a device without one cannot be used.
            if (decoded.udid.isEmpty())
                return R::failure(decodingFailure(
                    tr("the “udid” of device %1 of the runtime “%2” is empty.").arg(i + 1).arg(it.key())));
            runtimeDevices.append(std::move(decoded));
        }
        listing.devices.append({it.key(), std::move(runtimeDevices)});
    }
    return R::success(std::move(listing));
}

QList<Simulator> records(const Simulator::Listing &listing)
{
    QList<Simulator> result;
    for (const auto &[runtimeKey, devices] : listing.devices) {
        const QString runtime = runtimeDisplayName(runtimeKey);
        for (const auto &device : devices)
            result.append(
                Simulator{device.udid, device.name, runtime, device.state == QLatin1String("Booted")});
    }
    sortForDisplay(result);
    return result;
}

void sortForDisplay(QList<Simulator> &simulators)
{
    std::stable_sort(simulators.begin(), simulators.end(), [](const Simulator &a, const Simulator &b) {
        if (a.isBooted != b.isBooted)
            return a.isBooted;
        if (const int byRuntime = compareScalars(a.runtime, b.runtime); byRuntime != 0)
            return byRuntime < 0;
        return compareScalars(a.name, b.name) < 0;
    });
}

} // namespace SimulatorListing
