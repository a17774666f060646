#pragma once

#include "binding.h"
#include "filestore/fileentry.h"
#include "filestore/filesstate.h"
#include "fileviewactions.h"

#include <QHash>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QRect>
#include <QSet>
#include <QSize>
#include <QStyledItemDelegate>
#include <QUrl>

#include <functional>
#include <memory>
#include <optional>

class FileViewHost;

// One tile of the icon grid: the icon on a rounded tile with the name below it, and the name's
// in-place editor. Sizes are in device-independent pixels, the toolkit's points. GUI thread only.
class FileCollectionItem final : public QStyledItemDelegate
{
    Q_OBJECT
public:
    // Where the parts of one item lie, relative to the item's top left corner.
    struct Geometry
    {
        QSize itemSize;
        QRect tile;
        QRect icon;
        QRect label; // the area the name may take: two lines under the tile
        int tileRadius = 8;
        int labelRadius = 4;
    };
    // The layout for an icon edge of `iconSize` points (rounded; unusable sizes fall back to 64).
    static Geometry geometry(double iconSize);

    // Called when an edit ends with a name that differs from the item's: the item and the text
    // exactly as typed.
    using Rename = std::function<void(const QModelIndex &, const QString &)>;

    explicit FileCollectionItem(QObject *parent = nullptr);

    void setIconSize(double iconSize);
    const Geometry &currentGeometry() const { return m_geometry; }
    void setOnRename(Rename onRename) { m_onRename = std::move(onRename); }
    // Names committed but not yet listed by the screen show in place of the old ones until the
    // rows are replaced.
    void clearCommittedNames() { m_committedNames.clear(); }

    void paint(QPainter *painter, const QStyleOptionViewItem &option,
               const QModelIndex &index) const override;
    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override;
    QWidget *createEditor(QWidget *parent, const QStyleOptionViewItem &option,
                          const QModelIndex &index) const override;
    void setEditorData(QWidget *editor, const QModelIndex &index) const override;
    void setModelData(QWidget *editor, QAbstractItemModel *model, const QModelIndex &index) const override;
    void updateEditorGeometry(QWidget *editor, const QStyleOptionViewItem &option,
                              const QModelIndex &index) const override;

private:
    QString shownName(const QModelIndex &index) const;
    void paintLabel(QPainter *painter, const QStyleOptionViewItem &option, const QRect &area,
                    const QString &name, bool selected) const;

    Geometry m_geometry;
    Rename m_onRename;
    mutable QHash<QString, QString> m_committedNames; // path → committed name
};

// The icons mode of the Files screen: the entries of the current folder as a grid of tiles at an
// icon size the screen chooses, kept in step with the screen's selection, with renaming under
// the icon, double click to open, dragging out as file URLs, and the shared menu and keys of a
// FileViewHost. One object per shown grid, owning its grid and host. GUI thread only.
class FileIconView final : public QObject
{
    Q_OBJECT
public:
    // What the screen hands over on every update.
    struct Description
    {
        QList<FileEntry> entries;
        double iconSize = 64;
        Binding<QSet<QUrl>> selection;
        Binding<std::optional<QUrl>> renameRequest;
        FileViewActions actions;
    };

    // Applies descriptions to the grid and answers the grid's and the items' requests.
    class Coordinator;

    explicit FileIconView(FilesState::Services services, QWidget *parent = nullptr);
    ~FileIconView() override;
    Q_DISABLE_COPY_MOVE(FileIconView)

    // The widget the screen shows.
    FileViewHost *host() const;
    void update(const Description &description);

private:
    std::unique_ptr<Coordinator> m_coordinator;
};
