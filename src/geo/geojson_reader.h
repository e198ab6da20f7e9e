#pragma once

#include "geo/gpx_parser.h"

#include <QList>
#include <QString>
#include <QStringList>

// The lines and points of a GeoJSON file as tracks, read as a stream. A line
// (LineString, or MultiLineString with a segment per line) takes its times
// from properties.coordTimes or properties.coordinateProperties.times, one
// per position; points take theirs from properties.time, timestamp or when,
// and make one track together, in the file's order.
class geojson_reader {
public:
    explicit geojson_reader(const QString& path);

    QList<track_data> tracks;
    // Set when the file cannot be opened, is not JSON or holds no
    // GeoJSON; tracks are empty then.
    QString error;
    QStringList problems;
};
