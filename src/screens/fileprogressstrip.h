#pragma once

#include "filestore/filejobqueue.h"

#include <QFrame>
#include <QList>
#include <QPointer>

class QLabel;
class QProgressBar;
class QPushButton;
class QVBoxLayout;

// The file jobs that take a moment, at the bottom of the Files screen: for each, what it does,
// items and bytes done of the total and the time left, with a Cancel button; Escape cancels the
// job whose row has the focus (or the first). Hidden while no job has run for half a second.
// Follows the queue, not a screen, so a job started on another device's screen shows here too.
class FileProgressStrip final : public QFrame
{
    Q_OBJECT
public:
    explicit FileProgressStrip(FileJobQueue *queue, QWidget *parent = nullptr);

    // "3 of 10 items — 1.2 GB of 2 GB — About 8 seconds left".
    static QString detailText(const FileJobQueue::Job &job);

protected:
    void keyPressEvent(QKeyEvent *event) override;

private:
    struct Row
    {
        quint64 id;
        QWidget *widget;
        QLabel *title;
        QProgressBar *bar;
        QLabel *detail;
        QPushButton *cancel;
    };
    void refresh();
    Row makeRow(quint64 id);

    QPointer<FileJobQueue> m_queue;
    QVBoxLayout *m_rows;
    QList<Row> m_shown;
};
