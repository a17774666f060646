#pragma once

#include <QObject>
#include <QString>

// The program's three user preferences, kept in QSettings under "detailSection", "viewMode" and
// "iconSize". One object for the whole program, so that every open screen hears of a change at
// once. Values are read from QSettings on each call and written (and synced) at once. GUI thread.
class Preferences final : public QObject
{
    Q_OBJECT
public:
    static Preferences &shared();

    // The stored text, or "Files" when absent; unknown texts are for the reader to judge.
    QString detailSection() const;
    void setDetailSection(const QString &rawValue);

    // The stored text, or "list" when absent.
    QString viewMode() const;
    void setViewMode(const QString &rawValue);

    // The stored size in points, or 64 when absent or not a finite number.
    double iconSize() const;
    void setIconSize(double size);

signals:
    void detailSectionChanged(const QString &rawValue);
    void viewModeChanged(const QString &rawValue);
    void iconSizeChanged(double size);

private:
    explicit Preferences(QObject *parent);
    Q_DISABLE_COPY_MOVE(Preferences)
};
