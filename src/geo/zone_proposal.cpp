#include "geo/zone_proposal.h"

#include <QTimeZone>

#include <algorithm>

namespace {

// Milliseconds of a wall time read as if it were UTC.
qint64 as_utc(const QDateTime& wall)
{
    return QDateTime(wall.date(), wall.time(), Qt::UTC).toMSecsSinceEpoch();
}

} // namespace

std::optional<zone_proposal> propose_camera_zone(
    const gps_track& track, const std::vector<QDateTime>& camera_times)
{
    const std::vector<track_point>& points = track.points();
    if (points.empty())
        return std::nullopt;
    const track_point* at = &points[points.size() / 2];
    std::vector<qint64> times;
    for (const QDateTime& wall : camera_times) {
        if (wall.isValid())
            times.push_back(as_utc(wall));
    }
    if (!times.empty()) {
        std::nth_element(times.begin(), times.begin() + std::ptrdiff_t(times.size() / 2), times.end());
        const qint64 middle = times[times.size() / 2];
        const auto after = std::lower_bound(points.begin(), points.end(), middle,
            [](const track_point& point, qint64 msecs) { return point.msecs < msecs; });
        if (after == points.end())
            at = &points.back();
        else if (after == points.begin() || after->msecs - middle < middle - (after - 1)->msecs)
            at = &*after;
        else
            at = &*(after - 1);
    }

    const std::optional<place_distance> town = zone_at(at->lat, at->lon);
    if (!town)
        return std::nullopt;
    zone_proposal proposal;
    proposal.zone_id = town->where.zone_id;
    proposal.from = *town;
    proposal.lat = at->lat;
    proposal.lon = at->lon;
    const QTimeZone zone(proposal.zone_id);
    for (const QDateTime& wall : camera_times) {
        if (!wall.isValid())
            continue;
        const QDateTime local(wall.date(), wall.time(), zone);
        proposal.offsets.push_back({ wall.date(), local.offsetFromUtc() });
    }
    std::sort(proposal.offsets.begin(), proposal.offsets.end(),
        [](const zone_proposal::day_offset& a, const zone_proposal::day_offset& b) {
            return a.date != b.date ? a.date < b.date : a.utc_offset > b.utc_offset;
        });
    proposal.offsets.erase(
        std::unique(proposal.offsets.begin(), proposal.offsets.end()), proposal.offsets.end());
    return proposal;
}
