#include "fileentry.h"

#include "filetypes.h"

#include <QHashFunctions>

FileEntry::FileEntry(QString parentPath, QString name, bool isDirectory, std::optional<qint64> modifiedMSecs,
                     std::optional<qint64> sizeBytes, const QString &kind, const FileIcon &icon)
    : FileEntry(std::move(parentPath), std::move(name), isDirectory, modifiedMSecs, sizeBytes,
                FileTypes::intern(kind, icon))
{
}

FileEntry::FileEntry(QString parentPath, QString name, bool isDirectory, std::optional<qint64> modifiedMSecs,
                     std::optional<qint64> sizeBytes, const FileType &type)
    : m_parentPath(std::move(parentPath)), m_name(std::move(name)), m_type(&type),
      m_modifiedMSecs(modifiedMSecs.value_or(0)), m_sizeBytes(sizeBytes.value_or(0)),
      m_isDirectory(isDirectory), m_hasModified(modifiedMSecs.has_value()), m_hasSize(sizeBytes.has_value())
{
}

const FileType *FileEntry::noType()
{
    static const FileType none;
    return &none;
}

std::optional<QDateTime> FileEntry::modifiedDate() const
{
    if (!m_hasModified)
        return std::nullopt;
    return QDateTime::fromMSecsSinceEpoch(m_modifiedMSecs, Qt::UTC);
}

std::optional<qint64> FileEntry::modifiedMSecs() const
{
    return m_hasModified ? std::optional<qint64>(m_modifiedMSecs) : std::nullopt;
}

std::optional<qint64> FileEntry::sizeBytes() const
{
    return m_hasSize ? std::optional<qint64>(m_sizeBytes) : std::nullopt;
}

bool operator==(const FileEntry &a, const FileEntry &b)
{
    return a.m_name == b.m_name && a.m_parentPath == b.m_parentPath && a.m_isDirectory == b.m_isDirectory &&
           a.modifiedMSecs() == b.modifiedMSecs() && a.sizeBytes() == b.sizeBytes() &&
           (a.m_type == b.m_type || (a.kind() == b.kind() && a.icon() == b.icon()));
}

size_t qHash(const FileEntry &entry, size_t seed)
{
    QtPrivate::QHashCombine combine;
    seed = combine(seed, entry.path());
    seed = combine(seed, entry.isDirectory());
    const auto date = entry.modifiedMSecs();
    seed = combine(seed, date.has_value());
    if (date)
        seed = combine(seed, *date);
    const auto size = entry.sizeBytes();
    seed = combine(seed, size.has_value());
    if (size)
        seed = combine(seed, *size);
    seed = combine(seed, entry.kind());
    return combine(seed, entry.icon().get());
}
