#include "faketool.h"

#include <QFile>

FakeTool::FakeTool() = default;

QString FakeTool::write(const QString &name, const QByteArray &body)
{
    const QString file = m_dir.filePath(name);
    QFile script(file);
    if (!script.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return {};
    script.write("#!/bin/sh\n" + body + "\n");
    script.close();
    script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadGroup |
                          QFile::ExeGroup);
    return file;
}

ScopedToolPath::ScopedToolPath(const QString &path)
    : m_old(qgetenv("LANTHORN_XCRUN")), m_hadOld(qEnvironmentVariableIsSet("LANTHORN_XCRUN"))
{
    qputenv("LANTHORN_XCRUN", QFile::encodeName(path));
}

ScopedToolPath::~ScopedToolPath()
{
    if (m_hadOld)
        qputenv("LANTHORN_XCRUN", m_old);
    else
        qunsetenv("LANTHORN_XCRUN");
}
