#pragma once

#include <plist/plist.h>

#include <cstdint>

// One way through libplist 2.2 to 2.7. From 2.3 on the buffer release has one name for both
// formats, and plist_from_memory also accepts JSON and OpenStep, which no file we read is.
namespace PlistCompat {

// An XML or binary property list, or nullptr. The caller owns the result (plist_free).
inline plist_t parse(const char *data, std::uint32_t size)
{
    if (!data || size == 0)
        return nullptr;
    plist_t root = nullptr;
    if (plist_is_binary(data, size))
        plist_from_bin(data, size, &root);
    else
        plist_from_xml(data, size, &root);
    return root;
}

// Releases what plist_to_bin (binary) or plist_to_xml wrote.
inline void freeBuffer(char *buffer, [[maybe_unused]] bool binary)
{
    if (!buffer)
        return;
#ifdef LANTHORN_PLIST_MEM_FREE
    plist_mem_free(buffer);
#else
    if (binary)
        plist_to_bin_free(buffer);
    else
        plist_to_xml_free(buffer);
#endif
}

} // namespace PlistCompat
