#pragma once

#include "geo/gpx_parser.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

class QWidget;

// The tracks picked for the photos, and the name they are shown by.
struct chosen_tracks {
    QList<track_data> tracks;
    QString name;
};

// Reads the track files (every kind track_file knows), warns about a file
// that cannot be read and about points that cannot be used, and asks which
// track when there are several, all of them offered first; nothing when no
// file gives a track or the user cancels.
std::optional<chosen_tracks> choose_tracks(QWidget* parent, const QStringList& files);

// Whether a file given directly (dropped, or named on the command line) is a
// track rather than a photo.
bool is_track_file(const QString& path);
