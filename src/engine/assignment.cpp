#include "engine/assignment.h"

#include <QHash>

#include <algorithm>
#include <map>

namespace {

// "No limit" for a track: a century, far from overflowing when added to a time.
constexpr qint64 no_track_limit_msecs = qint64(100) * 366 * 24 * 3600 * 1000;

// A recording time with its conversions done once: every comparison or
// distance would otherwise convert both times again.
struct time_key {
    time_key() = default;
    explicit time_key(const QDateTime& time)
        : time(time)
        , valid(time.isValid())
        , day(valid ? time.date().toJulianDay() : 0)
        , msec_of_day(valid ? time.time().msecsSinceStartOfDay() : 0)
        , msecs(valid ? time.toMSecsSinceEpoch() : 0)
    {
    }

    QDateTime time;
    bool valid = false;
    // The clock the camera showed, kept as two numbers: a day count from a
    // hostile date would overflow as milliseconds.
    qint64 day = 0;
    int msec_of_day = 0;
    qint64 msecs = 0;
};

// QDateTime's less-than. Valid times compare by the clock the camera showed:
// that is their order as instants everywhere except in the hour that repeats
// when daylight saving ends, where the instant is a guess of the C library
// that depends on its previous call, and so would not even be repeatable.
bool earlier(const time_key& a, const time_key& b)
{
    if (a.valid && b.valid)
        return a.day < b.day || (a.day == b.day && a.msec_of_day < b.msec_of_day);
    return a.time < b.time;
}

// Whole seconds between two times, 0 when either is invalid.
qint64 distance(const time_key& a, const time_key& b)
{
    if (!a.valid || !b.valid)
        return 0;
    return qAbs(b.msecs / 1000 - a.msecs / 1000);
}

std::vector<time_key> keys_of(const std::vector<photo_facts>& photos)
{
    std::vector<time_key> keys;
    keys.reserve(photos.size());
    for (const photo_facts& p : photos)
        keys.emplace_back(p.taken);
    return keys;
}

std::vector<int> order_of(const std::vector<time_key>& keys, bool descending)
{
    std::vector<int> rows(keys.size());
    for (std::size_t i = 0; i < rows.size(); ++i)
        rows[i] = int(i);
    const auto before = [&keys, descending](int a, int b) {
        return descending ? earlier(keys[b], keys[a]) : earlier(keys[a], keys[b]);
    };
    if (!std::is_sorted(rows.begin(), rows.end(), before))
        std::stable_sort(rows.begin(), rows.end(), before);
    return rows;
}

void copy_from_photos(const std::vector<photo_facts>& photos, const assignment_settings& settings,
    std::vector<assignment>& out)
{
    const std::vector<time_key> keys = keys_of(photos);
    // Earliest first, in the listed order (reversed when listed latest
    // first, so ties follow the rows).
    std::vector<int> walk = order_of(keys, settings.descending);
    if (settings.descending)
        std::reverse(walk.begin(), walk.end());

    const bool limited = settings.time_limit_secs > 0;
    const auto within = [&](int source, int photo) {
        return !limited || distance(keys[source], keys[photo]) <= settings.time_limit_secs;
    };
    const auto has_own = [&photos](int i) { return photos[i].own.has_value(); };
    const auto none = [&out](int i, assignment::missing why) { out[i].why = why; };
    const auto take = [&](int i, int source, assignment::origin how) {
        // Nothing is known of when an unreadable photo was taken.
        if (!photos[std::size_t(i)].read_error.isEmpty()) {
            out[std::size_t(i)].why = assignment::missing::unreadable;
            return;
        }
        assignment& a = out[i];
        a.how = how;
        a.proposed = true;
        a.position = photos[source].own;
        a.source = source;
    };

    switch (settings.mode) {
    case sync_mode::previous:
    case sync_mode::next: {
        const bool previous = settings.mode == sync_mode::previous;
        if (!previous)
            std::reverse(walk.begin(), walk.end());
        int last_source = -1;
        for (const int i : walk) {
            if (has_own(i))
                last_source = i;
            else if (last_source < 0)
                none(i, assignment::missing::no_source);
            else if (!within(last_source, i))
                none(i, assignment::missing::too_far);
            else
                take(i, last_source, previous ? assignment::origin::previous : assignment::origin::next);
        }
        break;
    }
    case sync_mode::closest: {
        // The nearest source on each side, found in one pass each way.
        const std::size_t count = walk.size();
        std::vector<int> later_source(count, -1);
        int next_source = -1;
        for (int k = int(count) - 1; k >= 0; --k) {
            later_source[std::size_t(k)] = next_source;
            if (has_own(walk[std::size_t(k)]))
                next_source = walk[std::size_t(k)];
        }
        int earlier_source = -1;
        for (std::size_t k = 0; k < count; ++k) {
            const int i = walk[k];
            if (has_own(i)) {
                earlier_source = i;
                continue;
            }
            const int before = earlier_source >= 0 && within(earlier_source, i) ? earlier_source : -1;
            const int after = later_source[k] >= 0 && within(later_source[k], i) ? later_source[k] : -1;
            if (before >= 0 && (after < 0 || distance(keys[before], keys[i]) < distance(keys[after], keys[i])))
                take(i, before, assignment::origin::previous);
            else if (after >= 0)
                take(i, after, assignment::origin::next);
            else
                none(i,
                    earlier_source >= 0 || later_source[k] >= 0 ? assignment::missing::too_far
                                                                : assignment::missing::no_source);
        }
        break;
    }
    default:
        break;
    }
}

// The track point a position was taken from: the nearest, the later one on
// a tie, as the track chooses it.
std::optional<qint64> point_at(const gps_track& track, qint64 utc, qint64 distance)
{
    const std::vector<track_point>& points = track.points();
    for (const qint64 msecs : { utc + distance, utc - distance }) {
        const auto it = std::lower_bound(points.begin(), points.end(), msecs,
            [](const track_point& point, qint64 value) { return point.msecs < value; });
        if (it != points.end() && it->msecs == msecs)
            return msecs;
    }
    return std::nullopt;
}

void place_on_track(const std::vector<photo_facts>& photos, const assignment_settings& settings,
    std::vector<assignment>& out)
{
    camera_time_converter convert(settings.clock);
    const match_options matching = settings.track_matching();
    for (std::size_t i = 0; i < photos.size(); ++i) {
        const photo_facts& photo = photos[i];
        assignment& a = out[i];
        // A photo keeps its own position unless the track is to replace it,
        // and also where the track has nothing for it: a gap in the track
        // must not erase a good position.
        if (photo.own && !settings.track_overwrites)
            continue;
        const auto fail = [&](assignment::missing why) {
            if (!photo.own)
                a.why = why;
        };
        if (!photo.read_error.isEmpty()) {
            fail(assignment::missing::unreadable);
            continue;
        }
        // A file's date is when it was copied, not where the photographer was.
        const std::optional<qint64> utc = photo.time_from == time_source::camera
            ? convert.to_utc(photo.taken.date(), photo.taken.time(), parse_utc_offset(photo.zone_text))
            : std::nullopt;
        if (!utc) {
            fail(assignment::missing::no_time);
            continue;
        }
        a.utc_msecs = utc;
        if (settings.track.empty()) {
            fail(assignment::missing::no_track);
            continue;
        }
        const track_match match = settings.track.match(*utc, matching);
        a.nearest_point_msecs = match.nearest_msecs;
        if (match.how == track_match::kind::none) {
            fail(assignment::missing::too_far);
            continue;
        }
        a.how = match.how == track_match::kind::interpolated ? assignment::origin::track_interpolated
                                                             : assignment::origin::track_point;
        a.why = assignment::missing::none;
        a.proposed = true;
        a.position = lat_lon { match.lat, match.lon };
        a.altitude = match.elevation;
        a.gps_time_msecs = utc;
        a.course = match.course;
        a.speed_kmh = match.speed_kmh;
        a.replaces_own = photo.own.has_value();
        if (a.how == assignment::origin::track_point && match.nearest_msecs)
            a.point_msecs = point_at(settings.track, *utc, *match.nearest_msecs);
    }
}

// The path without its last suffix, as QFileInfo's path and complete base
// name give it, without QFileInfo's cost for every photo.
QStringView shot_name(const QString& path)
{
    const int slash = path.lastIndexOf(QLatin1Char('/'));
    const int dot = path.lastIndexOf(QLatin1Char('.'));
    return dot > slash ? QStringView(path).left(dot) : QStringView(path);
}

void share_within_pairs(const std::vector<photo_facts>& photos, std::vector<assignment>& out)
{
    // Photos by name first: almost every name is alone, and is done with.
    QHash<QStringView, std::vector<std::size_t>> by_name;
    by_name.reserve(int(photos.size()));
    for (std::size_t i = 0; i < photos.size(); ++i) {
        if (photos[i].taken.isValid())
            by_name[shot_name(photos[i].path)].push_back(i);
    }
    for (const std::vector<std::size_t>& named : std::as_const(by_name)) {
        if (named.size() < 2)
            continue;
        std::map<QDateTime, std::vector<std::size_t>> shots;
        for (const std::size_t i : named)
            shots[photos[i].taken].push_back(i);
        for (const auto& [time, members] : shots) {
            const auto source = std::find_if(members.begin(), members.end(), [&](std::size_t i) { return photos[i].own.has_value(); });
            if (members.size() < 2 || source == members.end())
                continue;
            for (const std::size_t i : members) {
                if (photos[i].own || (out[i].proposed && out[i].replaces_own))
                    continue;
                assignment& a = out[i];
                a = assignment();
                a.how = *source < i ? assignment::origin::previous : assignment::origin::next;
                a.proposed = true;
                a.position = photos[*source].own;
                a.source = int(*source);
            }
        }
    }
}

} // namespace

sync_mode sync_mode_of(int number)
{
    if (number < int(sync_mode::previous) || number > int(sync_mode::track))
        return sync_mode::none;
    return sync_mode(number);
}

qint64 assignment_settings::track_limit_msecs() const
{
    if (time_limit_secs == 0)
        return no_track_limit_msecs;
    return (time_limit_secs > 0 ? time_limit_secs : default_track_limit_secs) * 1000;
}

match_options assignment_settings::track_matching() const
{
    match_options options;
    options.gap_limit_msecs = track_limit_msecs();
    options.end_limit_msecs = end_limit_secs < 0 ? options.gap_limit_msecs
        : end_limit_secs == 0                    ? no_track_limit_msecs
                                                 : end_limit_secs * 1000;
    options.across_segments = across_segments;
    options.with_course = with_course;
    return options;
}

std::vector<int> time_order(const std::vector<photo_facts>& photos, bool descending)
{
    return order_of(keys_of(photos), descending);
}

std::optional<qint64> utc_msecs(const photo_facts& photo, const camera_clock& clock)
{
    if (photo.time_from != time_source::camera)
        return std::nullopt;
    return camera_time_converter(clock).to_utc(photo.taken.date(), photo.taken.time(), parse_utc_offset(photo.zone_text));
}

std::vector<assignment> assign(const std::vector<photo_facts>& photos, const assignment_settings& settings)
{
    std::vector<assignment> out(photos.size());
    for (std::size_t i = 0; i < photos.size(); ++i) {
        if (photos[i].own)
            out[i].how = assignment::origin::own;
    }
    switch (settings.mode) {
    case sync_mode::previous:
    case sync_mode::next:
    case sync_mode::closest:
        copy_from_photos(photos, settings, out);
        break;
    case sync_mode::typed:
        for (std::size_t i = 0; i < photos.size(); ++i) {
            assignment& a = out[i];
            a.how = assignment::origin::typed;
            a.proposed = true;
            a.position = settings.typed;
            a.replaces_own = photos[i].own.has_value();
        }
        break;
    case sync_mode::track:
        place_on_track(photos, settings, out);
        break;
    case sync_mode::none:
        break;
    }
    // A raw file and the JPEG of the same shot (same name, same time) hold the
    // same position: one that has it of its own gives it to the other.
    if (settings.mode != sync_mode::typed && settings.mode != sync_mode::none)
        share_within_pairs(photos, out);
    // Nothing could be read of these: they are named for that, whatever the mode.
    for (std::size_t i = 0; i < photos.size(); ++i) {
        if (!photos[i].read_error.isEmpty() && !out[i].proposed && out[i].why != assignment::missing::none)
            out[i].why = assignment::missing::unreadable;
    }
    return out;
}
