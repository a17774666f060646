#include "filetypes.h"

#include <QHash>
#include <QMimeDatabase>
#include <QSet>

#include <memory>
#include <mutex>
#include <shared_mutex>
#include <unordered_map>

using namespace Qt::StringLiterals;

namespace {

// Names without a known suffix are looked up whole ("Makefile"); past this many distinct keys a
// new key gets the generic type, so a folder of odd names cannot make every entry a lookup.
constexpr qsizetype maxCachedKeys = 8192;

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
    }

    const FileType &forFileName(QStringView name)
    {
        const QString key = keyFor(name);
        {
            std::shared_lock lock(m_mutex);
            if (auto it = m_byKey.find(key); it != m_byKey.end())
                return *it->second;
            if (qsizetype(m_byKey.size()) >= maxCachedKeys)
                return *m_generic;
        }
        // Looked up outside the lock: QMimeDatabase has its own, and a lookup takes microseconds.
        const QString probe = key.startsWith(u'.') ? u"x"_s + key : key;
        auto type = make(m_database.mimeTypeForFile(probe, QMimeDatabase::MatchExtension));
        std::unique_lock lock(m_mutex);
        auto [it, inserted] = m_byKey.try_emplace(key, std::move(type));
        return *it->second;
    }

    const FileType &folder() const { return *m_folder; }
    const FileType &symbolicLink() const { return *m_symbolicLink; }
    const FileType &generic() const { return *m_generic; }

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

    std::unique_ptr<FileType> make(const QMimeType &type)
    {
        // One icon handle per MIME type, so that equal types give identical handles.
        std::unique_lock lock(m_iconMutex);
        FileIcon &icon = m_icons[type.name()];
        if (!icon)
            icon = std::make_shared<const FileIconKey>(FileIconKey{type.name(), type.iconName(), type.genericIconName()});
        return std::make_unique<FileType>(FileType{type.comment(), icon});
    }

    QMimeDatabase m_database;
    QSet<QString> m_twoPartSuffixes;
    std::shared_mutex m_mutex;
    std::unordered_map<QString, std::unique_ptr<FileType>> m_byKey;
    std::mutex m_iconMutex;
    QHash<QString, FileIcon> m_icons;
    std::unique_ptr<FileType> m_folder;
    std::unique_ptr<FileType> m_symbolicLink;
    std::unique_ptr<FileType> m_generic;
};

TypeCache &cache()
{
    static TypeCache instance;
    return instance;
}

} // namespace

namespace FileTypes {

const FileType &forFileName(QStringView name)
{
    return cache().forFileName(name);
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

} // namespace FileTypes
