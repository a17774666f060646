// Bytes from the tool's standard output -> device records or an error; never a crash.
#include "simulator/simulator.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size));
    const auto listing = SimulatorListing::decode(bytes);
    if (!listing.ok()) {
        if (listing.error().isEmpty())
            std::abort(); // every failure must explain itself
        return 0;
    }
    const QList<Simulator> records = SimulatorListing::records(listing.value());
    for (qsizetype i = 1; i < records.size(); ++i)
        if (!records[i - 1].isBooted && records[i].isBooted)
            std::abort(); // booted devices always come first
    return 0;
}

const char *fuzzOutcome(const QByteArray &bytes)
{
    const auto listing = SimulatorListing::decode(bytes);
    return !listing.ok()                                          ? "error"
           : SimulatorListing::records(listing.value()).isEmpty() ? "nomatch"
                                                                  : "match";
}
