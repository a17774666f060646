// Bytes of `simctl listapps` output -> the apps' reports, on a pool thread with a small stack, as
// the Apps screen reads it: never a crash, a hang or a stack overflow, whatever the nesting or
// quoting. Every report names its data container by one folder name at most.
#include "simulator/appcatalogue.h"
#include "simulator/simulator.h"
#include "smallstack.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    const auto reports = onSmallStack([&bytes] { return AppCatalogue::parseListApps(bytes); });
    if (!reports)
        return 0;
    for (const AppCatalogue::ToolReport &report : *reports) {
        if (!report.dataContainerName.isEmpty() && !isSafePathComponent(report.dataContainerName))
            std::abort();
    }
    return 0;
}

const char *fuzzOutcome(const QByteArray &bytes)
{
    const auto reports = AppCatalogue::parseListApps(bytes);
    return !reports ? "error" : reports->isEmpty() ? "nomatch" : "match";
}
