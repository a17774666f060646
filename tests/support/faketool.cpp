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
