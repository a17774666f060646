// Bytes of any file named .plist -> its outline, on a pool thread with a small stack, as the
// preview pool runs it: never a crash, a hang or a deep recursion, whatever the nesting,
// references or lengths; the outline stays a tree within its limits.
#include "filestore/preview/plistoutline.h"

#include "smallstack.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    PlistOutline::Limits limits;
    limits.maxNodes = 20'000;
    const PlistOutline outline = onSmallStack([&] { return PlistOutline::fromBytes(bytes, limits); });
    const auto &nodes = outline.nodes();
    if (nodes.size() > limits.maxNodes || outline.isValid() == !outline.error().isEmpty())
        std::abort();
    // Pre-order: every node's parent comes before it and lists it; no node is deeper than allowed.
    for (qsizetype i = 1; i < nodes.size(); ++i) {
        const int parent = nodes[i].parent;
        if (parent < 0 || parent >= i || !nodes[parent].children.contains(int(i)))
            std::abort();
        int depth = 0;
        for (int p = parent; p >= 0; p = nodes[p].parent) {
            if (++depth > limits.maxDepth + 1)
                std::abort();
        }
    }
    return 0;
}

const char *fuzzOutcome(const QByteArray &bytes)
{
    return PlistOutline::fromBytes(bytes).isValid() ? "match" : "error";
}
