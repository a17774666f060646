#pragma once

#include <QString>
#include <QStringView>

#include <functional>
#include <vector>

// The file-manager name order: the user's locale, letter case ignored, runs of digits compared
// by value ("File1", "file2", "file10"). The C locale has no numeric collation, so it collates
// as en_US. Thread-safe (one collator per thread).
namespace NameCollation {

// Negative, zero or positive, as a goes before, with or after b.
int compare(QStringView a, QStringView b);

// The indexes 0..count-1 ordered by the names that `nameAt` gives; equal names keep their
// index order (a stable sort).
std::vector<qsizetype> sortedOrder(qsizetype count, const std::function<QStringView(qsizetype)> &nameAt);

// Whether names of plain ASCII are ordered by the built-in key rather than by the locale's
// collator in the current locale (both give the same order; the key is several times faster).
bool usesAsciiKeys();

} // namespace NameCollation
