#include "namerules.h"

using namespace Qt::StringLiterals;

namespace NameRules {

QString untitledFolderName(int n)
{
    return n <= 1 ? u"untitled folder"_s : u"untitled folder "_s + QString::number(n);
}

QString duplicateName(QStringView name, int n)
{
    const QStringView extension = pathExtension(name);
    const QString suffix = extension.isEmpty() ? QString() : u'.' + extension.toString();
    const QString copy = n <= 1 ? u" copy"_s : u" copy "_s + QString::number(n);
    return deletingPathExtension(name).toString() + copy + suffix;
}

QStringView pathExtension(QStringView name)
{
    const qsizetype dot = name.lastIndexOf(u'.');
    if (dot <= 0 || dot == name.size() - 1)
        return {};
    return name.mid(dot + 1);
}

QStringView deletingPathExtension(QStringView name)
{
    const QStringView extension = pathExtension(name);
    return extension.isEmpty() ? name : name.left(name.size() - extension.size() - 1);
}

std::optional<QString> firstFreeName(const std::function<QString(int)> &candidate,
                                     const std::function<bool(const QString &)> &isTaken)
{
    for (int n = 1; n <= maxCandidates; ++n) {
        QString name = candidate(n);
        if (!isTaken(name))
            return name;
    }
    return std::nullopt;
}

std::optional<QString> acceptedNewName(QStringView currentName, QStringView proposed)
{
    const QStringView trimmed = proposed.trimmed();
    if (trimmed.isEmpty() || trimmed.contains(u'/') || trimmed.contains(QChar(0)) || trimmed == currentName)
        return std::nullopt;
    return trimmed.toString();
}

} // namespace NameRules
