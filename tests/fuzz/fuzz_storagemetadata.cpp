// Bytes of a container's metadata file -> its "MCMMetadataIdentifier", on a pool thread as the
// Files reload runs it; never a crash or a hang, whatever the nesting, counts or offsets. The
// pool's threads get a small stack: libplist recurses once per nesting level, and the shape
// checks promise a parse that fits a small stack on any thread (macOS gives pool threads
// 512 KiB), so a document that slips past them overflows here rather than on a user's machine.
// An identifier that is found must survive being written again by libplist, in both formats,
// since a real metadata file holding it would otherwise not match.
#include "simulator/storagelocator.h"

#include <QThreadPool>
#include <QtConcurrent/QtConcurrentRun>

#include "plistcompat.h"

#include <cstdint>
#include <cstdlib>
#include <optional>

namespace {

constexpr uint smallStack = 96 * 1024;

std::optional<QByteArray> identifierOnPoolThread(const QByteArray &bytes)
{
    static QThreadPool *const pool = [] {
        auto *p = new QThreadPool;
        p->setStackSize(smallStack);
        p->setMaxThreadCount(1);
        return p;
    }();
    return QtConcurrent::run(pool, [&bytes] { return StorageLocator::metadataIdentifier(bytes); }).result();
}

// A dictionary shaped like the ones the simulator writes, holding `identifier`.
QByteArray rewritten(const QByteArray &identifier, bool binary)
{
    plist_t dict = plist_new_dict();
    plist_dict_set_item(dict, "MCMMetadataActiveDPClass", plist_new_uint(0));
    plist_dict_set_item(dict, "MCMMetadataIdentifier", plist_new_string(identifier.constData()));
    plist_dict_set_item(dict, "MCMMetadataInfo", plist_new_dict());
    char *buffer = nullptr;
    uint32_t length = 0;
    if (binary)
        plist_to_bin(dict, &buffer, &length);
    else
        plist_to_xml(dict, &buffer, &length);
    QByteArray out(buffer, qsizetype(buffer ? length : 0));
    PlistCompat::freeBuffer(buffer, binary);
    plist_free(dict);
    return out;
}

// libplist writes text as UTF-8 or UTF-16, and XML cannot carry control characters, so other
// identifiers have no rewritten form to compare with.
bool isPlainText(const QByteArray &text)
{
    if (!text.isValidUtf8())
        return false;
    for (char c : text)
        if (uchar(c) < 0x20 && c != '\t' && c != '\n' && c != '\r')
            return false;
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    const auto identifier = identifierOnPoolThread(bytes);
    if (!identifier)
        return 0;
    // libplist would cut a string holding NUL; such a file must not match by its prefix.
    if (identifier->contains('\0') || identifier->size() >= bytes.size())
        std::abort();
    if (!isPlainText(*identifier))
        return 0;
    for (const bool binary : {true, false}) {
        // UTF-16 or escapes can push a long identifier's file past the size any file may have.
        const QByteArray again = rewritten(*identifier, binary);
        if (again.size() <= StorageLocator::maxMetadataBytes && identifierOnPoolThread(again) != identifier)
            std::abort();
    }
    return 0;
}

const char *fuzzOutcome(const QByteArray &bytes)
{
    const auto identifier = StorageLocator::metadataIdentifier(bytes);
    return !identifier                                                  ? "error"
           : *identifier == "group.com.apple.FileProvider.LocalStorage" ? "match"
                                                                        : "nomatch";
}
