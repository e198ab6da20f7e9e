#include "app/track_chooser.h"

#include "geo/gps_track.h"
#include "geo/track_file.h"
#include "toolkit/qt/message_box.h"

#include <QDateTime>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QListWidget>
#include <QObject>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>

namespace {

void warn(QWidget* parent, const QString& text)
{
    kal::message_box::warning(parent, QObject::tr("Track file"), text, QMessageBox::Ok, QMessageBox::NoButton);
}

QString points_text(int count)
{
    return count == 1 ? QObject::tr("1 point") : QObject::tr("%1 points").arg(count);
}

// The list of tracks to pick from: all of them first and chosen; tracks
// without a usable point are listed greyed with the reason. The row picked,
// 0 for all, or -1 when cancelled.
int pick_track(QWidget* parent, const QStringList& names, const QList<gps_track>& usable, int all_points)
{
    QDialog dialog(parent);
    dialog.setObjectName(QStringLiteral("dialog_select_track"));
    dialog.setWindowTitle(QObject::tr("Select track"));
    dialog.setWindowFlags(dialog.windowFlags() & ~Qt::WindowContextHelpButtonHint);
    dialog.setStyleSheet(QStringLiteral(
        "QDialog{background-color:rgb(47,47,47);} QLabel{color:rgb(198,213,210);}"
        "QListWidget{background:rgb(38,38,38);color:rgb(198,213,210);border:1px solid rgb(99,99,99);"
        "selection-background-color:rgb(91,91,91);} QListWidget::item:disabled{color:rgb(110,110,110);}"
        "QPushButton{background:rgb(68,68,68);color:rgb(198,213,210);border:1px solid rgb(99,99,99);padding:3px 12px;}"));
    auto* list = new QListWidget;
    list->setObjectName(QStringLiteral("list_tracks"));
    list->addItem(QObject::tr("All tracks (%1)").arg(points_text(all_points)));
    for (int i = 0; i < names.size(); ++i) {
        const std::vector<track_point>& points = usable[i].points();
        QString text;
        if (points.empty()) {
            text = QObject::tr("%1: no points with a time, cannot be matched").arg(names[i]);
        } else {
            const QDateTime start = QDateTime::fromMSecsSinceEpoch(points.front().msecs, Qt::UTC);
            const QDateTime end = QDateTime::fromMSecsSinceEpoch(points.back().msecs, Qt::UTC);
            // The end's date only when it is another day.
            text = QObject::tr("%1 (%2, %3 to %4 UTC)")
                       .arg(names[i], points_text(int(points.size())), start.toString(QStringLiteral("yyyy-MM-dd hh:mm")),
                           end.toString(end.date() == start.date() ? QStringLiteral("hh:mm") : QStringLiteral("yyyy-MM-dd hh:mm")));
        }
        auto* item = new QListWidgetItem(text, list);
        if (points.empty())
            item->setFlags(item->flags() & ~(Qt::ItemIsEnabled | Qt::ItemIsSelectable));
    }
    list->setCurrentRow(0);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    buttons->button(QDialogButtonBox::Ok)->setText(QObject::tr("Use"));
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    QObject::connect(list, &QListWidget::itemDoubleClicked, &dialog, &QDialog::accept);
    auto* column = new QVBoxLayout(&dialog);
    column->addWidget(new QLabel(QObject::tr("There are several tracks. All of them are used unless you pick one.")));
    column->addWidget(list);
    column->addWidget(buttons);
    dialog.resize(560, 220);
    if (dialog.exec() != QDialog::Accepted || !list->currentItem() || !(list->currentItem()->flags() & Qt::ItemIsEnabled))
        return -1;
    return list->currentRow();
}

} // namespace

bool is_track_file(const QString& path)
{
    return QFileInfo(path).isFile() && track_file::detect(path) != track_format::unknown;
}

QStringList track_files_in(const QString& folder)
{
    // Only names a track file would have: telling kinds from the content reads each file.
    static const QStringList suffixes { "gpx", "kml", "kmz", "tcx", "fit", "nmea", "nma", "igc", "geojson", "json", "csv" };
    QStringList found;
    for (const QFileInfo& file : QDir(folder).entryInfoList(QDir::Files, QDir::Name)) {
        if (suffixes.contains(file.suffix().toLower()) && is_track_file(file.filePath()))
            found << file.absoluteFilePath();
    }
    return found;
}

std::optional<chosen_tracks> choose_tracks(QWidget* parent, const QStringList& files, const track_file_options& options)
{
    QList<track_data> tracks;
    QStringList origins;
    QStringList doubts;
    for (const QString& file : files) {
        const track_file read(file, options);
        const QString file_name = QFileInfo(file).fileName();
        if (!read.error.isEmpty()) {
            warn(parent, read.describe(file_name));
            continue;
        }
        if (read.tracks.isEmpty()) {
            warn(parent,
                QObject::tr("It looks like there are no tracks in the file \"%1\". Please select a different one.")
                    .arg(file_name));
            continue;
        }
        if (!read.problems.isEmpty())
            doubts << read.describe(file_name);
        for (const track_data& track : read.tracks) {
            tracks << track;
            origins << file_name;
        }
    }
    if (tracks.isEmpty())
        return std::nullopt;

    chosen_tracks chosen;
    // Tracks the chooser showed as unusable need no second word.
    bool listed_unusable = false;
    if (tracks.size() == 1) {
        chosen = { tracks, tracks.first().name.isEmpty() ? origins.first() : tracks.first().name, QString() };
    } else {
        // All of them first, and chosen unless the user picks one.
        int all_points = 0;
        QStringList names;
        QList<gps_track> usable;
        for (int i = 0; i < tracks.size(); ++i) {
            names << (files.size() > 1 ? QStringLiteral("%1 – %2").arg(origins[i], tracks[i].name) : tracks[i].name);
            usable << gps_track({ tracks[i] });
            all_points += int(usable.last().points().size());
        }
        listed_unusable = std::any_of(usable.begin(), usable.end(), [](const gps_track& t) { return t.empty(); });
        const int index = pick_track(parent, names, usable, all_points);
        if (index < 0)
            return std::nullopt;
        if (index == 0)
            chosen = { tracks, QObject::tr("All tracks"), QString() };
        else
            chosen = { { tracks.at(index - 1) }, tracks.at(index - 1).name, tracks.at(index - 1).name };
    }

    // Points the table cannot use are named once, with what is left of them.
    const gps_track usable(chosen.tracks);
    int left_out = usable.left_out();
    if (listed_unusable) {
        for (const track_data& track : chosen.tracks) {
            if (gps_track({ track }).empty())
                left_out -= track.points.size();
        }
    }
    if (usable.empty() || left_out > 0) {
        QString text = doubts.join(QStringLiteral("\n\n"));
        if (text.isEmpty())
            text = QObject::tr("The track holds points that cannot be used.");
        text += QStringLiteral("\n\n")
            + (usable.empty()
                    ? QObject::tr("None of the chosen points can be used; the track was not loaded.")
                    : QObject::tr("%1 of the chosen points are used; the others are left out.")
                          .arg(usable.points().size()));
        warn(parent, text);
        if (usable.empty())
            return std::nullopt;
    }
    return chosen;
}

std::optional<chosen_tracks> read_tracks(const QStringList& files, const QString& picked, const track_file_options& options)
{
    chosen_tracks all;
    for (const QString& file : files) {
        const track_file read(file, options);
        for (const track_data& track : read.tracks) {
            if (!picked.isEmpty() && track.name == picked)
                return chosen_tracks { { track }, picked, picked };
            all.tracks << track;
        }
    }
    if (gps_track(all.tracks).empty())
        return std::nullopt;
    all.name = all.tracks.size() == 1 && !all.tracks.first().name.isEmpty()
        ? all.tracks.first().name
        : files.size() == 1 && all.tracks.size() == 1 ? QFileInfo(files.first()).fileName() : QObject::tr("All tracks");
    return all;
}
