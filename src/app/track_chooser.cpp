#include "app/track_chooser.h"

#include "geo/gps_track.h"
#include "geo/track_file.h"
#include "toolkit/qt/message_box.h"

#include <QFileInfo>
#include <QObject>

namespace {

void warn(QWidget* parent, const QString& text)
{
    kal::message_box::warning(parent, QObject::tr("Erro"), text, QMessageBox::Ok, QMessageBox::NoButton);
}

} // namespace

bool is_track_file(const QString& path)
{
    return QFileInfo(path).isFile() && track_file::detect(path) != track_format::unknown;
}

std::optional<chosen_tracks> choose_tracks(QWidget* parent, const QStringList& files)
{
    QList<track_data> tracks;
    QStringList origins;
    QStringList doubts;
    for (const QString& file : files) {
        const track_file read(file);
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
    if (tracks.size() == 1) {
        chosen = { tracks, tracks.first().name.isEmpty() ? origins.first() : tracks.first().name };
    } else {
        // All of them first, and chosen unless the user picks one.
        int all_points = 0;
        QStringList entries;
        for (int i = 0; i < tracks.size(); ++i) {
            const QString name = files.size() > 1 ? QStringLiteral("%1 – %2").arg(origins[i], tracks[i].name) : tracks[i].name;
            entries << QObject::tr("%1 (%2 Points)").arg(name).arg(tracks[i].points.size());
            all_points += tracks[i].points.size();
        }
        entries.prepend(QObject::tr("All tracks (%1 Points)").arg(all_points));
        bool ok = false;
        const QString entry = kal::input_dialog::get_item(parent, QObject::tr("Select track"),
            QObject::tr("There are several tracks. All of them are used unless you pick one."), entries, 0, false, &ok);
        const int index = ok ? entries.indexOf(entry) : -1;
        if (index < 0)
            return std::nullopt;
        if (index == 0)
            chosen = { tracks, QObject::tr("All tracks") };
        else
            chosen = { { tracks.at(index - 1) }, tracks.at(index - 1).name };
    }

    // Points the table cannot use are named once, with what is left of them.
    const gps_track usable(chosen.tracks);
    if (usable.empty() || usable.left_out() > 0) {
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
