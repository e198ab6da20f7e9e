#pragma once

#include <QDateTime>
#include <QMetaType>
#include <QString>

#include <optional>

// One position in the texts in which it is shown and written into photos.
// All six texts empty means "no position".
struct gps_pos {
    QString lat;
    QString lat_ref;
    QString lon;
    QString lon_ref;
    QString lat_numerical;
    QString lon_numerical;
    // Only positions taken from a GPS track carry these: the height in
    // metres (signed, empty when unknown) and the true UTC time of the photo.
    QString altitude;
    QDateTime utc_time;

    bool operator==(const gps_pos& other) const;
    bool operator!=(const gps_pos& other) const { return !(*this == other); }
};

Q_DECLARE_METATYPE(gps_pos)

// Registers gps_pos under the name "gps_pos" for QVariant and queued
// connections; cheap after the first call, safe from any thread.
void register_gps_pos_meta_type();

// The texts of a position given in degrees, south and west negative: the
// numerical texts say the same double, the display texts are D°M'S".
gps_pos make_gps_pos(double lat, double lon);

// The position typed into the latitude and the longitude field, or nothing
// when either cannot be read for certain (see parse_coordinate).
std::optional<gps_pos> typed_position(const QString& lat_text, const QString& lon_text);
