// A folder tree of many small photos (a thousand to a folder), loaded by
// `vestra-tag -r --dry-run` and by the window: the time and the peak memory
// of each, at two sizes, so that growth per photo shows whether memory grows
// linearly.
//
//   bench_scale [photo counts...]      (default 10000 50000; 100000 for the full check)

#include "app/mainwindow.h"

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QSettings>
#include <QTableView>
#include <QTemporaryDir>
#include <QTimer>

#include <sys/resource.h>

#include <cstdio>
#include <vector>

namespace {

// The process's peak resident memory so far, in MB.
double peak_mb()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').front().toDouble() / 1024.0;
    }
    return 0;
}

QString vestra_tag()
{
    return QCoreApplication::applicationDirPath() + QStringLiteral("/vestra-tag");
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("Kaltrin"));
    QCoreApplication::setApplicationName(QStringLiteral("Vestra"));
    QTemporaryDir dir;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir.filePath(QStringLiteral("settings")));
    qputenv("XDG_DATA_HOME", dir.filePath(QStringLiteral("data")).toUtf8());
    qputenv("XDG_CONFIG_HOME", dir.filePath(QStringLiteral("config")).toUtf8());
    qputenv("VESTRA_OFFLINE", "1");

    std::vector<int> counts;
    for (int i = 1; i < argc; ++i) {
        if (std::atoi(argv[i]) > 0)
            counts.push_back(std::atoi(argv[i]));
    }
    if (counts.empty())
        counts = { 10000, 50000 };

    const QString first = dir.filePath(QStringLiteral("one.jpg"));
    QImage(64, 48, QImage::Format_RGB32).save(first, "JPEG", 80);
    QProcess::execute(QStringLiteral("exiftool"),
        { "-q", "-overwrite_original", "-Make=Kestrel", "-Model=K-7", "-DateTimeOriginal=2019:05:01 10:00:00", first });

    // The box naming files not loaded, if any, is closed as it comes.
    QTimer closer;
    QObject::connect(&closer, &QTimer::timeout, [] {
        if (auto* box = qobject_cast<QDialog*>(QApplication::activeModalWidget()))
            box->accept();
    });
    closer.start(50);

    int status = 0;
    int last_count = 0;
    double last_tool_mb = 0;
    double last_window_mb = 0;
    QStringList folders;
    int made = 0;
    for (const int count : counts) {
        const QString root = dir.filePath(QStringLiteral("Tree"));
        for (; made < count; ++made) {
            if (made % 1000 == 0) {
                folders << root + QStringLiteral("/%1").arg(made / 1000, 3, 10, QLatin1Char('0'));
                QDir().mkpath(folders.back());
            }
            QFile::copy(first, folders.back() + QStringLiteral("/IMG_%1.jpg").arg(made, 6, 10, QLatin1Char('0')));
        }

        QElapsedTimer clock;
        clock.start();
        QProcess tool;
        tool.setStandardOutputFile(QProcess::nullDevice());
        tool.start(vestra_tag(), { "-r", "--dry-run", "--position", "43.46, 11.88", root });
        tool.waitForFinished(-1);
        const double tool_s = clock.nsecsElapsed() / 1e9;
        // The largest of the children waited for so far: vestra-tag (its
        // exiftool children are far smaller).
        rusage children {};
        getrusage(RUSAGE_CHILDREN, &children);
        const double tool_mb = children.ru_maxrss / 1024.0;

        const double before_mb = peak_mb();
        clock.restart();
        int rows = 0;
        {
            MainWindow window;
            window.show();
            window.load_files(folders);
            rows = window.findChild<QTableView*>(QStringLiteral("table_view"))->model()->rowCount();
        }
        const double window_s = clock.nsecsElapsed() / 1e9;
        const double window_mb = peak_mb();

        std::printf("%d photos in %d folders\n", count, int(folders.size()));
        std::printf("  vestra-tag -r --dry-run   %7.1f s  peak %6.0f MB\n", tool_s, tool_mb);
        std::printf("  window load               %7.1f s  peak %6.0f MB  (%.0f MB before; %d rows)\n", window_s,
            window_mb, before_mb, rows);
        if (last_count > 0) {
            const double more = (count - last_count) / 1024.0;
            std::printf("  growth per photo since %d photos: vestra-tag %.1f KB, window %.1f KB\n", last_count,
                (tool_mb - last_tool_mb) / more, (window_mb - last_window_mb) / more);
        }
        last_count = count;
        last_tool_mb = tool_mb;
        last_window_mb = window_mb;
        std::fflush(stdout);
        if (tool.exitCode() != 0 || rows != count)
            status = 1;
    }
    return status;
}
