#pragma once

#include <QByteArray>
#include <QString>

// errno-level pieces of FileOperations shared with the trash.
namespace FileOperationsPrivate {

// 0 or an errno; fails with EEXIST, replacing nothing, when `to` exists.
int renameExclusive(const QByteArray &from, const QByteArray &to);

// The end of a sentence "... because REASON." for an errno.
QString reasonFor(int error);

} // namespace FileOperationsPrivate
