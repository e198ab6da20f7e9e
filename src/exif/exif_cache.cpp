#include "exif/exif_cache.h"

#include "exif/exif_log.h"
#include "exif/exiftool.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>

#include <charconv>
#include <cmath>
#include <optional>
#include <vector>

Q_LOGGING_CATEGORY(lc_exif_cache, "vestra.exif", QtCriticalMsg)

namespace {

// Copies the tag's value into value when the tag is there.
bool lookup(const exif_cache::tag_map& tags, const char* name, ktk::string& value)
{
    const auto it = tags.find(name);
    if (it == tags.end())
        return false;
    value = it->second;
    return true;
}

// What QFileInfo::created() gives: the birth time where the file system
// keeps one, else the last status change.
QDateTime file_created(const ktk::string& file)
{
    const QFileInfo info(QString::fromUtf8(file.c_str()));
    const QDateTime birth = info.birthTime();
    return birth.isValid() ? birth : info.metadataChangeTime();
}

// Six decimals with a decimal point whatever the process locale says: the
// text is written back into photos, and a decimal comma would not be read as
// a number there.
ktk::string fixed_six(double value)
{
    char text[400];
    const auto result = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, 6);
    return ktk::string(std::string(text, result.ptr));
}

ktk::string two_digits(int value)
{
    ktk::string text;
    if (value < 10)
        text += "0";
    text << value;
    return text;
}

std::vector<ktk::string> colon_fields(const ktk::string& text)
{
    return ktk::split(text, ":", 0, false, false);
}

// Exiftool's "48 deg 8' 12.34\" N" as signed decimal degrees and the
// hemisphere field; nothing when a field is missing.
std::optional<std::pair<double, ktk::string>> parse_coordinate(ktk::string piece, const char* positive)
{
    while (piece.starts_with(" "))
        piece.erase(0, 1);
    const std::vector<ktk::string> fields = ktk::split(piece, ' ');
    if (fields.size() < 5)
        return std::nullopt;
    const double degrees = fields[0].to_double(0.0);
    const double minutes = ktk::string(fields[2]).strip("'").to_double(0.0);
    const double seconds = ktk::string(fields[3]).strip("\"").to_double(0.0);
    const double value = ((degrees + 0.0) + minutes / 60.0) + seconds / 3600.0;
    const double sign = fields[4] == positive ? 1.0 : -1.0;
    return std::make_pair(value * sign, fields[4]);
}

} // namespace

std::shared_ptr<exif_cache> exif_cache::instance()
{
    static std::shared_ptr<exif_cache> _cache = std::make_shared<exif_cache>();
    return _cache;
}

void exif_cache::add(const ktk::string& file)
{
    add_many({ file });
}

void exif_cache::add_many(const std::vector<ktk::string>& files, const std::function<void(int)>& on_each,
    const std::shared_ptr<kal::_exiftool2>& bridge)
{
    QStringList paths;
    paths.reserve(int(files.size()));
    // Taken before the read: a file changed while it is read looks changed.
    std::vector<std::optional<file_stamp>> stamps;
    stamps.reserve(files.size());
    for (const ktk::string& file : files) {
        paths << QString::fromUtf8(file.c_str());
        stamps.push_back(file_stamp::telling(paths.back()));
    }
    (bridge ? bridge : kal::_exiftool2::instance())->read_many(paths, [&](int index, const kal::_exiftool2::photo_read& read) {
        store(files[std::size_t(index)], read.tags, read.failure);
        remember_gps(paths[index], stamps[std::size_t(index)], read.gps);
        if (on_each)
            on_each(index);
    });
}

std::optional<exif_cache::tag_map> exif_cache::gps_numbers(const QString& file) const
{
    const auto it = positions_read.find(file);
    if (it == positions_read.end())
        return std::nullopt;
    const std::optional<file_stamp> now = file_stamp::of(file);
    if (!now || !(*now == it->second.stamp))
        return std::nullopt;
    return it->second.numbers;
}

void exif_cache::remember_gps(
    const QString& file, const std::optional<file_stamp>& stamp, const std::optional<tag_map>& numbers)
{
    if (stamp && numbers)
        positions_read[file] = { *stamp, *numbers };
    else
        positions_read.erase(file);
}

void exif_cache::forget_derived(const std::vector<ktk::string>& files)
{
    for (const ktk::string& file : files)
        derived_info.erase(file);
}

void exif_cache::clear()
{
    derived_info.clear();
    positions_read.clear();
}

void exif_cache::store(const ktk::string& file, const tag_map& tags, const QString& failure)
{
    derived_map& info = derived_info[file];
    info["read_error"] = failure.toUtf8().toStdString();
    if (!failure.isEmpty()) {
        // Nothing is known of the photo: no time is made up for it.
        for (const char* key : { "rec_year", "rec_month", "rec_day", "rec_hour", "rec_minute", "rec_second",
                 "rec_offset", "rec_source" })
            info[key] = ktk::string();
        cache_image_info(file, {});
        cache_gps_info(file, {});
        info["has_data"] = "true";
        return;
    }

    // The zone the camera recorded with the time; the fallbacks to the file
    // date below drop it again.
    const auto offset = tags.find("OffsetTimeOriginal");
    derived_info[file]["rec_offset"] = offset != tags.end() ? ktk::string(offset->second) : ktk::string();
    const auto date = tags.find("DateTimeOriginal");
    derived_info[file]["rec_source"] = "camera";
    if (date != tags.end() || !video_time(file, tags))
        cache_recording_date_time(file, date == tags.end() ? ktk::string() : ktk::string(date->second));
    cache_image_info(file, tags);
    cache_gps_info(file, tags);
    derived_info[file]["has_data"] = "true";
}

bool exif_cache::video_time(const ktk::string& file, const tag_map& tags)
{
    const auto mime = tags.find("MIMEType");
    const auto created = tags.find("CreateDate");
    if (mime == tags.end() || mime->second.rfind("video/", 0) != 0 || created == tags.end())
        return false;
    QDateTime time = QDateTime::fromString(QString::fromStdString(created->second), QStringLiteral("yyyy:MM:dd HH:mm:ss"));
    // Zero where the camera wrote none.
    if (!time.isValid() || time.date().year() < 1971)
        return false;
    derived_map& info = derived_info[file];
    if (video_times_local) {
        info["rec_offset"] = "";
    } else {
        // Phones and most cameras store it in UTC: shown in the computer's
        // time, and its zone kept so that a track gets the true instant.
        time.setTimeSpec(Qt::UTC);
        time = time.toLocalTime();
        const int offset = time.offsetFromUtc();
        const QString zone = QStringLiteral("%1%2:%3")
                                 .arg(offset < 0 ? QLatin1Char('-') : QLatin1Char('+'))
                                 .arg(std::abs(offset) / 3600, 2, 10, QLatin1Char('0'))
                                 .arg(std::abs(offset) % 3600 / 60, 2, 10, QLatin1Char('0'));
        info["rec_offset"] = zone.toStdString();
    }
    info["rec_year"] = std::to_string(time.date().year());
    info["rec_month"] = two_digits(time.date().month());
    info["rec_day"] = two_digits(time.date().day());
    info["rec_hour"] = two_digits(time.time().hour());
    info["rec_minute"] = two_digits(time.time().minute());
    info["rec_second"] = two_digits(time.time().second());
    return true;
}

exif_cache::derived_map exif_cache::operator[](const QString& file)
{
    return derived_info[file.toStdString()];
}

bool exif_cache::image_has_gps(const QString& file) const
{
    return image_has_gps(ktk::string(file.toStdString()));
}

bool exif_cache::image_has_gps(const ktk::string& file) const
{
    const auto entry = derived_info.find(file);
    if (entry == derived_info.end())
        return false;
    const auto value = entry->second.find("has_gps_position");
    return value != entry->second.end() && value->second == "true";
}

void exif_cache::cache_recording_date_time(const ktk::string& file, const ktk::string& value)
{
    if (value.empty()) {
        cache_file_date(file);
        cache_file_time(file);
        return;
    }

    const std::vector<ktk::string> parts = ktk::split(value, ' ', 1);
    const std::vector<ktk::string> date = colon_fields(parts[0]);
    std::vector<ktk::string> time;
    if (parts.size() > 1)
        time = colon_fields(parts[1]);

    // Anything but year:month:day [hour:minute:second], such as a time with a
    // zone offset, is not guessed at.
    if (date.size() != 3 || (parts.size() > 1 && time.size() != 3)) {
        qCDebug(lc_exif_cache) << "unreadable recording time" << value.c_str() << "in" << file.c_str();
        cache_file_date(file);
        cache_file_time(file);
        return;
    }

    derived_map& info = derived_info[file];
    info["rec_year"] = date[0];
    info["rec_month"] = date[1];
    info["rec_day"] = date[2];
    if (parts.size() == 1) {
        cache_file_time(file);
        return;
    }
    info["rec_hour"] = time[0];
    info["rec_minute"] = time[1];
    info["rec_second"] = time[2];
}

void exif_cache::cache_file_date(const ktk::string& file)
{
    const QDate date = file_created(file).date();
    derived_map& info = derived_info[file];
    info["rec_source"] = "file";
    // A file date is the computer's local time, whatever zone the camera had.
    if (info.count("rec_offset"))
        info["rec_offset"] = "";
    // A file that cannot be looked at has no date: no made-up fields.
    if (!date.isValid()) {
        info["rec_year"] = info["rec_month"] = info["rec_day"] = "";
        return;
    }
    ktk::string year;
    year << date.year();
    info["rec_year"] = year;
    info["rec_month"] = two_digits(date.month());
    info["rec_day"] = two_digits(date.day());
}

void exif_cache::cache_file_time(const ktk::string& file)
{
    const QTime time = file_created(file).time();
    derived_map& info = derived_info[file];
    info["rec_source"] = "file";
    if (!time.isValid()) {
        info["rec_hour"] = info["rec_minute"] = info["rec_second"] = "";
        return;
    }
    info["rec_hour"] = two_digits(time.hour());
    info["rec_minute"] = two_digits(time.minute());
    info["rec_second"] = two_digits(time.second());
}

void exif_cache::cache_image_info(const ktk::string& file, const tag_map& tags)
{
    derived_map& info = derived_info[file];
    for (const char* key : { "fstop", "iso", "focal_length", "lens", "camera", "image_w", "image_h", "rating",
             "shutter_speed_decimal", "shutter_speed_fractional", "orientation" })
        info[key] = ktk::string();

    ktk::string value;
    if (lookup(tags, "FNumber", value))
        // "/" too, or "f/2.8" would leave "/2.8".
        info["fstop"] = value.strip("f").strip("F").strip(" ").strip("/");
    if (lookup(tags, "ISO", value))
        info["iso"] = value;
    if (lookup(tags, "FocalLength", value))
        info["focal_length"] = value.strip("mm").strip(" ");
    if (lookup(tags, "Model", value))
        info["camera"] = value;
    if (lookup(tags, "LensModel", value))
        info["lens"] = value;
    else if (lookup(tags, "Lens", value))
        info["lens"] = value;

    // The EXIF size describes the photo; the plain ImageWidth may be a
    // thumbnail's, so it only counts when the EXIF width is missing.
    bool exif_width = false;
    bool size_done = false;
    if (lookup(tags, "ExifImageWidth", value) && !value.empty()) {
        info["image_w"] = value;
        exif_width = true;
    }
    if (lookup(tags, "ExifImageHeight", value) && !value.empty()) {
        info["image_h"] = value;
        size_done = true;
    }
    if (!size_done && !exif_width) {
        if (lookup(tags, "ImageWidth", value))
            info["image_w"] = value;
        if (lookup(tags, "ImageHeight", value))
            info["image_h"] = value;
    }

    if (lookup(tags, "Rating", value))
        info["rating"] = value;
    if (lookup(tags, "ShutterSpeed", value)) {
        info["shutter_speed_fractional"] = value;
        const std::vector<ktk::string> fraction = ktk::split(value, '/', 1);
        if (fraction.size() == 2) {
            const float ratio = float(fraction[0].to_int(0)) / float(fraction[1].to_int(0));
            info["shutter_speed_decimal"] = fixed_six(ratio);
        }
    }
    if (lookup(tags, "Orientation", value))
        info["orientation"] = value;
}

void exif_cache::cache_gps_info(const ktk::string& file, const tag_map& tags)
{
    derived_map& info = derived_info[file];
    for (const char* key : { "gps_lat", "gps_lat_ref", "gps_lon", "gps_lon_ref", "has_gps_position",
             "gps_numerical", "gps_lat_exact", "gps_lon_exact" })
        info[key] = ktk::string();

    // The signed numbers exiftool read, as written in the file: a position
    // copied to other photos must not pass through the rounded print.
    const auto number = [&tags](const char* name) -> std::optional<double> {
        const auto it = tags.find(name);
        if (it == tags.end())
            return std::nullopt;
        double value = 0;
        const char* begin = it->second.data();
        const auto [end, error] = std::from_chars(begin, begin + it->second.size(), value);
        if (error != std::errc() || end != begin + it->second.size() || !std::isfinite(value))
            return std::nullopt;
        return value;
    };
    const std::optional<double> exact_lat = number("GPSLatitude#");
    const std::optional<double> exact_lon = number("GPSLongitude#");
    if (exact_lat && exact_lon && std::fabs(*exact_lat) <= 90 && std::fabs(*exact_lon) <= 180) {
        const ktk::string lat = fixed_six(*exact_lat);
        const ktk::string lon = fixed_six(*exact_lon);
        info["has_gps_position"] = "true";
        info["gps_lat"] = lat;
        info["gps_lat_ref"] = *exact_lat < 0 ? "S" : "N";
        info["gps_lon"] = lon;
        info["gps_lon_ref"] = *exact_lon < 0 ? "W" : "E";
        info["gps_numerical"] = lat + ", " + lon;
        info["gps_lat_exact"] = ktk::string(tags.at("GPSLatitude#"));
        info["gps_lon_exact"] = ktk::string(tags.at("GPSLongitude#"));
        return;
    }

    const auto position = tags.find("GPSPosition");
    if (position == tags.end())
        return;
    if (position->second != "-")
        info["has_gps_position"] = "true";

    const std::vector<ktk::string> pieces = ktk::split(position->second, ',', 1);
    if (pieces.size() != 2)
        return;
    const auto latitude = parse_coordinate(pieces[0], "N");
    const auto longitude = parse_coordinate(pieces[1], "E");
    if (!latitude || !longitude) {
        qCDebug(lc_exif_cache) << "unreadable position" << position->second.c_str() << "in" << file.c_str();
        return;
    }

    const ktk::string lat = fixed_six(latitude->first);
    const ktk::string lon = fixed_six(longitude->first);
    info["gps_lat"] = lat;
    info["gps_lat_ref"] = latitude->second;
    info["gps_lon"] = lon;
    info["gps_lon_ref"] = longitude->second;
    info["gps_numerical"] = lat + ", " + lon;
}
