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
    int track = 0;
    int segment = 0;
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

private:
    std::vector<track_point> sorted;
    int dropped = 0;
};

Q_DECLARE_METATYPE(gps_track)
