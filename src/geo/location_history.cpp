#include "geo/location_history.h"

#include "geo/json_stream.h"
#include "geo/utc_time.h"

#include <QCoreApplication>
#include <QLoggingCategory>

#include <cmath>

namespace {

Q_LOGGING_CATEGORY(lcHistory, "vestra.geo.history", QtWarningMsg)

using json_stream::lat_lon;
using json_stream::number;

// The fields of one record, location or path point, as they arrive.
struct fields {
    double lat = std::numeric_limits<double>::quiet_NaN();
    double lon = std::numeric_limits<double>::quiet_NaN();
    double elevation = std::numeric_limits<double>::quiet_NaN();
    double accuracy = std::numeric_limits<double>::quiet_NaN();
    qint64 msecs = gps_data::no_time;
    // Minutes after the segment's start, where the point has no time.
    std::optional<double> minutes;
};

// A segment of a timeline: its points wait for its times, which may come
// after them.
struct segment_fields {
    qint64 start = gps_data::no_time;
    qint64 end = gps_data::no_time;
    std::optional<std::pair<double, double>> visit;
    std::vector<fields> path;
};

class handler : public rapidjson::BaseReaderHandler<rapidjson::UTF8<>, handler> {
public:
    explicit handler(double accuracy_limit)
        : accuracy_limit(accuracy_limit)
    {
    }

    bool StartObject()
    {
        where.open(false);
        if (in_record())
            record = fields();
        else if (in_segment())
            segment = segment_fields();
        else if (in_path_point())
            segment.path.emplace_back();
        return true;
    }
    bool EndObject(rapidjson::SizeType)
    {
        if (in_record())
            add(record);
        else if (in_segment())
            finish_segment();
        where.close();
        return true;
    }
    bool StartArray()
    {
        where.open(true);
        if (where.depth() == 2
            && (where.name(0) == "locations" || where.name(0) == "semanticSegments" || where.name(0) == "rawSignals"))
            recognised = true;
        return true;
    }
    bool EndArray(rapidjson::SizeType)
    {
        where.close();
        return true;
    }
    bool Key(const char* text, rapidjson::SizeType size, bool)
    {
        where.key(text, size);
        return true;
    }
    bool String(const char* text, rapidjson::SizeType size, bool)
    {
        return value(std::string_view(text, size), {});
    }
    bool Int(int v) { return value({}, v); }
    bool Uint(unsigned v) { return value({}, v); }
    bool Int64(int64_t v) { return value({}, double(v)); }
    bool Uint64(uint64_t v) { return value({}, double(v)); }
    bool Double(double v) { return value({}, v); }

    QVector<gps_data> points;
    bool recognised = false;
    int without_time = 0;
    int bad_position = 0;
    int inaccurate = 0;

private:
    // Records.json: {"locations": [{...}]}; a timeline's raw signals:
    // {"rawSignals": [{"position": {...}}]}.
    bool in_record() const
    {
        return (where.depth() == 3 && where.inside({ "locations", "[]" }))
            || (where.depth() == 4 && where.inside({ "rawSignals", "[]", "position" }));
    }
    // {"semanticSegments": [{...}]}, or a list of segments.
    bool in_segment() const
    {
        return (where.depth() == 3 && where.inside({ "semanticSegments", "[]" }))
            || (where.depth() == 2 && where.array(1) && where.inside({ "", "[]" }));
    }
    std::size_t segment_depth() const { return where.name(0) == "[]" && where.depth() == 2 ? 2 : 3; }
    bool in_path_point() const
    {
        return where.name(0) == "[]" && where.name(1) == "timelinePath" && within_segment(2);
    }
    // Whether the container `from_end` steps out is a segment.
    bool within_segment(std::size_t from_end) const
    {
        const std::size_t depth = where.depth() - from_end;
        if (depth == 3)
            return where.name(from_end) == "[]" && where.name(from_end + 1) == "semanticSegments";
        return depth == 2 && where.name(from_end) == "[]" && where.array(from_end + 1);
    }

    bool value(std::string_view text, std::optional<double> numeric)
    {
        const std::string_view key = where.current_key();
        const auto as_number = [&]() { return numeric ? numeric : number(text); };
        if (in_record()) {
            recognised = true;
            if (key == "latitudeE7" || key == "longitudeE7") {
                if (std::optional<double> e7 = as_number()) {
                    // Some exports wrote southern and western coordinates as
                    // unsigned 32-bit numbers.
                    if (*e7 > 1800000000)
                        *e7 -= 4294967296.0;
                    (key == "latitudeE7" ? record.lat : record.lon) = *e7 / 1e7;
                }
            } else if (key == "LatLng" || key == "latLng") {
                if (const auto position = lat_lon(text)) {
                    record.lat = position->first;
                    record.lon = position->second;
                }
            } else if (key == "accuracy" || key == "accuracyMeters") {
                record.accuracy = as_number().value_or(record.accuracy);
            } else if (key == "altitude" || key == "altitudeMeters") {
                record.elevation = as_number().value_or(record.elevation);
            } else if (key == "timestamp") {
                record.msecs = parse_utc_time(text);
            } else if (key == "timestampMs") {
                if (const std::optional<double> msecs = as_number())
                    record.msecs = qint64(*msecs);
            }
        } else if (in_path_point()) {
            fields& point = segment.path.back();
            if (key == "point") {
                if (const auto position = lat_lon(text)) {
                    point.lat = position->first;
                    point.lon = position->second;
                }
            } else if (key == "time") {
                point.msecs = parse_utc_time(text);
            } else if (key == "durationMinutesOffsetFromStartTime") {
                point.minutes = as_number();
            }
        } else if (within_segment(0)) {
            if (key == "startTime")
                segment.start = parse_utc_time(text);
            else if (key == "endTime")
                segment.end = parse_utc_time(text);
        } else if (where.depth() >= 4 && where.name(0) == "placeLocation" && where.name(1) == "topCandidate"
            && where.name(2) == "visit" && within_segment(3) && key == "latLng") {
            segment.visit = lat_lon(text);
        } else if (where.depth() >= 3 && where.name(0) == "topCandidate" && where.name(1) == "visit"
            && within_segment(2) && key == "placeLocation") {
            segment.visit = lat_lon(text);
        }
        return true;
    }

    void finish_segment()
    {
        recognised = true;
        for (fields& point : segment.path) {
            if (point.msecs == gps_data::no_time && point.minutes && segment.start != gps_data::no_time)
                point.msecs = segment.start + qint64(*point.minutes * 60000);
            add(point);
        }
        // A visit is where the phone stayed from its start to its end.
        if (segment.visit) {
            for (const qint64 msecs : { segment.start, segment.end }) {
                fields point;
                point.lat = segment.visit->first;
                point.lon = segment.visit->second;
                point.msecs = msecs;
                add(point);
            }
        }
    }

    void add(const fields& given)
    {
        if (given.accuracy > accuracy_limit) {
            ++inaccurate;
            return;
        }
        gps_data point;
        point.latitude = given.lat;
        point.longitude = given.lon;
        if (std::fabs(given.elevation) <= gps_data::max_elevation)
            point.elevation = given.elevation;
        point.msecs = given.msecs;
        if (!point.has_time())
            ++without_time;
        if (!(std::fabs(point.latitude) <= 90 && std::fabs(point.longitude) <= 180))
            ++bad_position;
        points.push_back(point);
    }

    double accuracy_limit;
    json_stream::path where;
    fields record;
    segment_fields segment;
};

QString count_text(int count, const char* one, const char* many)
{
    return QCoreApplication::translate("location_history", count == 1 ? one : many).arg(count);
}

} // namespace

location_history::location_history(const QString& path, double accuracy_limit)
{
    handler reader(accuracy_limit);
    error = json_stream::parse_file(path, reader);
    if (error.isEmpty() && !reader.recognised)
        error = QCoreApplication::translate("location_history", "holds no location history");
    if (!error.isEmpty())
        return;

    track_data track;
    track.name = QCoreApplication::translate("location_history", "Location history");
    track.points = std::move(reader.points);
    qCDebug(lcHistory) << track.points.size() << "points," << reader.inaccurate << "inaccurate";
    tracks << track;
    inaccurate = reader.inaccurate;
    if (inaccurate > 0)
        problems << count_text(inaccurate,
            QT_TRANSLATE_NOOP("location_history", "%1 point less accurate than the limit, left out"),
            QT_TRANSLATE_NOOP("location_history", "%1 points less accurate than the limit, left out"));
    if (reader.without_time > 0)
        problems << count_text(reader.without_time,
            QT_TRANSLATE_NOOP("location_history", "%1 point without a valid time"),
            QT_TRANSLATE_NOOP("location_history", "%1 points without a valid time"));
    if (reader.bad_position > 0)
        problems << count_text(reader.bad_position,
            QT_TRANSLATE_NOOP("location_history", "%1 point whose position cannot be read"),
            QT_TRANSLATE_NOOP("location_history", "%1 points whose position cannot be read"));
    if (tracks.first().points.isEmpty() && inaccurate == 0)
        problems << QCoreApplication::translate("location_history", "the file holds no location");
}
