// Times the photo table's rebuild of the assignment cache and its sort over
// large folders whose metadata is put straight into exif_cache.
//
//   bench_model [photos ...] [--reps N]
//
// Prints one table row per folder size and case. The checksum column covers
// every cell the table shows and every position it hands out, so two builds
// of the model can be compared for identical results.

#include "exif/exif_cache.h"
#include "model/table_data_model.h"

#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <random>
#include <set>
#include <string>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

namespace {

class bench_table : public table_data_model {
public:
    using table_data_model::add_cached_file;
};

using tag_map = std::map<std::string, std::string>;

std::string two_digits(int value)
{
    char text[8];
    std::snprintf(text, sizeof text, "%02d", value);
    return text;
}

std::string decimal(double value)
{
    return std::to_string(value);
}

// About 200 tags of the kind exiftool reports for a camera JPEG.
tag_map raw_tag_template()
{
    tag_map tags = {
        { "ExifToolVersion", "12.57" },
        { "FileSize", "6.2 MB" },
        { "FileModifyDate", "2019:05:01 10:00:00+02:00" },
        { "FilePermissions", "-rw-r--r--" },
        { "FileType", "JPEG" },
        { "MIMEType", "image/jpeg" },
        { "ExifByteOrder", "Little-endian (Intel, II)" },
        { "Make", "Cambrix" },
        { "Model", "Cambrix Q7 Mark II" },
        { "Orientation", "Horizontal (normal)" },
        { "XResolution", "300" },
        { "YResolution", "300" },
        { "ResolutionUnit", "inches" },
        { "Software", "Firmware Version 1.0.2" },
        { "ExposureTime", "1/250" },
        { "FNumber", "5.6" },
        { "ExposureProgram", "Aperture-priority AE" },
        { "ISO", "200" },
        { "ExifVersion", "0231" },
        { "ShutterSpeedValue", "1/250" },
        { "ApertureValue", "5.6" },
        { "FocalLength", "24.0 mm" },
        { "LensModel", "24-70mm F2.8" },
        { "ExifImageWidth", "6000" },
        { "ExifImageHeight", "4000" },
        { "ImageWidth", "6000" },
        { "ImageHeight", "4000" },
        { "ShutterSpeed", "1/250" },
        { "Rating", "0" },
        { "ColorSpace", "sRGB" },
        { "WhiteBalance", "Auto" },
        { "MeteringMode", "Multi-segment" },
        { "Flash", "Off, Did not fire" },
    };
    for (int i = 0; tags.size() < 200; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "MakerNoteField%03d", i);
        tags[name] = i % 3 ? std::to_string(i * 37) : "Some longer maker note value " + std::to_string(i);
    }
    return tags;
}

// Fills exif_cache with `count` photos and returns their paths in a shuffled
// order, as a folder listing might hand them over.
QStringList fill_cache(int count, bool with_gps, std::mt19937& random)
{
    auto cache = exif_cache::instance();
    cache->derived_info.clear();
    cache->raw_tags.clear();
    const tag_map raw_template = raw_tag_template();

    std::uniform_int_distribution<int> gap(1, 900);
    std::uniform_int_distribution<int> tenth(0, 9);
    std::uniform_real_distribution<double> jitter(-0.5, 0.5);
    std::set<std::string> taken;
    QDateTime time(QDate(2019, 3, 1), QTime(8, 0), Qt::UTC);
    QStringList paths;
    paths.reserve(count);
    while (paths.size() < count) {
        time = time.addSecs(gap(random));
        const QDateTime local = time.toLocalTime();
        const QDate d = local.date();
        const QTime t = local.time();
        const std::string stamp = std::to_string(d.year()) + ":" + two_digits(d.month()) + ":"
            + two_digits(d.day()) + " " + two_digits(t.hour()) + ":" + two_digits(t.minute()) + ":"
            + two_digits(t.second());
        // Distinct times keep the order, and so the checksum, independent
        // of how a sort treats ties.
        if (!taken.insert(stamp).second)
            continue;

        const QString path = QStringLiteral("/home/user/Pictures/2019/trip/IMG_%1.JPG")
                                 .arg(paths.size(), 6, 10, QLatin1Char('0'));
        const ktk::string key(path.toUtf8().toStdString());
        auto& derived = cache->derived_info[key];
        derived["has_data"] = "true";
        derived["rec_year"] = std::to_string(d.year());
        derived["rec_month"] = two_digits(d.month());
        derived["rec_day"] = two_digits(d.day());
        derived["rec_hour"] = two_digits(t.hour());
        derived["rec_minute"] = two_digits(t.minute());
        derived["rec_second"] = two_digits(t.second());
        derived["fstop"] = "5.6";
        derived["iso"] = "200";
        derived["focal_length"] = "24.0";
        derived["lens"] = "24-70mm F2.8";
        derived["camera"] = "Cambrix Q7 Mark II";
        derived["image_w"] = "6000";
        derived["image_h"] = "4000";
        derived["rating"] = "0";
        derived["shutter_speed_fractional"] = "1/250";
        derived["shutter_speed_decimal"] = "0.004000";
        derived["orientation"] = "Horizontal (normal)";
        derived["has_gps_position"] = "";
        derived["gps_lat"] = "";
        derived["gps_lat_ref"] = "";
        derived["gps_lon"] = "";
        derived["gps_lon_ref"] = "";
        derived["gps_numerical"] = "";

        tag_map raw = raw_template;
        raw["FileName"] = path.mid(path.lastIndexOf('/') + 1).toStdString();
        raw["Directory"] = "/home/user/Pictures/2019/trip";
        raw["DateTimeOriginal"] = stamp;
        if (with_gps && tenth(random) == 0) {
            const double lat = 48.1 + jitter(random);
            const double lon = 11.5 + jitter(random);
            derived["has_gps_position"] = "true";
            derived["gps_lat"] = decimal(lat);
            derived["gps_lat_ref"] = "N";
            derived["gps_lon"] = decimal(lon);
            derived["gps_lon_ref"] = "E";
            derived["gps_numerical"] = decimal(lat) + ", " + decimal(lon);
            raw["GPSLatitude"] = decimal(lat);
            raw["GPSLongitude"] = decimal(lon);
            raw["GPSPosition"] = decimal(lat) + " N, " + decimal(lon) + " E";
        }
        cache->raw_tags[key] = std::move(raw);
        paths.append(path);
    }
    std::shuffle(paths.begin(), paths.end(), random);
    return paths;
}

quint64 fnv(quint64 hash, const QString& text)
{
    const QByteArray bytes = text.toUtf8();
    for (const char c : bytes) {
        hash ^= quint8(c);
        hash *= 1099511628211ULL;
    }
    return hash ^ 0xff;
}

quint64 checksum(const table_data_model& model)
{
    quint64 hash = 14695981039346656037ULL;
    for (int row = 0; row < model.rowCount(); ++row) {
        for (int column = 0; column < 3; ++column)
            hash = fnv(hash, model.data(model.index(row, column)).toString());
        const QVariant pos = model.data(model.index(row, 2), Qt::UserRole);
        if (!pos.isValid()) {
            hash = fnv(hash, QStringLiteral("(own)"));
            continue;
        }
        const gps_pos p = pos.value<gps_pos>();
        for (const QString* field :
            { &p.lat, &p.lat_ref, &p.lon, &p.lon_ref, &p.lat_numerical, &p.lon_numerical })
            hash = fnv(hash, *field);
    }
    hash = fnv(hash, model.all_files_assigned() ? QStringLiteral("all") : QStringLiteral("some"));
    return fnv(hash, model.would_overwrite_data() ? QStringLiteral("over") : QStringLiteral("keep"));
}

struct timing {
    double median;
    double best;
};

template <typename Setup, typename Work> timing time_ms(int reps, Setup setup, Work work)
{
    std::vector<double> times;
    for (int i = 0; i < reps; ++i) {
        setup();
        QElapsedTimer timer;
        timer.start();
        work();
        times.push_back(timer.nsecsElapsed() / 1e6);
    }
    std::sort(times.begin(), times.end());
    return { times[times.size() / 2], times.front() };
}

struct bench_case {
    const char* name;
    int mode;
    bool with_gps;
};

// A track of `count` points every 45 s from the first photo on, in a few
// segments, wandering around the photos' area.
QList<track_data> make_track(int count)
{
    track_data track;
    track.name = QStringLiteral("Logger");
    track.points.reserve(count);
    const QDateTime start(QDate(2019, 3, 1), QTime(8, 0), Qt::UTC);
    for (int i = 0; i < count; ++i) {
        gps_data point;
        point.latitude = 48.1 + 0.3 * std::sin(i / 5000.0);
        point.longitude = 11.5 + 0.3 * std::cos(i / 7000.0);
        point.elevation = 500 + (i % 300);
        point.msecs = start.addSecs(qint64(i) * 45).toMSecsSinceEpoch();
        point.segment = i / 20000;
        track.points.append(point);
    }
    return { track };
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // A zone with daylight saving, so recording times straddle its changes.
    if (qEnvironmentVariableIsEmpty("TZ")
        && QFile::exists(QStringLiteral("/usr/share/zoneinfo/Europe/Berlin")))
        qputenv("TZ", "Europe/Berlin");
    QGuiApplication app(argc, argv);

    std::vector<int> sizes;
    int reps = 0;
    const QStringList args = app.arguments();
    for (int i = 1; i < args.size(); ++i) {
        if (args[i] == QLatin1String("--reps") && i + 1 < args.size())
            reps = args[++i].toInt();
        else if (args[i].toInt() > 0)
            sizes.push_back(args[i].toInt());
    }
    if (sizes.empty())
        sizes = { 1000, 10000, 100000 };

    const bench_case cases[] = {
        { "mode 0 previous", 0, true },
        { "mode 1 next", 1, true },
        { "mode 2 closest", 2, true },
        { "mode 3 set position", 3, true },
        { "mode 2, no photo with GPS", 2, false },
        { "mode 4 track, 100000 points", 4, false },
    };
    const QList<track_data> track = make_track(100000);

    gps_pos fixed;
    fixed.lat = QStringLiteral("48°30'0\"");
    fixed.lat_ref = QStringLiteral("N");
    fixed.lon = QStringLiteral("11°30'0\"");
    fixed.lon_ref = QStringLiteral("E");
    fixed.lat_numerical = QStringLiteral("48.5");
    fixed.lon_numerical = QStringLiteral("11.5");

    std::printf("time zone %s, time limit 60 min; times in ms, median and best of the repetitions;\n"
                "sort starts from a shuffled table and includes its rebuild\n",
        qgetenv("TZ").isEmpty() ? "(system)" : qgetenv("TZ").constData());
    std::printf("%8s  %-28s %5s %9s %9s %9s %9s  %s\n", "photos", "case", "reps", "build", "build", "sort",
        "sort", "checksum");
    std::printf("%8s  %-28s %5s %9s %9s %9s %9s\n", "", "", "", "median", "best", "median", "best");
    std::fflush(stdout);
    for (const int count : sizes) {
        const int rounds = reps > 0 ? reps : std::max(1, std::min(21, 100000 / count));
        for (const bool with_gps : { true, false }) {
            std::mt19937 random(20190501u + unsigned(count));
            const QStringList paths = fill_cache(count, with_gps, random);
            for (const bench_case& c : cases) {
                if (c.with_gps != with_gps)
                    continue;
                bench_table model;
                // The mode slots print a line each; keep the table readable.
                std::fflush(stdout);
                const int saved_stdout = dup(1);
                const int null_fd = open("/dev/null", O_WRONLY);
                dup2(null_fd, 1);
                close(null_fd);
                model.gps_max_time_difference(60);
                model.gps_set_pos_changed(fixed);
                if (c.mode == 4)
                    model.gps_track_changed(track);
                model.gps_sync_order_changed(c.mode);
                const auto reload = [&] {
                    model.clear();
                    for (const QString& path : paths)
                        model.add_cached_file(path, true);
                };
                const timing sort_ms = time_ms(rounds, reload, [&] { model.sort(1, Qt::AscendingOrder); });
                const timing build_ms = time_ms(
                    rounds, [] {}, [&] { model.build_cache(); });
                const quint64 sum = checksum(model);
                // BENCH_MODEL_DUMP=<file> writes every row of the first case,
                // for comparing two builds row by row.
                static bool dumped = false;
                if (!dumped && !qEnvironmentVariableIsEmpty("BENCH_MODEL_DUMP")) {
                    dumped = true;
                    QFile dump(qEnvironmentVariable("BENCH_MODEL_DUMP"));
                    if (dump.open(QIODevice::WriteOnly)) {
                        for (int row = 0; row < model.rowCount(); ++row) {
                            QStringList cells;
                            for (int col = 0; col < 3; ++col)
                                cells << model.data(model.index(row, col)).toString();
                            cells << model.data(model.index(row, 1), Qt::UserRole)
                                         .toDateTime()
                                         .toString(Qt::ISODate);
                            dump.write(cells.join('\t').toUtf8() + '\n');
                        }
                    }
                }
                std::cout.flush();
                std::fflush(stdout);
                dup2(saved_stdout, 1);
                close(saved_stdout);
                std::printf("%8d  %-28s %5d %9.2f %9.2f %9.2f %9.2f  %016llx\n", count, c.name, rounds,
                    build_ms.median, build_ms.best, sort_ms.median, sort_ms.best,
                    static_cast<unsigned long long>(sum));
                std::fflush(stdout);
            }
        }
    }
    return 0;
}
