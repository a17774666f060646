#pragma once

#include <QSet>
#include <QString>
#include <QUrl>

#include <functional>
#include <optional>

// The commands a file view reports back to the Files screen. A plain value, copied freely;
// the screen builds a new one for every update of the view. Empty callbacks do nothing.
struct FileViewActions
{
    std::function<void(const QUrl &)> open;
    std::function<void(const QSet<QUrl> &)> trash;
    std::function<void()> paste;
    std::function<void(const QUrl &, const QString &)> rename;
    std::function<void()> newFolder;
    std::function<void(const QSet<QUrl> &)> duplicate;
    std::function<void(const QUrl &)> openInTerminal;
    std::function<std::optional<QUrl>()> currentDirectory;
    std::function<void(const QSet<QUrl> &)> selectionChanged;
    std::function<void(const QUrl &)> directoryChanged;
};

// Calls a callback when it is set.
template <typename F, typename... Args>
auto invokeAction(const F &callback, Args &&...args)
{
    using R = decltype(callback(std::forward<Args>(args)...));
    if (!callback)
        return R();
    return callback(std::forward<Args>(args)...);
}
