#include "exif/file_stamp.h"

#include <QDateTime>
#include <QFile>
#include <QStringList>

#include <sys/stat.h>

#include <algorithm>

std::optional<file_stamp> file_stamp::of(const QString& file)
{
    struct stat info;
    if (::stat(QFile::encodeName(file).constData(), &info) != 0)
        return std::nullopt;
    file_stamp stamp;
    stamp.size = qint64(info.st_size);
    stamp.inode = qint64(info.st_ino);
    stamp.modified_ns = qint64(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec;
    stamp.changed_ns = qint64(info.st_ctim.tv_sec) * 1000000000 + info.st_ctim.tv_nsec;
    return stamp;
}

std::optional<file_stamp> file_stamp::telling(const QString& file)
{
    const qint64 now = QDateTime::currentMSecsSinceEpoch() * 1000000;
    std::optional<file_stamp> stamp = of(file);
    const qint64 second = 1000000000;
    if (stamp && (stamp->modified_ns % second == 0 || stamp->changed_ns % second == 0)
        && now - std::max(stamp->modified_ns, stamp->changed_ns) < 3 * second)
        return std::nullopt;
    return stamp;
}

bool file_stamp::operator==(const file_stamp& other) const
{
    return size == other.size && inode == other.inode && modified_ns == other.modified_ns
        && changed_ns == other.changed_ns;
}

QString to_text(const file_stamp& stamp)
{
    return QStringLiteral("%1:%2:%3:%4").arg(stamp.size).arg(stamp.inode).arg(stamp.modified_ns).arg(stamp.changed_ns);
}

std::optional<file_stamp> stamp_from_text(const QString& text)
{
    const QStringList fields = text.split(QLatin1Char(':'));
    if (fields.size() != 4)
        return std::nullopt;
    qint64 numbers[4];
    for (int i = 0; i < 4; ++i) {
        bool ok = false;
        numbers[i] = fields[i].toLongLong(&ok);
        if (!ok)
            return std::nullopt;
    }
    return file_stamp { numbers[0], numbers[1], numbers[2], numbers[3] };
}
