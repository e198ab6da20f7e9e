#pragma once

#include "jobs/photo_jobs.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>
#include <vector>

class QProgressDialog;
class QWidget;

namespace kal {
class button;
} // namespace kal

// Writes into the photos and takes runs back, behind the progress dialog,
// and names the photos a run could not change as meant. The undo button
// always tells what it would take back.
class write_runs : public QObject {
    Q_OBJECT

public:
    write_runs(photo_jobs& jobs, kal::button* undo_button, QProgressDialog* progress,
        std::function<QString()> datetime_format, QWidget* window);

    void sync(const std::vector<photo_jobs::planned_write>& plan);
    void remove_gps(const std::vector<photo_facts>& photos);
    // How positions are written, as the settings say.
    static photo_jobs::write_options options();
    // A run this window did not write is confirmed first.
    void undo_last();
    // Lists the runs that can be undone, to take back or discard one.
    void show_history();

Q_SIGNALS:
    // A sync, removal or undo ended; what went wrong is reported after.
    void written(const photo_jobs::result& result);

private:
    QString run_title(const undo_journal::run_info& info) const;
    void update_undo_button();
    // Undoes one run, asking first when `confirm`, and offers to restore
    // photos changed since anyway.
    void undo_run(const QString& id, bool confirm);
    void start_progress(int total);
    void step(int done, int total);
    void finish_writing(const photo_jobs::result& result, const QString& what);
    void report_failed_writes(const photo_jobs::result& result, const QString& what);

    photo_jobs& jobs;
    kal::button* undo_button;
    QProgressDialog* progress;
    std::function<QString()> datetime_format;
    QWidget* window;
    // The run this window wrote last; any other is confirmed before undo.
    QString last_run_written;
};
