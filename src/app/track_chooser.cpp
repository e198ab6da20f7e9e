#include "app/track_chooser.h"

#include "geo/gps_track.h"
#include "toolkit/qt/message_box.h"

#include <QFileInfo>
#include <QObject>

namespace {

void warn(QWidget* parent, const QString& text)
{
    kal::message_box::warning(parent, QObject::tr("Erro"), text, QMessageBox::Ok, QMessageBox::NoButton);
}

} // namespace

std::optional<chosen_tracks> choose_tracks(QWidget* parent, const QString& file)
{
    const gpx_parser parser(file);
    const QString file_name = QFileInfo(file).fileName();
    if (!parser.error.isEmpty()) {
        warn(parent, parser.describe(file_name));
        return std::nullopt;
    }
    if (parser.tracks.isEmpty()) {
        warn(parent,
            QObject::tr(
                "It looks like there are no tracks in the selected gpx file. Please select a different "
                "one."));
        return std::nullopt;
    }
    chosen_tracks chosen;
    if (parser.tracks.size() == 1) {
        chosen = { parser.tracks, parser.tracks.first().name };
    } else {
        QStringList entries;
        int all_points = 0;
        for (const track_data& track : parser.tracks) {
            entries << QObject::tr("%1 (%2 Points)").arg(track.name).arg(track.points.size());
            all_points += track.points.size();
        }
        entries << QObject::tr("All tracks (%1 Points)").arg(all_points);
        bool ok = false;
        const QString entry = kal::input_dialog::get_item(parent, QObject::tr("Select track"),
            QObject::tr("There are multiple tracks inside the selected gpx file. Please select one."),
            entries, 0, false, &ok);
        const int index = ok ? entries.indexOf(entry) : -1;
        if (index < 0)
            return std::nullopt;
        if (index == parser.tracks.size())
            chosen = { parser.tracks, QObject::tr("All tracks") };
        else
            chosen = { { parser.tracks.at(index) }, parser.tracks.at(index).name };
    }

    // Points the table cannot use are named once, with what is left of them.
    const gps_track usable(chosen.tracks);
    if (usable.empty() || usable.left_out() > 0) {
        QString text = parser.describe(file_name);
        if (text.isEmpty())
            text = QObject::tr("The GPX file \"%1\" holds points that cannot be used.").arg(file_name);
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
