#pragma once

#include <QAbstractScrollArea>
#include <QList>

#include <vector>

class QAbstractItemView;

// Lays the columns of the column browser side by side, each as wide as the user left it (a grip
// on its right edge resizes it), and scrolls them sideways. Takes the columns as children of its
// viewport. GUI thread only.
class ColumnBrowser final : public QAbstractScrollArea
{
    Q_OBJECT
public:
    static constexpr int DefaultColumnWidth = 220;
    static constexpr int TrailerWidth = 320;

    explicit ColumnBrowser(QWidget *parent = nullptr);

    int count() const { return int(m_slots.size()); }
    QAbstractItemView *column(int i) const { return m_slots.at(size_t(i)).view; }
    void addColumn(QAbstractItemView *view);
    // Closes the columns from `first` on; they go once control returns to the event loop, since
    // one of them may be sending the signal that closes it.
    void removeColumnsFrom(int first);
    int columnWidth(int i) const;
    void setColumnWidth(int i, int width);
    void ensureColumnVisible(int i);
    // A widget shown after the last column (a file's preview), or none; the browser takes it as
    // a child but does not delete it when it is replaced.
    void setTrailer(QWidget *widget);
    QWidget *trailer() const { return m_trailer; }

protected:
    void resizeEvent(QResizeEvent *event) override;
    void scrollContentsBy(int dx, int dy) override;

private:
    struct Slot
    {
        QAbstractItemView *view;
        QWidget *grip;
    };

    void relayout();

    std::vector<Slot> m_slots;
    QList<int> m_widths;
    QWidget *m_trailer = nullptr;
    bool m_inLayout = false;
};
