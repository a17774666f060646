#pragma once

#include <QString>

// Text from outside (file and app names, bundle identifiers, paths, device names, runtimes, tool
// messages) is data: it is never read as markup and never changes how the text around it is laid
// out. Every view shows such text through these.
namespace PlainText {

// The text on one line, as it is, except that characters that would break the line, reorder
// the text around them or hide themselves are shown as visible marks: C0 controls as the
// control pictures (U+2400…), other controls, bidirectional embeddings, overrides, isolates
// and marks, and stray invisible joiners and fillers as "<U+202E>". Combining marks, variation
// selectors and emoji sequences (a joiner between two non-ASCII characters, a flag's tags) are
// kept. For display only: a rename edits the real name.
QString oneLine(const QString &text);

// A tooltip that Qt shows literally: tooltips guess rich text, so this is always rich text
// holding the escaped text, with its spaces and line breaks kept. Empty for empty text.
QString toolTip(const QString &text);

} // namespace PlainText
