#pragma once

#include <QString>
#include <QStringView>

#include <functional>
#include <optional>

// The names the Files operations choose and accept. Pure functions.
namespace NameRules {

// Candidates are numbered 1..maxCandidates; 1 is the plain form ("untitled folder").
inline constexpr int maxCandidates = 99;

// "untitled folder", then "untitled folder 2" .. "untitled folder 99".
QString untitledFolderName(int n);

// "photo copy.jpg", then "photo copy 2.jpg" .. "photo copy 99.jpg". Folders are named alike.
QString duplicateName(QStringView name, int n);

// The text after the last "." of a name; empty when the dot starts or ends the name or there is
// none (".hidden", "name.", "README").
QStringView pathExtension(QStringView name);
// The name without "." and its extension, or the whole name when it has no extension.
QStringView deletingPathExtension(QStringView name);

// The first of candidate(1) .. candidate(99) that `isTaken` rejects not, or none.
std::optional<QString> firstFreeName(const std::function<QString(int)> &candidate,
                                     const std::function<bool(const QString &)> &isTaken);

// The name a rename should move the item to: the proposal without surrounding white space and
// line breaks. None (the item keeps its name) for an empty name, one holding "/" or NUL, or the
// current name.
std::optional<QString> acceptedNewName(QStringView currentName, QStringView proposed);

} // namespace NameRules
