#pragma once

class QThreadPool;

// The pools our background work runs in, never QThreadPool::globalInstance(): Qt paints with that
// one, so a run blocked there (a hung tool, a slow disk) stalls the whole window. Each pool is
// made on first use and ends with the application object; safe to ask for on any thread.
namespace WorkPools {

// Runs of the developer tools. A hung tool holds its thread until its time limit or a stop, so
// there are threads enough that a few hung ones leave room for the rest.
QThreadPool *tools();

// Reads of the disk: folder listings.
QThreadPool *disk();

// Decoding files for a look inside them: quick-look previews and thumbnails. Apart from the
// listings, so that a folder of images being thumbnailed never delays the next listing.
QThreadPool *previews();

} // namespace WorkPools
