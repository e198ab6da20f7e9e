// Times the track units on large inputs and prints wall and CPU time:
//  - matching 10,000 photo times against 1,000,000 track points (goal < 200 ms),
//  - the clock offset search over ±14 h, 1,000 photos against 100,000 points (goal < 1 s),
//  - reading a phone's location history of many records as a stream, with the
//    peak memory of the process.
//   bench_tracks [history records]   (default 500000)

#include "geo/gps_track.h"
#include "geo/location_history.h"
#include "geo/offset_search.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <cmath>
#include <cstdio>

#include <sys/resource.h>

namespace {

double cpu_ms()
{
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e3
        + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e3;
}

double peak_mb()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').first().toDouble() / 1024.0;
    }
    return -1;
}

// The same numbers on every run.
struct lcg {
    quint64 state = 88172645463325252ull;
    quint64 next()
    {
        state = state * 6364136223846793005ull + 1442695040888963407ull;
        return state >> 33;
    }
};

const qint64 start = QDateTime(QDate(2019, 5, 1), QTime(6, 0), Qt::UTC).toMSecsSinceEpoch();

// Walks of `per_walk` points `step` ms apart with breaks of one to three
// times `break_msecs` between them.
QList<track_data> walks(int points, int per_walk, qint64 step, qint64 break_msecs)
{
    QList<track_data> tracks;
    track_data track;
    qint64 at = start;
    lcg random;
    for (int i = 0; i < points; ++i) {
        if (i > 0 && i % per_walk == 0)
            at += break_msecs + qint64(random.next() % quint64(2 * break_msecs));
        gps_data point;
        point.latitude = 47.2 + 0.2 * std::sin(i / 50000.0);
        point.longitude = 11.4 + 0.3 * std::cos(i / 70000.0);
        point.elevation = 600 + 100 * std::sin(i / 3000.0);
        point.msecs = at;
        point.segment = i / per_walk;
        track.points << point;
        at += step;
    }
    tracks << track;
    return tracks;
}

int bench_matching()
{
    const QList<track_data> tracks = walks(1000000, 20000, 1000, 3600 * 1000);
    QElapsedTimer clock;
    clock.start();
    const gps_track track(tracks);
    const qint64 build_ms = clock.elapsed();
    const qint64 span = track.points().back().msecs - start;
    lcg random;
    std::vector<qint64> photos(10000);
    for (qint64& photo : photos)
        photo = start + qint64(random.next() % quint64(span));

    int matched = 0;
    const double cpu = cpu_ms();
    clock.restart();
    for (const qint64 photo : photos)
        matched += track.match(photo, match_options()).how != track_match::kind::none ? 1 : 0;
    const qint64 match_ms = clock.elapsed();
    const double match_cpu = cpu_ms() - cpu;

    match_options with_course;
    with_course.with_course = true;
    clock.restart();
    for (const qint64 photo : photos)
        track.match(photo, with_course);
    const qint64 course_ms = clock.elapsed();

    std::printf("matching: 10000 photos against 1000000 points in %lld ms wall, %.0f ms CPU (goal < 200); "
                "with course and speed %lld ms; building the track %lld ms; %d matched\n",
        match_ms, match_cpu, course_ms, build_ms, matched);
    return matched > 0 ? 0 : 1;
}

int bench_offset_search()
{
    // A point every 5 s, walks of an hour with two to six between them.
    const gps_track track(walks(100000, 720, 5000, 2 * 3600 * 1000));
    lcg random;
    std::vector<qint64> photos;
    const std::vector<track_point>& points = track.points();
    for (int i = 0; i < 1000; ++i) {
        // True times on the track, read two hours early by the camera.
        const qint64 at = points[std::size_t(random.next() % points.size())].msecs;
        photos.push_back(at - 2 * 3600 * 1000);
    }
    const double cpu = cpu_ms();
    QElapsedTimer clock;
    clock.start();
    const offset_suggestion found = search_clock_offset(photos, track, match_options());
    const qint64 ms = clock.elapsed();
    std::printf("offset search: 1000 photos against 100000 points over ±14 h in %lld ms wall, %.0f ms CPU "
                "(goal < 1000); found %lld s (%s)%s, %d photos placed instead of %d\n",
        ms, cpu_ms() - cpu, found.offset_secs, qPrintable(found.offset_text),
        found.ambiguous ? ", ambiguous" : "", found.placed_with_offset, found.placed_now);
    return found.clearly_better && found.offset_secs == -7200 ? 0 : 1;
}

bool write_history(const QString& path, int count)
{
    std::FILE* out = std::fopen(QFile::encodeName(path).constData(), "w");
    if (!out)
        return false;
    std::fputs("{\n  \"locations\": [", out);
    for (int i = 0; i < count; ++i) {
        std::fprintf(out,
            "%s{\n    \"latitudeE7\": %d,\n    \"longitudeE7\": %d,\n    \"accuracy\": %d,\n"
            "    \"source\": \"WIFI\",\n    \"timestamp\": \"%s\"\n  }",
            i == 0 ? "" : ", ", int(472000000 + 2000000 * std::sin(i / 5000.0)),
            int(114000000 + 3000000 * std::cos(i / 7000.0)), 5 + i % 300,
            QDateTime::fromMSecsSinceEpoch(start + qint64(i) * 60000, Qt::UTC)
                .toString(Qt::ISODateWithMs)
                .toLatin1()
                .constData());
    }
    std::fputs("]\n}\n", out);
    return std::fclose(out) == 0;
}

int bench_history(int count)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Records.json"));
    if (!dir.isValid() || !write_history(path, count))
        return 1;
    const double before_mb = peak_mb();
    const double cpu = cpu_ms();
    QElapsedTimer clock;
    clock.start();
    const location_history history(path);
    const qint64 ms = clock.elapsed();
    const double mb = QFileInfo(path).size() / 1e6;
    std::printf("location history: %d records, %.0f MB, read in %lld ms wall, %.0f ms CPU (%.0f MB/s); "
                "%d left out as inaccurate; peak memory %.0f MB, %.0f MB before reading\n",
        count, mb, ms, cpu_ms() - cpu, mb / (ms / 1000.0 + 1e-9), history.inaccurate, peak_mb(), before_mb);
    return history.error.isEmpty() ? 0 : 1;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int records = argc > 1 ? std::max(1, QByteArray(argv[1]).toInt()) : 500000;
    // First, so that the peak memory is its own.
    int status = bench_history(records);
    status |= bench_matching();
    status |= bench_offset_search();
    return status;
}
