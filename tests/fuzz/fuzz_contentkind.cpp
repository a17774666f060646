// The first bytes of a file -> the kind a listing names it by. Any bytes give one of the kinds;
// "match" for a property list or database, "nomatch" for anything else.
#include "filestore/filetypes.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArrayView bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    const FileTypes::Content content = FileTypes::sniffContent(bytes);
    // Only the head a listing reads may decide.
    if (content !=
        FileTypes::sniffContent(bytes.first(std::min<qsizetype>(bytes.size(), FileTypes::sniffBytes))))
        std::abort();
    const FileType &byName = FileTypes::forFileName(u"x.plist");
    if (content != FileTypes::Content::Unknown && &FileTypes::forContent(content, byName) == &byName)
        std::abort();
    return 0;
}

const char *fuzzOutcome(const QByteArray &bytes)
{
    return FileTypes::sniffContent(bytes) == FileTypes::Content::Unknown ? "nomatch" : "match";
}
