// Bytes of a container's metadata file -> its "MCMMetadataIdentifier", on a pool thread as the
// Files reload runs it; never a crash or a hang, whatever the nesting, counts or offsets. The
// pool's threads get a small stack: libplist recurses once per nesting level, and the shape
// checks promise a parse that fits a small stack on any thread (macOS gives pool threads
// 512 KiB), so a document that slips past them overflows here rather than on a user's machine.
#include "simulator/storagelocator.h"

#include "smallstack.h"

#include <cstdint>
#include <cstdlib>
#include <optional>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    const auto identifier = onSmallStack([&bytes] { return StorageLocator::metadataIdentifier(bytes); });
    if (!identifier)
        return 0;
    // libplist would cut a string holding NUL; such a file must not match by its prefix.
    if (identifier->contains('\0') || identifier->size() >= bytes.size())
        std::abort();
    return 0;
}

const char *fuzzOutcome(const QByteArray &bytes)
{
    const auto identifier = StorageLocator::metadataIdentifier(bytes);
    return !identifier                                                  ? "error"
           : *identifier == "group.com.apple.FileProvider.LocalStorage" ? "match"
                                                                        : "nomatch";
}
