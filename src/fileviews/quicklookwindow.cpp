#include "quicklookwindow.h"

#include "filestore/plaintext.h"
#include "previewpanel.h"

#include <QKeyEvent>
#include <QVBoxLayout>

QuickLookWindow::QuickLookWindow(QWidget *parent) : QWidget(parent, Qt::Tool), m_panel(new PreviewPanel(this))
{
    setAccessibleName(tr("Quick Look"));
    setAttribute(Qt::WA_ShowWithoutActivating);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(8, 8, 8, 8);
    layout->addWidget(m_panel);
    resize(520, 460);
}

void QuickLookWindow::showFile(const QUrl &url)
{
    if (url == m_url && m_panel->currentPath() == url.toLocalFile())
        return;
    m_url = url;
    // Window titles are plain text; one line keeps a name with breaks in it readable.
    setWindowTitle(PlainText::oneLine(url.fileName()));
    m_panel->showFile(url);
}

void QuickLookWindow::showFile(const FileEntry &entry)
{
    m_url = entry.url();
    setWindowTitle(PlainText::oneLine(entry.name()));
    m_panel->showFile(entry);
}

void QuickLookWindow::keyPressEvent(QKeyEvent *event)
{
    const Qt::KeyboardModifiers modifiers = event->modifiers() & ~Qt::KeypadModifier;
    if (modifiers == Qt::NoModifier && (event->key() == Qt::Key_Escape || event->key() == Qt::Key_Space)) {
        close();
        return;
    }
    QWidget::keyPressEvent(event);
}
