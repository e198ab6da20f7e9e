#pragma once

#include "exif/photo_facts.h"
#include "geo/camera_clock.h"
#include "geo/gps_track.h"

#include <QHash>
#include <QString>

#include <optional>
#include <utility>
#include <vector>

// Where positions come from. The numbers are those stored in the settings
// and passed by the window's mode buttons; a number that stands for no mode
// proposes nothing.
enum class sync_mode { none = -1, previous = 0, next = 1, closest = 2, typed = 3, track = 4 };

sync_mode sync_mode_of(int number);

using lat_lon = std::pair<double, double>;

// What the user decided for one photo; it wins over the mode.
struct photo_decision {
    // Nothing is written into the photo.
    bool left_out = false;
    // A position set by hand (typed, or placed on the map). On a photo with
    // a position of its own only when the user agreed to replace it.
    std::optional<lat_lon> position;

    bool operator==(const photo_decision& other) const { return left_out == other.left_out && position == other.position; }
};

// Everything besides the photos that decides their positions.
struct assignment_settings {
    // The track mode's time limit when the user set none.
    static constexpr qint64 default_track_limit_secs = 30 * 60;

    sync_mode mode = sync_mode::closest;
    // Seconds; negative: none set (no limit for copies, the default for a
    // track); 0: no limit at all.
    qint64 time_limit_secs = -1;
    // The typed mode's position; nothing clears the photos' positions.
    std::optional<lat_lon> typed;
    gps_track track;
    camera_clock clock;
    // In the track mode, photos with a position of their own take the track's too.
    bool track_overwrites = false;
    // The track mode: how far a photo may lie before the first or after the
    // last point, in seconds (negative: as far as the time limit; 0: no
    // limit); whether a break between segments is interpolated across; and
    // whether the direction and speed of travel are proposed too.
    qint64 end_limit_secs = -1;
    bool across_segments = false;
    bool with_course = false;
    // The order the photos are listed in; it decides between equal times.
    bool descending = false;
    // Per photo, by path.
    QHash<QString, photo_decision> decisions;

    // How far a track reaches across time, in milliseconds.
    qint64 track_limit_msecs() const;
    // How a track is matched: the time limit across gaps, the end limit, segments, course.
    match_options track_matching() const;
};

// The outcome for one photo: what it is proposed to hold and where that came
// from, or why nothing is proposed.
struct assignment {
    enum class origin { none, own, previous, next, typed, track_point, track_interpolated, manual };
    enum class missing { none, no_source, too_far, no_time, no_track, unreadable, left_out };

    origin how = origin::none;
    missing why = missing::none;
    // A write is proposed: `position` (nothing: remove the position), with
    // `altitude` and the GPS time `gps_time_msecs` where the track gives them.
    bool proposed = false;
    std::optional<lat_lon> position;
    std::optional<double> altitude;
    std::optional<qint64> gps_time_msecs;
    // The track's direction of travel (degrees from true north) and speed, when asked for.
    std::optional<double> course;
    std::optional<double> speed_kmh;
    // The photo would lose a position of its own.
    bool replaces_own = false;
    // previous/next: the index of the photo the position came from.
    int source = -1;
    // Track mode: the photo's true UTC instant, how far the nearest track
    // point lies from it, and the point taken when one was.
    std::optional<qint64> utc_msecs;
    std::optional<qint64> nearest_point_msecs;
    std::optional<qint64> point_msecs;
};

// One outcome per photo, in the photos' order.
std::vector<assignment> assign(const std::vector<photo_facts>& photos, const assignment_settings& settings);

// The photos' indexes by recording time, earliest first or (descending)
// latest first; equal times keep their given order. Photos without a time
// come first.
std::vector<int> time_order(const std::vector<photo_facts>& photos, bool descending);

// The photo's true UTC instant under the camera clock; nothing without a
// time from the camera.
std::optional<qint64> utc_msecs(const photo_facts& photo, const camera_clock& clock);
