#include "contentunavailableview.h"

#include "symbols.h"

#include <QLabel>
#include <QVBoxLayout>

ContentUnavailableView::ContentUnavailableView(const QString &symbolName, const QString &title,
                                               const QString &description, QWidget *parent)
    : QWidget(parent), m_icon(new QLabel(this)), m_title(new QLabel(this)), m_description(new QLabel(this))
{
    m_icon->setPixmap(Symbols::icon(symbolName).pixmap(48, 48));
    m_icon->setAlignment(Qt::AlignCenter);
    m_icon->setAccessibleName(title);

    QFont titleFont = m_title->font();
    titleFont.setPointSizeF(titleFont.pointSizeF() * 1.4);
    titleFont.setBold(true);
    m_title->setFont(titleFont);
    // Titles and descriptions may carry names and tool messages: never markup.
    m_title->setTextFormat(Qt::PlainText);
    m_title->setAlignment(Qt::AlignCenter);
    m_title->setWordWrap(true);

    m_description->setTextFormat(Qt::PlainText);
    m_description->setAlignment(Qt::AlignCenter);
    m_description->setWordWrap(true);
    m_description->setForegroundRole(QPalette::PlaceholderText);

    auto *layout = new QVBoxLayout(this);
    layout->addStretch(1);
    layout->addWidget(m_icon);
    layout->addWidget(m_title);
    layout->addWidget(m_description);
    layout->addStretch(1);

    setTitle(title);
    setDescription(description);
}

QString ContentUnavailableView::title() const
{
    return m_title->text();
}

QString ContentUnavailableView::description() const
{
    return m_description->text();
}

void ContentUnavailableView::setTitle(const QString &title)
{
    m_title->setText(title);
    setAccessibleName(title);
}

void ContentUnavailableView::setDescription(const QString &description)
{
    m_description->setText(description);
    m_description->setVisible(!description.isEmpty());
    setAccessibleDescription(description);
}
