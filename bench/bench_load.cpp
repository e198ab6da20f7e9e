// The whole load of a large folder through the window, from the start of the
// process to the table filled, against one `exiftool -args -f -sort` run over
// the same folder; then a folder of mixed kinds (JPEG, HEIC, raw files with
// sidecars, files that are no photos) against as many JPEGs.
//
//   bench_load [photo count] [mixed count]

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
#include <QTimer>
#include <QDialog>

#include <algorithm>
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

    // Mixed kinds: the same number of files, a tenth of them no photos.
    const int mixed = argc > 2 ? std::atoi(argv[2]) : std::min(count, 1000);
    const QString jpegs = dir.filePath(QStringLiteral("JPEG"));
    const QString kinds = dir.filePath(QStringLiteral("Mixed"));
    QDir().mkpath(jpegs);
    QDir().mkpath(kinds);
    const QString heic = dir.filePath(QStringLiteral("one.heic"));
    const QString raw = dir.filePath(QStringLiteral("one.dng"));
    make_picture(640, 480, 7).save(dir.filePath(QStringLiteral("one.png")), "PNG");
    QProcess::execute(QStringLiteral("heif-enc"), { "-q", "90", "-o", heic, dir.filePath(QStringLiteral("one.png")) });
    make_picture(640, 480, 7).save(dir.filePath(QStringLiteral("one.tif")), "TIFF");
    QFile::rename(dir.filePath(QStringLiteral("one.tif")), raw);
    QProcess::execute(QStringLiteral("exiftool"),
        { "-q", "-overwrite_original", "-DateTimeOriginal=2019:05:01 10:00:00", heic, raw });
    int photos_mixed = 0;
    for (int i = 0; i < mixed; ++i) {
        QFile::copy(first, jpegs + QStringLiteral("/IMG_%1.jpg").arg(i, 5, 10, QLatin1Char('0')));
        const QString name = kinds + QStringLiteral("/IMG_%1").arg(i, 5, 10, QLatin1Char('0'));
        switch (i % 10) {
        case 0:
            QFile::copy(heic, name + QStringLiteral(".heic"));
            ++photos_mixed;
            break;
        case 1:
            QFile::copy(raw, name + QStringLiteral(".dng"));
            QFile(name + QStringLiteral(".dng.xmp")).open(QIODevice::WriteOnly);
            ++photos_mixed;
            break;
        case 2: {
            QFile text(name + QStringLiteral(".txt"));
            if (text.open(QIODevice::WriteOnly))
                text.write("notes\n");
            break;
        }
        default:
            QFile::copy(first, name + QStringLiteral(".jpg"));
            ++photos_mixed;
        }
    }
    // The box naming the files not loaded is closed as it comes.
    QTimer closer;
    QObject::connect(&closer, &QTimer::timeout, [] {
        if (auto* box = qobject_cast<QDialog*>(QApplication::activeModalWidget()))
            box->accept();
    });
    closer.start(50);
    const auto load_folder = [](const QString& path, int* loaded) {
        MainWindow fresh;
        fresh.show();
        QElapsedTimer clock;
        clock.start();
        fresh.load_files({ path });
        *loaded = fresh.findChild<QTableView*>(QStringLiteral("table_view"))->model()->rowCount();
        return clock.nsecsElapsed() / 1e9;
    };
    int jpeg_rows = 0;
    int mixed_rows = 0;
    const double jpeg_s = load_folder(jpegs, &jpeg_rows);
    const double mixed_s = load_folder(kinds, &mixed_rows);
    std::printf("%d files of mixed kinds (%d photos, the rest no photos or sidecars)\n", mixed, mixed_rows);
    std::printf("  %d JPEGs                        %7.2f s\n", jpeg_rows, jpeg_s);
    std::printf("  mixed kinds                     %7.2f s  (%.2f of the JPEGs' time)\n", mixed_s, mixed_s / jpeg_s);
    return rows == count && mixed_rows == photos_mixed ? 0 : 1;
}
