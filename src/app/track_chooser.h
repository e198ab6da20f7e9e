#pragma once

#include "geo/gpx_parser.h"

#include <QList>
#include <QString>

#include <optional>

class QWidget;

// The tracks of a GPX file picked for the photos, and the name they are shown by.
struct chosen_tracks {
    QList<track_data> tracks;
    QString name;
};

// Reads the file, asks which track when it holds several, and warns about
// points that cannot be used; nothing when the file is refused or the user
// cancels.
std::optional<chosen_tracks> choose_tracks(QWidget* parent, const QString& file);
