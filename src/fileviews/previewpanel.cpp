#include "previewpanel.h"

#include "codetextview.h"
#include "fileicons.h"
#include "filestore/displayformat.h"
#include "filestore/plaintext.h"
#include "filestore/preview/previewloader.h"
#include "plistoutlinemodel.h"

#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QLocale>
#include <QSortFilterProxyModel>
#include <QSplitter>
#include <QStackedWidget>
#include <QStandardItemModel>
#include <QTableView>
#include <QTreeView>
#include <QVBoxLayout>

#include <algorithm>
#include <utility>

using namespace Qt::StringLiterals;

namespace {

QLabel *plainLabel(QWidget *parent, const QString &accessibleName)
{
    auto *label = new QLabel(parent);
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(true);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    label->setAccessibleName(accessibleName);
    return label;
}

} // namespace

PreviewPanel::PreviewPanel(QWidget *parent)
    : QWidget(parent), m_loader(new PreviewLoader(this)), m_icon(new QLabel(this)),
      m_title(plainLabel(this, u"Name"_s)), m_details(plainLabel(this, u"Details"_s)),
      m_notes(plainLabel(this, u"Not shown"_s)), m_pages(new QStackedWidget(this)),
      m_emptyPage(new QWidget(this)), m_image(new QLabel(this)), m_text(new CodeTextView(this)),
      m_plistPage(new QWidget(this)), m_search(new QLineEdit(this)), m_tree(new QTreeView(this)),
      m_outline(new PlistOutlineModel(this)), m_filter(new QSortFilterProxyModel(this)),
      m_databasePage(new QWidget(this)), m_tables(new QListWidget(this)),
      m_columns(plainLabel(this, u"Columns"_s)), m_rowsView(new QTableView(this)),
      m_rows(new QStandardItemModel(this))
{
    setAccessibleName(u"Preview"_s);
    m_icon->setFixedSize(48, 48);
    m_icon->setAccessibleName(u"Icon"_s);
    QFont titleFont = m_title->font();
    titleFont.setBold(true);
    m_title->setFont(titleFont);
    m_notes->setForegroundRole(QPalette::PlaceholderText);

    m_image->setAlignment(Qt::AlignCenter);
    m_image->setMinimumSize(1, 1);
    m_image->setAccessibleName(u"Image"_s);
    m_text->setAccessibleName(u"Text"_s);

    m_search->setPlaceholderText(u"Search keys"_s);
    m_search->setAccessibleName(u"Search keys"_s);
    m_search->setClearButtonEnabled(true);
    m_filter->setSourceModel(m_outline);
    m_filter->setRecursiveFilteringEnabled(true);
    m_filter->setAutoAcceptChildRows(true);
    m_filter->setFilterKeyColumn(PlistOutlineModel::KeyColumn);
    m_filter->setFilterCaseSensitivity(Qt::CaseInsensitive);
    m_tree->setModel(m_filter);
    m_tree->setAccessibleName(u"Property list"_s);
    m_tree->setUniformRowHeights(true);
    m_tree->setAlternatingRowColors(true);
    m_tree->header()->setSectionResizeMode(QHeaderView::Interactive);
    connect(m_search, &QLineEdit::textChanged, this, [this](const QString &text) {
        m_filter->setFilterFixedString(text);
        if (!text.isEmpty())
            m_tree->expandAll();
    });
    auto *plistLayout = new QVBoxLayout(m_plistPage);
    plistLayout->setContentsMargins(0, 0, 0, 0);
    plistLayout->addWidget(m_search);
    plistLayout->addWidget(m_tree);

    m_tables->setAccessibleName(u"Tables"_s);
    m_rowsView->setModel(m_rows);
    m_rowsView->setAccessibleName(u"Rows"_s);
    m_rowsView->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_rowsView->verticalHeader()->setDefaultSectionSize(m_rowsView->fontMetrics().height() + 6);
    auto *rowsSide = new QWidget(m_databasePage);
    auto *rowsLayout = new QVBoxLayout(rowsSide);
    rowsLayout->setContentsMargins(0, 0, 0, 0);
    rowsLayout->addWidget(m_columns);
    rowsLayout->addWidget(m_rowsView, 1);
    auto *splitter = new QSplitter(Qt::Horizontal, m_databasePage);
    splitter->addWidget(m_tables);
    splitter->addWidget(rowsSide);
    splitter->setStretchFactor(1, 3);
    splitter->setSizes({180, 540});
    auto *databaseLayout = new QVBoxLayout(m_databasePage);
    databaseLayout->setContentsMargins(0, 0, 0, 0);
    databaseLayout->addWidget(splitter);
    connect(m_tables, &QListWidget::currentRowChanged, this, &PreviewPanel::chooseTable);

    for (QWidget *page : {m_emptyPage, static_cast<QWidget *>(m_image), static_cast<QWidget *>(m_text),
                          m_plistPage, m_databasePage})
        m_pages->addWidget(page);

    auto *header = new QHBoxLayout;
    header->addWidget(m_icon, 0, Qt::AlignTop);
    auto *headerText = new QVBoxLayout;
    headerText->addWidget(m_title);
    headerText->addWidget(m_details);
    header->addLayout(headerText, 1);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(header);
    layout->addWidget(m_notes);
    layout->addWidget(m_pages, 1);

    connect(m_loader, &PreviewLoader::previewReady, this, &PreviewPanel::setContent);
    connect(m_loader, &PreviewLoader::rowsReady, this,
            [this](const QString &path, const QString &table, const SqliteReader::Rows &rows) {
                if (path == m_path)
                    showRows(table, rows);
            });
    clear();
}

void PreviewPanel::showFile(const QString &path)
{
    m_entry.reset();
    m_rereadRows = false;
    m_path = path;
    PreviewContent loading;
    loading.path = path;
    m_content = loading;
    m_title->setText(PlainText::oneLine(QFileInfo(path).fileName()));
    m_details->setText(u"Loading…"_s);
    m_notes->clear();
    m_notes->hide();
    m_pages->setCurrentWidget(m_emptyPage);
    m_loader->request(path);
}

void PreviewPanel::showFile(const QUrl &url)
{
    showFile(url.toLocalFile());
}

void PreviewPanel::showFile(const FileEntry &entry)
{
    if (isShowing(entry))
        return;
    // The file changed on disk: read it again, showing the old preview until the new one comes.
    if (m_entry && m_entry->path() == entry.path() && m_path == entry.path()) {
        m_entry = entry;
        m_rereadRows = true;
        m_loader->request(m_path);
        return;
    }
    showFile(entry.path());
    m_entry = entry;
}

void PreviewPanel::clear()
{
    m_loader->cancel();
    m_entry.reset();
    m_path.clear();
    m_content = PreviewContent();
    m_icon->clear();
    m_title->setText(u"No Selection"_s);
    m_details->clear();
    m_notes->hide();
    m_pages->setCurrentWidget(m_emptyPage);
}

void PreviewPanel::setContent(const PreviewContent &content)
{
    const bool sameFile = content.path == m_content.path && content.kind == m_content.kind;
    const bool sameOutline = sameFile && content.outline == m_content.outline;
    // A later stage of the same database keeps the table the user chose meanwhile.
    const QString chosenTable = m_content.rowsTable;
    const SqliteReader::Rows chosenRows = m_content.rows;
    m_content = content;
    const bool tableLeft = std::any_of(content.tables.begin(), content.tables.end(),
                                       [&](const SqliteReader::Table &t) { return t.name == chosenTable; });
    if (sameFile && content.kind == PreviewContent::Kind::Database && chosenTable != content.rowsTable &&
        tableLeft) {
        m_content.rowsTable = chosenTable;
        m_content.rows = chosenRows;
        // Read anew, its rows may have changed with the file.
        if (std::exchange(m_rereadRows, false))
            m_loader->requestRows(m_path, chosenTable);
    }
    m_path = content.path;
    showInfo();
    switch (content.kind) {
    case PreviewContent::Kind::Image:
    case PreviewContent::Kind::Pdf:
        showImage();
        break;
    case PreviewContent::Kind::Text:
        m_text->setPlainText(content.text);
        m_pages->setCurrentWidget(m_text);
        break;
    case PreviewContent::Kind::PropertyList:
        if (!sameOutline) {
            m_search->clear();
            m_outline->setOutline(content.outline);
            m_tree->expandToDepth(0);
            m_tree->resizeColumnToContents(PlistOutlineModel::KeyColumn);
            m_tree->resizeColumnToContents(PlistOutlineModel::TypeColumn);
        }
        m_pages->setCurrentWidget(m_plistPage);
        break;
    case PreviewContent::Kind::Database:
        showDatabase();
        break;
    case PreviewContent::Kind::Generic:
        m_pages->setCurrentWidget(m_emptyPage);
        break;
    }
    emit contentShown(content.complete);
}

void PreviewPanel::showInfo()
{
    const PreviewContent &c = m_content;
    const QFileInfo info(c.path);
    if (c.icon) {
        const FileEntry entry(info.path() + u'/', info.fileName(), c.isDirectory, std::nullopt, std::nullopt,
                              c.kindText, c.icon);
        m_icon->setPixmap(FileIcons::icon(entry).pixmap(48, 48));
    }
    m_title->setText(PlainText::oneLine(info.fileName()));
    QStringList details;
    if (!c.kindText.isEmpty())
        details << c.kindText;
    if (c.sizeBytes)
        details << DisplayFormat::byteCount(*c.sizeBytes);
    if (c.pixelSize.isValid())
        details << u"%1 × %2"_s.arg(c.pixelSize.width()).arg(c.pixelSize.height());
    if (c.pageCount > 0)
        details << (c.pageCount == 1 ? u"1 page"_s : u"%1 pages"_s.arg(c.pageCount));
    QString text = details.join(u" — "_s);
    if (c.modified)
        text += u"\nModified: "_s + DisplayFormat::dateTime(c.modified->toMSecsSinceEpoch());
    if (c.created)
        text += u"\nCreated: "_s + DisplayFormat::dateTime(c.created->toMSecsSinceEpoch());
    if (!c.complete)
        text += u"\nLoading…"_s;
    m_details->setText(text);
    QStringList notes = c.notes;
    if (!c.error.isEmpty())
        notes.prepend(c.error);
    m_notes->setText(notes.join(u'\n'));
    m_notes->setVisible(!notes.isEmpty());
}

void PreviewPanel::showImage()
{
    updateImage();
    m_image->setAccessibleName(
        m_content.image.isNull()
            ? u"Image"_s
            : u"Image, %1 × %2 pixels"_s.arg(m_content.pixelSize.width()).arg(m_content.pixelSize.height()));
    m_pages->setCurrentWidget(m_image);
}

void PreviewPanel::updateImage()
{
    const QImage &image = m_content.image;
    if (image.isNull()) {
        m_image->clear();
        return;
    }
    const qreal ratio = devicePixelRatioF();
    const QSize room = (m_pages->size() * ratio).boundedTo(image.size());
    QPixmap pixmap = QPixmap::fromImage(image.scaled(room, Qt::KeepAspectRatio, Qt::SmoothTransformation));
    pixmap.setDevicePixelRatio(ratio);
    m_image->setPixmap(pixmap);
}

void PreviewPanel::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    if (m_pages->currentWidget() == m_image)
        updateImage();
}

void PreviewPanel::showDatabase()
{
    const QSignalBlocker block(m_tables);
    m_tables->clear();
    int current = 0;
    for (const SqliteReader::Table &table : m_content.tables) {
        QString text = PlainText::oneLine(table.name);
        if (table.isView)
            text += u" (view)"_s;
        if (table.rowCount)
            text += u" — "_s + (*table.rowCount == 1 ? u"1 row"_s
                                                     : u"%1 rows"_s.arg(QLocale().toString(*table.rowCount)));
        m_tables->addItem(text);
        if (table.name == m_content.rowsTable)
            current = m_tables->count() - 1;
    }
    if (m_tables->count() > 0)
        m_tables->setCurrentRow(current);
    showRows(m_content.rowsTable, m_content.rows);
    m_pages->setCurrentWidget(m_databasePage);
}

void PreviewPanel::chooseTable(int row)
{
    if (row < 0 || row >= m_content.tables.size())
        return;
    const QString table = m_content.tables[row].name;
    if (table == m_content.rowsTable)
        return;
    m_content.rowsTable = table;
    m_rows->clear();
    m_columns->setText(u"Loading…"_s);
    m_loader->requestRows(m_path, table);
}

void PreviewPanel::showRows(const QString &table, const SqliteReader::Rows &rows)
{
    if (table != m_content.rowsTable)
        return;
    m_content.rows = rows;
    m_rows->clear();
    QStringList headers;
    for (const QString &column : rows.columns)
        headers << PlainText::oneLine(column);
    m_rows->setHorizontalHeaderLabels(headers);
    for (const QStringList &row : rows.rows) {
        QList<QStandardItem *> items;
        for (const QString &cell : row) {
            auto *item = new QStandardItem(PlainText::oneLine(cell));
            item->setEditable(false);
            items << item;
        }
        m_rows->appendRow(items);
    }
    QStringList columns;
    const auto it = std::find_if(m_content.tables.cbegin(), m_content.tables.cend(),
                                 [&table](const auto &t) { return t.name == table; });
    if (it != m_content.tables.cend()) {
        for (const SqliteReader::Column &column : it->columns)
            columns << (column.type.isEmpty() ? column.name : column.name + u' ' + column.type);
    }
    QString summary = PlainText::oneLine(columns.join(u", "_s));
    if (rows.more)
        summary += u"\nThe first %1 rows are shown."_s.arg(rows.rows.size());
    if (!rows.error.isEmpty())
        summary += u'\n' + rows.error;
    m_columns->setText(summary);
}
