#pragma once

#include "previewcontent.h"

#include <QFutureWatcher>
#include <QObject>
#include <QPointer>
#include <QSize>
#include <QString>

#include <functional>

// Reads files for quick look off the GUI thread, in WorkPools::previews(), and hands each stage
// of the newest request to the GUI thread: request() a file, then previewReady() once or twice
// (the last with complete set); a newer request or cancel() drops what an older one had left.
// The reading itself is the static load(), blocking and bounded in bytes, pixels, depth and
// rows, usable on any thread (tests, benchmarks).
class PreviewLoader final : public QObject
{
    Q_OBJECT
public:
    struct Limits
    {
        QSize imageBounds{1600, 1600};
        qint64 maxTextBytes = 256 * 1024;
        int maxLineChars = 10'000;
        qint64 maxJsonBytes = 4 * 1024 * 1024;
        qint64 maxPlistBytes = 32 * 1024 * 1024;
        int maxRows = 100;
        int statementMillis = 500;
        PlistOutline::Limits outline;
    };

    explicit PreviewLoader(QObject *parent = nullptr);
    ~PreviewLoader() override;

    void setLimits(const Limits &limits) { m_limits = limits; }
    const Limits &limits() const { return m_limits; }

    void request(const QString &path);
    // The first rows of another table of the database shown; answered by rowsReady().
    void requestRows(const QString &path, const QString &table);
    void cancel();

    // Reads `path`, calling `stage` with each stage (the last one complete) unless `stopped`
    // says to stop between stages.
    static void load(const QString &path, const Limits &limits,
                     const std::function<void(const PreviewContent &)> &stage,
                     const std::function<bool()> &stopped = {});
    // The complete preview.
    static PreviewContent load(const QString &path, const Limits &limits);
    static SqliteReader::Rows loadRows(const QString &path, const QString &table, const Limits &limits);

signals:
    void previewReady(const PreviewContent &content);
    void rowsReady(const QString &path, const QString &table, const SqliteReader::Rows &rows);

private:
    Limits m_limits;
    QPointer<QFutureWatcher<PreviewContent>> m_watcher;
    QPointer<QFutureWatcher<SqliteReader::Rows>> m_rowsWatcher;
};
