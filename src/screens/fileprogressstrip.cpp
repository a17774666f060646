#include "fileprogressstrip.h"

#include "filestore/displayformat.h"

#include <QGridLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

// A job shorter than this never shows: the strip would only flicker.
constexpr qint64 showAfterMSecs = 500;

QString timeLeft(qint64 seconds)
{
    if (seconds <= 1)
        return FileProgressStrip::tr("About a second left");
    if (seconds < 60)
        return FileProgressStrip::tr("About %1 seconds left").arg(seconds);
    if (seconds < 90)
        return FileProgressStrip::tr("About a minute left");
    if (seconds < 3600)
        return FileProgressStrip::tr("About %1 minutes left").arg((seconds + 30) / 60);
    return FileProgressStrip::tr("About %1 hours left").arg(QString::number(double(seconds) / 3600, 'f', 1));
}

} // namespace

FileProgressStrip::FileProgressStrip(FileJobQueue *queue, QWidget *parent)
    : QFrame(parent), m_queue(queue), m_rows(new QVBoxLayout(this))
{
    setObjectName(QStringLiteral("fileProgressStrip"));
    setAccessibleName(tr("File operations"));
    setFrameShape(QFrame::StyledPanel);
    setFocusPolicy(Qt::StrongFocus);
    m_rows->setContentsMargins(8, 4, 8, 4);
    hide();
    connect(queue, &FileJobQueue::jobsChanged, this, &FileProgressStrip::refresh);
    connect(queue, &FileJobQueue::progressChanged, this, &FileProgressStrip::refresh);
    refresh();
}

QString FileProgressStrip::detailText(const FileJobQueue::Job &job)
{
    if (job.cancelled)
        return tr("Stopping…");
    if (!job.running)
        return tr("Waiting…");
    QStringList parts;
    if (job.itemsTotal > 1)
        parts << tr("%1 of %2 items").arg(job.itemsDone).arg(job.itemsTotal);
    if (job.bytesTotal > 0)
        parts << tr("%1 of %2")
                     .arg(DisplayFormat::byteCount(job.bytesDone), DisplayFormat::byteCount(job.bytesTotal));
    if (job.secondsLeft)
        parts << timeLeft(*job.secondsLeft);
    return parts.join(QStringLiteral(" — "));
}

FileProgressStrip::Row FileProgressStrip::makeRow(quint64 id)
{
    Row row{id, new QWidget(this), new QLabel, new QProgressBar, new QLabel, new QPushButton(tr("Cancel"))};
    auto *grid = new QGridLayout(row.widget);
    grid->setContentsMargins(0, 2, 0, 2);
    row.title->setTextFormat(Qt::PlainText);
    row.detail->setTextFormat(Qt::PlainText);
    row.bar->setTextVisible(false);
    row.bar->setMaximumHeight(8);
    grid->addWidget(row.title, 0, 0);
    grid->addWidget(row.bar, 1, 0);
    grid->addWidget(row.detail, 2, 0);
    grid->addWidget(row.cancel, 0, 1, 3, 1, Qt::AlignVCenter);
    connect(row.cancel, &QPushButton::clicked, this, [this, id] {
        if (m_queue)
            m_queue->cancel(id);
    });
    return row;
}

void FileProgressStrip::refresh()
{
    QList<FileJobQueue::Job> jobs = m_queue ? m_queue->jobs() : QList<FileJobQueue::Job>();
    // Once one job shows, the ones queued behind it show too.
    const bool any = std::any_of(jobs.begin(), jobs.end(),
                                 [](const FileJobQueue::Job &job) { return job.ageMSecs >= showAfterMSecs; });
    if (!any)
        jobs.clear();
    QList<Row> rows;
    for (const FileJobQueue::Job &job : std::as_const(jobs)) {
        const auto old =
            std::find_if(m_shown.begin(), m_shown.end(), [&](const Row &row) { return row.id == job.id; });
        Row row = old != m_shown.end() ? *old : makeRow(job.id);
        if (old != m_shown.end())
            m_shown.erase(old);
        m_rows->addWidget(row.widget); // in the queue's order
        row.title->setText(job.description);
        row.widget->setAccessibleName(job.description);
        row.bar->setAccessibleName(tr("Progress of %1").arg(job.description));
        if (job.bytesTotal > 0 || job.itemsTotal > 1) {
            const bool byBytes = job.bytesTotal > 0;
            // Scaled to per mille: a byte count does not fit a progress bar's int.
            const qint64 total = byBytes ? job.bytesTotal : job.itemsTotal;
            const qint64 done = byBytes ? job.bytesDone : job.itemsDone;
            row.bar->setRange(0, 1000);
            row.bar->setValue(int(std::clamp<qint64>(done * 1000 / std::max<qint64>(total, 1), 0, 1000)));
        } else {
            row.bar->setRange(0, job.running ? 0 : 1000); // busy, or waiting at the start
        }
        row.detail->setText(detailText(job));
        row.detail->setAccessibleName(row.detail->text());
        row.cancel->setAccessibleName(tr("Cancel %1").arg(job.description));
        row.cancel->setEnabled(!job.cancelled);
        rows.append(row);
    }
    for (const Row &gone : std::as_const(m_shown))
        delete gone.widget;
    m_shown = rows;
    setVisible(!m_shown.isEmpty());
}

void FileProgressStrip::keyPressEvent(QKeyEvent *event)
{
    if (event->key() != Qt::Key_Escape || m_shown.isEmpty() || !m_queue) {
        QFrame::keyPressEvent(event);
        return;
    }
    quint64 id = m_shown.first().id;
    for (const Row &row : std::as_const(m_shown)) {
        if (row.widget->isAncestorOf(focusWidget()))
            id = row.id;
    }
    m_queue->cancel(id);
    event->accept();
}
