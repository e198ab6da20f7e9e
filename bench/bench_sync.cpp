// Writing positions into many photos: the window's sync (confirmations
// answered, progress dialog running), the jobs unit's verified and journaled
// sync with one child and with the whole pool, and the bridge's plain writes
// without verification or journal, each against one plain exiftool process
// that writes the same tags into the same files, one -execute per file.
//
//   bench_sync [photo count] [image width] [rounds]

#include "app/mainwindow.h"
#include "exif/exiftool.h"
#include "geo/gps_pos.h"
#include "jobs/photo_jobs.h"
#include "model/table_data_model.h"

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
#include <QLabel>
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
    };
    const mode_case cases[] = {
        { "mode 2 (closest)", "radio_gps_use_closest" },
        { "mode 3 (typed position)", "radio_gps_set" },
    };
    const int pool = kal::_exiftool2::pool_size();
    auto one_child = std::make_shared<kal::_exiftool2>(1);
    auto all_children = std::make_shared<kal::_exiftool2>(pool);
    const QString journal = dir.filePath(QStringLiteral("journal"));

    int status = 0;
    for (const mode_case& c : cases) {
        std::map<QString, std::vector<double>> times;
        std::vector<std::pair<QString, tag_map>> writes;
        for (int round = 0; round < rounds; ++round) {
            if (!photos.restore())
                return 1;
            window.on_button_reset_clicked();
            window.load_files(photos.paths);
            window.findChild<QAbstractButton*>(QString::fromLatin1(c.radio))->click();
            window.findChild<QLineEdit*>(QStringLiteral("lineedit_lat"))->setText(QStringLiteral("-33.8568"));
            window.findChild<QLineEdit*>(QStringLiteral("lineedit_lon"))->setText(QStringLiteral("151.2153"));
            const auto* model = dynamic_cast<table_data_model*>(table);
            const auto plan = photo_jobs::plan(
                model->photos(), model->results(), model->settings(), { photo_jobs::overwrite_policy::overwrite });
            writes.clear();
            for (const auto& p : plan)
                writes.emplace_back(p.path, p.tags);

            QElapsedTimer timer;
            {
                box_answerer answerer(QStringLiteral("Continue"));
                window.findChild<QLabel*>(QStringLiteral("label_summary"))->clear();
                timer.start();
                sync->click();
                times["window sync"].push_back(seconds(timer));
            }
            // The summary line under the table tells every photo was written.
            const QString summary = window.findChild<QLabel*>(QStringLiteral("label_summary"))->text();
            if (!summary.contains(QStringLiteral(": %1 positions written").arg(plan.size()))) {
                std::fprintf(stderr, "the sync did not run\n");
                status = 1;
            }

            for (const auto& [name, bridge] : { std::pair { "verified, 1 child", one_child },
                     std::pair { "verified, pool", all_children } }) {
                if (!photos.restore())
                    return 1;
                photo_jobs jobs(bridge, journal);
                timer.start();
                const photo_jobs::result result = jobs.sync(plan);
                times[name].push_back(seconds(timer));
                if (!result.failed.empty()) {
                    std::fprintf(stderr, "%s: %d writes failed\n", name, int(result.failed.size()));
                    status = 1;
                }
            }

            if (!photos.restore())
                return 1;
            int failed = 0;
            timer.start();
            one_child->write_many(writes, [&failed](int, const kal::write_result& r) { failed += r.ok ? 0 : 1; });
            times["plain, 1 child"].push_back(seconds(timer));

            if (!photos.restore())
                return 1;
            const QStringList lines = one_process_arguments(writes);
            timer.start();
            const bool ok = run_exiftool_argfile(dir.filePath(QStringLiteral("write.args")), lines);
            times["one exiftool run"].push_back(seconds(timer));
            if (!ok || failed) {
                std::fprintf(stderr, "writes failed (plain: %d)\n", failed);
                status = 1;
            }
        }

        const int files = int(writes.size());
        const double one_process = median(times["one exiftool run"]);
        out << "\n" << c.name << ": " << files << " files written; median of " << rounds << " rounds; pool of "
            << pool << " children\n";
        for (const char* name :
            { "window sync", "verified, 1 child", "verified, pool", "plain, 1 child", "one exiftool run" }) {
            const double time = median(times[name]);
            out << QStringLiteral("  %1 %2 s  %3 files/s  %4 of one process\n")
                       .arg(QString::fromLatin1(name), -20)
                       .arg(time, 7, 'f', 2)
                       .arg(files / time, 7, 'f', 1)
                       .arg(one_process / time, 5, 'f', 2);
        }
        out.flush();
    }
    return status;
}
