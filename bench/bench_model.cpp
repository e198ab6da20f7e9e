// Times the assignment engine and the photo table over large folders: the
// engine's rebuild in every mode, and the table taking a shuffled folder in
// (sort and rebuild).
//
//   bench_model [photos ...] [--reps N]
//
// Prints one row per folder size and case. The checksum covers every cell
// the table shows, so two builds can be compared for identical results.

#include "engine/assignment.h"
#include "model/table_data_model.h"

#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <random>
#include <set>
#include <vector>

namespace {

// Photos over a few months of days, each a few seconds to minutes after the
// last; one in ten carries a position of its own when `with_gps`.
std::vector<photo_facts> make_photos(int count, bool with_gps, std::mt19937& random)
{
    std::uniform_int_distribution<int> step(2, 300);
    std::uniform_int_distribution<int> tenth(0, 9);
    std::uniform_real_distribution<double> jitter(-0.2, 0.2);
    std::vector<photo_facts> photos;
    QDateTime at(QDate(2019, 3, 1), QTime(8, 0));
    for (int i = 0; i < count; ++i) {
        at = at.addSecs(step(random));
        if (at.time().hour() >= 20)
            at = QDateTime(at.date().addDays(1), QTime(8, 0));
        photo_facts p;
        p.path = QStringLiteral("/home/user/Pictures/2019/trip/IMG_%1.JPG").arg(i, 6, 10, QLatin1Char('0'));
        p.taken = at;
        p.time_from = time_source::camera;
        if (with_gps && tenth(random) == 0)
            p.own = lat_lon { 48.1 + jitter(random), 11.5 + jitter(random) };
        photos.push_back(p);
    }
    std::shuffle(photos.begin(), photos.end(), random);
    return photos;
}

quint64 fnv(quint64 hash, const QString& text)
{
    for (const char c : text.toUtf8()) {
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

// A track of `count` points every 45 s from the first photo on, in a few
// segments, wandering around the photos' area.
gps_track make_track(int count)
{
    track_data track;
    track.name = QStringLiteral("Logger");
    track.points.reserve(count);
    const QDateTime start(QDate(2019, 3, 1), QTime(6, 0), Qt::UTC);
    for (int i = 0; i < count; ++i) {
        gps_data point;
        point.latitude = 48.1 + 0.3 * std::sin(i / 5000.0);
        point.longitude = 11.5 + 0.3 * std::cos(i / 7000.0);
        point.elevation = 500 + (i % 300);
        point.msecs = start.addSecs(qint64(i) * 45).toMSecsSinceEpoch();
        point.segment = i / 20000;
        track.points.append(point);
    }
    return gps_track({ track });
}

struct bench_case {
    const char* name;
    sync_mode mode;
    bool with_gps;
};

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // A zone with daylight saving, so recording times straddle its changes.
    if (qEnvironmentVariableIsEmpty("TZ") && QFile::exists(QStringLiteral("/usr/share/zoneinfo/Europe/Berlin")))
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
        { "previous", sync_mode::previous, true },
        { "next", sync_mode::next, true },
        { "closest", sync_mode::closest, true },
        { "typed position", sync_mode::typed, true },
        { "closest, no photo with GPS", sync_mode::closest, false },
        { "track, 100000 points", sync_mode::track, false },
    };
    const gps_track track = make_track(100000);

    std::printf("time zone %s, time limit 60 min; times in ms, median and best of the repetitions;\n"
                "'engine' is one assignment of all photos, 'table' a shuffled folder taken into the table\n",
        qgetenv("TZ").isEmpty() ? "(system)" : qgetenv("TZ").constData());
    std::printf("%8s  %-28s %5s %9s %9s %9s %9s  %s\n", "photos", "case", "reps", "engine", "engine", "table",
        "table", "checksum");
    std::printf("%8s  %-28s %5s %9s %9s %9s %9s\n", "", "", "", "median", "best", "median", "best");
    std::fflush(stdout);
    for (const int count : sizes) {
        const int rounds = reps > 0 ? reps : std::max(1, std::min(21, 100000 / count));
        for (const bool with_gps : { true, false }) {
            std::mt19937 random(20190501u + unsigned(count));
            const std::vector<photo_facts> photos = make_photos(count, with_gps, random);
            for (const bench_case& c : cases) {
                if (c.with_gps != with_gps)
                    continue;
                assignment_settings settings;
                settings.mode = c.mode;
                settings.time_limit_secs = 60 * 60;
                settings.typed = lat_lon { 48.5, 11.5 };
                if (c.mode == sync_mode::track)
                    settings.track = track;
                const timing engine_ms = time_ms(
                    rounds, [] {}, [&] { assign(photos, settings); });
                table_data_model model;
                model.set_mode(c.mode);
                model.set_time_limit_secs(settings.time_limit_secs);
                model.set_typed_position(settings.typed);
                model.set_track(settings.track);
                const timing table_ms
                    = time_ms(rounds, [&] { model.clear(); }, [&] { model.add_photos(photos); });
                std::printf("%8d  %-28s %5d %9.2f %9.2f %9.2f %9.2f  %016llx\n", count, c.name, rounds,
                    engine_ms.median, engine_ms.best, table_ms.median, table_ms.best,
                    static_cast<unsigned long long>(checksum(model)));
                std::fflush(stdout);
            }
        }
    }
    return 0;
}
