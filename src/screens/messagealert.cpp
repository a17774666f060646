#include "messagealert.h"

#include <QLabel>
#include <QMessageBox>
#include <QPushButton>

MessageAlert::MessageAlert(const QString &title, QWidget *parent, const QString &noteTitle)
    : QObject(parent), m_title(title), m_noteTitle(noteTitle.isEmpty() ? title : noteTitle), m_parent(parent)
{
}

MessageAlert::~MessageAlert()
{
    if (m_box)
        m_box->deleteLater();
}

bool MessageAlert::isShown() const
{
    return m_box && m_box->isVisible();
}

void MessageAlert::setMessage(const std::optional<QString> &message, bool isNote)
{
    m_message = message;
    m_isNote = isNote && message;
    apply();
}

void MessageAlert::apply()
{
    if (!m_message) {
        if (m_box)
            m_box->hide();
        return;
    }
    if (!m_box) {
        // The title heads the box as well: window managers often draw a window-modal dialog
        // without a title bar.
        m_box = new QMessageBox(QMessageBox::Warning, m_title, m_title, QMessageBox::NoButton, m_parent);
        m_box->setTextFormat(Qt::PlainText);
        m_box->setWindowModality(Qt::WindowModal);
        QPushButton *ok = m_box->addButton(tr("OK"), QMessageBox::AcceptRole);
        m_box->setDefaultButton(ok);
        m_box->setEscapeButton(ok);
        connect(m_box, &QMessageBox::finished, this, [this] {
            if (!m_message)
                return;
            m_message.reset();
            emit dismissed();
        });
    }
    const QString &title = m_isNote ? m_noteTitle : m_title;
    m_box->setIcon(m_isNote ? QMessageBox::Information : QMessageBox::Warning);
    m_box->setWindowTitle(title);
    m_box->setText(title);
    m_box->setAccessibleName(title);
    m_box->setInformativeText(*m_message);
    // Messages carry file names and tool output: never markup. Not every Qt passes the box's
    // text format on to the informative text, so each label gets it.
    for (QLabel *label : m_box->findChildren<QLabel *>())
        label->setTextFormat(Qt::PlainText);
    if (!m_box->isVisible())
        m_box->open();
}
