#include "messagealert.h"

#include <QMessageBox>
#include <QPushButton>

MessageAlert::MessageAlert(const QString &title, QWidget *parent) : QObject(parent), m_title(title), m_parent(parent)
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

void MessageAlert::setMessage(const std::optional<QString> &message)
{
    m_message = message;
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
        m_box = new QMessageBox(QMessageBox::Warning, m_title, QString(), QMessageBox::NoButton, m_parent);
        m_box->setWindowModality(Qt::WindowModal);
        QPushButton *ok = m_box->addButton(tr("OK"), QMessageBox::AcceptRole);
        m_box->setDefaultButton(ok);
        m_box->setEscapeButton(ok);
        m_box->setAccessibleName(m_title);
        connect(m_box, &QMessageBox::finished, this, [this] {
            if (!m_message)
                return;
            m_message.reset();
            emit dismissed();
        });
    }
    m_box->setText(*m_message);
    if (!m_box->isVisible())
        m_box->open();
}
