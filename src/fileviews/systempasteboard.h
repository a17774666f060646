#pragma once

#include "filestore/platform.h"

#include <QPointer>

class QClipboard;

// The system clipboard as the Files operations see it. File URLs are written as text/uri-list
// (the file URLs of the macOS pasteboard), outside macOS also as GNOME's
// x-special/gnome-copied-files and KDE's cut marker "0", plus their paths as plain text; they
// are read from text/uri-list or GNOME's form. GUI thread only.
class SystemPasteboard final : public Pasteboard
{
public:
    // The application's clipboard unless another is given.
    explicit SystemPasteboard(QClipboard *clipboard = nullptr);

    void writeFileURLs(const QList<QUrl> &urls) override;
    void writeText(const QString &text) override;
    QList<QUrl> readFileURLs() const override;
    bool canReadFileURLs() const override;

private:
    QClipboard *clipboard() const;

    QPointer<QClipboard> m_clipboard;
};
