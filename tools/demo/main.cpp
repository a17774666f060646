// Builds a demo home for running Lanthorn without Apple's tools: simulator devices made through
// the xcrun stand-in (so the tree is exactly what it would make), a Files storage with realistic
// content, and a folder of photos to drop onto the Photos screen.
//
// Usage: lanthorn-demo DEMO_HOME STANDIN_PATH

#include "appgroups.h"
#include "artwork.h"
#include "plistfile.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QProcess>
#include <QSaveFile>

#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>

using namespace Qt::StringLiterals;

namespace {

const QString completeMarker = u".lanthorn-demo-complete"_s;
const QString buildingMarker = u".lanthorn-demo-building"_s;

struct Failure
{
    QString message;
};

void say(const QString &text)
{
    std::fputs(qPrintable(text + u'\n'), stderr);
}

class Builder
{
public:
    Builder(QString home, QString standin) : m_home(std::move(home)), m_standin(std::move(standin)) {}

    void build()
    {
        const QString iPhonePro = create(u"iPhone 15 Pro"_s, u"iPhone-15-Pro"_s, u"iOS-17-5"_s);
        const QString iPad =
            create(u"iPad Air (5th generation)"_s, u"iPad-Air-5th-generation"_s, u"iOS-18-1"_s);
        const QString iPhone = create(u"iPhone 15"_s, u"iPhone-15"_s, u"iOS-17-5"_s);
        create(u"Apple Watch Series 9 (45mm)"_s, u"Apple-Watch-Series-9-45mm"_s, u"watchOS-10-2"_s);

        const QString photos = m_home + u"/Sample Photos";
        mkpath(photos);
        saveImage(Artwork::mountainLake({1600, 1067}), photos + u"/Mountain Lake.jpg");
        saveImage(Artwork::cityLights({1600, 1067}), photos + u"/City Lights.jpg");
        saveImage(Artwork::gardenFlowers({1200, 1200}), photos + u"/Garden Flowers.png");
        saveImage(Artwork::harbour({1600, 1067}), photos + u"/Harbour.jpeg");

        simctl({u"boot"_s, iPhonePro});
        simctl({u"launch"_s, iPhonePro, u"com.apple.DocumentsApp"_s});
        fillMainStorage(storageOf(iPhonePro));
        simctl({u"addmedia"_s, iPhonePro, photos + u"/Mountain Lake.jpg", photos + u"/Garden Flowers.png"});
        installApps(iPhonePro, true);

        // Used once and shut down again: storage on disk while the device is off.
        simctl({u"boot"_s, iPhone});
        simctl({u"launch"_s, iPhone, u"com.apple.DocumentsApp"_s});
        const QString small = storageOf(iPhone);
        writeText(small + u"/Welcome.txt", u"Files kept on this iPhone appear here.\n"_s);
        mkpath(small + u"/Downloads");
        installApps(iPhone, false);
        simctl({u"shutdown"_s, iPhone});

        // Booted but the Files app never opened: no storage to find.
        simctl({u"boot"_s, iPad});
    }

private:
    // Two apps with documents, one with an app group, installed as Xcode would.
    void installApps(const QString &udid, bool both)
    {
        const QString bundles = m_home + u"/.lanthorn-demo-bundles";
        mkpath(bundles);
        const QString notes = bundles + u"/FieldNotes.app";
        if (!QFileInfo::exists(notes)) {
            mkpath(notes);
            PlistPtr info(plist_new_dict());
            PlistFile::setString(info.get(), "CFBundleIdentifier", u"com.example.FieldNotes"_s);
            PlistFile::setString(info.get(), "CFBundleName", u"FieldNotes"_s);
            PlistFile::setString(info.get(), "CFBundleDisplayName", u"Field Notes"_s);
            PlistFile::setString(info.get(), "CFBundleExecutable", u"FieldNotes"_s);
            PlistFile::setString(info.get(), "CFBundleVersion", u"1.0"_s);
            plist_t files = plist_new_array();
            plist_array_append_item(files, plist_new_string("AppIcon60x60"));
            plist_t primary = plist_new_dict();
            plist_dict_set_item(primary, "CFBundleIconFiles", files);
            plist_t icons = plist_new_dict();
            plist_dict_set_item(icons, "CFBundlePrimaryIcon", primary);
            plist_dict_set_item(info.get(), "CFBundleIcons", icons);
            writePlist(notes + u"/Info.plist", info.get());
            saveImage(Artwork::appTile(120, QColor(0x3b, 0xb2, 0x73), QColor(0x1d, 0x6f, 0x8c), u'N'),
                      notes + u"/AppIcon60x60@2x.png");
            PlistPtr entitlements(plist_new_dict());
            plist_t groups = plist_new_array();
            plist_array_append_item(groups, plist_new_string("group.com.example.fieldnotes"));
            plist_dict_set_item(entitlements.get(), "com.apple.security.application-groups", groups);
            writePlist(notes + u"/archived-expanded-entitlements.xcent", entitlements.get());
            writeBytes(notes + u"/FieldNotes", QByteArray("\xCF\xFA\xED\xFE", 4));
        }
        const QString recipes = bundles + u"/Recipes.app";
        if (!QFileInfo::exists(recipes)) {
            mkpath(recipes);
            PlistPtr info(plist_new_dict());
            PlistFile::setString(info.get(), "CFBundleIdentifier", u"com.example.Recipes"_s);
            PlistFile::setString(info.get(), "CFBundleName", u"Recipes"_s);
            PlistFile::setString(info.get(), "CFBundleExecutable", u"Recipes"_s);
            PlistFile::setString(info.get(), "CFBundleVersion", u"2.3"_s);
            writePlist(recipes + u"/Info.plist", info.get());
            writeBytes(recipes + u"/Recipes", QByteArray("\xCF\xFA\xED\xFE", 4));
        }

        simctl({u"install"_s, udid, recipes});
        const QString recipesData =
            simctl({u"get_app_container"_s, udid, u"com.example.Recipes"_s, u"data"_s});
        writeText(recipesData + u"/Documents/Shopping.txt", u"- flour\n- lemons\n- butter\n"_s);
        mkpath(recipesData + u"/Documents/Favourites");
        writeText(recipesData + u"/Documents/Favourites/Lemon tart.md",
                  u"# Lemon tart\n\nZest of three lemons, 150 g sugar, 3 eggs.\n"_s);
        if (!both)
            return;
        simctl({u"install"_s, udid, notes});
        const QString notesData =
            simctl({u"get_app_container"_s, udid, u"com.example.FieldNotes"_s, u"data"_s});
        writeText(notesData + u"/Documents/Trail log.txt",
                  u"06:40 left the hut\n09:15 ridge, wind from the west\n"_s);
        mkpath(notesData + u"/Documents/Sketches");
        saveImage(Artwork::mountainLake({800, 533}), notesData + u"/Documents/Sketches/Ridge.jpg");
        const QString group = simctl(
            {u"get_app_container"_s, udid, u"com.example.FieldNotes"_s, u"group.com.example.fieldnotes"_s});
        mkpath(group + u"/Shared");
        writeText(group + u"/Shared/Sync state.json", u"{ \"lastSync\": \"2024-11-18T09:41:00Z\" }\n"_s);
    }

    void writePlist(const QString &path, plist_t root)
    {
        if (!PlistFile::write(path, root, PlistFile::Format::Xml))
            throw Failure{u"Cannot write "_s + path};
    }

    QString simctl(const QStringList &args)
    {
        QProcess process;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(u"HOME"_s, m_home);
        process.setProcessEnvironment(env);
        process.start(m_standin, QStringList{u"simctl"_s} + args);
        if (!process.waitForStarted(10'000))
            throw Failure{u"Cannot run "_s + m_standin + u": " + process.errorString()};
        if (!process.waitForFinished(60'000)) {
            process.kill();
            process.waitForFinished(5'000);
            throw Failure{u"The stand-in did not finish: simctl "_s + args.join(u' ')};
        }
        if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
            throw Failure{u"simctl "_s + args.join(u' ') + u" failed (status " +
                          QString::number(process.exitCode()) + u"): " +
                          QString::fromUtf8(process.readAllStandardError()).trimmed()};
        }
        return QString::fromUtf8(process.readAllStandardOutput()).trimmed();
    }

    QString create(const QString &name, const QString &type, const QString &runtime)
    {
        const QString udid = simctl({u"create"_s, name, type, runtime});
        if (udid.isEmpty() || udid.contains(u'\n'))
            throw Failure{u"simctl create printed no UDID for "_s + name};
        return udid;
    }

    QString storageOf(const QString &udid)
    {
        const QString data = m_home + u"/Library/Developer/CoreSimulator/Devices/" + udid + u"/data";
        const QString container = AppGroups::find(AppGroups::rootOf(data), AppGroups::localStorage);
        if (container.isEmpty())
            throw Failure{u"No Files storage after launching the Files app on "_s + udid};
        return container + u'/' + AppGroups::filesStorageName;
    }

    void fillMainStorage(const QString &root)
    {
        // Each entry gets its own modification time, newest first, so the dates differ on screen.
        const QDateTime base(QDate(2024, 11, 18), QTime(9, 41), Qt::UTC);
        int age = 0;
        auto stamp = [&](const QString &path) { m_stamps.append({path, base.addSecs(-3600 * 7 * age++)}); };

        mkpath(root + u"/Projects/Lanthorn/Notes");
        mkpath(root + u"/Projects/Lanthorn/Design");
        mkpath(root + u"/Projects/Archive");
        mkpath(root + u"/Invoices 2024");
        mkpath(root + u"/Photos");

        writeText(
            root + u"/Projects/Lanthorn/Notes/Roadmap.md",
            u"# Roadmap\n\n## Next\n\n- Column view keyboard navigation\n- Drop photos onto the sidebar\n\n"
            u"## Later\n\n- Watch simulators\n"_s);
        stamp(root + u"/Projects/Lanthorn/Notes/Roadmap.md");
        writeText(root + u"/Projects/Lanthorn/Notes/Meeting 2024-11-12.txt",
                  u"Attendees: Ana, Jonas, Priya\n\n1. Release date moved to December.\n"
                  u"2. Icon sizes: keep 48 to 128.\n"_s);
        stamp(root + u"/Projects/Lanthorn/Notes/Meeting 2024-11-12.txt");
        saveImage(Artwork::diagram({1200, 800}), root + u"/Projects/Lanthorn/Design/Architecture.png");
        stamp(root + u"/Projects/Lanthorn/Design/Architecture.png");
        saveImage(Artwork::appIcon(512), root + u"/Projects/Lanthorn/Design/Icon sketch.png");
        stamp(root + u"/Projects/Lanthorn/Design/Icon sketch.png");

        for (const auto &[number, customer] :
             {std::pair{u"2024-017"_s, u"Nordlicht GmbH"_s}, std::pair{u"2024-018"_s, u"Café Lumière"_s}}) {
            const QString pdf = root + u"/Invoices 2024/Invoice " + number + u".pdf";
            if (!Artwork::writeInvoicePdf(pdf, number, customer))
                throw Failure{u"Cannot write "_s + pdf};
            stamp(pdf);
        }

        saveImage(Artwork::sunset({1600, 1067}), root + u"/Photos/Sunset.jpg");
        stamp(root + u"/Photos/Sunset.jpg");
        saveImage(Artwork::harbour({1200, 800}), root + u"/Photos/Harbour.jpeg");
        stamp(root + u"/Photos/Harbour.jpeg");

        const QList<std::pair<QString, QString>> texts = {
            {u"Café menu.txt"_s, u"Espresso 2.40\nCappuccino 3.20\nCroissant 2.10\nQuiche du jour 6.50\n"_s},
            {u"Überblick.md"_s,
             u"# Überblick\n\nDieses Verzeichnis enthält *Notizen* und **Rechnungen**.\n"_s},
            {u"README.md"_s, u"# Demo storage\n\nSample files for trying out the Files screen.\n"_s},
            {u"file2.txt"_s, u"second\n"_s},
            {u"file10.txt"_s, u"tenth\n"_s},
            {u"File1.txt"_s, u"first, with a capital letter\n"_s},
            {u"Shopping list.txt"_s, u"- oat milk\n- coffee beans\n- batteries (AA)\n"_s},
            {u"A rather long file name that needs truncating in narrow columns.txt"_s, u"long\n"_s},
        };
        for (const auto &[name, text] : texts) {
            writeText(root + u'/' + name, text);
            stamp(root + u'/' + name);
        }
        writeBytes(root + u"/Empty file.txt", QByteArray());
        stamp(root + u"/Empty file.txt");
        // Finder's folder metadata: starts with the Bud1 magic; hidden by its leading dot.
        writeBytes(root + u"/.DS_Store", QByteArray("\0\0\0\1Bud1", 8) + QByteArray(56, '\0'));

        for (const QString &folder :
             {u"/Projects/Lanthorn/Notes"_s, u"/Projects/Lanthorn/Design"_s, u"/Projects/Lanthorn"_s,
              u"/Projects/Archive"_s, u"/Projects"_s, u"/Invoices 2024"_s, u"/Photos"_s})
            stamp(root + folder);
        applyStamps();
    }

    void applyStamps()
    {
        for (const auto &[path, when] : m_stamps) {
            const qint64 secs = when.toSecsSinceEpoch();
            const struct timespec times[2] = {{time_t(secs), 0}, {time_t(secs), 0}};
            ::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, 0);
        }
        m_stamps.clear();
    }

    void mkpath(const QString &path)
    {
        if (!QDir().mkpath(path))
            throw Failure{u"Cannot create the folder "_s + path};
    }

    void writeBytes(const QString &path, const QByteArray &bytes)
    {
        QSaveFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit())
            throw Failure{u"Cannot write "_s + path};
    }

    void writeText(const QString &path, const QString &text) { writeBytes(path, text.toUtf8()); }

    void saveImage(const QImage &image, const QString &path)
    {
        if (image.isNull() || !image.save(path, nullptr, 88))
            throw Failure{u"Cannot write the image "_s + path};
    }

    QString m_home;
    QString m_standin;
    QList<std::pair<QString, QDateTime>> m_stamps;
};

// Qt's note about a missing XDG_RUNTIME_DIR is noise here: nothing of ours uses it.
void quietHandler(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (type == QtWarningMsg && message.startsWith(u"QStandardPaths: XDG_RUNTIME_DIR"))
        return;
    std::fputs(qPrintable(qFormatLogMessage(type, context, message) + u'\n'), stderr);
}

bool isEmptyFolder(const QString &path)
{
    return QDir(path).isEmpty(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
}

} // namespace

int main(int argc, char **argv)
{
    // Only draws into images and PDFs: never needs a display.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qInstallMessageHandler(quietHandler);
    QGuiApplication app(argc, argv);

    const QStringList args = app.arguments();
    if (args.size() != 3 || args[1].isEmpty() || args[2].isEmpty()) {
        say(u"usage: lanthorn-demo DEMO_HOME STANDIN_PATH"_s);
        return 64;
    }
    const QString home = QDir::cleanPath(QFileInfo(args[1]).absoluteFilePath());
    const QString standin = QFileInfo(args[2]).absoluteFilePath();

    if (QFileInfo::exists(home + u'/' + completeMarker))
        return 0;
    if (!QFileInfo(standin).isExecutable()) {
        say(u"lanthorn-demo: the simctl stand-in is missing or not executable: "_s + standin);
        return 1;
    }
    if (QFileInfo(home).exists() && !QFileInfo(home).isDir()) {
        say(u"lanthorn-demo: not a folder: "_s + home);
        return 1;
    }
    // Never touch a folder this tool did not make: it could be someone's real home.
    const bool resuming = QFileInfo::exists(home + u'/' + buildingMarker);
    if (QFileInfo(home).isDir() && !resuming && !isEmptyFolder(home)) {
        say(u"lanthorn-demo: "_s + home +
            u" is not empty and was not made by lanthorn-demo; "
            u"choose a new or empty folder.");
        return 1;
    }
    if (!QDir().mkpath(home)) {
        say(u"lanthorn-demo: cannot create "_s + home);
        return 1;
    }
    if (resuming) {
        // An earlier run stopped half-way: start over from the parts it made.
        QDir(home + u"/Library/Developer/CoreSimulator").removeRecursively();
        QDir(home + u"/Sample Photos").removeRecursively();
        QDir(home + u"/.lanthorn-demo-bundles").removeRecursively();
    }
    {
        QFile marker(home + u'/' + buildingMarker);
        if (!marker.open(QIODevice::WriteOnly)) {
            say(u"lanthorn-demo: cannot write in "_s + home);
            return 1;
        }
    }

    try {
        Builder(home, standin).build();
    } catch (const Failure &failure) {
        say(u"lanthorn-demo: "_s + failure.message);
        return 1;
    }

    QFile complete(home + u'/' + completeMarker);
    if (!complete.open(QIODevice::WriteOnly) || complete.write("lanthorn-demo\n") < 0 || !complete.flush()) {
        say(u"lanthorn-demo: cannot write the marker in "_s + home);
        return 1;
    }
    complete.close();
    QFile::remove(home + u'/' + buildingMarker);
    return 0;
}
