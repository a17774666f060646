#pragma once

#include "tempfolder.h"

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QTemporaryDir>

// Shell scripts that stand in for the developer tools in tests, written into a temporary folder.
class FakeTool
{
public:
    FakeTool();

    bool isValid() const { return m_dir.isValid(); }
    QString dir() const { return m_dir.path(); }
    // Writes an executable script with the given body (a "#!/bin/sh" line is added) and returns
    // its path.
    QString write(const QString &name, const QByteArray &body);
    // The path of a file inside the folder, for recorded arguments and canned output.
    QString path(const QString &name) const { return m_dir.filePath(name); }

private:
    QTemporaryDir m_dir;
};

// True when the process has ended (a zombie counts as ended).
bool processIsGone(qint64 pid);

// Sets LANTHORN_XCRUN for the lifetime of the object, restoring the old value afterwards.
class ScopedToolPath : public ScopedEnv
{
public:
    explicit ScopedToolPath(const QString &path) : ScopedEnv("LANTHORN_XCRUN", QFile::encodeName(path)) {}
};
