#pragma once

#include <QHash>
#include <QPixmap>
#include <QRect>
#include <QSize>
#include <QStyledItemDelegate>

#include <functional>

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

    explicit FileCollectionItem(QObject *parent = nullptr);

    void setIconSize(double iconSize);
    const Geometry &currentGeometry() const { return m_geometry; }
    // Names committed but not yet listed by the screen show in place of the old ones until the
    // rows are replaced.
    void clearCommittedNames() { m_committedNames.clear(); }
    // What to paint in place of an item's icon (a thumbnail), or a null pixmap for the icon;
    // asked for the items painted only.
    void setThumbnails(std::function<QPixmap(const QModelIndex &)> thumbnail)
    {
        m_thumbnail = std::move(thumbnail);
    }

    void paint(QPainter *painter, const QStyleOptionViewItem &option,
               const QModelIndex &index) const override;
    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override;
    QWidget *createEditor(QWidget *parent, const QStyleOptionViewItem &option,
                          const QModelIndex &index) const override;
    void setEditorData(QWidget *editor, const QModelIndex &index) const override;
    void setModelData(QWidget *editor, QAbstractItemModel *model, const QModelIndex &index) const override;
    void updateEditorGeometry(QWidget *editor, const QStyleOptionViewItem &option,
                              const QModelIndex &index) const override;

signals:
    // An edit ended with a name that differs from the item's, exactly as typed.
    void renamed(const QModelIndex &index, const QString &text) const;

private:
    QString shownName(const QModelIndex &index) const;
    void paintLabel(QPainter *painter, const QStyleOptionViewItem &option, const QRect &area,
                    const QString &name, bool selected) const;

    Geometry m_geometry;
    mutable QHash<QString, QString> m_committedNames; // path → committed name
    std::function<QPixmap(const QModelIndex &)> m_thumbnail;
};
