#include "previewloader.h"

#include "base/workpools.h"
#include "filestore/filetypes.h"
#include "previewio.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QImageReader>
#include <QJsonDocument>
#include <QLocale>
#include <QMimeDatabase>
#include <QPromise>
#include <QStringDecoder>
#include <QtConcurrent/QtConcurrentRun>

#include <sys/stat.h>

using namespace Qt::StringLiterals;

namespace {

using Kind = PreviewContent::Kind;

QString sizeText(qint64 bytes)
{
    return QLocale().formattedDataSize(bytes, 1, QLocale::DataSizeTraditionalFormat);
}

QString specialKind(mode_t mode)
{
    if (S_ISDIR(mode))
        return FileTypes::folder().kind;
    if (S_ISFIFO(mode))
        return u"Named pipe"_s;
    if (S_ISSOCK(mode))
        return u"Socket"_s;
    if (S_ISCHR(mode) || S_ISBLK(mode))
        return u"Device"_s;
    return u"Special file"_s;
}

bool looksLikeText(const QByteArray &head, const QString &name)
{
    if (head.isEmpty() || head.contains('\0'))
        return false;
    if (QMimeDatabase().mimeTypeForFileNameAndData(name, head).inherits(u"text/plain"_s))
        return true;
    // Mostly valid UTF-8: text with a few bad bytes is still text.
    QStringDecoder decoder(QStringDecoder::Utf8);
    const QString decoded = decoder.decode(head);
    return decoded.count(QChar::ReplacementCharacter) * 100 <= decoded.size();
}

bool looksLikeJson(const QByteArray &head, const QString &name)
{
    if (name.endsWith(u".json"_s, Qt::CaseInsensitive))
        return true;
    const QByteArray start = head.left(64).trimmed();
    return start.startsWith('{') || start.startsWith('[');
}

// Lines longer than the limit are cut, so that a file without line breaks stays cheap to lay out.
QString cutLongLines(const QString &text, int maxLineChars, bool *cut)
{
    QString out;
    out.reserve(text.size());
    qsizetype lineStart = 0;
    while (lineStart <= text.size()) {
        qsizetype end = text.indexOf(u'\n', lineStart);
        if (end < 0)
            end = text.size();
        const qsizetype length = end - lineStart;
        if (length > maxLineChars) {
            out += QStringView(text).sliced(lineStart, maxLineChars);
            out += u'…';
            *cut = true;
        } else {
            out += QStringView(text).sliced(lineStart, length);
        }
        if (end < text.size())
            out += u'\n';
        lineStart = end + 1;
    }
    return out;
}

void readText(QFile &file, qint64 size, const QByteArray &head, const QString &name,
              const PreviewLoader::Limits &limits, PreviewContent &c)
{
    c.kind = Kind::Text;
    if (size <= limits.maxJsonBytes && looksLikeJson(head, name)) {
        file.seek(0);
        const QByteArray all = file.read(limits.maxJsonBytes);
        QJsonParseError error;
        const QJsonDocument json = QJsonDocument::fromJson(all, &error);
        if (error.error == QJsonParseError::NoError && !json.isNull()) {
            QByteArray pretty = json.toJson(QJsonDocument::Indented);
            if (pretty.size() > limits.maxTextBytes) {
                pretty.truncate(limits.maxTextBytes);
                c.notes << u"Only the first %1 of the formatted JSON are shown."_s.arg(
                    sizeText(limits.maxTextBytes));
            }
            c.prettyJson = true;
            c.text = QStringDecoder(QStringDecoder::Utf8).decode(pretty);
            return;
        }
    }
    file.seek(0);
    const QByteArray bytes = file.read(limits.maxTextBytes);
    // Stateful: a character cut at the end is held back rather than shown as a bad one.
    QStringDecoder decoder(QStringDecoder::Utf8);
    QString text = decoder.decode(bytes);
    text.replace(u"\r\n"_s, u"\n"_s);
    bool cut = false;
    c.text = cutLongLines(text, limits.maxLineChars, &cut);
    if (size > bytes.size())
        c.notes << u"Only the first %1 of %2 are shown."_s.arg(sizeText(bytes.size()), sizeText(size));
    if (cut)
        c.notes << u"Lines longer than %1 characters are cut."_s.arg(limits.maxLineChars);
}

void readPlist(QFile &file, qint64 size, const PreviewLoader::Limits &limits, PreviewContent &c)
{
    if (size > limits.maxPlistBytes) {
        c.notes << u"The property list is too large to show (%1)."_s.arg(sizeText(size));
        return;
    }
    file.seek(0);
    const QByteArray bytes = file.read(limits.maxPlistBytes);
    auto outline = std::make_shared<PlistOutline>(PlistOutline::fromBytes(bytes, limits.outline));
    if (!outline->isValid()) {
        c.error = outline->error();
        return;
    }
    c.kind = Kind::PropertyList;
    c.notes << outline->notes();
    c.outline = std::move(outline);
}

void readDatabase(const QString &path, const PreviewLoader::Limits &limits, PreviewContent &c,
                  const std::function<void(const PreviewContent &)> &stage,
                  const std::function<bool()> &stopped)
{
    SqliteReader reader(path, limits.statementMillis);
    c.notes << reader.notes();
    if (!reader.isOpen()) {
        c.error = reader.error();
        return;
    }
    c.tables = reader.tables();
    if (!reader.error().isEmpty()) {
        c.error = reader.error();
        return;
    }
    c.kind = Kind::Database;
    if (c.tables.isEmpty()) {
        c.notes << u"The database has no tables."_s;
        return;
    }
    // The first table (views may be slow) gives the rows shown first.
    const auto first =
        std::find_if(c.tables.cbegin(), c.tables.cend(), [](const auto &t) { return !t.isView; });
    c.rowsTable = (first != c.tables.cend() ? *first : c.tables.first()).name;
    c.rows = reader.firstRows(c.rowsTable, limits.maxRows);
    stage(c);
    QElapsedTimer spent;
    spent.start();
    for (SqliteReader::Table &table : c.tables) {
        if ((stopped && stopped()) || spent.elapsed() > 4 * limits.statementMillis)
            break;
        table.rowCount = reader.rowCount(table.name);
    }
    if (std::any_of(c.tables.cbegin(), c.tables.cend(), [](const auto &t) { return !t.rowCount; }))
        c.notes << u"Some tables took too long to count."_s;
}

} // namespace

PreviewLoader::PreviewLoader(QObject *parent) : QObject(parent)
{
    qRegisterMetaType<PreviewContent>();
}

PreviewLoader::~PreviewLoader()
{
    cancel();
}

void PreviewLoader::load(const QString &path, const Limits &limits,
                         const std::function<void(const PreviewContent &)> &stage,
                         const std::function<bool()> &stopped)
{
    PreviewContent c;
    c.path = path;
    const QFileInfo info(path);
    const QString name = info.fileName();
    struct stat st;
    if (::stat(QFile::encodeName(path).constData(), &st) != 0) {
        c.error = u"The item could not be read."_s;
        c.complete = true;
        stage(c);
        return;
    }
    c.modified = info.lastModified();
    if (const QDateTime born = info.birthTime(); born.isValid())
        c.created = born;
    QFile file;
    if (!S_ISREG(st.st_mode)) {
        c.kindText = specialKind(st.st_mode);
        c.isDirectory = S_ISDIR(st.st_mode);
        c.icon = c.isDirectory ? FileTypes::folder().icon : FileTypes::genericIcon();
        if (!S_ISDIR(st.st_mode))
            c.notes << u"Only regular files are read for a preview."_s;
        c.complete = true;
        stage(c);
        return;
    }
    c.sizeBytes = qint64(st.st_size);
    if (!PreviewIO::openRegular(path, file)) {
        c.kindText = FileTypes::forFileName(name).kind;
        c.icon = FileTypes::forFileName(name).icon;
        c.error = u"The file could not be opened."_s;
        c.complete = true;
        stage(c);
        return;
    }
    const QByteArray head = file.read(4096);
    const FileTypes::Content content = FileTypes::sniffContent(head);
    const FileType &type = FileTypes::forContent(content, FileTypes::forFileName(name));
    c.kindText = type.kind;
    c.icon = type.icon;
    const qint64 size = qint64(st.st_size);
    if (content == FileTypes::Content::SQLiteDatabase) {
        file.close();
        readDatabase(path, limits, c, stage, stopped);
    } else if (content != FileTypes::Content::Unknown) {
        readPlist(file, size, limits, c);
    } else if (PreviewIO::isImage(file)) {
        c.kind = Kind::Image;
        stage(c);
        if (stopped && stopped())
            return;
        // A large JPEG decodes at an eighth of its size in a few milliseconds: shown while the
        // full decode runs.
        if (QImageReader reader(&file); reader.supportsOption(QImageIOHandler::ScaledSize) &&
                                        reader.size().width() > 2 * limits.imageBounds.width()) {
            PreviewIO::Picture quick = PreviewIO::readImage(file, limits.imageBounds / 4);
            c.image = std::move(quick.image);
            c.pixelSize = quick.fullSize;
            stage(c);
            if (stopped && stopped())
                return;
        }
        PreviewIO::Picture picture = PreviewIO::readImage(file, limits.imageBounds);
        c.image = std::move(picture.image);
        c.pixelSize = picture.fullSize;
        c.notes << picture.notes;
    } else if (head.startsWith("%PDF-") && PreviewIO::canRenderPdf()) {
        c.kind = Kind::Pdf;
        file.close();
        PreviewIO::Picture picture = PreviewIO::renderPdfPage(path, limits.imageBounds);
        c.image = std::move(picture.image);
        c.pixelSize = picture.fullSize;
        c.pageCount = picture.pageCount;
        c.notes << picture.notes;
    } else if (looksLikeText(head, name)) {
        readText(file, size, head, name, limits, c);
    }
    c.complete = true;
    stage(c);
}

PreviewContent PreviewLoader::load(const QString &path, const Limits &limits)
{
    PreviewContent last;
    load(path, limits, [&last](const PreviewContent &c) { last = c; });
    return last;
}

SqliteReader::Rows PreviewLoader::loadRows(const QString &path, const QString &table, const Limits &limits)
{
    SqliteReader reader(path, limits.statementMillis);
    if (!reader.isOpen()) {
        SqliteReader::Rows rows;
        rows.error = reader.error();
        return rows;
    }
    return reader.firstRows(table, limits.maxRows);
}

void PreviewLoader::request(const QString &path)
{
    cancel();
    auto *watcher = new QFutureWatcher<PreviewContent>(this);
    m_watcher = watcher;
    connect(watcher, &QFutureWatcherBase::resultReadyAt, this, [this, watcher](int index) {
        if (watcher == m_watcher)
            emit previewReady(watcher->resultAt(index));
    });
    connect(watcher, &QFutureWatcherBase::finished, watcher, &QObject::deleteLater);
    const Limits limits = m_limits;
    watcher->setFuture(
        QtConcurrent::run(WorkPools::previews(), [path, limits](QPromise<PreviewContent> &promise) {
            load(
                path, limits,
                [&promise](const PreviewContent &c) {
                    if (!promise.isCanceled())
                        promise.addResult(c);
                },
                [&promise] { return promise.isCanceled(); });
        }));
}

void PreviewLoader::requestRows(const QString &path, const QString &table)
{
    if (m_rowsWatcher) {
        m_rowsWatcher->disconnect(this);
        m_rowsWatcher->cancel();
    }
    auto *watcher = new QFutureWatcher<SqliteReader::Rows>(this);
    m_rowsWatcher = watcher;
    connect(watcher, &QFutureWatcherBase::finished, this, [this, watcher, path, table] {
        watcher->deleteLater();
        if (watcher == m_rowsWatcher && !watcher->isCanceled())
            emit rowsReady(path, table, watcher->result());
    });
    const Limits limits = m_limits;
    watcher->setFuture(QtConcurrent::run(WorkPools::previews(),
                                         [path, table, limits] { return loadRows(path, table, limits); }));
}

void PreviewLoader::cancel()
{
    if (m_watcher) {
        m_watcher->disconnect(this);
        m_watcher->cancel();
    }
    m_watcher = nullptr;
}
