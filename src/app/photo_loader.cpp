#include "app/photo_loader.h"

#include "app/progress.h"
#include "app/track_chooser.h"
#include "exif/exif_cache.h"
#include "exif/exiftool.h"
#include "jobs/photo_jobs.h"
#include "model/table_data_model.h"
#include "toolkit/counted.h"
#include "toolkit/qt/message_box.h"

#include <QDir>
#include <QFileInfo>
#include <QProgressDialog>
#include <QSettings>

#include <utility>

photo_loader::photo_loader(
    photo_jobs& jobs, table_data_model& table, QProgressDialog* progress, QWidget* window)
    : jobs(jobs)
    , table(table)
    , progress(progress)
    , window(window)
{
}

void photo_loader::load(QStringList paths)
{
    if (loading) {
        queued_files += paths;
        return;
    }
    loading = true;
    exif_cache::instance()->video_times_local = QSettings().value(QStringLiteral("video_times_local"), false).toBool();
    bool read_any = false;
    std::vector<path_listing::skipped> passed_over;
    do {
        const path_listing listing = list_paths(paths);
        passed_over.insert(passed_over.end(), listing.passed_over.begin(), listing.passed_over.end());
        const QStringList& files = listing.files;
        progress->setRange(0, files.size());
        progress->setValue(0);
        QCoreApplication::processEvents();

        const int before = table.rowCount();
        table.add_photos(jobs.load(
            files, [this](int done, int) { step_progress(progress, done); },
            [this](const QString& path) { return table.contains(path); }, &passed_over));
        read_any = read_any || table.rowCount() > before;
        paths = std::exchange(queued_files, QStringList());
    } while (!paths.isEmpty());
    // With nothing to load the value never passes its start, and the dialog
    // would stay up.
    progress->reset();
    loading = false;
    // Without ExifTool every photo would look as if it had no data at all.
    if (read_any && !kal::_exiftool2::instance()->running())
        kal::message_box::warning(window, tr("ExifTool is not running"),
            tr("ExifTool, which reads and writes the photos' data, is not running. The "
               "photos just loaded show no recording time or GPS position of their own, "
               "and nothing can be written into them."),
            QMessageBox::Ok, QMessageBox::NoButton);
    report_passed_over(passed_over);
}

void photo_loader::report_passed_over(const std::vector<path_listing::skipped>& all_passed_over)
{
    // Track files are taken as tracks by the window.
    std::vector<path_listing::skipped> passed_over;
    std::copy_if(all_passed_over.begin(), all_passed_over.end(), std::back_inserter(passed_over),
        [](const path_listing::skipped& passed) { return !is_track_file(passed.name); });
    if (passed_over.empty())
        return;
    QStringList names;
    QStringList details;
    for (const path_listing::skipped& passed : passed_over) {
        const QString line = QStringLiteral("%1 (%2)").arg(QFileInfo(passed.name).fileName(), passed.reason);
        if (names.size() < 10)
            names << line;
        details << QDir::toNativeSeparators(passed.name) + QStringLiteral(": ") + passed.reason;
    }
    if (passed_over.size() > 10)
        names << tr("and %1 more").arg(passed_over.size() - 10);
    kal::message_box box(QMessageBox::Information, tr("Files not loaded"),
        tr("%1 not loaded:\n\n%2")
            .arg(counted(int(passed_over.size()), tr("1 file was"), tr("%1 files were")), names.join('\n')),
        QMessageBox::NoButton, window);
    kal::message_box::initMessageBox(box, QMessageBox::Ok, QMessageBox::NoButton);
    box.setDetailedText(details.join('\n'));
    box.exec();
}
