#pragma once

#include "exif/exif_cache.h"
#include "model/table_data_model.h"

#include <QByteArray>
#include <QDateTime>
#include <QFile>
#include <QString>
#include <QTemporaryFile>


// The model with the seam that lists a photo whose metadata the test has
// put into exif_cache itself.
class probe_model : public table_data_model {
public:
    using table_data_model::add_cached_file;
};

inline ktk::string utf8_key(const QString& path)
{
    return ktk::string(path.toUtf8().toStdString());
}

inline void clear_metadata()
{
    exif_cache::instance()->derived_info.clear();
    exif_cache::instance()->raw_tags.clear();
}

inline std::string two_digits(int value)
{
    return (value < 10 ? "0" : "") + std::to_string(value);
}

// Puts a photo's derived values into exif_cache as the cache itself would.
// An invalid time leaves out the recording keys; an empty `lat` means the
// photo has no GPS position of its own.
inline void put_photo(
    const QString& path, const QDateTime& time, const QString& lat = {}, const QString& lon = {})
{
    auto& entry = exif_cache::instance()->derived_info[utf8_key(path)];
    entry.clear();
    entry["has_data"] = "true";
    if (time.isValid()) {
        entry["rec_source"] = "camera";
        entry["rec_year"] = std::to_string(time.date().year());
        entry["rec_month"] = two_digits(time.date().month());
        entry["rec_day"] = two_digits(time.date().day());
        entry["rec_hour"] = two_digits(time.time().hour());
        entry["rec_minute"] = two_digits(time.time().minute());
        entry["rec_second"] = two_digits(time.time().second());
    }
    for (const char* key :
        { "has_gps_position", "gps_lat", "gps_lat_ref", "gps_lon", "gps_lon_ref", "gps_numerical" })
        entry[key] = "";
    if (lat.isEmpty())
        return;
    entry["has_gps_position"] = "true";
    entry["gps_lat"] = lat.toStdString();
    entry["gps_lat_ref"] = lat.startsWith('-') ? "S" : "N";
    entry["gps_lon"] = lon.toStdString();
    entry["gps_lon_ref"] = lon.startsWith('-') ? "W" : "E";
    entry["gps_numerical"] = (lat + QStringLiteral(", ") + lon).toStdString();
}

