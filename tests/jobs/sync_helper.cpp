// sync_helper JOURNAL_FOLDER LAT LON FILE...: writes the position into every
// file through the jobs unit, printing "done N" after each step.

#include "jobs/photo_jobs.h"

#include <QCoreApplication>

#include <cstdio>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 5)
        return 2;
    const double lat = args[2].toDouble();
    const double lon = args[3].toDouble();
    std::vector<photo_jobs::planned_write> plan;
    for (const QString& path : args.mid(4)) {
        photo_jobs::planned_write write;
        write.path = path;
        write.tags = { { "GPSLatitude#", args[2].toStdString() }, { "GPSLatitudeRef", lat < 0 ? "S" : "N" },
            { "GPSLongitude#", args[3].toStdString() }, { "GPSLongitudeRef", lon < 0 ? "W" : "E" } };
        write.position = std::pair { lat, lon };
        plan.push_back(write);
    }
    photo_jobs jobs(kal::_exiftool2::instance(), args[1]);
    const photo_jobs::result result = jobs.sync(plan, [](int done, int) {
        std::printf("done %d\n", done);
        std::fflush(stdout);
    });
    return result.failed.empty() ? 0 : 1;
}
