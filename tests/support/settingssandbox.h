#pragma once

#include <QCoreApplication>
#include <QSettings>
#include <QTemporaryDir>

// Keeps a test's preferences in a folder of its own, removed afterwards; clear() before each case.
// In an INI file: on macOS setPath() cannot move the native format out of ~/Library/Preferences.
class SettingsSandbox
{
public:
    explicit SettingsSandbox(const char *name)
    {
        QCoreApplication::setOrganizationName(QStringLiteral("LanthornTests"));
        QCoreApplication::setApplicationName(QString::fromLatin1(name));
        QSettings::setDefaultFormat(QSettings::IniFormat);
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, m_dir.path());
    }
    bool isValid() const { return m_dir.isValid(); }
    void clear() const
    {
        QSettings settings;
        settings.clear();
        settings.sync();
    }

private:
    QTemporaryDir m_dir;
};
