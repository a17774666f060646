#pragma once

#include <QByteArray>
#include <QList>
#include <QStringList>

struct Device;

namespace Listing {

enum Section { Devices = 1, DeviceTypes = 2, Runtimes = 4, Pairs = 8, All = 15 };

struct Query
{
    int sections = All;
    bool json = false;
    bool availableOnly = false;
    bool bootedOnly = false;
    QString search; // matched against names and UDIDs, any letter case
};

// Parses the words after "list"; false on a word that cannot be a search term.
bool parse(const QStringList &words, Query *query, QString *problem);

QByteArray render(const Query &query, const QList<Device> &devices, const QString &home);

// JSON string literal the way NSJSONSerialization writes it, "/" escaped as "\/".
QByteArray jsonString(const QString &text);

} // namespace Listing
