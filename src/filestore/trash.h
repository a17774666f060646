#pragma once

#include "platform.h"

#include <QDateTime>

#include <functional>
#include <memory>

// The freedesktop.org trash: items on the home volume go to $XDG_DATA_HOME/Trash (by default
// ~/.local/share/Trash), items on other volumes to $topdir/.Trash/$uid or $topdir/.Trash-$uid.
// Each item gets an info/NAME.trashinfo (written first, exclusively) and is then renamed into
// files/NAME, so an item is never copied and never lost. The Linux trash, and on every
// platform the one tests inject: makeDefaultTrash() gives the Finder's trash on macOS.
class FreedesktopTrash final : public Trash
{
public:
    // `now` gives the deletion date (local time); tests pin it.
    explicit FreedesktopTrash(std::function<QDateTime()> now = [] { return QDateTime::currentDateTime(); });

    Status moveToTrash(const QString &path) override;

    // The home trash folder for the current environment.
    static QString homeTrashPath();

private:
    std::function<QDateTime()> m_now;
};

std::shared_ptr<Trash> makeDefaultTrash();
