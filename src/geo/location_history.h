#pragma once

#include "geo/gpx_parser.h"

#include <QList>
#include <QString>
#include <QStringList>

// A phone's location history as one track: Google Takeout's Records.json
// ("locations") and the timeline exports ("semanticSegments" with their
// paths, visits and raw signals, or a plain list of such segments). Read as
// a stream, so that files of hundreds of MB cost memory for their points only.
class location_history {
public:
    static constexpr double default_accuracy_limit = 200;

    // Points whose stated accuracy is worse than accuracy_limit metres are
    // left out and counted.
    explicit location_history(const QString& path, double accuracy_limit = default_accuracy_limit);

    QList<track_data> tracks;
    // Set when the file cannot be opened, is not JSON or holds no location
    // history; tracks are empty then.
    QString error;
    // One line per kind of point left out.
    QStringList problems;
    int inaccurate = 0;
};
