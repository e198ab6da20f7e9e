// Reading all tags of many photos: through the bridge with one child and
// with the whole pool (one stay-open request per photo) against one plain
// `exiftool -args -f -sort` run over the same files. Also reports what the
// metadata cache holds per photo.
//
//   bench_exiftool [photo count] [rounds]

#include "exif/exif_cache.h"
#include "exif/exiftool.h"

#include "bench_picture.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QImage>
#include <QPainter>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTextStream>

#include <malloc.h>

#include <algorithm>
#include <cstdio>

namespace {

QTextStream out(stdout);

bool run_exiftool(const QStringList& args, QByteArray* output = nullptr)
{
    QProcess process;
    process.start(QStringLiteral("exiftool"), args);
    if (!process.waitForFinished(-1))
        return false;
    if (output)
        *output = process.readAllStandardOutput();
    return process.exitStatus() == QProcess::NormalExit;
}

// Tags a camera and a photo management program would leave behind.
QStringList camera_tags(const QString& thumbnail)
{
    return { "-Make=Kestrel", "-Model=K-7 Mark II", "-LensModel=KX 24-70mm F2.8", "-LensMake=Kestrel",
        "-LensSerialNumber=0042317", "-SerialNumber=7315520981", "-BodySerialNumber=7315520981",
        "-LensInfo=24 70 2.8 2.8", "-FNumber=2.8", "-ExposureTime=1/250", "-ISO=400", "-FocalLength=35",
        "-FocalLengthIn35mmFormat=35", "-ExposureProgram=Aperture-priority AE", "-ExposureMode=Auto",
        "-ExposureCompensation=-0.3", "-MeteringMode=Multi-segment", "-Flash=No Flash", "-WhiteBalance=Auto",
        "-LightSource=Daylight", "-SceneCaptureType=Standard", "-Contrast=Normal", "-Saturation=Normal",
        "-Sharpness=Normal", "-DigitalZoomRatio=1", "-SubjectDistanceRange=Unknown",
        "-SensingMethod=One-chip color area", "-CustomRendered=Normal", "-GainControl=None",
        "-MaxApertureValue=2.8", "-ApertureValue=2.8", "-ShutterSpeedValue=1/250", "-BrightnessValue=7.2",
        "-DateTimeOriginal=2019:05:01 10:00:00", "-CreateDate=2019:05:01 10:00:00",
        "-ModifyDate=2019:05:02 18:30:00", "-SubSecTimeOriginal=42", "-SubSecTimeDigitized=42",
        "-OffsetTime=+02:00", "-OffsetTimeOriginal=+02:00", "-Orientation#=1", "-XResolution=300",
        "-YResolution=300", "-ResolutionUnit=inches", "-Software=Kestrel Firmware 1.12", "-Artist=Jane Doe",
        "-Copyright=(c) 2019 Jane Doe", "-ImageDescription=Harbour at dawn", "-ExifImageWidth=1600",
        "-ExifImageHeight=1200", "-ColorSpace=sRGB", "-FocalPlaneXResolution=6000",
        "-FocalPlaneYResolution=6000", "-FocalPlaneResolutionUnit=inches", "-GPSLatitude=48 8 12.34",
        "-GPSLatitudeRef=N", "-GPSLongitude=11 34 56.78", "-GPSLongitudeRef=E", "-GPSAltitude=519",
        "-GPSAltitudeRef=Above Sea Level", "-GPSTimeStamp=08:00:00", "-GPSDateStamp=2019:05:01",
        "-GPSMapDatum=WGS-84", "-GPSSatellites=9", "-GPSImgDirection=271.5", "-GPSImgDirectionRef=True North",
        "-IPTC:Keywords=harbour", "-IPTC:Keywords+=dawn", "-IPTC:Keywords+=boats", "-IPTC:By-line=Jane Doe",
        "-IPTC:City=Munich", "-IPTC:Country-PrimaryLocationName=Germany",
        "-IPTC:Caption-Abstract=Harbour at dawn", "-IPTC:CopyrightNotice=(c) 2019 Jane Doe",
        "-IPTC:ObjectName=Harbour", "-IPTC:Credit=Jane Doe", "-IPTC:Source=Own work", "-XMP-dc:Title=Harbour",
        "-XMP-dc:Description=Harbour at dawn", "-XMP-dc:Creator=Jane Doe", "-XMP-dc:Rights=(c) 2019 Jane Doe",
        "-XMP-dc:Subject=harbour", "-XMP-xmp:Rating=4", "-XMP-xmp:Label=Green",
        "-XMP-xmp:CreatorTool=Kestrel Firmware 1.12", "-XMP-xmp:MetadataDate=2019:05:02 18:30:00",
        "-XMP-photoshop:City=Munich", "-XMP-photoshop:Country=Germany", "-XMP-photoshop:State=Bavaria",
        "-XMP-photoshop:Headline=Harbour", "-XMP-photoshop:Credit=Jane Doe",
        "-XMP-iptcCore:Location=Old harbour", "-XMP-iptcCore:CountryCode=DE", "-XMP-aux:Lens=KX 24-70mm F2.8",
        "-XMP-aux:SerialNumber=7315520981", "-XMP-aux:ImageNumber=4711", "-XMP-xmpMM:DocumentID=xmp.did:7a2c",
        "-XMP-xmpMM:InstanceID=xmp.iid:7a2c", "-XMP-xmpMM:OriginalDocumentID=xmp.did:7a2c",
        "-XMP-xmpRights:Marked=True", "-XMP-xmpRights:UsageTerms=All rights reserved",
        "-XMP-photoshop:AuthorsPosition=Photographer", "-XMP-photoshop:CaptionWriter=Jane Doe",
        "-XMP-photoshop:Instructions=None", "-XMP-photoshop:TransmissionReference=JD-2019-0501",
        "-XMP-photoshop:DateCreated=2019:05:01 10:00:00", "-XMP-iptcCore:IntellectualGenre=Documentary",
        "-XMP-iptcCore:CreatorWorkEmail=jane@example.org", "-XMP-iptcCore:CreatorCity=Munich",
        "-XMP-iptcExt:PersonInImage=Nobody", "-XMP-iptcExt:Event=Harbour festival",
        "-XMP-lr:HierarchicalSubject=places|harbour", "-ImageUniqueID=0f7e3a9c5d2b4e61a8b9c0d1e2f3a4b5",
        "-OwnerName=Jane Doe", "-UserComment=Shot from the pier", "-XPTitle=Harbour",
        "-XPComment=Shot from the pier", "-XPAuthor=Jane Doe", "-XPKeywords=harbour;dawn",
        "-XPSubject=Harbour", "-InteropIndex=R98 - DCF basic file (sRGB)", "-InteropVersion=0100",
        "-CompositeImage=Not a Composite Image", "-SensitivityType=Recommended Exposure Index",
        "-RecommendedExposureIndex=400", "-Comment=Shot from the pier", "-ThumbnailImage<=" + thumbnail };
}

// Reads every file through the bridge's children; returns the number of tags seen.
qint64 read_through_bridge(kal::_exiftool2& bridge, const QStringList& files)
{
    qint64 tags = 0;
    bridge.read_many(files, [&tags](int, const kal::_exiftool2::photo_read& r) { tags += qint64(r.tags.size()); });
    return tags;
}

// One exiftool run over all files; returns the number of tag lines seen.
qint64 read_in_one_process(const QStringList& files)
{
    QByteArray output;
    run_exiftool(QStringList { "-args", "-f", "-sort" } + files, &output);
    return output.count("\n-");
}

size_t heap_in_use()
{
    return mallinfo2().uordblks;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    const int count = args.size() > 1 ? args[1].toInt() : 500;
    const int rounds = args.size() > 2 ? args[2].toInt() : 3;

    QTemporaryDir dir;
    if (!dir.isValid())
        return 1;
    out << "bench_exiftool: preparing " << count << " JPEG photos of 1600x1200..." << Qt::endl;

    const QString thumbnail = dir.filePath(QStringLiteral("thumbnail.jpg"));
    make_picture(160, 120, 1).save(thumbnail, "JPEG", 80);
    QStringList files;
    const QImage picture = make_picture(1600, 1200, 7);
    for (int i = 0; i < count; ++i) {
        const QString path
            = dir.filePath(QStringLiteral("photos/IMG_%1.jpg").arg(i, 4, 10, QLatin1Char('0')));
        QDir().mkpath(QFileInfo(path).absolutePath());
        // Vary the content a little so files differ.
        QImage copy = picture;
        QPainter(&copy).fillRect(i % 1500, i % 1100, 100, 100, QColor::fromRgb(i * 2654435761u));
        copy.save(path, "JPEG", 90);
        files << path;
    }
    if (!run_exiftool(QStringList { "-q", "-m", "-overwrite_original" } + camera_tags(thumbnail)
            + QStringList { dir.filePath(QStringLiteral("photos")) })) {
        out << "bench_exiftool: tagging failed" << Qt::endl;
        return 1;
    }

    // Warm the page cache and start the bridge before anything is timed.
    read_in_one_process(files);
    const qint64 tags_per_photo = qint64(kal::_exiftool2::instance()->read_exif_data(files[0]).size());

    const int pool = kal::_exiftool2::pool_size();
    kal::_exiftool2 one_child(1);
    kal::_exiftool2 all_children(pool);
    double best_one = 1e100;
    double best_pool = 1e100;
    double best_single = 1e100;
    qint64 bridge_tags = 0;
    qint64 single_tags = 0;
    for (int round = 0; round < rounds; ++round) {
        QElapsedTimer timer;
        timer.start();
        bridge_tags = read_through_bridge(one_child, files);
        best_one = std::min(best_one, timer.nsecsElapsed() / 1e9);

        timer.restart();
        read_through_bridge(all_children, files);
        best_pool = std::min(best_pool, timer.nsecsElapsed() / 1e9);

        timer.restart();
        single_tags = read_in_one_process(files);
        best_single = std::min(best_single, timer.nsecsElapsed() / 1e9);
    }

    out << "tags per photo: " << tags_per_photo << " (bridge total " << bridge_tags << ", one process total "
        << single_tags << ")" << Qt::endl;
    const auto report = [&](const QString& what, double best) {
        out << QString::asprintf("%-22s %8.1f photos/s (%.3f s for %d, best of %d), %.2f of one process\n",
            qPrintable(what), count / best, best, count, rounds, best_single / best);
    };
    report(QStringLiteral("pool of 1 child:"), best_one);
    report(QStringLiteral("pool of %1 children:").arg(pool), best_pool);
    report(QStringLiteral("one exiftool process:"), best_single);
    out << "goal: pool >= 1.4 of one process" << Qt::endl;

    // What the cache keeps per photo: its heap growth over all photos.
    exif_cache cache;
    const size_t before = heap_in_use();
    for (const QString& file : files)
        cache.add(file.toStdString());
    const size_t after = heap_in_use();
    out << QString::asprintf("cache: %.1f KiB per photo\n", double(after - before) / count / 1024.0);
    out.flush();
    return 0;
}
