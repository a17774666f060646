#pragma once

#include <QObject>
#include <QPointer>
#include <QString>

#include <optional>

#include <QMessageBox>
class QWidget;

// An alert that is on screen exactly while its message is set: one window-modal message box,
// headed by the title with the message below it as plain text, and a single "OK" that clears
// the message. Setting a new message while it is shown replaces the text; there is never a
// second box. The one way the program shows an alert. A note (no failure, only news) has its
// own title and no warning sign.
class MessageAlert final : public QObject
{
    Q_OBJECT
public:
    MessageAlert(const QString &title, QWidget *parent, const QString &noteTitle = {});
    ~MessageAlert() override;

    const std::optional<QString> &message() const { return m_message; }
    void setMessage(const std::optional<QString> &message, bool isNote = false);
    bool isNote() const { return m_isNote; }
    bool isShown() const;
    QMessageBox *box() const { return m_box; }

signals:
    // The user pressed "OK"; the message is already cleared.
    void dismissed();

private:
    void apply();

    QString m_title;
    QString m_noteTitle;
    bool m_isNote = false;
    QPointer<QWidget> m_parent;
    QPointer<QMessageBox> m_box;
    std::optional<QString> m_message;
};
