#pragma once

#include "fileentry.h"

#include <QList>

// What the Files screen shows: the loading indicator, the listed entries of the current folder
// in display order, the "storage not found" placeholder, or the placeholder of a current folder
// that cannot be read. A value; equal when the case and the
// entries are.
class LoadState final
{
public:
    enum class Kind { loading, loaded, storageMissing, unreadable };

    LoadState() = default; // loading
    static LoadState loading() { return LoadState(Kind::loading, {}); }
    static LoadState loaded(QList<FileEntry> entries) { return LoadState(Kind::loaded, std::move(entries)); }
    static LoadState storageMissing() { return LoadState(Kind::storageMissing, {}); }
    static LoadState unreadable() { return LoadState(Kind::unreadable, {}); }

    Kind kind() const { return m_kind; }
    bool isLoaded() const { return m_kind == Kind::loaded; }
    // Empty unless loaded.
    const QList<FileEntry> &entries() const { return m_entries; }

    friend bool operator==(const LoadState &a, const LoadState &b)
    {
        return a.m_kind == b.m_kind && a.m_entries == b.m_entries;
    }

private:
    LoadState(Kind kind, QList<FileEntry> entries) : m_kind(kind), m_entries(std::move(entries)) {}

    Kind m_kind = Kind::loading;
    QList<FileEntry> m_entries;
};
