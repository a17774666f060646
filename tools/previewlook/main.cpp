// lanthorn-previewlook [--samples DIR] [--shot OUTPUT_DIR] FILE...
// Shows each FILE in a PreviewPanel window as a quick look would; with --shot, saves
// OUTPUT_DIR/<file name>.png once the preview is complete and quits, else stays open (the
// arrow keys in the list on the left move between the files). --samples writes a demo app's
// preferences (binary plist) and store (SQLite, write-ahead log) into DIR and looks at them.
#include "fileviews/previewpanel.h"
#include "screens/symbols.h"

#include "plistcompat.h"

#include <QApplication>
#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QListWidget>
#include <QTimer>

#include <sqlite3.h>

#include <cstdio>

using namespace Qt::StringLiterals;

namespace {

void writePreferences(const QString &path)
{
    plist_t root = plist_new_dict();
    plist_dict_set_item(root, "WebKitDefaultFontSize", plist_new_uint(16));
    plist_dict_set_item(root, "onboardingCompleted", plist_new_bool(1));
    plist_dict_set_item(root, "lastSyncDate", plist_new_date(752'000'000, 0));
    plist_dict_set_item(root, "userName", plist_new_string("Ada Lovelace"));
    plist_dict_set_item(root, "playbackRate", plist_new_real(1.25));
    plist_dict_set_item(root, "avatarThumbnailHash",
                        plist_new_data("\x8f\x1c\x00\xa4\x5e\x77\x10\x02\xee\x31", 10));
    plist_t recent = plist_new_array();
    for (const char *query : {"sourdough", "focaccia", "rye starter"})
        plist_array_append_item(recent, plist_new_string(query));
    plist_dict_set_item(root, "recentSearches", recent);
    plist_t flags = plist_new_dict();
    plist_dict_set_item(flags, "newEditor", plist_new_bool(0));
    plist_dict_set_item(flags, "cloudSyncInterval", plist_new_uint(900));
    plist_t nested = plist_new_dict();
    plist_dict_set_item(nested, "variant", plist_new_string("B"));
    plist_dict_set_item(flags, "experiment", nested);
    plist_dict_set_item(root, "featureFlags", flags);
    char *bytes = nullptr;
    uint32_t length = 0;
    plist_to_bin(root, &bytes, &length);
    QFile file(path);
    if (file.open(QIODevice::WriteOnly))
        file.write(bytes, length);
    PlistCompat::freeBuffer(bytes, true);
    plist_free(root);
}

// Left open by the caller's connection, so that the database keeps its -wal, as a running
// app's store does.
sqlite3 *writeStore(const QString &path)
{
    sqlite3 *db = nullptr;
    sqlite3_open(QFile::encodeName(path).constData(), &db);
    sqlite3_exec(
        db,
        "PRAGMA journal_mode=WAL;"
        "CREATE TABLE ZRECIPE (Z_PK INTEGER PRIMARY KEY, ZTITLE TEXT, ZMINUTES INTEGER, ZRATING REAL, "
        "ZCREATED TIMESTAMP, ZPHOTO BLOB);"
        "CREATE TABLE ZINGREDIENT (Z_PK INTEGER PRIMARY KEY, ZRECIPE INTEGER, ZNAME TEXT, ZGRAMS REAL);"
        "CREATE TABLE Z_METADATA (Z_VERSION INTEGER PRIMARY KEY, Z_UUID VARCHAR(255), Z_PLIST BLOB);"
        "CREATE VIEW quick AS SELECT ZTITLE FROM ZRECIPE WHERE ZMINUTES < 30;",
        nullptr, nullptr, nullptr);
    const char *titles[] = {"Sourdough loaf", "Focaccia", "Rye crispbread", "Pancakes",  "Banana bread",
                            "Pizza dough",    "Bagels",   "Brioche",        "Cornbread", "Scones"};
    for (int i = 0; i < 10; ++i) {
        const QByteArray sql =
            QStringLiteral("INSERT INTO ZRECIPE VALUES (%1, '%2', %3, %4, %5, x'89504e47%6');")
                .arg(i + 1)
                .arg(QString::fromUtf8(titles[i]))
                .arg(15 + i * 12)
                .arg(3.5 + (i % 3) * 0.5)
                .arg(752'000'000 + i * 86'400)
                .arg(i, 4, 16, QChar(u'0'))
                .toUtf8();
        sqlite3_exec(db, sql.constData(), nullptr, nullptr, nullptr);
        for (int j = 0; j < 3; ++j) {
            const QByteArray ingredient =
                QStringLiteral("INSERT INTO ZINGREDIENT (ZRECIPE, ZNAME, ZGRAMS) VALUES "
                               "(%1, 'ingredient %2', %3);")
                    .arg(i + 1)
                    .arg(j + 1)
                    .arg(50 * (j + 1))
                    .toUtf8();
            sqlite3_exec(db, ingredient.constData(), nullptr, nullptr, nullptr);
        }
    }
    return db;
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    Symbols::setUpIconTheme();
    QStringList args = app.arguments().mid(1);
    QString shotDir;
    sqlite3 *store = nullptr;
    for (int i = 0; i < args.size(); ++i) {
        if (args[i] == u"--shot"_s && i + 1 < args.size()) {
            shotDir = args.takeAt(i + 1);
            args.removeAt(i--);
        } else if (args[i] == u"--samples"_s && i + 1 < args.size()) {
            const QDir dir(args.takeAt(i + 1));
            args.removeAt(i--);
            QDir().mkpath(dir.path());
            writePreferences(dir.filePath(u"com.example.Recipes.plist"_s));
            store = writeStore(dir.filePath(u"Recipes.sqlite"_s));
            args << dir.filePath(u"com.example.Recipes.plist"_s) << dir.filePath(u"Recipes.sqlite"_s);
        }
    }
    if (args.isEmpty()) {
        std::fprintf(stderr, "usage: lanthorn-previewlook [--samples DIR] [--shot OUTPUT_DIR] FILE...\n");
        return 2;
    }
    QWidget window;
    window.setWindowTitle(u"Quick Look"_s);
    auto *files = new QListWidget(&window);
    files->setAccessibleName(u"Files"_s);
    auto *panel = new PreviewPanel(&window);
    auto *layout = new QHBoxLayout(&window);
    layout->addWidget(files);
    layout->addWidget(panel, 3);
    for (const QString &file : args)
        files->addItem(QFileInfo(file).fileName());
    QObject::connect(files, &QListWidget::currentRowChanged, panel, [panel, &args](int row) {
        if (row >= 0)
            panel->showFile(args[row]);
    });
    window.resize(960, 560);
    window.show();
    files->setFocus();
    files->setCurrentRow(0);
    int status = 0;
    if (!shotDir.isEmpty()) {
        for (int row = 0; row < args.size(); ++row) {
            QEventLoop wait;
            QObject::connect(panel, &PreviewPanel::contentShown, &wait, [&wait](bool complete) {
                if (complete)
                    QTimer::singleShot(300, &wait, &QEventLoop::quit);
            });
            QTimer::singleShot(10'000, &wait, &QEventLoop::quit);
            files->setCurrentRow(row);
            if (row == 0)
                panel->showFile(args[0]);
            wait.exec();
            const QString out = QDir(shotDir).filePath(QFileInfo(args[row]).completeBaseName() + u".png"_s);
            if (!window.grab().save(out))
                status = 1;
            std::printf("%s\n", qPrintable(out));
        }
    } else {
        status = app.exec();
    }
    sqlite3_close(store);
    return status;
}
