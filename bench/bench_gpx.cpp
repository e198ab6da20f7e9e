// Times reading a long GPS track, a day of one point a second for twelve
// days, and matching a few photo times against it; prints the wall time and
// the peak memory of the process. Goal: under 3 s and 300 MB.
//   bench_gpx [points]   (default 1000000)

#include "geo/gps_track.h"
#include "geo/gpx_parser.h"

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

// CPU time of the process in ms, user and system; next to the wall time it
// shows how much of that went to waiting for a core on a shared machine.
double cpu_ms()
{
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e3
        + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e3;
}

// The process's peak resident memory in MB, or -1 where /proc is missing.
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

// Written a line at a time, indented as loggers write it, so that writing
// adds nothing to the peak memory measured.
bool write_track(const QString& path, int count, qint64 start_msecs)
{
    std::FILE* out = std::fopen(QFile::encodeName(path).constData(), "w");
    if (!out)
        return false;
    std::fputs("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<gpx version=\"1.1\" creator=\"bench\" "
               "xmlns=\"http://www.topografix.com/GPX/1/1\">\n  <trk>\n    <name>Long</name>\n",
        out);
    for (int i = 0; i < count; ++i) {
        if (i % 100000 == 0)
            std::fputs(i == 0 ? "    <trkseg>\n" : "    </trkseg>\n    <trkseg>\n", out);
        const QByteArray time = QDateTime::fromMSecsSinceEpoch(start_msecs + qint64(i) * 1000, Qt::UTC)
                                    .toString(Qt::ISODate)
                                    .toLatin1();
        std::fprintf(out,
            "      <trkpt lat=\"%.7f\" lon=\"%.7f\">\n        <ele>%.1f</ele>\n        <time>%s</time>\n"
            "      </trkpt>\n",
            47.2 + 0.2 * std::sin(i / 50000.0), 11.4 + 0.3 * std::cos(i / 70000.0),
            600 + 100 * std::sin(i / 3000.0), time.constData());
    }
    std::fputs("    </trkseg>\n  </trk>\n</gpx>\n", out);
    return std::fclose(out) == 0;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int count = argc > 1 ? std::max(1, QByteArray(argv[1]).toInt()) : 1000000;

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("long.gpx"));
    const qint64 start = QDateTime(QDate(2019, 5, 1), QTime(6, 0), Qt::UTC).toMSecsSinceEpoch();
    if (!dir.isValid() || !write_track(path, count, start)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        return 1;
    }
    const double before_mb = peak_mb();

    const double cpu_before = cpu_ms();
    QElapsedTimer clock;
    clock.start();
    const gpx_parser parser(path);
    const qint64 read_ms = clock.elapsed();
    const gps_track track(parser.tracks);
    int matched = 0;
    for (int photo = 0; photo < 10; ++photo) {
        const qint64 at = start + qint64(count) * 1000 * photo / 10 + 500;
        matched += track.match(at, 60000).how != track_match::kind::none ? 1 : 0;
    }
    const qint64 total_ms = clock.elapsed();
    const double total_cpu_ms = cpu_ms() - cpu_before;

    std::printf("%d points, %.0f MB of GPX: read %lld ms, track and matching %lld ms; total %lld ms wall, "
                "%.0f ms CPU (goal < 3000)\n",
        count, QFileInfo(path).size() / 1e6, read_ms, total_ms - read_ms, total_ms, total_cpu_ms);
    std::printf("peak memory %.0f MB (goal < 300), %.0f MB before reading; %d of 10 photos matched\n",
        peak_mb(), before_mb, matched);
    if (!parser.error.isEmpty() || int(track.points().size()) != count || matched != 10) {
        std::fprintf(stderr, "unexpected result: %s\n", qPrintable(parser.describe(path)));
        return 1;
    }
    return 0;
}
