// Writing positions into many photos: the window's sync loop (confirmations
// answered, progress dialog running) against one plain exiftool process that
// writes the same tags into the same files, one -execute per file. The bridge
// alone, without the window's loop around it, shows where the difference lies.
//
//   bench_sync [photo count] [image width] [rounds]

#include "app/mainwindow.h"
#include "exif/exiftool.h"
#include "geo/gps_pos.h"

#include "bench_picture.h"

#include <QAbstractButton>
#include <QAbstractItemModel>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QLineEdit>
#include <QMessageBox>
#include <QProcess>
#include <QProgressDialog>
#include <QRandomGenerator>
#include <QSettings>
#include <QTableView>
#include <QTemporaryDir>
#include <QTextStream>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <map>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace {

QTextStream out(stdout);

using tag_map = std::map<std::string, std::string>;


bool run_exiftool_argfile(const QString& argfile, const QStringList& lines)
{
    QFile file(argfile);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    file.write(lines.join('\n').toUtf8() + '\n');
    file.close();
    QProcess process;
    process.start(QStringLiteral("exiftool"), { QStringLiteral("-@"), argfile });
    if (!process.waitForFinished(-1))
        return false;
    return process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

// Clicks the button with the given text in every message box that appears.
class box_answerer : public QObject {
public:
    explicit box_answerer(QString answer)
        : answer(std::move(answer))
    {
        timer.setInterval(5);
        connect(&timer, &QTimer::timeout, this, [this] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box || !box->isVisible())
                return;
            for (QAbstractButton* button : box->buttons()) {
                if (button->text().remove('&') == this->answer) {
                    button->click();
                    return;
                }
            }
            box->reject();
        });
        timer.start();
    }

private:
    QString answer;
    QTimer timer;
};

struct photo_set {
    QString originals;
    QString work;
    QStringList paths;

    // Every run starts from the same bytes.
    bool restore() const
    {
        for (const QString& path : paths) {
            const QString name = QFileInfo(path).fileName();
            QFile::remove(path);
            if (!QFile::copy(originals + '/' + name, path))
                return false;
        }
        return true;
    }
};

// What the window will write, taken from the table as the sync loop takes it.
std::vector<std::pair<QString, tag_map>> planned_writes(QAbstractItemModel* table, bool clear_others)
{
    std::vector<std::pair<QString, tag_map>> writes;
    for (int row = 0; row < table->rowCount(); ++row) {
        const QString path = table->data(table->index(row, 0), Qt::UserRole).toString();
        const QVariant proposal = table->data(table->index(row, 2), Qt::UserRole);
        if (!proposal.isValid())
            continue;
        const tag_map tags = MainWindow::position_tags(proposal.value<gps_pos>(), clear_others);
        writes.emplace_back(path, tags);
    }
    return writes;
}

QStringList one_process_arguments(const std::vector<std::pair<QString, tag_map>>& writes)
{
    QStringList lines;
    for (const auto& [path, tags] : writes) {
        lines << QStringLiteral("-overwrite_original_in_place") << QStringLiteral("-m");
        for (const auto& [name, value] : tags)
            lines << QStringLiteral("-%1=%2").arg(
                QString::fromStdString(name), QString::fromStdString(value));
        lines << path << QStringLiteral("-execute");
    }
    return lines;
}

double seconds(const QElapsedTimer& timer)
{
    return double(timer.nsecsElapsed()) / 1e9;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("Kaltrin"));
    QCoreApplication::setApplicationName(QStringLiteral("Vestra"));
    // Keeps the window's settings away from the user's own.
    QTemporaryDir settings_dir;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settings_dir.path());

    const QStringList args = QCoreApplication::arguments();
    const int count = args.size() > 1 ? args[1].toInt() : 500;
    const int width = args.size() > 2 ? args[2].toInt() : 640;
    const int rounds = args.size() > 3 ? args[3].toInt() : 3;
    if (count <= 0 || width <= 0 || rounds <= 0) {
        std::fprintf(stderr, "usage: bench_sync [photo count] [image width] [rounds]\n");
        return 2;
    }

    QTemporaryDir dir;
    photo_set photos;
    photos.originals = dir.filePath(QStringLiteral("originals"));
    photos.work = dir.filePath(QStringLiteral("Fotos März"));
    QDir().mkpath(photos.originals);
    QDir().mkpath(photos.work);

    // Every tenth photo carries a position of its own, one minute apart.
    QStringList tagging { QStringLiteral("-q"), QStringLiteral("-m"), QStringLiteral("-overwrite_original") };
    const QImage picture = make_picture(width, width * 3 / 4, 7);
    for (int i = 0; i < count; ++i) {
        const QString name = QStringLiteral("Bild %1.jpg").arg(i, 4, 10, QChar('0'));
        const QString original = photos.originals + '/' + name;
        if (!picture.save(original, "JPEG", 90)) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(original));
            return 1;
        }
        photos.paths << photos.work + '/' + name;
        tagging << QStringLiteral("-DateTimeOriginal=2019:05:01 %1:%2:00")
                       .arg(10 + i / 60, 2, 10, QChar('0'))
                       .arg(i % 60, 2, 10, QChar('0'));
        if (i % 10 == 0) {
            tagging << QStringLiteral("-GPSLatitude=%1").arg(48.1 + i * 0.0001, 0, 'f', 6)
                    << QStringLiteral("-GPSLatitudeRef=N")
                    << QStringLiteral("-GPSLongitude=%1").arg(11.5 + i * 0.0001, 0, 'f', 6)
                    << QStringLiteral("-GPSLongitudeRef=E") << QStringLiteral("-GPSAltitude=520")
                    << QStringLiteral("-GPSAltitudeRef=0");
        }
        tagging << original << QStringLiteral("-execute");
    }
    if (!run_exiftool_argfile(dir.filePath(QStringLiteral("tag.args")), tagging)) {
        std::fprintf(stderr, "exiftool could not tag the photos\n");
        return 1;
    }

    MainWindow window;
    window.show();
    auto* table = window.findChild<QTableView*>(QStringLiteral("table_view"))->model();
    auto* sync = window.findChild<QAbstractButton*>(QStringLiteral("button_sync"));
    const qint64 file_size = QFileInfo(photos.originals + QStringLiteral("/Bild 0001.jpg")).size();
    out << count << " JPEG photos of " << width << " px width, about " << file_size / 1024 << " KiB each\n";

    struct mode_case {
        const char* name;
        const char* radio;
        bool clear_others;
    };
    const mode_case cases[] = {
        { "mode 2 (closest)", "radio_gps_use_closest", false },
        { "mode 3 (typed position)", "radio_gps_set", true },
    };
    auto* progress = window.findChild<QProgressDialog*>(QStringLiteral("progress_sync"));
    std::shared_ptr<kal::_exiftool2> exiftool = kal::_exiftool2::instance();

    int status = 0;
    for (const mode_case& c : cases) {
        std::vector<double> window_times, bridge_times, one_process_times;
        std::vector<std::pair<QString, tag_map>> writes;
        double undo_info_time = 0;
        for (int round = 0; round < rounds; ++round) {
            if (!photos.restore())
                return 1;
            window.on_button_reset_clicked();
            window.load_files(photos.paths);
            window.findChild<QAbstractButton*>(QString::fromLatin1(c.radio))->click();
            window.findChild<QLineEdit*>(QStringLiteral("lineedit_lat"))->setText(QStringLiteral("-33.8568"));
            window.findChild<QLineEdit*>(QStringLiteral("lineedit_lon"))->setText(QStringLiteral("151.2153"));
            writes = planned_writes(table, c.clear_others);

            QElapsedTimer timer;
            timer.start();
            for (const auto& write : writes)
                window.create_undo_info(write.first);
            undo_info_time = seconds(timer);

            // The window, both confirmations answered with "Continue".
            {
                box_answerer answerer(QStringLiteral("Continue"));
                timer.start();
                sync->click();
                window_times.push_back(seconds(timer));
            }
            if (table->rowCount() != 0) {
                std::fprintf(stderr, "the sync did not run\n");
                status = 1;
            }

            // The bridge alone, the same writes in the same order.
            if (!photos.restore())
                return 1;
            int failed = 0;
            timer.start();
            for (const auto& [path, tags] : writes)
                failed += exiftool->write_exif_data(path, tags) ? 0 : 1;
            bridge_times.push_back(seconds(timer));

            // One exiftool process, its start-up included.
            if (!photos.restore())
                return 1;
            const QStringList lines = one_process_arguments(writes);
            timer.start();
            const bool ok = run_exiftool_argfile(dir.filePath(QStringLiteral("write.args")), lines);
            one_process_times.push_back(seconds(timer));
            if (!ok || failed) {
                std::fprintf(stderr, "writes failed (bridge: %d)\n", failed);
                status = 1;
            }
        }

        // The progress dialog's share: one step per file, timed alone. The
        // pause stands for the write, so that repaints come due as in the loop.
        const auto pause = std::chrono::microseconds(qint64(median(bridge_times) * 1e6 / writes.size()));
        QElapsedTimer timer;
        double progress_time = 0;
        progress->setRange(0, int(writes.size()));
        progress->setValue(0);
        for (int i = 0; i < int(writes.size()); ++i) {
            std::this_thread::sleep_for(pause);
            timer.start();
            progress->setValue(i + 1);
            QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents, 50);
            progress_time += seconds(timer);
        }

        const int files = int(writes.size());
        const double window_time = median(window_times);
        const double bridge_time = median(bridge_times);
        const double one_process_time = median(one_process_times);
        const auto line = [files](const char* what, double time) {
            return QStringLiteral("  %1 %2 s  %3 files/s\n")
                .arg(QString::fromLatin1(what), -20)
                .arg(time, 7, 'f', 2)
                .arg(files / time, 7, 'f', 1);
        };
        out << "\n" << c.name << ": " << files << " files written; median of " << rounds << " rounds\n";
        out << line("window sync loop", window_time) << line("bridge alone", bridge_time)
            << line("one exiftool run", one_process_time);
        out << QStringLiteral("  window / one process: %1 (goal 0.70); bridge / one process: %2\n")
                   .arg(one_process_time / window_time, 0, 'f', 2)
                   .arg(one_process_time / bridge_time, 0, 'f', 2);
        out << QStringLiteral("  per file: window loop %1 ms, bridge %2 ms, one process %3 ms;\n"
                              "    of the window's extra: progress step %4 ms, undo record %5 ms\n")
                   .arg(window_time * 1000.0 / files, 0, 'f', 2)
                   .arg(bridge_time * 1000.0 / files, 0, 'f', 2)
                   .arg(one_process_time * 1000.0 / files, 0, 'f', 2)
                   .arg(progress_time * 1000.0 / files, 0, 'f', 2)
                   .arg(undo_info_time * 1000.0 / files, 0, 'f', 2);
        out.flush();
    }
    return status;
}
