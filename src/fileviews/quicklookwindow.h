#pragma once

#include <QUrl>
#include <QWidget>

class FileEntry;
class PreviewPanel;

// The Quick Look window: a small tool window over the Files screen that previews one file and
// follows the view's selection. It opens without taking the keyboard, so that the arrows keep
// moving through the view; Space or Esc closes it. GUI thread only.
class QuickLookWindow final : public QWidget
{
    Q_OBJECT
public:
    explicit QuickLookWindow(QWidget *parent);

    // Previews the file and names the window after it.
    void showFile(const QUrl &url);
    // The same from a listing: a later version of the entry reads the file again.
    void showFile(const FileEntry &entry);
    QUrl url() const { return m_url; }
    PreviewPanel *panel() const { return m_panel; }

protected:
    void keyPressEvent(QKeyEvent *event) override;

private:
    PreviewPanel *m_panel;
    QUrl m_url;
};
