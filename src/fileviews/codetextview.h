#pragma once

#include <QPlainTextEdit>

// Read-only plain text with line numbers in a margin, for previews of text, logs, source and
// JSON. The text is never read as markup.
class CodeTextView final : public QPlainTextEdit
{
    Q_OBJECT
public:
    explicit CodeTextView(QWidget *parent = nullptr);

    int lineNumberWidth() const;

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    friend class LineNumberArea;
    void paintLineNumbers(QPaintEvent *event);

    QWidget *m_margin;
};
