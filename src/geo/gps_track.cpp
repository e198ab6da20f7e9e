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

} // namespace

gps_track::gps_track(const QList<track_data>& tracks)
{
    std::size_t count = 0;
    for (const track_data& track : tracks)
        count += std::size_t(track.points.size());
    sorted.reserve(count);
    for (const track_data& track : tracks) {
        for (const gps_data& point : track.points) {
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
            usable.track = point.track;
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
    track_match result;
    if (sorted.empty())
        return result;
    const auto at_or_after = std::lower_bound(sorted.begin(), sorted.end(), utc_msecs,
        [](const track_point& point, qint64 msecs) { return point.msecs < msecs; });

    const auto take = [&result](const track_point& point, track_match::kind how) {
        result.how = how;
        result.lat = point.lat;
        result.lon = point.lon;
        result.elevation = point.elevation;
    };

    // Photo times have whole seconds: a point within that second is exact.
    if (at_or_after != sorted.end() && at_or_after->msecs - utc_msecs < 1000) {
        result.nearest_msecs = at_or_after->msecs - utc_msecs;
        take(*at_or_after, track_match::kind::exact);
        return result;
    }

    const track_point* before = at_or_after == sorted.begin() ? nullptr : &*(at_or_after - 1);
    const track_point* after = at_or_after == sorted.end() ? nullptr : &*at_or_after;
    const qint64 to_before = before ? utc_msecs - before->msecs : 0;
    const qint64 to_after = after ? after->msecs - utc_msecs : 0;
    result.nearest_msecs = !before ? to_after : !after ? to_before : std::min(to_before, to_after);

    if (before && after && before->track == after->track && before->segment == after->segment
        && after->msecs - before->msecs <= gap_limit_msecs) {
        const double fraction = double(to_before) / double(after->msecs - before->msecs);
        result.how = track_match::kind::interpolated;
        result.lat = before->lat + (after->lat - before->lat) * fraction;
        result.lon = interpolate_longitude(before->lon, after->lon, fraction);
        if (before->elevation && after->elevation)
            result.elevation = *before->elevation + (*after->elevation - *before->elevation) * fraction;
        return result;
    }

    // The later point wins a tie, as the closest-photo mode does.
    const track_point* nearest = !before ? after : !after ? before : to_before < to_after ? before : after;
    if (*result.nearest_msecs <= gap_limit_msecs)
        take(*nearest, track_match::kind::nearest);
    return result;
}
