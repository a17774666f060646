#include "browsercolumn.h"

#include "filelistmodel.h"
#include "itemviewrules.h"

#include <QKeyEvent>
#include <QLabel>
#include <QVBoxLayout>

#include <algorithm>

BrowserColumn::BrowserColumn(const QUrl &folder, QWidget *parent)
    : QListView(parent), m_folder(folder), m_folderPath(FileListModel::pathOf(folder)),
      m_model(new FileListModel(this, FileListModel::Columns::nameOnly)), m_note(new QLabel(tr("Loading…")))
{
    setFrameShape(QFrame::NoFrame);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setUniformItemSizes(true);
    setSelectionMode(ExtendedSelection);
    setEditTriggers(NoEditTriggers);
    setIconSize(QSize(16, 16));
    setTextElideMode(Qt::ElideMiddle);
    setModel(m_model);
    ItemViewRules::keepAccessibleRowsCurrent(this);
    // Clicks pass through the note to the column, so that its menu still opens.
    m_note->setAttribute(Qt::WA_TransparentForMouseEvents);
    m_note->setAlignment(Qt::AlignCenter);
    m_note->setWordWrap(true);
    m_note->setTextFormat(Qt::PlainText);
    m_note->setForegroundRole(QPalette::PlaceholderText);
    auto *layout = new QVBoxLayout(viewport());
    layout->addWidget(m_note);
    connect(this, &QAbstractItemView::doubleClicked, this, [this] {
        if (m_doubleClickButton == Qt::LeftButton)
            emit leftDoubleClicked();
    });
}

void BrowserColumn::setListing(const QList<FileEntry> &entries, bool readable)
{
    m_loading = false;
    m_model->setEntries(entries);
    m_note->setText(tr("Folder can’t be read"));
    m_note->setVisible(!readable);
}

void BrowserColumn::setShowsPath(bool showsPath)
{
    if (showsPath == m_showsPath)
        return;
    m_showsPath = showsPath;
    viewport()->update();
}

void BrowserColumn::discardEditing()
{
    if (QWidget *editor = m_editing.isValid() ? indexWidget(m_editing) : nullptr)
        closeEditor(editor, QAbstractItemDelegate::NoHint);
}

QList<int> BrowserColumn::selectedRows() const
{
    QList<int> rows;
    for (const QModelIndex &index : selectionModel()->selectedIndexes())
        if (index.column() == 0)
            rows << index.row();
    std::sort(rows.begin(), rows.end());
    return rows;
}

QItemSelectionModel::SelectionFlags BrowserColumn::selectionCommand(const QModelIndex &index,
                                                                    const QEvent *event) const
{
    return ItemViewRules::keepsSelection(event) ? QItemSelectionModel::NoUpdate
                                                : QListView::selectionCommand(index, event);
}

void BrowserColumn::keyPressEvent(QKeyEvent *event)
{
    const bool plain = (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier;
    if (plain && (event->key() == Qt::Key_Left || event->key() == Qt::Key_Right)) {
        emit sideways(event->key());
        return;
    }
    QListView::keyPressEvent(event);
}

void BrowserColumn::mouseDoubleClickEvent(QMouseEvent *event)
{
    m_doubleClickButton = event->button();
    QListView::mouseDoubleClickEvent(event);
    m_doubleClickButton = Qt::NoButton;
}

bool BrowserColumn::edit(const QModelIndex &index, EditTrigger trigger, QEvent *event)
{
    const bool started = QListView::edit(index, trigger, event);
    if (started)
        m_editing = index;
    return started;
}
