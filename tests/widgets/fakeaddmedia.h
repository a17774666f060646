#pragma once

#include "support/faketool.h"

#include <QFile>
#include <QUrl>

// A fake `xcrun` for the Photos screen, steered by the name of the first file of each batch:
// a name containing "fail" makes the run fail with "Could not add <name>" on standard error;
// hold(name) keeps the run of that batch waiting until release(name). Every run appends its
// arguments, tab-separated, to a log. Installs itself as LANTHORN_XCRUN.
class FakeAddMedia
{
public:
    FakeAddMedia()
        : m_script(m_tools.write(
              QStringLiteral("xcrun"),
              "dir='" + QFile::encodeName(m_tools.path()) +
                  "'\n"
                  "name=$(basename \"$4\")\n"
                  "touch \"$dir/started-$name\"\n"
                  "while [ -e \"$dir/hold-$name\" ]; do sleep 0.02; done\n"
                  "(IFS='\t'; printf '%s\\n' \"$*\") >> \"$dir/runs\"\n"
                  "case \"$name\" in *fail*) printf 'Could not add %s\\n' \"$name\" >&2; exit 1;; esac\n"
                  "exit 0")),
          m_scoped(m_script)
    {
    }

    bool isValid() const { return m_tools.isValid() && !m_script.isEmpty(); }
    // A file URL in the fake's folder; the file exists.
    QUrl file(const QString &name)
    {
        m_tools.createFile(QStringLiteral("media/") + name);
        return m_tools.url(QStringLiteral("media/") + name);
    }
    void hold(const QString &name) { m_tools.createFile(u"hold-" + name); }
    void release(const QString &name) const { QFile::remove(m_tools.path(u"hold-" + name)); }
    bool hasStarted(const QString &name) const { return m_tools.exists(u"started-" + name); }
    // One entry per finished tool run: its arguments.
    QList<QStringList> runs() const
    {
        QList<QStringList> result;
        for (const QByteArray &line : m_tools.read(QStringLiteral("runs")).split('\n'))
            if (!line.isEmpty())
                result.append(QString::fromUtf8(line) // macOS hands a tool decomposed names
                                  .normalized(QString::NormalizationForm_C)
                                  .split(QLatin1Char('\t')));
        return result;
    }

private:
    FakeTool m_tools;
    QString m_script;
    ScopedToolPath m_scoped;
};
