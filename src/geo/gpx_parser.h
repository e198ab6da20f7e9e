#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <QVector>

#include <limits>

// One track point as the file gives it, NaN where a number is missing or
// unreadable; gps_track decides which points can be used.
struct gps_data {
    static constexpr qint64 no_time = std::numeric_limits<qint64>::min();

    double latitude = std::numeric_limits<double>::quiet_NaN();
    double longitude = std::numeric_limits<double>::quiet_NaN();
    // Metres; NaN when missing, unreadable or beyond max_elevation.
    double elevation = std::numeric_limits<double>::quiet_NaN();
    qint64 msecs = no_time; // UTC, since the epoch
    int track = 0; // index among the file's tracks
    int segment = 0; // index of the trkseg within its track

    bool has_time() const { return msecs != no_time; }

    // Higher or deeper than anything a logger can have been.
    static constexpr double max_elevation = 100000;
};
// Plain numbers: a million of them grow by memcpy.
Q_DECLARE_TYPEINFO(gps_data, Q_PRIMITIVE_TYPE);

struct track_data {
    QString name;
    QVector<gps_data> points;
};

// Reads the tracks of a GPX file on construction, as a stream, so that
// memory grows with the points rather than with the document. Element
// names are matched by their local part, so GPX 1.0, 1.1 and prefixed
// namespaces all read. Files that declare entities are refused.
class gpx_parser {
public:
    explicit gpx_parser(const QString& path);

    // One message for the user naming the file, or empty when the file was
    // read without doubts.
    QString describe(const QString& file_name) const;

    QList<track_data> tracks;
    // Set when the file cannot be opened, is not well-formed XML or
    // declares entities; tracks and problems are empty then.
    QString error;
    // One line per kind of doubtful content; the points stay in tracks.
    QStringList problems;
};
