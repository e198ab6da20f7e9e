#include "geo/geojson_reader.h"

#include "geo/json_stream.h"
#include "geo/utc_time.h"

#include <QCoreApplication>

#include <cmath>

namespace {

// Nested lists as GeoJSON writes them: positions are the arrays that hold
// numbers, lines the arrays that hold positions.
template <typename Item> struct nested {
    std::vector<std::vector<Item>> lines;
    std::vector<Item> current;
    bool line_open = false;

    void add(const Item& item)
    {
        current.push_back(item);
        line_open = true;
    }
    void end_line()
    {
        if (line_open)
            lines.push_back(std::move(current));
        current.clear();
        line_open = false;
    }
    void clear()
    {
        lines.clear();
        current.clear();
        line_open = false;
    }
};

struct position {
    double lon = std::numeric_limits<double>::quiet_NaN();
    double lat = std::numeric_limits<double>::quiet_NaN();
    double elevation = std::numeric_limits<double>::quiet_NaN();
};

class handler : public rapidjson::BaseReaderHandler<rapidjson::UTF8<>, handler> {
public:
    bool StartObject()
    {
        where.open(false);
        if (at_feature())
            begin_feature();
        return true;
    }
    bool EndObject(rapidjson::SizeType)
    {
        if (at_feature())
            end_feature();
        where.close();
        return true;
    }
    bool StartArray()
    {
        where.open(true);
        if (where.name(0) == "coordinates")
            coordinates_depth = where.depth();
        else if (where.name(0) == "coordTimes"
            || (where.name(0) == "times" && where.name(1) == "coordinateProperties"))
            times_depth = where.depth();
        numbers = 0;
        return true;
    }
    bool EndArray(rapidjson::SizeType)
    {
        if (coordinates_depth && where.depth() >= coordinates_depth) {
            if (numbers > 0) {
                coordinates.add(pending);
                pending = position();
            } else {
                coordinates.end_line();
            }
            if (where.depth() == coordinates_depth)
                coordinates_depth = 0;
        } else if (times_depth && where.depth() >= times_depth) {
            // An array of times ends a line; one of arrays ends the list.
            if (strings_in_array)
                times.end_line();
            if (where.depth() == times_depth)
                times_depth = 0;
        }
        numbers = 0;
        strings_in_array = false;
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
        const std::string_view value(text, size);
        const std::string_view key = where.current_key();
        if (times_depth) {
            times.add(parse_utc_time(value));
            strings_in_array = true;
        } else if (key == "type" && !where.array(0) && where.name(0) != "properties") {
            if (value == "Point" || value == "LineString" || value == "MultiLineString"
                || value == "MultiPoint")
                geometry = std::string(value);
            else if (value == "FeatureCollection" || value == "Feature" || value == "Polygon"
                || value == "MultiPolygon" || value == "GeometryCollection")
                recognised = true;
        } else if (where.name(0) == "properties" && (key == "time" || key == "timestamp" || key == "when")) {
            point_time = parse_utc_time(value);
        } else if (where.name(0) == "properties" && key == "name") {
            name = QString::fromUtf8(text, int(size));
        }
        return true;
    }
    bool Int(int v) { return number(v); }
    bool Uint(unsigned v) { return number(v); }
    bool Int64(int64_t v) { return number(double(v)); }
    bool Uint64(uint64_t v) { return number(double(v)); }
    bool Double(double v) { return number(v); }

    QList<track_data> tracks;
    track_data points_track;
    bool recognised = false;
    int without_time = 0;
    int bad_position = 0;

private:
    // A member of "features", or the root when it is a lone feature or geometry.
    bool at_feature() const
    {
        return (where.depth() == 3 && where.inside({ "features", "[]" })) || where.depth() == 1;
    }

    bool number(double value)
    {
        if (coordinates_depth) {
            double* fields[] = { &pending.lon, &pending.lat, &pending.elevation };
            if (numbers < 3)
                *fields[numbers] = value;
            ++numbers;
        }
        return true;
    }

    void begin_feature()
    {
        coordinates.clear();
        times.clear();
        geometry.clear();
        name.clear();
        point_time = gps_data::no_time;
    }

    void end_feature()
    {
        coordinates.end_line();
        times.end_line();
        if (!geometry.empty())
            add_feature();
        // The root ends after its features.
        begin_feature();
    }

    void add_feature()
    {
        recognised = true;
        if (geometry == "Point") {
            for (const std::vector<position>& line : coordinates.lines) {
                for (const position& p : line)
                    points_track.points.append(point_of(p, point_time, 0));
            }
            return;
        }
        track_data track;
        track.name = name.isEmpty()
            ? QCoreApplication::translate("geojson_reader", "Line %1").arg(tracks.size() + 1)
            : name;
        // Times listed flat for several lines run on from line to line.
        std::vector<qint64> flat;
        if (times.lines.size() == 1 && coordinates.lines.size() > 1)
            flat = times.lines.front();
        std::size_t running = 0;
        for (std::size_t segment = 0; segment < coordinates.lines.size(); ++segment) {
            const std::vector<position>& line = coordinates.lines[segment];
            const std::vector<qint64>* line_times = !flat.empty() ? nullptr
                : segment < times.lines.size()                    ? &times.lines[segment]
                                                                  : nullptr;
            for (std::size_t i = 0; i < line.size(); ++i, ++running) {
                qint64 msecs = gps_data::no_time;
                if (line_times && line_times->size() == line.size())
                    msecs = (*line_times)[i];
                else if (!flat.empty() && running < flat.size())
                    msecs = flat[running];
                track.points.append(point_of(line[i], msecs, int(segment)));
            }
        }
        tracks << track;
    }

    gps_data point_of(const position& p, qint64 msecs, int segment)
    {
        gps_data point;
        point.latitude = p.lat;
        point.longitude = p.lon;
        if (std::fabs(p.elevation) <= gps_data::max_elevation)
            point.elevation = p.elevation;
        point.msecs = msecs;
        point.segment = segment;
        if (!point.has_time())
            ++without_time;
        if (!(std::fabs(point.latitude) <= 90 && std::fabs(point.longitude) <= 180))
            ++bad_position;
        return point;
    }

    json_stream::path where;
    std::size_t coordinates_depth = 0;
    std::size_t times_depth = 0;
    int numbers = 0;
    bool strings_in_array = false;
    position pending;
    nested<position> coordinates;
    nested<qint64> times;
    std::string geometry;
    QString name;
    qint64 point_time = gps_data::no_time;
};

QString count_text(int count, const char* one, const char* many)
{
    return QCoreApplication::translate("geojson_reader", count == 1 ? one : many).arg(count);
}

} // namespace

geojson_reader::geojson_reader(const QString& path)
{
    handler reader;
    error = json_stream::parse_file(path, reader);
    if (error.isEmpty() && !reader.recognised)
        error = QCoreApplication::translate("geojson_reader", "holds no GeoJSON");
    if (!error.isEmpty())
        return;
    tracks = reader.tracks;
    if (!reader.points_track.points.isEmpty()) {
        reader.points_track.name = QCoreApplication::translate("geojson_reader", "Points");
        tracks << reader.points_track;
    }
    for (int i = 0; i < tracks.size(); ++i) {
        for (gps_data& point : tracks[i].points)
            point.track = i;
    }
    if (reader.without_time > 0)
        problems << count_text(reader.without_time,
            QT_TRANSLATE_NOOP("geojson_reader", "%1 point without a valid time"),
            QT_TRANSLATE_NOOP("geojson_reader", "%1 points without a valid time"));
    if (reader.bad_position > 0)
        problems << count_text(reader.bad_position,
            QT_TRANSLATE_NOOP("geojson_reader", "%1 point whose position cannot be read"),
            QT_TRANSLATE_NOOP("geojson_reader", "%1 points whose position cannot be read"));
    if (tracks.isEmpty())
        problems << QCoreApplication::translate("geojson_reader", "the file holds no line or point");
}
