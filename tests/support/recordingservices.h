#pragma once

#include "filestore/platform.h"

#include <QStringList>

// Desktop services that remember what they were asked, for tests.
class RecordingPasteboard final : public Pasteboard
{
public:
    void writeFileURLs(const QList<QUrl> &urls) override
    {
        fileURLs = urls;
        text.reset();
        ++writes;
    }
    void writeText(const QString &value) override
    {
        fileURLs.clear();
        text = value;
        ++writes;
    }
    QList<QUrl> readFileURLs() const override { return fileURLs; }
    bool canReadFileURLs() const override { return !fileURLs.isEmpty(); }

    QList<QUrl> fileURLs;
    std::optional<QString> text;
    int writes = 0;
};

class RecordingWorkspace final : public Workspace
{
public:
    void open(const QUrl &url) override { opened << url; }
    void reveal(const QList<QUrl> &) override {}
    void openInTerminal(const QUrl &) override {}

    QList<QUrl> opened;
};
