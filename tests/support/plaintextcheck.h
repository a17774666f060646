#pragma once

#include "filestore/plaintext.h"

#include <QAbstractItemView>
#include <QLabel>
#include <QMessageBox>
#include <QTextDocument>
#include <QWidget>
#include <QWindow>

#include <algorithm>

// Walks a window as a reader sees it: every widget's tooltip, accessible name and description,
// label and title, and every row of every view (shown text, tooltip, accessible texts). Widget
// tests only (Qt Widgets).
namespace PlainTextCheck {

// A text as drawn: markup rendered where Qt would render it.
inline QString seen(const QString &text, Qt::TextFormat format)
{
    if (format == Qt::PlainText || (format == Qt::AutoText && !Qt::mightBeRichText(text)))
        return text;
    QTextDocument document;
    document.setHtml(text);
    return document.toPlainText();
}

struct Report
{
    QStringList seen;   // every text, as drawn
    QStringList faults; // texts drawn as markup, or showing hidden characters
};

inline Report walk(QWidget *window)
{
    Report report;
    // A row's shown text may hold two lines (an app's name, then its identifier).
    auto check = [&](const QString &where, const QString &text, Qt::TextFormat format, int lines) {
        if (text.isEmpty())
            return;
        const QString shown = seen(text, format);
        // Rich text is fine only as the escaped form of the text it shows.
        if (shown != text && text != PlainText::toolTip(shown))
            report.faults << where + u" drawn as markup: " + text;
        const QStringList parts = shown.split(u'\n');
        const bool hides = std::any_of(parts.begin(), parts.end(),
                                       [](const QString &part) { return PlainText::oneLine(part) != part; });
        if (lines > 0 && (parts.size() > lines || hides))
            report.faults << where + u" not on its line(s): " + shown;
        report.seen << shown;
    };
    QList<QWidget *> widgets = window->findChildren<QWidget *>();
    widgets.prepend(window);
    for (QWidget *widget : std::as_const(widgets)) {
        const QString type = QString::fromLatin1(widget->metaObject()->className());
        check(type + u" tooltip", widget->toolTip(), Qt::AutoText, 0);
        check(type + u" accessible name", widget->accessibleName(), Qt::PlainText, 1);
        check(type + u" accessible description", widget->accessibleDescription(), Qt::PlainText, 1);
        if (widget->windowHandle())
            check(type + u" title", widget->windowHandle()->title(), Qt::PlainText, 1);
        if (auto *label = qobject_cast<QLabel *>(widget))
            check(type, label->text(), label->textFormat(), 0);
        auto *view = qobject_cast<QAbstractItemView *>(widget);
        const QAbstractItemModel *model = view ? view->model() : nullptr;
        for (int row = 0; model && row < model->rowCount(view->rootIndex()); ++row)
            for (int column = 0; column < model->columnCount(view->rootIndex()); ++column) {
                const QModelIndex index = model->index(row, column, view->rootIndex());
                check(type + u" row tooltip", index.data(Qt::ToolTipRole).toString(), Qt::AutoText, 0);
                check(type + u" row", index.data(Qt::DisplayRole).toString(), Qt::PlainText, 2);
                check(type + u" row name", index.data(Qt::AccessibleTextRole).toString(), Qt::PlainText, 1);
                check(type + u" row description", index.data(Qt::AccessibleDescriptionRole).toString(),
                      Qt::PlainText, 1);
            }
    }
    return report;
}

// An alert's headline and body as a reader gets them: plain text, never markup.
template <typename Alert> QStringList alertTexts(Alert *alert)
{
    QMessageBox *box = alert->box();
    for (QLabel *label : box->findChildren<QLabel *>())
        if (label->text() == box->informativeText() && label->textFormat() != Qt::PlainText)
            return {u"rich text: " + label->text()};
    return {box->text(), box->informativeText()};
}

} // namespace PlainTextCheck
