#include "geo/gps_track.h"

#include <algorithm>
#include <cmath>

namespace {

// Longitudes are interpolated the short way round, so a track across the
// date line does not sweep around the globe.
double interpolate_longitude(double from, double to, double fraction)
{
    double delta = to - from;
    if (delta > 180)
        delta -= 360;
    else if (delta < -180)
        delta += 360;
    double lon = from + delta * fraction;
    if (lon > 180)
        lon -= 360;
    else if (lon < -180)
        lon += 360;
    return lon;
}

bool joined(const std::vector<track_point>& points, std::size_t first, const match_options& options)
{
    const track_point& a = points[first];
    const track_point& b = points[first + 1];
    return a.track == b.track && (options.across_segments || a.segment == b.segment)
        && b.msecs - a.msecs <= options.gap_limit_msecs;
}

constexpr double earth_radius_m = 6371008.8;
constexpr double radians = 3.14159265358979323846 / 180;

void add_course(const track_point& a, const track_point& b, track_match& result)
{
    const double lat1 = a.lat * radians;
    const double lat2 = b.lat * radians;
    const double dlat = lat2 - lat1;
    const double dlon = (b.lon - a.lon) * radians;
    const double h = std::sin(dlat / 2) * std::sin(dlat / 2)
        + std::cos(lat1) * std::cos(lat2) * std::sin(dlon / 2) * std::sin(dlon / 2);
    const double metres = 2 * earth_radius_m * std::asin(std::min(1.0, std::sqrt(h)));
    const qint64 msecs = b.msecs - a.msecs;
    if (msecs <= 0)
        return;
    result.speed_kmh = metres / (double(msecs) / 1000) * 3.6;
    // Below this a logger's jitter decides the direction.
    if (metres < 0.5)
        return;
    const double y = std::sin(dlon) * std::cos(lat2);
    const double x = std::cos(lat1) * std::sin(lat2) - std::sin(lat1) * std::cos(lat2) * std::cos(dlon);
    const double degrees = std::atan2(y, x) / radians;
    result.course = degrees < 0 ? degrees + 360 : degrees;
}

} // namespace

gps_track::gps_track(const QList<track_data>& tracks)
{
    std::size_t count = 0;
    for (const track_data& track : tracks)
        count += std::size_t(track.points.size());
    sorted.reserve(count);
    for (int index = 0; index < tracks.size(); ++index) {
        for (const gps_data& point : tracks[index].points) {
            // Comparisons with NaN are false, so unreadable numbers fail here.
            if (!point.has_time()
                || !(std::fabs(point.latitude) <= 90 && std::fabs(point.longitude) <= 180)) {
                ++dropped;
                continue;
            }
            track_point usable;
            usable.msecs = point.msecs;
            usable.lat = point.latitude;
            usable.lon = point.longitude;
            if (std::fabs(point.elevation) <= gps_data::max_elevation)
                usable.elevation = point.elevation;
            usable.track = index;
            usable.segment = point.segment;
            sorted.push_back(usable);
        }
    }
    const auto earlier = [](const track_point& a, const track_point& b) { return a.msecs < b.msecs; };
    if (!std::is_sorted(sorted.begin(), sorted.end(), earlier))
        std::stable_sort(sorted.begin(), sorted.end(), earlier);
}

track_match gps_track::match(qint64 utc_msecs, qint64 gap_limit_msecs) const
{
    match_options options;
    options.gap_limit_msecs = gap_limit_msecs;
    options.end_limit_msecs = gap_limit_msecs;
    return match(utc_msecs, options);
}

track_match gps_track::match(qint64 utc_msecs, const match_options& options) const
{
    track_match result;
    if (sorted.empty())
        return result;
    const auto at_or_after = std::lower_bound(sorted.begin(), sorted.end(), utc_msecs,
        [](const track_point& point, qint64 msecs) { return point.msecs < msecs; });
    const std::size_t after_index = std::size_t(at_or_after - sorted.begin());

    const auto take = [&result](const track_point& point, track_match::kind how) {
        result.how = how;
        result.lat = point.lat;
        result.lon = point.lon;
        result.elevation = point.elevation;
    };
    const track_point* before = after_index == 0 ? nullptr : &sorted[after_index - 1];
    const track_point* after = after_index == sorted.size() ? nullptr : &sorted[after_index];
    const qint64 to_before = before ? utc_msecs - before->msecs : 0;
    const qint64 to_after = after ? after->msecs - utc_msecs : 0;
    result.nearest_msecs = !before ? to_after : !after ? to_before : std::min(to_before, to_after);

    if (after && to_after < 1000) {
        // Photo times have whole seconds: a point within that second is exact.
        result.nearest_msecs = to_after;
        take(*after, track_match::kind::exact);
    } else if (before && after && joined(sorted, after_index - 1, options)) {
        const double fraction = double(to_before) / double(after->msecs - before->msecs);
        result.how = track_match::kind::interpolated;
        result.lat = before->lat + (after->lat - before->lat) * fraction;
        result.lon = interpolate_longitude(before->lon, after->lon, fraction);
        if (before->elevation && after->elevation)
            result.elevation = *before->elevation + (*after->elevation - *before->elevation) * fraction;
    } else {
        const qint64 limit = before && after ? options.gap_limit_msecs : options.end_limit_msecs;
        // The later point wins a tie, as the closest-photo mode does.
        const track_point* nearest = !before ? after
            : !after                         ? before
            : to_before < to_after           ? before
                                             : after;
        if (*result.nearest_msecs <= limit)
            take(*nearest, track_match::kind::nearest);
    }
    if (options.with_course && result.how != track_match::kind::none) {
        // The stretch the instant lies on, else the one leading to or from
        // the nearer point.
        std::optional<std::size_t> first;
        if (before && after && joined(sorted, after_index - 1, options))
            first = after_index - 1;
        else if (before && (!after || to_before < to_after)) {
            if (after_index >= 2 && joined(sorted, after_index - 2, options))
                first = after_index - 2;
        } else if (after_index + 1 < sorted.size() && joined(sorted, after_index, options))
            first = after_index;
        if (first)
            add_course(sorted[*first], sorted[*first + 1], result);
    }
    return result;
}

std::vector<time_span> gps_track::coverage(const match_options& options, bool interpolated_only) const
{
    std::vector<time_span> spans;
    spans.reserve(sorted.size());
    const std::size_t n = sorted.size();
    for (std::size_t i = 0; i < n; ++i) {
        const qint64 at = sorted[i].msecs;
        // A point covers the second before it as an exact match.
        time_span span { at - 999, at };
        if (!interpolated_only) {
            // Within a gap the gap limit reaches no farther than the next
            // point; beyond the ends the end limit counts.
            span.from = std::min(span.from,
                i == 0 ? at - options.end_limit_msecs
                       : std::max(at - options.gap_limit_msecs, sorted[i - 1].msecs));
            span.to = i + 1 == n ? at + options.end_limit_msecs
                                 : std::min(at + options.gap_limit_msecs, sorted[i + 1].msecs);
        } else if (i + 1 < n && joined(sorted, i, options)) {
            span.to = sorted[i + 1].msecs;
        }
        spans.push_back(span);
    }
    // The exact second can reach back past the point before.
    const auto earlier = [](const time_span& a, const time_span& b) { return a.from < b.from; };
    if (!std::is_sorted(spans.begin(), spans.end(), earlier))
        std::sort(spans.begin(), spans.end(), earlier);
    std::vector<time_span> merged;
    for (const time_span& span : spans) {
        if (!merged.empty() && span.from <= merged.back().to + 1)
            merged.back().to = std::max(merged.back().to, span.to);
        else
            merged.push_back(span);
    }
    return merged;
}
