// The whole load of a large folder through the window, from the start of the
// process to the table filled, against one `exiftool -args -f -sort` run over
// the same folder.
//
//   bench_load [photo count]

#include "app/mainwindow.h"

#include "bench_picture.h"

#include <QAbstractItemModel>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QSettings>
#include <QTableView>
#include <QTemporaryDir>

#include <cstdio>

int main(int argc, char** argv)
{
    QElapsedTimer since_start;
    since_start.start();
    QApplication app(argc, argv);
    const double app_ms = since_start.nsecsElapsed() / 1e6;
    QCoreApplication::setOrganizationName(QStringLiteral("Kaltrin"));
    QCoreApplication::setApplicationName(QStringLiteral("Vestra"));
    QTemporaryDir settings_dir;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settings_dir.path());
    const int count = argc > 1 ? std::atoi(argv[1]) : 5000;

    // Preparing the photos is not timed: one tagged photo, copied.
    QElapsedTimer prepare;
    prepare.start();
    QTemporaryDir dir;
    const QString folder = dir.filePath(QStringLiteral("Fotos"));
    QDir().mkpath(folder);
    const QString first = folder + QStringLiteral("/IMG_00000.jpg");
    make_picture(640, 480, 7).save(first, "JPEG", 90);
    QProcess::execute(QStringLiteral("exiftool"),
        { "-q", "-overwrite_original", "-Make=Kestrel", "-Model=K-7", "-LensModel=KX 24-70mm", "-FNumber=2.8",
            "-ExposureTime=1/250", "-ISO=400", "-FocalLength=35", "-DateTimeOriginal=2019:05:01 10:00:00",
            "-Artist=Jane Doe", "-XMP-dc:Title=Harbour", "-IPTC:Keywords=harbour", first });
    for (int i = 1; i < count; ++i)
        QFile::copy(first, folder + QStringLiteral("/IMG_%1.jpg").arg(i, 5, 10, QLatin1Char('0')));
    const double prepare_ms = prepare.nsecsElapsed() / 1e6;

    QElapsedTimer timer;
    timer.start();
    QProcess batch;
    batch.start(QStringLiteral("exiftool"), { "-args", "-f", "-sort", folder });
    batch.waitForFinished(-1);
    const double batch_s = timer.nsecsElapsed() / 1e9;

    timer.restart();
    MainWindow window;
    window.show();
    window.load_files({ folder });
    const int rows = window.findChild<QTableView*>(QStringLiteral("table_view"))->model()->rowCount();
    // The process start is counted as the time QApplication took here.
    const double window_s = (timer.nsecsElapsed() / 1e6 + app_ms) / 1e3;

    std::printf("%d photos (prepared in %.1f s, not counted)\n", count, prepare_ms / 1e3);
    std::printf("  window load, start to table filled  %7.2f s  %7.1f photos/s  (%d rows)\n", window_s,
        count / window_s, rows);
    std::printf("  one exiftool -args -f -sort run     %7.2f s  %7.1f photos/s\n", batch_s, count / batch_s);
    std::printf("  window / one process: %.2f\n", batch_s / window_s);
    return rows == count ? 0 : 1;
}
