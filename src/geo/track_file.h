#pragma once

#include "geo/gpx_parser.h"
#include "geo/location_history.h"

#include <QList>
#include <QString>
#include <QStringList>

enum class track_format { unknown, gpx, kml, kmz, tcx, fit, nmea, igc, geojson, csv, location_history };

struct track_file_options {
    // Points of a location history less accurate than this many metres are
    // left out.
    double accuracy_limit = location_history::default_accuracy_limit;
    // The converter that reads KML, KMZ, TCX, FIT, NMEA, IGC and CSV, by
    // name or path, and how long it may take for one file.
    QString converter = QStringLiteral("gpsbabel");
    int converter_timeout_msecs = 60000;
};

// Reads a track file of any kind known here into tracks. GPX, GeoJSON and a
// phone's location history are read directly, as streams; the rest is turned
// into GPX by gpsbabel, run as a child, and read from that.
class track_file {
public:
    explicit track_file(const QString& path, const track_file_options& options = {});

    // The kind of the file from its first bytes, else from its extension.
    static track_format detect(const QString& path);
    // "GPX", "FIT", "location history" and so on.
    static QString format_name(track_format format);
    // Whether reading the kind needs the converter.
    static bool needs_converter(track_format format);
    // Name filters for a file dialog, every kind read.
    static QStringList name_filters();

    // One message for the user naming the file, or empty when the file was
    // read without doubts.
    QString describe(const QString& file_name) const;

    track_format format = track_format::unknown;
    QList<track_data> tracks;
    // Set when the file cannot be read; tracks are empty then.
    QString error;
    // One line per kind of doubtful content.
    QStringList problems;
    // Location history points left out for their accuracy.
    int inaccurate = 0;
};
