#pragma once

#include <QDateTime>
#include <QList>
#include <QString>

// One track point; coordinates stay the text of the file.
struct gps_data {
    QString latitude;
    QString longitude;
    QDateTime time;
};

struct track_data {
    QString name;
    QList<gps_data> points;
};

// Reads the tracks of a GPX file on construction. An empty list means the
// file could not be opened or parsed, or holds no track. Diagnostics go to
// standard output.
class gpx_parser {
public:
    explicit gpx_parser(const QString& path);

    QList<track_data> tracks;
};
