#include "plistfile.h"

#include <QFile>
#include <QSaveFile>

namespace PlistFile {

PlistPtr parse(const QByteArray &bytes)
{
    if (bytes.isEmpty() || bytes.size() > maxBytes)
        return {};
    return PlistPtr(PlistCompat::parse(bytes.constData(), uint32_t(bytes.size())));
}

PlistPtr read(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QByteArray bytes = file.read(maxBytes + 1);
    return parse(bytes);
}

bool write(const QString &path, plist_t root, Format format)
{
    char *buffer = nullptr;
    uint32_t length = 0;
    if (format == Format::Binary)
        plist_to_bin(root, &buffer, &length);
    else
        plist_to_xml(root, &buffer, &length);
    if (!buffer)
        return false;
    const QByteArray bytes(buffer, qsizetype(length));
    PlistCompat::freeBuffer(buffer, format == Format::Binary);

    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.write(bytes);
    return file.commit();
}

std::optional<QString> stringMember(plist_t dict, const char *key)
{
    const auto text = PlistCompat::stringMember(dict, key);
    if (!text || text->size() > size_t(maxBytes))
        return std::nullopt;
    return QString::fromUtf8(text->data(), qsizetype(text->size()));
}

std::optional<quint64> uintMember(plist_t dict, const char *key)
{
    if (!dict || plist_get_node_type(dict) != PLIST_DICT)
        return std::nullopt;
    plist_t node = plist_dict_get_item(dict, key);
    if (!node || plist_get_node_type(node) != PLIST_UINT)
        return std::nullopt;
    uint64_t value = 0;
    plist_get_uint_val(node, &value);
    return quint64(value);
}

void setString(plist_t dict, const char *key, const QString &value)
{
    plist_dict_set_item(dict, key, plist_new_string(value.toUtf8().constData()));
}

void setUInt(plist_t dict, const char *key, quint64 value)
{
    plist_dict_set_item(dict, key, plist_new_uint(value));
}

} // namespace PlistFile
