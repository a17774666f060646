#include "sqlitereader.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QUrl>

#include <sqlite3.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

using namespace Qt::StringLiterals;

namespace {

QString quoted(const QString &identifier)
{
    return u'"' + QString(identifier).replace(u'"', u"\"\""_s) + u'"';
}

// The size of the regular file at `path`, or -1 when it is missing or something else.
qint64 regularFileSize(const QString &path)
{
    struct stat st;
    if (::stat(QFile::encodeName(path).constData(), &st) != 0 || !S_ISREG(st.st_mode))
        return -1;
    return qint64(st.st_size);
}

// Copies at most `maxBytes` of the regular file `from` into the new file `to`; only reads
// `from`, without blocking on a FIFO put in its place.
bool copyForReading(const QString &from, const QString &to, qint64 maxBytes)
{
    const int in = ::open(QFile::encodeName(from).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (in < 0)
        return false;
    struct stat st;
    bool ok = ::fstat(in, &st) == 0 && S_ISREG(st.st_mode);
    const int out =
        ok ? ::open(QFile::encodeName(to).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600) : -1;
    ok = out >= 0;
    qint64 total = 0;
    char buffer[1 << 16];
    while (ok) {
        const ssize_t n = ::read(in, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            ok = n == 0;
            break;
        }
        total += n;
        ok = total <= maxBytes && ::write(out, buffer, size_t(n)) == n;
    }
    ::close(in);
    if (out >= 0)
        ::close(out);
    return ok;
}

QString cellText(sqlite3_stmt *statement, int column, int maxChars)
{
    switch (sqlite3_column_type(statement, column)) {
    case SQLITE_NULL:
        return u"NULL"_s;
    case SQLITE_INTEGER:
        return QString::number(sqlite3_column_int64(statement, column));
    case SQLITE_FLOAT:
        return QString::number(sqlite3_column_double(statement, column), 'g', 15);
    case SQLITE_BLOB: {
        const int size = sqlite3_column_bytes(statement, column);
        const auto *bytes = static_cast<const char *>(sqlite3_column_blob(statement, column));
        const QByteArray head(bytes, std::min(size, 16));
        return u"%1 bytes: "_s.arg(size) + QString::fromLatin1(head.toHex(' ')) +
               (size > 16 ? u" …"_s : QString());
    }
    default: {
        const int size = sqlite3_column_bytes(statement, column);
        const auto *text = reinterpret_cast<const char *>(sqlite3_column_text(statement, column));
        // Cut on bytes first, so that a 1 GB cell is never decoded whole.
        QString value = QString::fromUtf8(text, std::min(size, maxChars * 4));
        if (value.size() > maxChars || size > maxChars * 4)
            value = value.left(maxChars) + u'…';
        return value;
    }
    }
}

} // namespace

SqliteReader::SqliteReader(const QString &path, int statementMillis) : m_statementMillis(statementMillis)
{
    const qint64 size = regularFileSize(path);
    if (size < 0) {
        m_error = u"The database is not a regular file."_s;
        return;
    }
    const qint64 walSize = regularFileSize(path + u"-wal"_s);
    if (walSize <= 0) {
        openImmutable(path);
    } else if (size + walSize <= snapshotLimit) {
        openSnapshot(path, size + walSize);
    } else if (openImmutable(path)) {
        m_notes << u"The latest changes, still in the write-ahead log, are not shown."_s;
    }
    if (m_db)
        configure();
}

SqliteReader::~SqliteReader()
{
    sqlite3_close_v2(m_db);
}

// A failed open still leaves a handle to close.
bool SqliteReader::opened(int rc)
{
    if (rc == SQLITE_OK)
        return true;
    m_error = u"The database could not be opened: %1."_s.arg(QString::fromUtf8(sqlite3_errstr(rc)));
    sqlite3_close_v2(m_db);
    m_db = nullptr;
    return false;
}

bool SqliteReader::openImmutable(const QString &path)
{
    // "immutable": no locks, no journal, no -wal or -shm looked at or made; "mode=ro" besides.
    const QByteArray uri = QUrl::fromLocalFile(path).toEncoded() + "?mode=ro&immutable=1";
    const int rc = sqlite3_open_v2(uri.constData(), &m_db, SQLITE_OPEN_READONLY | SQLITE_OPEN_URI, nullptr);
    return opened(rc);
}

bool SqliteReader::openSnapshot(const QString &path, qint64 totalBytes)
{
    m_snapshot = std::make_unique<QTemporaryDir>();
    const QString copy = m_snapshot->isValid() ? m_snapshot->filePath(u"snapshot.db"_s) : QString();
    if (copy.isEmpty() || !copyForReading(path, copy, totalBytes) ||
        !copyForReading(path + u"-wal"_s, copy + u"-wal"_s, totalBytes)) {
        m_error = u"The database could not be copied for reading."_s;
        m_snapshot.reset();
        return false;
    }
    // Our own copy: read-write, so that SQLite can replay the log into it.
    const int rc =
        sqlite3_open_v2(QFile::encodeName(copy).constData(), &m_db, SQLITE_OPEN_READWRITE, nullptr);
    return opened(rc);
}

void SqliteReader::configure()
{
    // The schema is the file's, so it is not trusted to run functions with side effects.
#ifdef SQLITE_DBCONFIG_TRUSTED_SCHEMA
    sqlite3_db_config(m_db, SQLITE_DBCONFIG_TRUSTED_SCHEMA, 0, nullptr);
#endif
#ifdef SQLITE_DBCONFIG_DEFENSIVE
    sqlite3_db_config(m_db, SQLITE_DBCONFIG_DEFENSIVE, 1, nullptr);
#endif
    sqlite3_limit(m_db, SQLITE_LIMIT_LENGTH, 64 * 1024 * 1024);
}

namespace {

// One statement with its own time budget, which the progress handler checks while it runs.

struct Statement
{
    Statement(sqlite3 *db, const QString &sql, int millis) : deadline(millis)
    {
        if (!db)
            return;
        sqlite3_progress_handler(
            db, 1000, [](void *d) -> int { return static_cast<QDeadlineTimer *>(d)->hasExpired() ? 1 : 0; },
            &deadline);
        const QByteArray utf8 = sql.toUtf8();
        if (sqlite3_prepare_v2(db, utf8.constData(), int(utf8.size()), &statement, nullptr) != SQLITE_OK)
            statement = nullptr;
    }
    ~Statement() { sqlite3_finalize(statement); }
    QDeadlineTimer deadline;
    sqlite3_stmt *statement = nullptr;
};

} // namespace

QList<SqliteReader::Table> SqliteReader::tables()
{
    QList<Table> result;
    Statement schema(m_db,
                     u"SELECT name, type FROM sqlite_master WHERE type IN ('table','view') "
                     "AND name NOT LIKE 'sqlite\\_%' ESCAPE '\\' ORDER BY name LIMIT 1000"_s,
                     m_statementMillis);
    if (!schema.statement) {
        m_error = u"The database could not be read: %1."_s.arg(QString::fromUtf8(sqlite3_errmsg(m_db)));
        return result;
    }
    int rc;
    while ((rc = sqlite3_step(schema.statement)) == SQLITE_ROW) {
        Table table;
        table.name =
            QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(schema.statement, 0)));
        table.isView =
            QByteArrayView(reinterpret_cast<const char *>(sqlite3_column_text(schema.statement, 1))) ==
            "view";
        result.append(table);
    }
    if (rc != SQLITE_DONE)
        m_error = u"The database could not be read: %1."_s.arg(QString::fromUtf8(sqlite3_errmsg(m_db)));
    for (Table &table : result) {
        Statement info(m_db, u"SELECT name, type FROM pragma_table_info(?1)"_s, m_statementMillis);
        if (!info.statement)
            continue;
        const QByteArray name = table.name.toUtf8();
        sqlite3_bind_text(info.statement, 1, name.constData(), int(name.size()), SQLITE_TRANSIENT);
        while (sqlite3_step(info.statement) == SQLITE_ROW && table.columns.size() < 500) {
            table.columns.append(
                {QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(info.statement, 0))),
                 QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(info.statement, 1)))});
        }
    }
    return result;
}

std::optional<qint64> SqliteReader::rowCount(const QString &table)
{
    Statement count(m_db, u"SELECT COUNT(*) FROM "_s + quoted(table), m_statementMillis);
    if (!count.statement || sqlite3_step(count.statement) != SQLITE_ROW)
        return std::nullopt;
    return sqlite3_column_int64(count.statement, 0);
}

SqliteReader::Rows SqliteReader::firstRows(const QString &table, int maxRows, int maxCellChars)
{
    Rows rows;
    Statement select(m_db, u"SELECT * FROM %1 LIMIT %2"_s.arg(quoted(table)).arg(maxRows + 1),
                     m_statementMillis);
    if (!select.statement) {
        rows.error = u"The table could not be read: %1."_s.arg(QString::fromUtf8(sqlite3_errmsg(m_db)));
        return rows;
    }
    const int columns = std::min(sqlite3_column_count(select.statement), 200);
    for (int c = 0; c < columns; ++c)
        rows.columns << QString::fromUtf8(sqlite3_column_name(select.statement, c));
    int rc;
    while ((rc = sqlite3_step(select.statement)) == SQLITE_ROW) {
        if (rows.rows.size() == maxRows) {
            rows.more = true;
            break;
        }
        QStringList row;
        row.reserve(columns);
        for (int c = 0; c < columns; ++c)
            row << cellText(select.statement, c, maxCellChars);
        rows.rows.append(row);
    }
    if (rc != SQLITE_ROW && rc != SQLITE_DONE)
        rows.error = rc == SQLITE_INTERRUPT
                         ? u"Reading the table took too long; only the first rows are shown."_s
                         : u"The table could not be read to its end: %1."_s.arg(
                               QString::fromUtf8(sqlite3_errmsg(m_db)));
    return rows;
}
