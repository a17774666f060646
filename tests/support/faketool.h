#pragma once

#include "tempfolder.h"

#include <QFile>

// Shell scripts that stand in for the developer tools in tests, written into a temporary folder
// beside their recorded arguments and canned output.
class FakeTool : public TempFolder
{
public:
    // Writes an executable script with the given body (a "#!/bin/sh" line is added) and returns
    // its path.
    QString write(const QString &name, const QByteArray &body);
};

// True when the process has ended (a zombie counts as ended).
bool processIsGone(qint64 pid);

// Sets LANTHORN_XCRUN for the lifetime of the object, restoring the old value afterwards.
class ScopedToolPath : public ScopedEnv
{
public:
    explicit ScopedToolPath(const QString &path) : ScopedEnv("LANTHORN_XCRUN", QFile::encodeName(path)) {}
};
