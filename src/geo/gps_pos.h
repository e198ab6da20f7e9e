#pragma once

#include "toolkit/string.h"

#include <QDateTime>
#include <QMetaType>
#include <QString>

#include <optional>
#include <utility>

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

struct coordinate_reading {
    float value = 0.0f;
    QString numerical_text;
};

// Reads degrees, minutes and seconds such as 48°30'0"N. The degree sign may be
// UTF-8 (C2 B0) or a single Latin-1 byte B0, so text from either kind of
// locale reads alike. Unreadable text gives 0 or a partial value.
float parse_lat_or_lon_str(ktk::string text);

// Reads one typed coordinate (spaces already removed): plain decimal with a
// point, then decimal in the user's locale, then degrees-minutes-seconds.
coordinate_reading parse_coordinate_text(const QString& text);

// Display text such as 48°30'0" and the hemisphere letter of one coordinate.
std::pair<QString, QString> format_dms(
    float value, const QString& positive_letter, const QString& negative_letter);

gps_pos make_gps_pos(float lat, const QString& lat_text, float lon, const QString& lon_text);

// The position typed as latitude and longitude (spaces already removed), or
// nothing when either lies out of range.
std::optional<gps_pos> typed_position(const QString& lat_text, const QString& lon_text);
