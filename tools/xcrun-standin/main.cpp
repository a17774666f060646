// A stand-in for `xcrun simctl` on machines without Apple's tools. It answers the simctl commands
// Lanthorn and its demo use, with the real tool's texts and exit statuses, over the same on-disk
// device tree CoreSimulator keeps under $HOME.

#include "appgroups.h"
#include "catalog.h"
#include "devicestore.h"
#include "installedapps.h"
#include "listing.h"
#include "media.h"

#include <QDir>
#include <QRandomGenerator>
#include <QString>
#include <QStringList>

#include <cstdio>
#include <exception>

using namespace Qt::StringLiterals;

namespace {

constexpr int usageStatus = 64; // EX_USAGE

void writeOut(const QByteArray &bytes)
{
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout);
    std::fflush(stdout);
}

void writeErr(const QString &text)
{
    const QByteArray bytes = (text + u'\n').toUtf8();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stderr);
    std::fflush(stderr);
}

int fail(const CommandError &error)
{
    writeErr(error.message);
    return error.exitCode;
}

const char usageText[] =
    "usage: simctl [--set <path>] <subcommand> ...\n"
    "       simctl help [subcommand]\n"
    "Command line utility to control the Simulator\n"
    "\n"
    "Subcommands:\n"
    "\taddmedia            Add photos, live photos, videos, or contacts to the library of a device.\n"
    "\tboot                Boot a device.\n"
    "\tcreate              Create a new device.\n"
    "\tdelete              Delete specified devices.\n"
    "\terase               Erase a device's contents and settings.\n"
    "\tget_app_container   Print the path of the installed app's container\n"
    "\thelp                Prints the usage for a given subcommand.\n"
    "\tinstall             Install an app on a device.\n"
    "\tlaunch              Launch an application by identifier on a device.\n"
    "\tlist                List available devices, device types, runtimes, or device pairs.\n"
    "\tlistapps            Show the installed applications.\n"
    "\tshutdown            Shutdown a device.\n";

struct Subcommand
{
    const char *name;
    const char *usage;
};

const Subcommand subcommands[] = {
    {"addmedia", "Add photos, live photos, videos, or contacts to the library of a device.\n"
                 "Usage: simctl addmedia <device> <path> [... <path>]\n"},
    {"boot", "Boot a device.\nUsage: simctl boot <device>\n"},
    {"create", "Create a new device.\nUsage: simctl create <name> <device type id> <runtime id>\n"},
    {"delete", "Delete specified devices.\nUsage: simctl delete <device> [... <device>]\n"},
    {"erase", "Erase a device's contents and settings.\nUsage: simctl erase <device> [... <device>]\n"},
    {"get_app_container", "Print the path of the installed app's container\n"
                          "Usage: simctl get_app_container <device> <app bundle identifier> [<container>]\n"
                          "\n"
                          "container\tOptionally specify the container. Defaults to app.\n"
                          "\tapp                 The .app bundle\n"
                          "\tdata                The application's data container\n"
                          "\tgroups              The App Group containers\n"
                          "\t<group identifier>  A specific App Group container\n"},
    {"help", "Prints the usage for a given subcommand.\nUsage: simctl help [subcommand]\n"},
    {"install", "Install an app on a device.\nUsage: simctl install <device> <path>\n"},
    {"launch", "Launch an application by identifier on a device.\n"
               "Usage: simctl launch <device> <app bundle identifier> [<argv 1> <argv 2> ... <argv n>]\n"},
    {"list", "List available devices, device types, runtimes, or device pairs.\n"
             "Usage: simctl list [-j | --json] [-v] [devices|devicetypes|runtimes|pairs] [<search "
             "term>|available]\n"},
    {"listapps", "Show the installed applications.\nUsage: simctl listapps <device>\n"},
    {"shutdown", "Shutdown a device.\nUsage: simctl shutdown <device> | all\n"},
};

const Subcommand *findSubcommand(const QString &name)
{
    for (const Subcommand &sub : subcommands) {
        if (name == QLatin1StringView(sub.name))
            return &sub;
    }
    return nullptr;
}

int usageError(const QString &subcommand)
{
    const Subcommand *sub = findSubcommand(subcommand);
    writeErr(QString::fromUtf8(sub ? sub->usage : usageText).trimmed());
    return usageStatus;
}

// The built-in apps `launch` knows, and the app groups their first launch sets up.
struct App
{
    QString bundleId;
    QStringList appGroups;
    bool onWatch;
};

const QList<App> &apps()
{
    static const QList<App> table = {
        {u"com.apple.DocumentsApp"_s, {AppGroups::localStorage}, false},
        {u"com.apple.mobilenotes"_s, {u"group.com.apple.notes"_s}, false},
        {u"com.apple.shortcuts"_s, {u"group.com.apple.shortcuts"_s}, false},
        {u"com.apple.mobileslideshow"_s, {}, true},
        {u"com.apple.Preferences"_s, {}, true},
        {u"com.apple.mobilesafari"_s, {}, false},
    };
    return table;
}

// Groups a freshly booted device already has, so that a scan for the Files storage must choose.
const QStringList bootGroups = {u"group.com.apple.notes"_s, u"group.com.apple.shortcuts"_s};

bool isWatch(const Device &device)
{
    return device.runtime.contains(u"watchOS");
}

int cmdList(const DeviceStore &store, const QStringList &args)
{
    Listing::Query query;
    QString problem;
    if (!Listing::parse(args, &query, &problem)) {
        writeErr(problem);
        return usageError(u"list"_s);
    }
    writeOut(Listing::render(query, store.devices(), QDir::homePath()));
    return 0;
}

int cmdCreate(const DeviceStore &store, const QStringList &args)
{
    if (args.size() < 2 || args.size() > 3 || args[0].trimmed().isEmpty())
        return usageError(u"create"_s);
    const Catalog::DeviceType *type = Catalog::findDeviceType(args[1]);
    if (!type)
        return fail({u"Invalid device type: "_s + args[1], 148});
    const Catalog::Runtime *runtime = nullptr;
    if (args.size() == 3) {
        runtime = Catalog::findRuntime(args[2]);
        if (!runtime)
            return fail({u"Invalid runtime: "_s + args[2], 148});
    } else {
        // Without a runtime the newest one of the device's platform is used.
        for (const Catalog::Runtime &candidate : Catalog::runtimes()) {
            if (candidate.platform == type->platform)
                runtime = &candidate;
        }
    }
    if (!runtime || runtime->platform != type->platform)
        return fail({u"Incompatible device"_s, 148});

    CommandError error;
    const auto device = store.create(args[0], type->identifier, runtime->identifier, &error);
    if (!device)
        return fail(error);
    writeOut((device->udid + u'\n').toUtf8());
    return 0;
}

int cmdBoot(const DeviceStore &store, const QStringList &args)
{
    if (args.isEmpty())
        return usageError(u"boot"_s);
    CommandError error;
    auto device = store.find(args[0], &error);
    if (!device)
        return fail(error);
    if (device->state != DeviceState::Shutdown)
        return fail({u"Unable to boot device in current state: "_s + stateText(device->state), 149});
    if (!store.setState(*device, DeviceState::Booted, &error))
        return fail(error);
    if (!isWatch(*device)) {
        const QString root = AppGroups::rootOf(device->dataPath());
        for (const QString &group : bootGroups)
            AppGroups::ensure(root, group);
    }
    return 0;
}

int cmdShutdown(const DeviceStore &store, const QStringList &args)
{
    if (args.isEmpty())
        return usageError(u"shutdown"_s);
    CommandError error;
    if (args[0] == u"all") {
        for (Device device : store.devices()) {
            if (device.isBooted() && !store.setState(device, DeviceState::Shutdown, &error))
                return fail(error);
        }
        return 0;
    }
    auto device = store.find(args[0], &error);
    if (!device)
        return fail(error);
    if (device->state != DeviceState::Booted)
        return fail({u"Unable to shutdown device in current state: "_s + stateText(device->state), 149});
    return store.setState(*device, DeviceState::Shutdown, &error) ? 0 : fail(error);
}

int cmdDelete(const DeviceStore &store, const QStringList &args)
{
    if (args.isEmpty())
        return usageError(u"delete"_s);
    // Resolve every device first, so a typo in the list deletes nothing.
    QList<Device> targets;
    CommandError error;
    for (const QString &arg : args) {
        auto device = store.find(arg, &error);
        if (!device)
            return fail(error);
        targets.append(*device);
    }
    for (const Device &device : targets) {
        if (!store.remove(device, &error))
            return fail(error);
    }
    return 0;
}

int cmdErase(const DeviceStore &store, const QStringList &args)
{
    if (args.isEmpty())
        return usageError(u"erase"_s);
    QList<Device> targets;
    CommandError error;
    for (const QString &arg : args) {
        auto device = store.find(arg, &error);
        if (!device)
            return fail(error);
        if (device->state != DeviceState::Shutdown)
            return fail(
                {u"Unable to erase contents and settings in current state: "_s + stateText(device->state),
                 149});
        targets.append(*device);
    }
    for (const Device &device : targets) {
        if (!store.eraseData(device, &error))
            return fail(error);
    }
    return 0;
}

int cmdLaunch(const DeviceStore &store, const QStringList &args)
{
    if (args.size() < 2)
        return usageError(u"launch"_s);
    CommandError error;
    auto device = store.find(args[0], &error);
    if (!device)
        return fail(error);
    if (!device->isBooted())
        return fail({u"Unable to lookup in current state: "_s + stateText(device->state), 149});

    const QString &bundleId = args[1];
    const App *app = nullptr;
    for (const App &candidate : apps()) {
        if (candidate.bundleId == bundleId && (candidate.onWatch || !isWatch(*device)))
            app = &candidate;
    }
    if (!app) {
        return fail({u"An error was encountered processing the command "
                     u"(domain=FBSOpenApplicationServiceErrorDomain, code=4):\n"
                     u"The request to open \""_s +
                         bundleId + u"\" failed.",
                     4});
    }
    const QString root = AppGroups::rootOf(device->dataPath());
    for (const QString &group : app->appGroups) {
        if (AppGroups::ensure(root, group).isEmpty())
            return fail({u"Unable to create the app group container "_s + group + u" in " + root, 1});
    }
    const int pid = QRandomGenerator::global()->bounded(20000, 99999);
    writeOut((bundleId + u": " + QString::number(pid) + u'\n').toUtf8());
    return 0;
}

int cmdAddMedia(const DeviceStore &store, const QStringList &args)
{
    if (args.size() < 2)
        return usageError(u"addmedia"_s);
    CommandError error;
    auto device = store.find(args[0], &error);
    if (!device)
        return fail(error);
    if (!device->isBooted())
        return fail({u"Unable to lookup in current state: "_s + stateText(device->state), 149});
    return Media::addMedia(*device, args.mid(1), &error) ? 0 : fail(error);
}

// Each of these needs a booted device, as CoreSimulator's installation service runs in it.
std::optional<Device> bootedDevice(const DeviceStore &store, const QString &argument, CommandError *error)
{
    auto device = store.find(argument, error);
    if (device && !device->isBooted()) {
        *error = {u"Unable to lookup in current state: "_s + stateText(device->state), 149};
        return std::nullopt;
    }
    return device;
}

int cmdInstall(const DeviceStore &store, const QStringList &args)
{
    if (args.size() != 2)
        return usageError(u"install"_s);
    CommandError error;
    const auto device = bootedDevice(store, args[0], &error);
    if (!device)
        return fail(error);
    return InstalledApps::install(*device, args[1], &error) ? 0 : fail(error);
}

int cmdListApps(const DeviceStore &store, const QStringList &args)
{
    if (args.size() != 1)
        return usageError(u"listapps"_s);
    CommandError error;
    const auto device = bootedDevice(store, args[0], &error);
    if (!device)
        return fail(error);
    writeOut(InstalledApps::listApps(*device));
    return 0;
}

int cmdGetAppContainer(const DeviceStore &store, const QStringList &args)
{
    if (args.size() < 2 || args.size() > 3)
        return usageError(u"get_app_container"_s);
    CommandError error;
    const auto device = bootedDevice(store, args[0], &error);
    if (!device)
        return fail(error);
    QByteArray out;
    if (!InstalledApps::containerPath(*device, args[1], args.value(2, u"app"_s), &out, &error))
        return fail(error);
    writeOut(out);
    return 0;
}

int simctl(QStringList args)
{
    QString root = DeviceStore::defaultRoot();
    if (!args.isEmpty() && args[0] == u"--set") {
        if (args.size() < 2 || args[1].isEmpty()) {
            writeOut(usageText);
            return usageStatus;
        }
        root = args[1];
        args = args.mid(2);
    }
    if (args.isEmpty()) {
        writeOut(usageText);
        return usageStatus;
    }
    const QString command = args.takeFirst();
    const DeviceStore store(root);

    if (command == u"help" || command == u"--help" || command == u"-h") {
        const Subcommand *sub = args.isEmpty() ? nullptr : findSubcommand(args[0]);
        writeOut(sub ? QByteArray(sub->usage) : QByteArray(usageText));
        return 0;
    }
    if (command == u"list")
        return cmdList(store, args);
    if (command == u"create")
        return cmdCreate(store, args);
    if (command == u"boot")
        return cmdBoot(store, args);
    if (command == u"shutdown")
        return cmdShutdown(store, args);
    if (command == u"delete")
        return cmdDelete(store, args);
    if (command == u"erase")
        return cmdErase(store, args);
    if (command == u"launch")
        return cmdLaunch(store, args);
    if (command == u"addmedia")
        return cmdAddMedia(store, args);
    if (command == u"install")
        return cmdInstall(store, args);
    if (command == u"listapps")
        return cmdListApps(store, args);
    if (command == u"get_app_container")
        return cmdGetAppContainer(store, args);

    writeErr(u"Unrecognized subcommand: "_s + command);
    writeOut(usageText);
    return 1;
}

} // namespace

int main(int argc, char **argv)
{
    QStringList args;
    for (int i = 1; i < argc; ++i)
        args.append(QString::fromLocal8Bit(argv[i]));

    if (args.isEmpty()) {
        writeErr(u"xcrun: error: no developer tool specified (this stand-in only provides simctl)"_s);
        return 1;
    }
    const QString tool = args.takeFirst();
    if (tool != u"simctl") {
        writeErr(u"xcrun: error: unable to find utility \""_s + tool +
                 u"\", not a developer tool or in PATH (this stand-in only provides simctl)");
        return 1;
    }
    try {
        return simctl(args);
    } catch (const std::exception &e) {
        writeErr(u"simctl: "_s + QString::fromLocal8Bit(e.what()));
        return 1;
    }
}
