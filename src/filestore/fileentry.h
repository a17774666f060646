#pragma once

#include <QDateTime>
#include <QString>
#include <QUrl>

#include <memory>
#include <optional>

// What the widgets layer needs to make an item's icon: QIcon may only be made on the GUI thread,
// so the core hands out one shared key per file type and the views turn each key into one icon.
struct FileIconKey
{
    QString mimeName;        // "image/jpeg", "inode/directory"
    QString iconName;        // freedesktop icon name, "image-jpeg"
    QString genericIconName; // its fallback, "image-x-generic"
};

// Compared by identity: one handle per file type for the life of the process.
using FileIcon = std::shared_ptr<const FileIconKey>;

// The kind text and icon of a type of item. Entries point at interned types (FileTypes), which
// live as long as the process.
struct FileType
{
    QString kind; // the MIME type's localized description
    FileIcon icon;
};

// One item of a folder listing: an immutable value identified by its path. The parent path and
// the kind text are shared between the entries of one listing and the date stays a number until
// it is shown, so a listing costs little more than its names.
class FileEntry final
{
public:
    FileEntry() = default;
    // `parentPath` ends with "/"; `name` is one path component.
    FileEntry(QString parentPath, QString name, bool isDirectory, std::optional<qint64> modifiedMSecs,
              std::optional<qint64> sizeBytes, const QString &kind, const FileIcon &icon);
    // The same with an interned type (FileTypes), as the listing makes them.
    FileEntry(QString parentPath, QString name, bool isDirectory, std::optional<qint64> modifiedMSecs,
              std::optional<qint64> sizeBytes, const FileType &type);

    QUrl url() const { return QUrl::fromLocalFile(path()); }
    QString path() const { return m_parentPath + m_name; }
    const QString &name() const { return m_name; }
    const QString &parentPath() const { return m_parentPath; }
    bool isDirectory() const { return m_isDirectory; }
    std::optional<QDateTime> modifiedDate() const;
    std::optional<qint64> modifiedMSecs() const;
    std::optional<qint64> sizeBytes() const;
    const QString &kind() const { return m_type->kind; }
    const FileIcon &icon() const { return m_type->icon; }

    friend bool operator==(const FileEntry &a, const FileEntry &b);

private:
    static const FileType *noType();

    QString m_parentPath;
    QString m_name;
    const FileType *m_type = noType();
    qint64 m_modifiedMSecs = 0;
    qint64 m_sizeBytes = 0;
    bool m_isDirectory = false;
    bool m_hasModified = false;
    bool m_hasSize = false;
};

// Its members may be moved in memory, which lets a growing list reallocate in place.
Q_DECLARE_TYPEINFO(FileEntry, Q_RELOCATABLE_TYPE);

size_t qHash(const FileEntry &entry, size_t seed = 0);
