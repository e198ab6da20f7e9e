// Geotagging from a track end to end: vestra-tag in the track mode (verified
// and journaled writes), its dry run and its undo, against
// `exiftool -geotag TRACK -overwrite_original` on fresh copies of the same
// photos. Checks that both wrote the same positions within 1 m.
//
//   bench_geotag [photo count ...] [--points N] [--width PX]
//
// The photos are copies of one real-sized JPEG (4000 x 3000 px by default),
// one every 10 s; the track has a point every 5 s. Everything runs in UTC.

#include "bench_picture.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <vector>

#include <unistd.h>

namespace {

const QDateTime track_start(QDate(2019, 5, 1), QTime(8, 0), Qt::UTC);

QString vestra_tag()
{
    return QCoreApplication::applicationDirPath() + QStringLiteral("/vestra-tag");
}

bool write_file(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

// A winding track, a point every 5 s.
QByteArray make_gpx(int points)
{
    QByteArray gpx = "<?xml version=\"1.0\"?>\n<gpx version=\"1.1\" creator=\"bench\" "
                     "xmlns=\"http://www.topografix.com/GPX/1/1\"><trk><trkseg>\n";
    for (int i = 0; i < points; ++i) {
        const double lat = 46.5 + 0.2 * std::sin(i / 900.0) + i * 1e-6;
        const double lon = 8.1 + 0.3 * std::cos(i / 1300.0);
        gpx += QStringLiteral("<trkpt lat=\"%1\" lon=\"%2\"><ele>%3</ele><time>%4</time></trkpt>\n")
                   .arg(lat, 0, 'f', 7)
                   .arg(lon, 0, 'f', 7)
                   .arg(400 + i % 500)
                   .arg(track_start.addSecs(qint64(i) * 5).toString(Qt::ISODate))
                   .toUtf8();
    }
    return gpx + "</trkseg></trk></gpx>\n";
}

struct run_result {
    double seconds = 0;
    int code = -1;
    QByteArray output;
};

run_result run(const QString& program, const QStringList& arguments)
{
    run_result r;
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    QElapsedTimer timer;
    timer.start();
    process.start(program, arguments);
    process.waitForFinished(-1);
    r.seconds = timer.nsecsElapsed() / 1e9;
    r.code = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    r.output = process.readAll();
    return r;
}

bool copy_folder(const QString& from, const QString& to)
{
    QDir().mkpath(to);
    for (const QString& name : QDir(from).entryList(QDir::Files)) {
        QFile::remove(to + '/' + name);
        if (!QFile::copy(from + '/' + name, to + '/' + name))
            return false;
    }
    return true;
}

// File name -> signed position, as exiftool reads it.
std::map<QString, std::pair<double, double>> positions(const QString& folder)
{
    std::map<QString, std::pair<double, double>> found;
    const run_result r = run(QStringLiteral("exiftool"),
        { "-j", "-n", "-q", "-GPSLatitude", "-GPSLongitude", "-ext", "jpg", folder });
    for (const QJsonValue& value : QJsonDocument::fromJson(r.output).array()) {
        const QJsonObject o = value.toObject();
        if (o.contains("GPSLatitude") && o.contains("GPSLongitude"))
            found[QFileInfo(o["SourceFile"].toString()).fileName()]
                = { o["GPSLatitude"].toDouble(), o["GPSLongitude"].toDouble() };
    }
    return found;
}

double metres(const std::pair<double, double>& a, const std::pair<double, double>& b)
{
    const double to_rad = M_PI / 180;
    const double x = (b.second - a.second) * to_rad * std::cos((a.first + b.first) / 2 * to_rad);
    const double y = (b.first - a.first) * to_rad;
    return std::sqrt(x * x + y * y) * 6371000.0;
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("TZ", "UTC");
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    std::vector<int> counts;
    int points = 10000;
    int width = 4000;
    const QStringList args = app.arguments();
    for (int i = 1; i < args.size(); ++i) {
        if (args[i] == QLatin1String("--points") && i + 1 < args.size())
            points = args[++i].toInt();
        else if (args[i] == QLatin1String("--width") && i + 1 < args.size())
            width = args[++i].toInt();
        else if (args[i].toInt() > 0)
            counts.push_back(args[i].toInt());
    }
    if (counts.empty())
        counts = { 100, 1000 };

    QTemporaryDir dir;
    // The journal and settings of the runs stay in here.
    qputenv("XDG_DATA_HOME", dir.filePath("data").toUtf8());
    qputenv("XDG_CONFIG_HOME", dir.filePath("config").toUtf8());
    const QString track = dir.filePath("track.gpx");
    write_file(track, make_gpx(points));
    const QString base = dir.filePath("base.jpg");
    make_picture(width, width * 3 / 4, 11).save(base, "JPEG", 85);
    run(QStringLiteral("exiftool"),
        { "-q", "-overwrite_original", "-Make=Kestrel", "-Model=K-7", "-LensModel=KX 24-70mm", "-FNumber=4",
            "-ExposureTime=1/500", "-ISO=200", "-FocalLength=35", "-Artist=Jane Doe", base });
    std::printf("one JPEG of %d x %d px, %.1f MB; a track of %d points\n", width, width * 3 / 4,
        QFileInfo(base).size() / 1e6, points);
    std::fflush(stdout);

    int status = 0;
    for (const int count : counts) {
        // The originals: a photo every 10 s along the track, not timed.
        const QString originals = dir.filePath(QStringLiteral("originals-%1").arg(count));
        QDir().mkpath(originals);
        QStringList tagging;
        for (int i = 0; i < count; ++i) {
            const QString path = originals + QStringLiteral("/IMG_%1.jpg").arg(i, 5, 10, QLatin1Char('0'));
            QFile::copy(base, path);
            tagging << "-DateTimeOriginal=" + track_start.addSecs(60 + qint64(i) * 10).toString("yyyy:MM:dd hh:mm:ss")
                    << path << "-execute";
        }
        const QString argfile = dir.filePath("times.args");
        write_file(argfile, tagging.join('\n').toUtf8() + '\n');
        // Every -execute group takes the common arguments after -common_args.
        run(QStringLiteral("exiftool"), { "-@", argfile, "-common_args", "-q", "-overwrite_original" });

        const QString ours = dir.filePath(QStringLiteral("vestra-%1").arg(count));
        const QString theirs = dir.filePath(QStringLiteral("exiftool-%1").arg(count));
        if (!copy_folder(originals, ours) || !copy_folder(originals, theirs)) {
            std::fprintf(stderr, "cannot copy the photos\n");
            return 1;
        }
        ::sync();

        const run_result dry = run(vestra_tag(), { "--gpx", track, "--dry-run", "--format", "csv", ours });
        const run_result tagged = run(vestra_tag(), { "--gpx", track, "--format", "csv", ours });
        const run_result reference
            = run(QStringLiteral("exiftool"), { "-q", "-geotag", track, "-overwrite_original", theirs });
        if (dry.code != 0 || tagged.code != 0 || reference.code != 0) {
            std::fprintf(stderr, "a run failed (dry run %d, vestra-tag %d, exiftool %d)\n%s\n", dry.code, tagged.code,
                reference.code, tagged.output.right(2000).constData());
            status = 1;
        }

        const auto mine = positions(ours);
        const auto other = positions(theirs);
        double worst = 0;
        int compared = 0;
        for (const auto& [name, position] : other) {
            const auto it = mine.find(name);
            if (it == mine.end())
                continue;
            worst = std::max(worst, metres(position, it->second));
            ++compared;
        }
        if (compared != count || int(mine.size()) != count || worst > 1.0) {
            std::fprintf(stderr, "positions differ: %d of %d compared, %d written by vestra-tag, %.2f m apart at most\n",
                compared, count, int(mine.size()), worst);
            status = 1;
        }

        const run_result undone = run(vestra_tag(), { "--undo", "--format", "csv" });
        if (undone.code != 0 || !positions(ours).empty()) {
            std::fprintf(stderr, "the undo failed (%d)\n%s\n", undone.code, undone.output.right(2000).constData());
            status = 1;
        }

        std::printf("%d photos, positions agree within %.3f m\n", count, worst);
        std::printf("  vestra-tag --gpx (verified, journaled)  %7.2f s  %7.1f photos/s\n", tagged.seconds,
            count / tagged.seconds);
        std::printf("    of it the dry run (load, track, match) %6.2f s\n", dry.seconds);
        std::printf("  exiftool -geotag -overwrite_original    %7.2f s  %7.1f photos/s\n", reference.seconds,
            count / reference.seconds);
        std::printf("  vestra-tag --undo                       %7.2f s\n", undone.seconds);
        std::printf("  exiftool / vestra-tag: %.2f\n", reference.seconds / tagged.seconds);
        std::fflush(stdout);
        for (const QString& folder : { originals, ours, theirs })
            QDir(folder).removeRecursively();
    }
    return status;
}
