#pragma once

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

// One track point; coordinates and elevation stay the text of the file.
struct gps_data {
    QString latitude;
    QString longitude;
    QDateTime time;
    QString elevation;
    int track = 0; // index among the file's tracks
    int segment = 0; // index of the trkseg within its track
};

struct track_data {
    QString name;
    QList<gps_data> points;
};

// Reads the tracks of a GPX file on construction. Element names are matched
// by their local part, so GPX 1.0, 1.1 and prefixed namespaces all read.
// Diagnostics go to standard output.
class gpx_parser {
public:
    explicit gpx_parser(const QString& path);

    // One message for the user naming the file, or empty when the file was
    // read without doubts.
    QString describe(const QString& file_name) const;

    QList<track_data> tracks;
    // Set when the file cannot be opened or is not well-formed XML.
    QString error;
    // One line per kind of doubtful content; the points stay in tracks.
    QStringList problems;
};
