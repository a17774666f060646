#include "preferences.h"

#include <QCoreApplication>
#include <QPointer>
#include <QSettings>

#include <cmath>

namespace {

const QString detailSectionKey = QStringLiteral("detailSection");
const QString viewModeKey = QStringLiteral("viewMode");
const QString iconSizeKey = QStringLiteral("iconSize");

QString readText(const QString &key, const QString &fallback)
{
    const QVariant value = QSettings().value(key);
    return value.isValid() ? value.toString() : fallback;
}

// Synced at once, so that a value is on disk before anyone hears of the change.
void write(const QString &key, const QVariant &value)
{
    QSettings settings;
    settings.setValue(key, value);
    settings.sync();
}

} // namespace

Preferences::Preferences(QObject *parent) : QObject(parent)
{
}

Preferences &Preferences::shared()
{
    // Owned by the application, so that it never outlives the receivers of its signals' thread.
    static QPointer<Preferences> instance;
    if (!instance)
        instance = new Preferences(QCoreApplication::instance());
    return *instance;
}

QString Preferences::detailSection() const
{
    return readText(detailSectionKey, QStringLiteral("Files"));
}

void Preferences::setDetailSection(const QString &rawValue)
{
    const bool changed = detailSection() != rawValue;
    if (changed || !QSettings().contains(detailSectionKey))
        write(detailSectionKey, rawValue);
    if (changed)
        emit detailSectionChanged(rawValue);
}

QString Preferences::viewMode() const
{
    return readText(viewModeKey, QStringLiteral("list"));
}

void Preferences::setViewMode(const QString &rawValue)
{
    const bool changed = viewMode() != rawValue;
    if (changed || !QSettings().contains(viewModeKey))
        write(viewModeKey, rawValue);
    if (changed)
        emit viewModeChanged(rawValue);
}

double Preferences::iconSize() const
{
    bool ok = false;
    const double size = QSettings().value(iconSizeKey).toDouble(&ok);
    return ok && std::isfinite(size) ? size : 64.0;
}

void Preferences::setIconSize(double size)
{
    if (!std::isfinite(size))
        return;
    const bool changed = iconSize() != size;
    if (changed || !QSettings().contains(iconSizeKey))
        write(iconSizeKey, size);
    if (changed)
        emit iconSizeChanged(size);
}
