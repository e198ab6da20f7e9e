#include "app/folder_memory.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QSettings>

namespace {

// A folder's group in the settings: its path hashed, since a path's slashes
// would nest groups and its characters need not suit a key.
QString group_of(const QString& folder)
{
    return QStringLiteral("folders/")
        + QString::fromLatin1(QCryptographicHash::hash(folder.toUtf8(), QCryptographicHash::Sha1).toHex().left(20));
}

} // namespace

std::optional<folder_choices> remembered_choices(const QString& folder)
{
    if (folder.isEmpty())
        return std::nullopt;
    QSettings settings;
    settings.beginGroup(group_of(folder));
    // Another folder whose hash starts alike is not this one.
    if (settings.value(QStringLiteral("path")).toString() != folder)
        return std::nullopt;
    folder_choices choices;
    choices.track_files = settings.value(QStringLiteral("track_files")).toStringList();
    choices.track_name = settings.value(QStringLiteral("track_name")).toString();
    choices.zone = settings.value(QStringLiteral("camera_time_zone")).toString();
    choices.offset = settings.value(QStringLiteral("camera_clock_offset")).toString();
    choices.drift = settings.value(QStringLiteral("camera_clock_drift")).toString();
    return choices;
}

void remember_choices(const QString& folder, const folder_choices& choices)
{
    if (folder.isEmpty())
        return;
    QSettings settings;
    settings.beginGroup(group_of(folder));
    settings.setValue(QStringLiteral("path"), folder);
    settings.setValue(QStringLiteral("track_files"), choices.track_files);
    settings.setValue(QStringLiteral("track_name"), choices.track_name);
    settings.setValue(QStringLiteral("camera_time_zone"), choices.zone);
    settings.setValue(QStringLiteral("camera_clock_offset"), choices.offset);
    settings.setValue(QStringLiteral("camera_clock_drift"), choices.drift);
}

QString folder_of(const QStringList& paths)
{
    for (const QString& path : paths) {
        const QFileInfo info(path);
        if (info.isDir())
            return QDir::cleanPath(info.absoluteFilePath());
    }
    return paths.isEmpty() ? QString() : QDir::cleanPath(QFileInfo(paths.first()).absolutePath());
}
