#include "storagelocator.h"

#include "simulator.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>

#include "plistcompat.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <memory>
#include <vector>

using namespace Qt::StringLiterals;

namespace {

constexpr char metadataFileName[] = ".com.apple.mobile_container_manager.metadata.plist";
constexpr char identifierKey[] = "MCMMetadataIdentifier";

// libplist 2.2.0 recurses once per nesting level when it parses and frees, and expands every
// reference of a binary list into its own node. Refusing deep or exploding lists up front keeps
// the parse within a small stack and small memory on any thread.
constexpr int maxNesting = 128;
constexpr quint64 maxExpandedNodes = 1 << 16;

quint64 readBigEndian(const uchar *p, int size)
{
    quint64 value = 0;
    for (int i = 0; i < size; ++i)
        value = (value << 8) | p[i];
    return value;
}

struct BinaryLayout
{
    const uchar *data = nullptr;
    quint64 size = 0;
    int offsetSize = 0;
    int refSize = 0;
    quint64 objectCount = 0;
    quint64 topObject = 0;
    quint64 offsetTable = 0;
};

std::optional<BinaryLayout> binaryLayout(const QByteArray &bytes)
{
    constexpr quint64 headerSize = 8, trailerSize = 32;
    BinaryLayout l;
    l.data = reinterpret_cast<const uchar *>(bytes.constData());
    l.size = quint64(bytes.size());
    if (l.size < headerSize + trailerSize)
        return std::nullopt;
    const uchar *trailer = l.data + l.size - trailerSize;
    l.offsetSize = trailer[6];
    l.refSize = trailer[7];
    l.objectCount = readBigEndian(trailer + 8, 8);
    l.topObject = readBigEndian(trailer + 16, 8);
    l.offsetTable = readBigEndian(trailer + 24, 8);
    auto validSize = [](int s) { return s == 1 || s == 2 || s == 4 || s == 8; };
    const quint64 tableEnd = l.size - trailerSize;
    if (!validSize(l.offsetSize) || !validSize(l.refSize) || l.objectCount == 0 || l.objectCount > l.size ||
        l.topObject >= l.objectCount || l.offsetTable < headerSize || l.offsetTable > tableEnd ||
        (tableEnd - l.offsetTable) / quint64(l.offsetSize) < l.objectCount)
        return std::nullopt;
    return l;
}

// libplist 2.2.0 cuts a string at its first NUL, which would make "ab\0cd" read as "ab".
bool stringHoldsNul(const BinaryLayout &l, int type, quint64 pos, quint64 count)
{
    const quint64 unit = type == 0x6 ? 2 : 1;
    if (count > (l.offsetTable - pos) / unit)
        return true;
    for (quint64 i = 0; i < count; ++i) {
        const uchar *c = l.data + pos + i * unit;
        if (c[0] == 0 && (unit == 1 || c[1] == 0))
            return true;
    }
    return false;
}

// The objects an array, set or dictionary refers to; empty for scalars. None when malformed.
std::optional<std::vector<quint64>> childObjects(const BinaryLayout &l, quint64 index)
{
    const quint64 offset = readBigEndian(l.data + l.offsetTable + index * l.offsetSize, l.offsetSize);
    if (offset < 8 || offset >= l.offsetTable)
        return std::nullopt;
    const uchar marker = l.data[offset];
    const int type = marker >> 4;
    const bool isString = type == 0x5 || type == 0x6;
    if (type != 0xA && type != 0xC && type != 0xD && !isString)
        return std::vector<quint64>{};
    quint64 pos = offset + 1;
    quint64 count = marker & 0x0F;
    if (count == 0x0F) {
        if (pos >= l.offsetTable || (l.data[pos] & 0xF0) != 0x10)
            return std::nullopt;
        const int width = 1 << (l.data[pos] & 0x0F);
        if (width > 8 || pos + 1 + width > l.offsetTable)
            return std::nullopt;
        count = readBigEndian(l.data + pos + 1, width);
        pos += 1 + width;
    }
    if (isString) {
        if (stringHoldsNul(l, type, pos, count))
            return std::nullopt;
        return std::vector<quint64>{};
    }
    if (type == 0xD) {
        if (count > l.size)
            return std::nullopt;
        count *= 2;
    }
    if (count > (l.offsetTable - pos) / quint64(l.refSize))
        return std::nullopt;
    std::vector<quint64> children;
    children.reserve(count);
    for (quint64 i = 0; i < count; ++i) {
        const quint64 ref = readBigEndian(l.data + pos + i * l.refSize, l.refSize);
        if (ref >= l.objectCount)
            return std::nullopt;
        children.push_back(ref);
    }
    return children;
}

// Walks the object graph from the top without recursion: the depth and the number of nodes the
// list expands to must stay small; a reference cycle or a string holding NUL is refused.
bool binaryShapeIsSafe(const QByteArray &bytes)
{
    const auto layout = binaryLayout(bytes);
    if (!layout)
        return false;
    enum : uchar { unseen, open, done };
    std::vector<uchar> state(layout->objectCount, unseen);
    std::vector<quint64> expanded(layout->objectCount, 0);
    std::vector<int> height(layout->objectCount, 0);
    struct Frame
    {
        quint64 object;
        std::vector<quint64> children;
        size_t next = 0;
    };
    std::vector<Frame> stack;
    auto push = [&](quint64 object) {
        auto children = childObjects(*layout, object);
        if (!children || int(stack.size()) >= maxNesting)
            return false;
        state[object] = open;
        stack.push_back({object, std::move(*children)});
        return true;
    };
    if (!push(layout->topObject))
        return false;
    while (!stack.empty()) {
        Frame &frame = stack.back();
        if (frame.next < frame.children.size()) {
            const quint64 child = frame.children[frame.next++];
            if (state[child] == open)
                return false;
            if (state[child] == unseen && !push(child))
                return false;
            continue;
        }
        quint64 nodes = 1;
        int deepest = 0;
        for (quint64 child : frame.children) {
            nodes += expanded[child];
            deepest = std::max(deepest, height[child]);
            if (nodes > maxExpandedNodes)
                return false;
        }
        if (deepest + 1 > maxNesting)
            return false;
        expanded[frame.object] = nodes;
        height[frame.object] = deepest + 1;
        state[frame.object] = done;
        stack.pop_back();
    }
    return true;
}

// Only <array> and <dict> nest in libplist's XML reader, so no more of them than maxNesting means
// no deeper nesting. Counted on the raw text rather than by following tags, since libplist reads
// attributes, quotes, comments and white space in tags its own way ("<array a=\"/>\">" opens an
// array); only the exact empty forms, which cannot nest, are not counted.
bool xmlShapeIsSafe(const QByteArray &bytes)
{
    // XML forbids NUL outright, and libplist would cut a string at one.
    if (bytes.contains('\0'))
        return false;
    int containers = 0;
    for (const QByteArrayView name : {QByteArrayView("<array"), QByteArrayView("<dict")}) {
        const QByteArray empty = name.toByteArray() + "/>";
        for (qsizetype at = bytes.indexOf(name); at >= 0; at = bytes.indexOf(name, at + 1)) {
            if (QByteArrayView(bytes.constData() + at, bytes.size() - at).startsWith(empty))
                continue;
            if (++containers > maxNesting)
                return false;
        }
    }
    return true;
}

struct PlistDeleter
{
    void operator()(void *node) const { plist_free(static_cast<plist_t>(node)); }
};

} // namespace

namespace StorageLocator {

std::optional<QByteArray> readSmallRegularFile(const QString &path, qint64 maxBytes, bool followLinks)
{
    // Non-blocking so that a FIFO in place of the metadata file cannot stall the scan.
    const int fd = ::open(QFile::encodeName(path).constData(),
                          O_RDONLY | O_NONBLOCK | O_CLOEXEC | (followLinks ? 0 : O_NOFOLLOW));
    if (fd < 0)
        return std::nullopt;
    std::unique_ptr<int, void (*)(int *)> closer(new int(fd), [](int *f) {
        ::close(*f);
        delete f;
    });
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size > maxBytes)
        return std::nullopt;
    QByteArray bytes(maxBytes + 1, Qt::Uninitialized);
    qint64 total = 0;
    while (total < bytes.size()) {
        const ssize_t n = ::read(fd, bytes.data() + total, bytes.size() - total);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return std::nullopt;
        if (n == 0)
            break;
        total += n;
    }
    if (total > maxBytes)
        return std::nullopt;
    bytes.truncate(total);
    return bytes;
}

bool plistShapeIsSafe(const QByteArray &bytes)
{
    if (bytes.isEmpty())
        return false;
    const bool binary = plist_is_binary(bytes.constData(), uint32_t(bytes.size()));
    return binary ? binaryShapeIsSafe(bytes) : xmlShapeIsSafe(bytes);
}

QString appGroupFolder(const QString &homePath, const QString &udid)
{
    const QString relative =
        u"Library/Developer/CoreSimulator/Devices/"_s + udid + u"/data/Containers/Shared/AppGroup"_s;
    return QDir(homePath).filePath(relative);
}

std::optional<QByteArray> metadataIdentifier(const QByteArray &bytes)
{
    if (bytes.isEmpty() || bytes.size() > maxMetadataBytes)
        return std::nullopt;
    if (!plistShapeIsSafe(bytes))
        return std::nullopt;
    plist_t parsed = PlistCompat::parse(bytes.constData(), uint32_t(bytes.size()));
    const std::unique_ptr<void, PlistDeleter> root(parsed);
    if (!root || plist_get_node_type(parsed) != PLIST_DICT || plist_dict_get_size(parsed) == 0)
        return std::nullopt;
    const auto text = PlistCompat::stringMember(parsed, identifierKey);
    if (!text)
        return std::nullopt;
    return QByteArray(text->data(), qsizetype(text->size()));
}

std::optional<QString> findFilesStorage(const QString &homePath, const QString &udid)
{
    // A UDID such as ".." or "../../x" would lead the scan, and the Files screen, out of the
    // simulator's data tree.
    if (!isSafePathComponent(udid))
        return std::nullopt;
    const QString folder = appGroupFolder(homePath, udid);
    const QByteArray wanted(StorageLocator::localStorageGroup);
    // A container that is a link could lead anywhere, out of the device too.
    QDirIterator it(folder,
                    QDir::AllEntries | QDir::NoSymLinks | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    while (it.hasNext()) {
        const QString entry = it.next();
        const auto bytes = readSmallRegularFile(entry + u'/' + QLatin1StringView(metadataFileName));
        if (!bytes)
            continue;
        if (metadataIdentifier(*bytes) == wanted)
            return entry + u"/File Provider Storage"_s;
    }
    return std::nullopt;
}

} // namespace StorageLocator

std::optional<QUrl> Simulator::filesStorageURL() const
{
    const auto path = StorageLocator::findFilesStorage(QDir::homePath(), udid);
    if (!path)
        return std::nullopt;
    return QUrl::fromLocalFile(*path);
}
