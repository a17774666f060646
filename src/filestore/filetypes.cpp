#include "filetypes.h"

#include <QHash>
#include <QMimeDatabase>
#include <QSet>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include <atomic>
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

    const FileType &forContent(FileTypes::Content content)
    {
        switch (content) {
        case FileTypes::Content::BinaryPropertyList:
            return contentType(m_binaryPlist, u"Binary property list"_s, u"application/x-bplist"_s);
        case FileTypes::Content::XmlPropertyList:
            return contentType(m_xmlPlist, u"XML property list"_s, u"application/xml"_s);
        case FileTypes::Content::SQLiteDatabase:
            return contentType(m_sqlite, u"SQLite database"_s, u"application/vnd.sqlite3"_s);
        case FileTypes::Content::Unknown:
            break;
        }
        return *m_unknown;
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

    // The type made once, with the icon of `mimeName` (the generic one when the MIME database
    // does not know it) and our own kind text, which names the format whatever the database says.
    const FileType &contentType(std::atomic<const FileType *> &slot, const QString &kind,
                                const QString &mimeName)
    {
        if (const FileType *type = slot.load())
            return *type;
        const QMimeType mime = m_database.mimeTypeForName(mimeName);
        const FileType &type = intern(kind, mime.isValid() ? make(mime)->icon : m_generic->icon);
        slot.store(&type);
        return type;
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
    std::atomic<const FileType *> m_binaryPlist{nullptr};
    std::atomic<const FileType *> m_xmlPlist{nullptr};
    std::atomic<const FileType *> m_sqlite{nullptr};
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

bool sniffWorthy(QStringView name)
{
    // Suffixes iOS apps give their preferences and stores, whose names leave the format open.
    static constexpr QStringView suffixes[] = {
        u".plist", u".db", u".sqlite", u".sqlite3", u".sqlitedb", u".store", u".storedata", u".dat", u".bin"};
    for (QStringView suffix : suffixes) {
        if (name.endsWith(suffix, Qt::CaseInsensitive) && name.size() > suffix.size())
            return true;
    }
    return false;
}

Content sniffContent(QByteArrayView head)
{
    if (head.startsWith("bplist00"))
        return Content::BinaryPropertyList;
    // The 16-byte header of every SQLite 3 database, its terminating NUL included.
    if (head.startsWith(QByteArrayView("SQLite format 3\0", 16)))
        return Content::SQLiteDatabase;
    QByteArrayView text = head.first(std::min<qsizetype>(head.size(), sniffBytes));
    if (text.startsWith("\xEF\xBB\xBF"))
        text = text.sliced(3);
    while (!text.isEmpty() &&
           (text.front() == ' ' || text.front() == '\n' || text.front() == '\r' || text.front() == '\t'))
        text = text.sliced(1);
    if ((text.startsWith("<?xml") || text.startsWith("<!DOCTYPE") || text.startsWith("<plist")) &&
        (text.indexOf("<!DOCTYPE plist") >= 0 || text.indexOf("<plist") >= 0))
        return Content::XmlPropertyList;
    return Content::Unknown;
}

Content sniffFile(int dirFd, const char *name)
{
    // Non-blocking, so that a FIFO named "x.db" cannot stall the listing; a device is refused
    // by its type before a byte is read.
    const int fd = ::openat(dirFd, name, O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0)
        return Content::Unknown;
    char head[sniffBytes];
    ssize_t got = -1;
    struct stat st;
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
        do
            got = ::read(fd, head, sizeof head);
        while (got < 0 && errno == EINTR);
    }
    ::close(fd);
    return got > 0 ? sniffContent(QByteArrayView(head, got)) : Content::Unknown;
}

const FileType &forContent(Content content, const FileType &byName)
{
    return content == Content::Unknown ? byName : cache().forContent(content);
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
