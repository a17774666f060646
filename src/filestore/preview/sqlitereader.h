#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>
#include <optional>

struct sqlite3;

// A look into an SQLite database that never writes to it: neither the file nor its "-wal" and
// "-shm" companions are created or changed, even while the app that owns it writes. Without a
// write-ahead log the file is opened "immutable" (no locks, no companions, nothing written);
// with one, the database and its log are first copied into a private temporary folder (up to
// snapshotLimit bytes) and the copy is read, since any reader of a live log writes to its -shm.
// Bigger ones are read immutable too, without the changes still in the log, and say so. Every
// statement is stopped past its time budget (a view can loop forever). Blocking; one thread at
// a time per reader.
class SqliteReader final
{
public:
    struct Column
    {
        QString name;
        QString type;
    };
    struct Table
    {
        QString name;
        bool isView = false;
        QList<Column> columns;
        std::optional<qint64> rowCount; // none until counted, or when counting took too long
    };
    struct Rows
    {
        QStringList columns;
        QList<QStringList> rows; // each cell as text: NULL, numbers, text cut short, blobs in hex
        bool more = false;       // the table has rows past these
        QString error;
    };

    static constexpr qint64 snapshotLimit = 256LL * 1024 * 1024;

    explicit SqliteReader(const QString &path, int statementMillis = 500);
    ~SqliteReader();
    SqliteReader(const SqliteReader &) = delete;
    SqliteReader &operator=(const SqliteReader &) = delete;

    bool isOpen() const { return m_db != nullptr; }
    // Why it could not be opened or read; what it could not show.
    const QString &error() const { return m_error; }
    const QStringList &notes() const { return m_notes; }

    // The tables and views with their columns, from the schema only (fast at any size).
    QList<Table> tables();
    // COUNT(*) within the time budget, or none.
    std::optional<qint64> rowCount(const QString &table);
    Rows firstRows(const QString &table, int maxRows, int maxCellChars = 200);

private:
    bool openImmutable(const QString &path);
    bool openSnapshot(const QString &path, qint64 totalBytes);
    bool opened(int rc);
    void configure();

    sqlite3 *m_db = nullptr;
    std::unique_ptr<QTemporaryDir> m_snapshot;
    QString m_error;
    QStringList m_notes;
    int m_statementMillis;
};
