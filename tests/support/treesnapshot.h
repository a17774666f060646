#pragma once

#include <QByteArray>
#include <QMap>
#include <QString>

// Every item below a folder, links not followed: raw relative path -> what the item is ("folder
// 755", "file SIZE SHA1", "link -> TARGET", "fifo", "other"). Names stay bytes, so names that are
// not UTF-8 compare too.
using Tree = QMap<QByteArray, QByteArray>;

Tree treeOf(const QString &root);
// How `treeOf` describes a regular file holding `content`.
QByteArray fileDescription(const QByteArray &content);
// The items below `prefix`, with the prefix taken off.
Tree subtree(const Tree &tree, const QByteArray &prefix);
// One line per item that is missing, changed or unexpected; empty when the trees are equal.
QString differences(const Tree &expected, const Tree &actual);

#define QCOMPARE_TREE(expected, actual)                                                                      \
    do {                                                                                                     \
        const QString treeDifferences_ = differences((expected), (actual));                                  \
        QVERIFY2(treeDifferences_.isEmpty(), qPrintable(treeDifferences_));                                  \
    } while (false)
