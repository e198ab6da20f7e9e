#include "app/write_runs.h"

#include "app/progress.h"
#include "dialogs/dialog_undo_history.h"
#include "toolkit/counted.h"
#include "toolkit/qt/message_box.h"
#include "toolkit/qt/widgets.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLocale>
#include <QMenu>
#include <QSettings>
#include <QProgressDialog>

#include <algorithm>
#include <optional>
#include <utility>

write_runs::write_runs(photo_jobs& jobs, kal::button* undo_button, QProgressDialog* progress,
    std::function<QString()> datetime_format, QWidget* window)
    : QObject(window)
    , jobs(jobs)
    , undo_button(undo_button)
    , progress(progress)
    , datetime_format(std::move(datetime_format))
    , window(window)
{
    // A journal left by an earlier run can still be undone.
    update_undo_button();
    undo_button->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(undo_button, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
        QMenu menu(this->window);
        menu.addAction(tr("Undo history…"), this, &write_runs::show_history);
        menu.exec(this->undo_button->mapToGlobal(at));
    });
}

void write_runs::sync(const std::vector<photo_jobs::planned_write>& plan)
{
    start_progress(int(plan.size()) * 3);
    finish_writing(
        jobs.sync(plan, [this](int done, int total) { step(done, total); }), tr("writing the GPS positions"));
}

void write_runs::remove_gps(const std::vector<photo_facts>& photos)
{
    start_progress(int(photos.size()) * 3);
    finish_writing(jobs.remove_gps(photos, options(), [this](int done, int total) { step(done, total); }),
        tr("removing their GPS data"));
}

photo_jobs::write_options write_runs::options()
{
    // The user has agreed to every overwrite by the time this is asked.
    photo_jobs::write_options options;
    options.policy = photo_jobs::overwrite_policy::overwrite;
    const QSettings settings;
    options.sidecars = settings.value("raw_positions_in_sidecars", false).toBool();
    options.naming = settings.value("sidecar_naming").toString() == QLatin1String("NAME.xmp")
        ? sidecar_naming::without_extension
        : sidecar_naming::with_extension;
    options.place_names = settings.value("write_place_names", false).toBool();
    options.replace_place_names = options.place_names && settings.value("replace_place_names", false).toBool();
    return options;
}

void write_runs::undo_last()
{
    const std::vector<undo_journal::run_info> runs = jobs.journal().runs();
    if (runs.empty()) {
        update_undo_button();
        return;
    }
    // A run this window did not write may be old news to the user: say what it takes back.
    undo_run(runs.front().id, runs.front().id != last_run_written);
}

void write_runs::start_progress(int total)
{
    undo_button->setEnabled(false);
    progress->setRange(0, std::max(1, total));
    progress->setValue(0);
    QCoreApplication::processEvents();
}

void write_runs::step(int done, int total)
{
    progress->setMaximum(total);
    step_progress(progress, done);
}

void write_runs::finish_writing(const photo_jobs::result& result, const QString& what)
{
    progress->reset();
    last_run_written = result.run;
    update_undo_button();
    Q_EMIT written(result);
    report_failed_writes(result, what);
}

void write_runs::report_failed_writes(const photo_jobs::result& result, const QString& what)
{
    if (!result.stopped.isEmpty())
        kal::message_box::warning(
            window, tr("Writing stopped"), result.stopped, QMessageBox::Ok, QMessageBox::NoButton);
    if (!result.damaged.isEmpty())
        kal::message_box::warning(window, tr("Undo data damaged"),
            tr("Undo data for %1 are damaged and could not be restored. They were moved aside, not "
               "deleted:\n\n%2")
                .arg(counted(result.damaged_photos, tr("1 photo"), tr("%1 photos")),
                    result.damaged.join('\n')),
            QMessageBox::Ok, QMessageBox::NoButton);
    const std::size_t count = result.failed.size() + result.unverified.size() + result.changed_since.size();
    if (count == 0)
        return;
    QStringList names;
    QStringList details;
    const auto list = [&](const std::vector<photo_jobs::failure>& failures) {
        for (const photo_jobs::failure& f : failures) {
            if (names.size() < 10)
                names << QFileInfo(f.path).fileName() + QStringLiteral(": ") + f.reason;
            details << QDir::toNativeSeparators(f.path) + QStringLiteral(": ") + f.reason;
        }
    };
    list(result.failed);
    list(result.unverified);
    list(result.changed_since);
    if (count > 10)
        names << tr("and %1 more").arg(count - 10);
    QString text = tr("%1 of the files could not be changed as meant while %2:\n\n%3")
                       .arg(count)
                       .arg(what, names.join('\n'));
    if (!result.unverified.empty())
        text += QStringLiteral("\n\n")
            + tr("%1 written, but reading back did not show what was meant; this can be undone.")
                  .arg(counted(int(result.unverified.size()), tr("1 photo was"), tr("%1 photos were")));
    kal::message_box box(QMessageBox::Warning, tr("Files not changed"), text, QMessageBox::NoButton, window);
    kal::message_box::initMessageBox(box, QMessageBox::Ok, QMessageBox::NoButton);
    box.setDetailedText(details.join('\n'));
    box.exec();
}

QString write_runs::run_title(const undo_journal::run_info& info) const
{
    const QDateTime when = info.started.toLocalTime();
    const QString time = when.date() == QDate::currentDate() ? when.toString(QStringLiteral("hh:mm"))
                                                             : when.toString(datetime_format());
    if (info.operation == QLatin1String("removal"))
        return tr("GPS data removed from %1 %2")
            .arg(counted(info.photos, tr("1 photo"), tr("%1 photos")), time);
    if (info.operation == QLatin1String("sync"))
        return tr("%1 written %2").arg(counted(info.photos, tr("1 position"), tr("%1 positions")), time);
    return tr("%1 written %2").arg(counted(info.photos, tr("1 photo"), tr("%1 photos")), time);
}

void write_runs::update_undo_button()
{
    const std::vector<undo_journal::run_info> runs = jobs.journal().runs();
    undo_button->setEnabled(!runs.empty());
    undo_button->setToolTip(runs.empty()
            ? tr("Nothing to undo")
            : tr("Undo: %1\nRight click or Ctrl+Shift+Z for older runs").arg(run_title(runs.front())));
}

void write_runs::undo_run(const QString& id, bool confirm)
{
    const std::optional<undo_journal::run> run = jobs.journal().load(id);
    if (!run) {
        update_undo_button();
        return;
    }
    const int later = jobs.journal().written_later(id).size();
    QString question;
    if (confirm)
        question = tr("Undo %1? Changes made to these photos since then by other programs are kept; "
                      "you will be asked about them.")
                       .arg(run_title(run->info));
    if (later > 0)
        question += (question.isEmpty() ? QString() : QStringLiteral("\n\n"))
            + tr("%1 written again by a later run; undo leaves them as they are unless you restore them "
                 "anyway.")
                  .arg(counted(later, tr("1 photo of this run was"), tr("%1 photos of this run were")));
    if (!question.isEmpty()
        && kal::message_box::question(
               window, tr("Undo"), question, QMessageBox::Yes | QMessageBox::No, QMessageBox::NoButton)
            != QMessageBox::Yes)
        return;

    const auto advance = [this](int done, int total) { step(done, total); };
    start_progress(1);
    photo_jobs::undo_request request;
    request.run = id;
    photo_jobs::result result = jobs.undo(request, advance);
    progress->reset();

    if (!result.changed_since.empty()) {
        QStringList names;
        for (const photo_jobs::failure& f : result.changed_since)
            names << QDir::toNativeSeparators(f.path) + QStringLiteral(": ") + f.reason;
        kal::message_box box(QMessageBox::Question, tr("Changed since"),
            tr("%1 changed after Vestra wrote them, by another program or by a later run of Vestra. "
               "Restoring them would take back that change too.")
                .arg(counted(int(result.changed_since.size()), tr("1 photo was"), tr("%1 photos were"))),
            QMessageBox::NoButton, window);
        kal::message_box::initMessageBox(box, QMessageBox::Yes | QMessageBox::No, QMessageBox::No);
        box.button(QMessageBox::Yes)->setText(tr("Restore anyway"));
        box.button(QMessageBox::No)->setText(tr("Leave them"));
        box.setDetailedText(names.join('\n'));
        if (box.exec() == QMessageBox::Yes) {
            request.force = true;
            for (const photo_jobs::failure& f : result.changed_since)
                request.only.insert(f.path);
            start_progress(1);
            const photo_jobs::result forced = jobs.undo(request, advance);
            progress->reset();
            result.changed_since = forced.changed_since;
            result.written += forced.written;
            result.failed.insert(result.failed.end(), forced.failed.begin(), forced.failed.end());
            if (!forced.stopped.isEmpty())
                result.stopped = forced.stopped;
        } else {
            result.changed_since.clear();
        }
    }
    update_undo_button();
    Q_EMIT written(result);
    report_failed_writes(result, tr("undoing %1").arg(run_title(run->info)));
}

void write_runs::show_history()
{
    std::vector<dialog_undo_history::run_row> rows;
    qint64 bytes = 0;
    for (const undo_journal::run_info& info : jobs.journal().runs()) {
        bytes += info.bytes;
        dialog_undo_history::run_row row;
        row.id = info.id;
        row.when = info.started.toLocalTime().toString(datetime_format());
        row.what = info.operation == QLatin1String("removal")
            ? tr("GPS data removed from %1").arg(counted(info.photos, tr("1 photo"), tr("%1 photos")))
            : tr("%1 written").arg(counted(info.photos, tr("1 position"), tr("%1 positions")));
        row.folders = info.folders.join(QStringLiteral(", "));
        const int later = jobs.journal().written_later(info.id).size();
        if (later > 0)
            row.warning = tr("%1 written again later").arg(counted(later, tr("1 photo"), tr("%1 photos")));
        rows.push_back(row);
    }
    const QString note = tr("Undo data: %1 in %2. The newest %3 runs are always kept; older ones go once all "
                            "take more than %4 MB.")
                             .arg(QLocale::system().formattedDataSize(bytes))
                             .arg(QDir::toNativeSeparators(jobs.journal().folder()))
                             .arg(undo_journal::runs_always_kept)
                             .arg(undo_journal::size_limit / (1024 * 1024));
    dialog_undo_history dialog(rows, note, window);
    dialog.exec();
    const QString id = dialog.chosen_run();
    if (dialog.chosen() == dialog_undo_history::choice::undo) {
        undo_run(id, false);
    } else if (dialog.chosen() == dialog_undo_history::choice::discard) {
        if (kal::message_box::question(window, tr("Discard undo data"),
                tr("Discard the undo data of this run? Its photos keep what they hold now, and the run can "
                   "no longer be undone."),
                QMessageBox::Yes | QMessageBox::No, QMessageBox::No)
            != QMessageBox::Yes)
            return;
        QString error;
        if (!jobs.discard(id, &error))
            kal::message_box::warning(window, tr("Undo data"), error, QMessageBox::Ok, QMessageBox::NoButton);
        update_undo_button();
    }
}
