#pragma once

#include <plist/plist.h>

#include <cstdint>
#include <optional>
#include <string_view>

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

// The bytes of a string node (a NUL inside included), or none for another type. libplist 2.2's
// plist_get_string_val aborts on an embedded NUL; the pointer and its length do not.
inline std::optional<std::string_view> stringBytes(plist_t node)
{
    if (!node || plist_get_node_type(node) != PLIST_STRING)
        return std::nullopt;
    uint64_t length = 0;
    const char *text = plist_get_string_ptr(node, &length);
    if (!text)
        return std::nullopt;
    return std::string_view(text, size_t(length));
}

// The same for a dictionary's member.
inline std::optional<std::string_view> stringMember(plist_t dict, const char *key)
{
    if (!dict || plist_get_node_type(dict) != PLIST_DICT)
        return std::nullopt;
    return stringBytes(plist_dict_get_item(dict, key));
}

} // namespace PlistCompat
