#include "systempasteboard.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>

using namespace Qt::StringLiterals;

namespace {

const QString gnomeFormat = u"x-special/gnome-copied-files"_s;
const QString kdeCutFormat = u"application/x-kde-cutselection"_s;

} // namespace

SystemPasteboard::SystemPasteboard(QClipboard *clipboard) : m_clipboard(clipboard)
{
}

QClipboard *SystemPasteboard::clipboard() const
{
    return m_clipboard ? m_clipboard.data() : QGuiApplication::clipboard();
}

void SystemPasteboard::writeFileURLs(const QList<QUrl> &urls)
{
    auto *data = new QMimeData;
    data->setUrls(urls);
    QStringList paths;
    for (const QUrl &url : urls)
        paths.append(url.toLocalFile());
#ifndef Q_OS_DARWIN
    // File managers on X11 and Wayland desktops paste files from these; the macOS pasteboard
    // has its own file URL type, which setUrls() fills.
    QByteArray gnome = "copy";
    for (const QUrl &url : urls)
        gnome += '\n' + url.toEncoded();
    data->setData(gnomeFormat, gnome);
    data->setData(kdeCutFormat, "0");
#endif
    data->setText(paths.join(u'\n'));
    clipboard()->setMimeData(data);
}

void SystemPasteboard::writeText(const QString &text)
{
    clipboard()->setText(text);
}

QList<QUrl> SystemPasteboard::readFileURLs() const
{
    const QMimeData *data = clipboard()->mimeData();
    if (!data)
        return {};
    QList<QUrl> candidates = data->urls();
    if (candidates.isEmpty() && data->hasFormat(gnomeFormat)) {
        const QList<QByteArray> lines = data->data(gnomeFormat).split('\n');
        for (qsizetype i = 1; i < lines.size(); ++i) {
            if (!lines[i].trimmed().isEmpty())
                candidates.append(QUrl::fromEncoded(lines[i].trimmed()));
        }
    }
    QList<QUrl> files;
    for (const QUrl &url : candidates) {
        if (url.isLocalFile())
            files.append(url);
    }
    return files;
}

bool SystemPasteboard::canReadFileURLs() const
{
    return !readFileURLs().isEmpty();
}
