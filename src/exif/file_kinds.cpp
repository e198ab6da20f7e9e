#include "exif/file_kinds.h"

#include "exif/exiftool.h"

#include <QFileInfo>
#include <QSet>

namespace {

const QSet<QString>& raw_extensions()
{
    static const QSet<QString> raw { "3fr", "ari", "arq", "arw", "bay", "cr2", "cr3", "crw", "dcr", "dng", "erf", "fff",
        "iiq", "k25", "kdc", "mef", "mos", "mrw", "nef", "nrw", "orf", "ori", "pef", "raf", "raw", "rw2", "rwl",
        "sr2", "srf", "srw", "x3f" };
    return raw;
}

const QSet<QString>& video_extensions()
{
    static const QSet<QString> video { "mp4", "mov", "m4v", "3gp", "3g2", "mqv", "insv", "lrv" };
    return video;
}

// Pictures and films beyond the ones above: when ExifTool cannot write
// them, that is worth a word more than "not a photo".
const QSet<QString>& other_media_extensions()
{
    static const QSet<QString> media { "asf", "avi", "bmp", "cur", "dcm", "emf", "exr", "flv", "hdr", "ico", "m2ts",
        "mkv", "mpeg", "mpg", "mts", "ogv", "pbm", "pcx", "pgm", "ppm", "svg", "tga", "vob", "webm", "wmf", "wmv",
        "xcf" };
    return media;
}

// Files beside photos that describe them: never counted as failures.
const QSet<QString>& sidecar_extensions()
{
    static const QSet<QString> sidecars { "xmp", "aae", "thm" };
    return sidecars;
}

QString extension(const QString& path)
{
    return QFileInfo(path).suffix().toLower();
}

} // namespace

file_kind kind_of(const QString& path)
{
    const QString ext = extension(path);
    if (raw_extensions().contains(ext))
        return file_kind::raw;
    if (video_extensions().contains(ext))
        return file_kind::video;
    return file_kind::photo;
}

file_verdict judge_file(const QString& path, const kal::exiftool_file_types& types)
{
    const QString ext = extension(path);
    file_verdict verdict;
    // Sidecars (XMP, THM) are kinds ExifTool writes, but they belong to their photos.
    if (sidecar_extensions().contains(ext)) {
        verdict.reason = QStringLiteral("not a photo");
    } else if (types.writable.contains(ext)) {
        verdict.load = true;
        verdict.kind = kind_of(path);
    } else if (raw_extensions().contains(ext) || video_extensions().contains(ext)
        || (other_media_extensions().contains(ext) && (types.readable.contains(ext) || types.readable.isEmpty()))) {
        verdict.reason = QStringLiteral("ExifTool cannot write it");
        verdict.failure = true;
    } else {
        verdict.reason = QStringLiteral("not a photo");
    }
    return verdict;
}

QString sidecar_path(const QString& raw, sidecar_naming naming)
{
    if (naming == sidecar_naming::with_extension)
        return raw + QStringLiteral(".xmp");
    const QFileInfo info(raw);
    return info.path() + QLatin1Char('/') + info.completeBaseName() + QStringLiteral(".xmp");
}
