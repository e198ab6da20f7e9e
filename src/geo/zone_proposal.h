#pragma once

#include "geo/gps_track.h"
#include "places/places.h"

#include <QByteArray>
#include <QDate>
#include <QDateTime>

#include <optional>
#include <vector>

// The camera zone a track suggests for photos without a zone of their own:
// the zone of the town nearest the track where the photos were taken. Only
// a proposal, for the user to accept.
struct zone_proposal {
    QByteArray zone_id;
    // The town the zone comes from, and how far the track point lies from it.
    place_distance from;
    // The track point the zone was looked up at.
    double lat = 0;
    double lon = 0;

    // What the zone means on each day photos were taken: seconds east of
    // UTC, with daylight saving. A day on which the clocks change between
    // photos is listed with both offsets.
    struct day_offset {
        QDate date;
        int utc_offset = 0;
        bool operator==(const day_offset& other) const
        {
            return date == other.date && utc_offset == other.utc_offset;
        }
    };
    std::vector<day_offset> offsets;
};

// camera_times are the photos' wall-clock times, whatever zone they carry ignored;
// the track point nearest the middle one, read as UTC, gives the zone (a
// wrong zone moves it by hours at most, as far as a day's trip goes), or
// the track's middle point without photos. Nothing for an empty track or
// where no zone is known.
std::optional<zone_proposal> propose_camera_zone(
    const gps_track& track, const std::vector<QDateTime>& camera_times);
