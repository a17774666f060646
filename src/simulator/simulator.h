#pragma once

#include "base/result.h"

#include <QList>
#include <QString>
#include <QUrl>

#include "base/stoptoken.h"
#include <chrono>
#include <optional>

// One simulator device as the developer tools report it. A plain value: copied freely,
// identified by its UDID, equal when all four fields are.
struct Simulator
{
    QString udid;
    QString name;
    QString runtime; // display form, e.g. "iOS 17.2"
    bool isBooted = false;

    const QString &id() const { return udid; }

    // The decoded `simctl list devices -j` document; only used inside the listing.
    struct Listing
    {
        struct Device
        {
            QString udid;
            QString name;
            QString state;
        };
        // Runtime key to its devices, in the document's member order.
        QList<std::pair<QString, QList<Device>>> devices;
    };

    // The error of a failed `simctl addmedia` run: the tool's trimmed standard error.
    struct AddMediaError
    {
        QString message;
        QString errorDescription() const;

        // The error for these standard-error bytes: UTF-8 with each maximal invalid subpart
        // replaced by U+FFFD, trimmed of white space and line breaks. Pure; any bytes.
        static AddMediaError fromStandardError(const QByteArray &bytes);
    };

    static constexpr std::chrono::milliseconds listingTimeout{60'000};

    // Runs the device listing and returns the devices in display order. Blocks; never call
    // it on the GUI thread. `stop` ends a running tool early (the window closed).
    static Result<QList<Simulator>> listAvailable(StopToken stop = {},
                                                  std::chrono::milliseconds timeout = listingTimeout);

    // Adds the files to the device's photo library with one tool run. Blocks until the tool has
    // exited, however long a large batch takes: ending it early would leave part of the batch
    // imported and report the whole as failed. On failure the message is the launch error or
    // AddMediaError::errorDescription(). A UDID that is not a safe path component is refused
    // without running the tool.
    static Status addMedia(const QString &udid, const QList<QUrl> &files, StopToken stop = {});

    // The Files app's local storage folder of this device, or none. Blocks; never fails.
    std::optional<QUrl> filesStorageURL() const;

    friend bool operator==(const Simulator &a, const Simulator &b);
};

size_t qHash(const Simulator &simulator, size_t seed = 0);

// Whether the text names exactly one entry of a folder: not empty, not "." or "..", and free of
// "/", "\" and NUL. A UDID comes from the tool's output and must pass this before it becomes
// part of a path.
bool isSafePathComponent(const QString &text);

namespace SimulatorListing {

// "com.apple.CoreSimulator.SimRuntime.iOS-17-2" -> "iOS 17.2".
QString runtimeDisplayName(const QString &runtimeKey);

// Decodes the tool's JSON output; fails on any missing or wrongly typed member.
Result<Simulator::Listing> decode(const QByteArray &json);

// Records of every device of the listing, sorted for display.
QList<Simulator> records(const Simulator::Listing &listing);

// Booted first, then runtime, then name; ordinal by code point; stable.
void sortForDisplay(QList<Simulator> &simulators);

} // namespace SimulatorListing
