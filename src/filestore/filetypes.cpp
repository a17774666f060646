#include "filetypes.h"

#include <QHash>
#include <QMimeDatabase>
#include <QSet>

#include <map>
#include <memory>
#include <mutex>
#include <shared_mutex>
#include <string>
#include <string_view>
#include <unordered_map>

using namespace Qt::StringLiterals;

namespace {

// Names without a known suffix are looked up whole ("Makefile"); past this many distinct keys a
// new key gets the generic type, so a folder of odd names cannot make every entry a lookup.
constexpr size_t maxCachedKeys = 8192;

class TypeCache
{
public:
    TypeCache()
    {
        // Suffixes of two parts ("tar.gz") name their own types; collect them once.
        for (const QMimeType &type : m_database.allMimeTypes()) {
            for (const QString &pattern : type.globPatterns()) {
                if (pattern.startsWith(u"*."_s) && pattern.count(u'.') == 2 && pattern.indexOf(u'*', 1) < 0 &&
                    !pattern.contains(u'[') && !pattern.contains(u'?'))
                    m_twoPartSuffixes.insert(pattern.mid(2).toLower());
            }
        }
        m_folder = make(m_database.mimeTypeForName(u"inode/directory"_s));
        m_symbolicLink = make(m_database.mimeTypeForName(u"inode/symlink"_s));
        m_generic = make(m_database.mimeTypeForName(u"application/octet-stream"_s));
        m_unknown = &intern(QString(), m_generic->icon);
    }

    const FileType &forFileName(QStringView name)
    {
        const QString key = keyFor(name);
        {
            std::shared_lock lock(m_mutex);
            if (auto it = m_byKey.find(key); it != m_byKey.end())
                return *it->second;
            if (m_byKey.size() >= maxCachedKeys)
                return *m_generic;
        }
        // Looked up outside the lock: QMimeDatabase has its own, and a lookup takes microseconds.
        const QString probe = key.startsWith(u'.') ? u"x"_s + key : key;
        const FileType *type = make(m_database.mimeTypeForFile(probe, QMimeDatabase::MatchExtension));
        std::unique_lock lock(m_mutex);
        return *m_byKey.try_emplace(key, type).first->second;
    }

    const FileType &intern(const QString &kind, const FileIcon &icon)
    {
        std::unique_lock lock(m_internMutex);
        auto &slot = m_interned[{kind, icon.get()}];
        if (!slot)
            slot = std::make_unique<FileType>(FileType{kind, icon});
        return *slot;
    }

    const FileType &folder() const { return *m_folder; }
    const FileType &symbolicLink() const { return *m_symbolicLink; }
    const FileType &generic() const { return *m_generic; }
    const FileType &unknown() const { return *m_unknown; }

private:
    // ".jpg" for "Photo.JPG", ".tar.gz" for "a.tar.gz", the whole lower-cased name otherwise.
    QString keyFor(QStringView name) const
    {
        const qsizetype lastDot = name.lastIndexOf(u'.');
        if (lastDot <= 0 || lastDot == name.size() - 1)
            return name.toString().toLower();
        const qsizetype previousDot = name.lastIndexOf(u'.', lastDot - 1);
        if (previousDot > 0) {
            const QString twoPart = name.mid(previousDot + 1).toString().toLower();
            if (m_twoPartSuffixes.contains(twoPart))
                return u'.' + twoPart;
        }
        return name.mid(lastDot).toString().toLower();
    }

    const FileType *make(const QMimeType &type)
    {
        FileIcon icon;
        {
            // One icon handle per MIME type, so that equal types give identical handles.
            std::unique_lock lock(m_internMutex);
            FileIcon &slot = m_icons[type.name()];
            if (!slot)
                slot = std::make_shared<const FileIconKey>(
                    FileIconKey{type.name(), type.iconName(), type.genericIconName()});
            icon = slot;
        }
        return &intern(type.comment(), icon);
    }

    QMimeDatabase m_database;
    QSet<QString> m_twoPartSuffixes;
    std::shared_mutex m_mutex;
    std::unordered_map<QString, const FileType *> m_byKey;
    std::mutex m_internMutex;
    QHash<QString, FileIcon> m_icons;
    std::map<std::pair<QString, const void *>, std::unique_ptr<FileType>> m_interned;
    const FileType *m_folder = nullptr;
    const FileType *m_symbolicLink = nullptr;
    const FileType *m_generic = nullptr;
    const FileType *m_unknown = nullptr;
};

TypeCache &cache()
{
    static TypeCache instance;
    return instance;
}

struct ViewHash
{
    using is_transparent = void;
    size_t operator()(std::u16string_view text) const
    {
        return qHash(QStringView(text.data(), qsizetype(text.size())));
    }
};

// A lock-free front for the listing loop: the lower-cased end of the name that decides its key
// (from its next-to-last dot, or the whole name) to the type the shared cache gave, without
// allocating. False when the end does not fit the buffer.
bool threadCacheKey(QStringView name, char16_t *buffer, qsizetype capacity, std::u16string_view *key)
{
    const qsizetype lastDot = name.lastIndexOf(u'.');
    qsizetype from = 0;
    if (lastDot > 0 && lastDot < name.size() - 1) {
        const qsizetype previousDot = name.lastIndexOf(u'.', lastDot - 1);
        from = previousDot > 0 ? previousDot : lastDot;
    }
    const qsizetype length = name.size() - from;
    if (length > capacity)
        return false;
    for (qsizetype i = 0; i < length; ++i) {
        const char16_t c = name[from + i].unicode();
        buffer[i] = (c >= u'A' && c <= u'Z') ? char16_t(c + 32) : c;
    }
    *key = std::u16string_view(buffer, size_t(length));
    return true;
}

} // namespace

namespace FileTypes {

const FileType &forFileName(QStringView name)
{
    thread_local std::unordered_map<std::u16string, const FileType *, ViewHash, std::equal_to<>> local;
    char16_t buffer[48];
    std::u16string_view key;
    const bool cacheable = threadCacheKey(name, buffer, qsizetype(std::size(buffer)), &key);
    if (cacheable) {
        if (auto it = local.find(key); it != local.end())
            return *it->second;
    }
    const FileType &type = cache().forFileName(name);
    if (cacheable && local.size() < maxCachedKeys)
        local.emplace(std::u16string(key), &type);
    return type;
}

const FileType &folder()
{
    return cache().folder();
}

const FileType &symbolicLink()
{
    return cache().symbolicLink();
}

const FileIcon &genericIcon()
{
    return cache().generic().icon;
}

const FileType &unknown()
{
    return cache().unknown();
}

const FileType &intern(const QString &kind, const FileIcon &icon)
{
    return cache().intern(kind, icon);
}

} // namespace FileTypes
