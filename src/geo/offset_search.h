#pragma once

#include "geo/gps_track.h"

#include <QString>
#include <QTimeZone>

#include <optional>
#include <vector>

struct offset_search_options {
    // Offsets are tried from -range to +range, a minute apart.
    qint64 range_secs = 14 * 3600;
    // A suggestion must place this many more photos than now (or all of
    // them, when there are fewer) ...
    int min_gain = 3;
    // ... and this share more.
    double min_gain_ratio = 0.2;
};

// An extra clock offset that lets the track place more photos.
struct offset_suggestion {
    // Seconds to add to camera_clock::clock_offset, a whole number of
    // minutes: positive when the camera ran ahead.
    qint64 offset_secs = 0;
    int photos = 0;
    int placed_now = 0;
    int placed_with_offset = 0;
    // The offsets that place as many photos, as closely to the track's points,
    // as offset_secs, which lies in their middle.
    qint64 from_secs = 0;
    qint64 to_secs = 0;
    // Offsets cut off from the chosen ones place nearly as many photos
    // (fewer by a tenth at most, by one at least), or the chosen ones spread
    // over more than an hour.
    bool ambiguous = false;
    // Not ambiguous, and places enough more photos than now.
    bool clearly_better = false;

    // Within 5 minutes of whole hours the offset reads as a camera set to
    // the wrong zone: the hours, and the minutes its clock was off besides
    // (below 2 minutes they count as none).
    std::optional<int> zone_hours;
    qint64 clock_secs = 0;

    // "17 min ahead", "1:23 h behind", "2:00 h and 2 min ahead", "none".
    QString offset_text;
    // With zone_hours and the zone the photo times were read in: "the
    // camera was set to UTC, not Europe/Zagreb".
    QString zone_text;
};

// Searches the extra offset that puts the most photos within the track's
// reach, as match() with these options places them; photo times are the UTC
// instants the current clock setting gives. Photos that only lie near the
// track count less than those on it, so that a wide choice narrows down.
// assumed_zone is the zone the photo times were read in, for zone_text.
offset_suggestion search_clock_offset(const std::vector<qint64>& photo_utc_msecs, const gps_track& track,
    const match_options& options, const QTimeZone& assumed_zone = QTimeZone(),
    const offset_search_options& search = offset_search_options());
