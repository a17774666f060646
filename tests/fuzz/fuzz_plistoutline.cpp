// Bytes of any file named .plist -> its outline, on a pool thread with a small stack, as the
// preview pool runs it: never a crash, a hang or a deep recursion, whatever the nesting,
// references or lengths; the outline stays a tree within its limits.
#include "filestore/preview/plistoutline.h"

#include <QThreadPool>
#include <QtConcurrent/QtConcurrentRun>

#include <cstdint>
#include <cstdlib>

namespace {

constexpr uint smallStack = 96 * 1024;

PlistOutline outlineOnPoolThread(const QByteArray &bytes, const PlistOutline::Limits &limits)
{
    static QThreadPool *const pool = [] {
        auto *p = new QThreadPool;
        p->setStackSize(smallStack);
        p->setMaxThreadCount(1);
        return p;
    }();
    return QtConcurrent::run(pool, [&] { return PlistOutline::fromBytes(bytes, limits); }).result();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    PlistOutline::Limits limits;
    limits.maxNodes = 20'000;
    const PlistOutline outline = outlineOnPoolThread(bytes, limits);
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
