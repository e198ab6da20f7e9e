#pragma once

#include "geo/gpx_parser.h"

#include <QList>
#include <QMetaType>

#include <optional>
#include <vector>

// One usable track point: a valid time and a position in range.
struct track_point {
    qint64 msecs = 0; // UTC, since the epoch
    double lat = 0;
    double lon = 0;
    std::optional<double> elevation;
    // The position of its track among those the gps_track was made from, so
    // that tracks of different files never count as one.
    int track = 0;
    int segment = 0;
};

// How instants are matched to the track.
struct match_options {
    // The longest gap between two points of one segment that is interpolated
    // across; in a longer gap, or between segments, the nearer point is used
    // if it lies at most this far from the instant.
    qint64 gap_limit_msecs = 30 * 60 * 1000;
    // The farthest an instant may lie before the first or after the last point.
    qint64 end_limit_msecs = 30 * 60 * 1000;
    // Interpolate across the break between two segments of one track too.
    bool across_segments = false;
    // Fill in track_match's course and speed.
    bool with_course = false;
};

// Where a track puts one instant.
struct track_match {
    enum class kind { none, exact, interpolated, nearest };

    kind how = kind::none;
    double lat = 0;
    double lon = 0;
    std::optional<double> elevation;
    // From the instant to the nearest track point; nothing without points.
    std::optional<qint64> nearest_msecs;
    // Asked for with match_options::with_course, from the two points of the
    // track around the instant: the direction of travel in degrees clockwise
    // from true north and the speed. No course while standing still.
    std::optional<double> course;
    std::optional<double> speed_kmh;
};

// Instants from `from` to `to`, both included; UTC msecs.
struct time_span {
    qint64 from = 0;
    qint64 to = 0;
};

// The points of one or more tracks in time order, for matching photo times.
class gps_track {
public:
    gps_track() = default;
    // Points without a valid time or with a position that is not a number in
    // range are left out; the rest are sorted by time (files need not be).
    explicit gps_track(const QList<track_data>& tracks);

    bool empty() const { return sorted.empty(); }
    const std::vector<track_point>& points() const { return sorted; }
    int left_out() const { return dropped; }

    // A point within the same second gives its position; between two
    // consecutive points of one segment at most gap_limit apart the position
    // is interpolated by time; otherwise the nearer neighbour within
    // gap_limit of the instant, if any.
    track_match match(qint64 utc_msecs, qint64 gap_limit_msecs) const;
    // The same with the gap, the ends and segment breaks apart.
    track_match match(qint64 utc_msecs, const match_options& options) const;

    // The instants match() gives a position for, as sorted disjoint spans;
    // with interpolated_only just those it interpolates or finds a point for
    // within the second.
    std::vector<time_span> coverage(const match_options& options, bool interpolated_only = false) const;

private:
    std::vector<track_point> sorted;
    int dropped = 0;
};

Q_DECLARE_METATYPE(gps_track)
