#pragma once

#include "filestore/fileentry.h"
#include "plistoutline.h"
#include "sqlitereader.h"

#include <QDateTime>
#include <QImage>
#include <QList>
#include <QMetaType>
#include <QSize>
#include <QString>
#include <QStringList>

#include <memory>
#include <optional>

// What a quick look shows of one file: a value made off the GUI thread by PreviewLoader. A
// look comes in stages (complete is false until the last one): what is cheap first, the heavy
// parts (decoded pixels, row counts) after.
struct PreviewContent
{
    enum class Kind { Generic, Image, Text, PropertyList, Database, Pdf };

    QString path;
    Kind kind = Kind::Generic;
    bool complete = false;

    // Always: what the info view shows.
    QString kindText;
    FileIcon icon;
    bool isDirectory = false;
    std::optional<qint64> sizeBytes;
    std::optional<QDateTime> modified;
    std::optional<QDateTime> created;
    // Why nothing more could be shown, when the file could not be read.
    QString error;
    // What was left out (the rest of a long text, pixels past the limit, nesting, rows).
    QStringList notes;

    // Image and PDF: the picture scaled to fit, and its full size.
    QImage image;
    QSize pixelSize;
    int pageCount = 0;

    // Text: what to show, one line per line, already decoded (invalid UTF-8 as U+FFFD).
    QString text;
    bool prettyJson = false;

    // Property list.
    std::shared_ptr<const PlistOutline> outline;

    // Database: tables with columns (and their row counts once counted), and the first rows of
    // `rowsTable`.
    QList<SqliteReader::Table> tables;
    QString rowsTable;
    SqliteReader::Rows rows;
};

Q_DECLARE_METATYPE(PreviewContent)
