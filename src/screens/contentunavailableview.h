#pragma once

#include <QWidget>

class QLabel;

// A centred "nothing to show" placeholder: an icon, a title and an optional description.
// Shared by every screen.
class ContentUnavailableView final : public QWidget
{
    Q_OBJECT
public:
    ContentUnavailableView(const QString &symbolName, const QString &title, const QString &description = {},
                           QWidget *parent = nullptr);

    QString title() const;
    QString description() const;
    void setTitle(const QString &title);
    void setDescription(const QString &description);

private:
    QLabel *m_icon;
    QLabel *m_title;
    QLabel *m_description;
};
