#include "geo/offset_search.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QLoggingCategory>

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace {

Q_LOGGING_CATEGORY(lcOffset, "vestra.geo.offset", QtWarningMsg)

constexpr qint64 minute = 60 * 1000;
// Near enough to a point to count as on the track.
constexpr qint64 close_msecs = minute;
// Offsets this close to whole hours read as a zone mistake.
constexpr qint64 zone_slack_secs = 5 * 60;
// Minutes of the clock below this are the search's own rounding.
constexpr qint64 clock_slack_secs = 60;
// The offsets of one suggestion lie within this of each other.
constexpr int widest_choice_minutes = 60;
// Equally good offsets this close belong to one choice.
constexpr int group_gap_minutes = 15;

QString tr(const char* text)
{
    return QCoreApplication::translate("offset_search", text);
}

qint64 floor_div(qint64 a, qint64 b)
{
    return a / b - (a % b != 0 && (a < 0) != (b < 0) ? 1 : 0);
}

qint64 ceil_div(qint64 a, qint64 b)
{
    return -floor_div(-a, b);
}

// How many photos each offset of the range places: a photo at t lies in
// span [a, b] when shifted by m minutes exactly for t - b <= m * 60 s <= t - a.
std::vector<int> count_placed(
    const std::vector<qint64>& photos, const std::vector<time_span>& spans, qint64 range_minutes)
{
    std::vector<int> counts(std::size_t(2 * range_minutes + 2), 0);
    const qint64 reach = range_minutes * minute;
    for (const qint64 t : photos) {
        auto span = std::lower_bound(spans.begin(), spans.end(), t - reach,
            [](const time_span& s, qint64 value) { return s.to < value; });
        for (; span != spans.end() && span->from <= t + reach; ++span) {
            const qint64 low = std::max(ceil_div(t - span->to, minute), -range_minutes);
            const qint64 high = std::min(floor_div(t - span->from, minute), range_minutes);
            if (low > high)
                continue;
            // The spans are disjoint, so no photo counts twice at one offset.
            ++counts[std::size_t(low + range_minutes)];
            --counts[std::size_t(high + range_minutes + 1)];
        }
    }
    int running = 0;
    for (int& count : counts) {
        running += count;
        count = running;
    }
    counts.pop_back();
    return counts;
}

std::vector<time_span> merged(std::vector<time_span> spans)
{
    std::sort(
        spans.begin(), spans.end(), [](const time_span& a, const time_span& b) { return a.from < b.from; });
    std::vector<time_span> out;
    for (const time_span& span : spans) {
        if (!out.empty() && span.from <= out.back().to + 1)
            out.back().to = std::max(out.back().to, span.to);
        else
            out.push_back(span);
    }
    return out;
}

QString duration_text(qint64 secs)
{
    const qint64 minutes = std::llabs(secs) / 60;
    if (minutes < 60)
        return tr("%1 min").arg(minutes);
    return tr("%1:%2 h").arg(minutes / 60).arg(minutes % 60, 2, 10, QLatin1Char('0'));
}

QString direction(qint64 secs)
{
    return secs > 0 ? tr("ahead") : tr("behind");
}

QString utc_offset_name(int secs)
{
    if (secs == 0)
        return QStringLiteral("UTC");
    const int minutes = std::abs(secs) / 60;
    return QStringLiteral("UTC%1%2:%3")
        .arg(secs < 0 ? QLatin1Char('-') : QLatin1Char('+'))
        .arg(minutes / 60, 2, 10, QLatin1Char('0'))
        .arg(minutes % 60, 2, 10, QLatin1Char('0'));
}

void describe(offset_suggestion& result, const std::vector<qint64>& photos, const QTimeZone& assumed_zone)
{
    const qint64 x = result.offset_secs;
    const qint64 hours = (x >= 0 ? x + 1800 : x - 1800) / 3600;
    const qint64 rest = x - hours * 3600;
    if (hours != 0 && std::llabs(rest) <= zone_slack_secs) {
        result.zone_hours = int(hours);
        result.clock_secs = std::llabs(rest) > clock_slack_secs ? rest : 0;
    }
    if (x == 0) {
        result.offset_text = tr("none");
    } else if (!result.zone_hours) {
        result.offset_text = tr("%1 %2").arg(duration_text(x), direction(x));
    } else {
        const qint64 zone_secs = hours * 3600;
        const qint64 clock = result.clock_secs;
        if (clock == 0)
            result.offset_text = tr("%1 %2").arg(duration_text(zone_secs), direction(zone_secs));
        else if ((clock > 0) == (zone_secs > 0))
            result.offset_text
                = tr("%1 and %2 %3")
                      .arg(duration_text(zone_secs), duration_text(clock), direction(zone_secs));
        else
            result.offset_text = tr("%1 %2 and %3 %4")
                                     .arg(duration_text(zone_secs), direction(zone_secs),
                                         duration_text(clock), direction(clock));
    }
    if (!result.zone_hours || !assumed_zone.isValid() || photos.empty())
        return;
    // The camera's real zone: the one assumed, moved by the hours the
    // camera was ahead, at the middle photo's time.
    const qint64 middle = photos[photos.size() / 2];
    const int assumed = assumed_zone.offsetFromUtc(QDateTime::fromMSecsSinceEpoch(middle, Qt::UTC));
    const int real = assumed + *result.zone_hours * 3600;
    if (real < -12 * 3600 || real > 14 * 3600)
        return;
    result.zone_text = tr("the camera was set to %1, not %2")
                           .arg(utc_offset_name(real), QString::fromUtf8(assumed_zone.id()));
}

} // namespace

offset_suggestion search_clock_offset(const std::vector<qint64>& photo_utc_msecs, const gps_track& track,
    const match_options& options, const QTimeZone& assumed_zone, const offset_search_options& search)
{
    offset_suggestion result;
    result.photos = int(photo_utc_msecs.size());
    if (track.empty() || photo_utc_msecs.empty())
        return result;
    std::vector<qint64> photos = photo_utc_msecs;
    std::sort(photos.begin(), photos.end());

    const qint64 range = search.range_secs / 60;
    const std::vector<int> placed = count_placed(photos, track.coverage(options), range);
    // On the track: where it interpolates, or near one of its points.
    match_options near_points = options;
    near_points.gap_limit_msecs = std::min(options.gap_limit_msecs, close_msecs);
    near_points.end_limit_msecs = std::min(options.end_limit_msecs, close_msecs);
    std::vector<time_span> on_track = track.coverage(options, true);
    const std::vector<time_span> around_points = track.coverage(near_points);
    on_track.insert(on_track.end(), around_points.begin(), around_points.end());
    const std::vector<int> close = count_placed(photos, merged(std::move(on_track)), range);

    const int best = *std::max_element(placed.begin(), placed.end());
    result.placed_now = placed[std::size_t(range)];
    result.placed_with_offset = best;
    if (best == 0)
        return result;
    int closest = 0;
    for (std::size_t i = 0; i < placed.size(); ++i) {
        if (placed[i] == best)
            closest = std::max(closest, close[i]);
    }
    std::vector<qint64> chosen;
    for (std::size_t i = 0; i < placed.size(); ++i) {
        if (placed[i] == best && close[i] == closest)
            chosen.push_back(qint64(i) - range);
    }
    // Of far-apart groups the one nearest the current setting.
    std::vector<std::pair<qint64, qint64>> groups;
    for (const qint64 m : chosen) {
        if (!groups.empty() && m - groups.back().second <= group_gap_minutes)
            groups.back().second = m;
        else
            groups.emplace_back(m, m);
    }
    const auto nearest_group
        = std::min_element(groups.begin(), groups.end(), [](const auto& a, const auto& b) {
              return std::llabs(a.first + a.second) < std::llabs(b.first + b.second);
          });
    const qint64 from = nearest_group->first;
    const qint64 to = nearest_group->second;
    chosen.erase(
        std::remove_if(chosen.begin(), chosen.end(), [from, to](qint64 m) { return m < from || m > to; }),
        chosen.end());
    const qint64 centre = *std::min_element(chosen.begin(), chosen.end(), [from, to](qint64 a, qint64 b) {
        return std::llabs(2 * a - from - to) < std::llabs(2 * b - from - to);
    });
    result.offset_secs = centre * 60;
    result.from_secs = from * 60;
    result.to_secs = to * 60;

    // Rivals: offsets placing nearly as many photos, cut off from the chosen
    // ones by offsets that place fewer.
    const int nearly = best - std::max(1, best / 10);
    std::size_t low = std::size_t(centre + range);
    std::size_t high = low;
    while (low > 0 && placed[low - 1] >= nearly)
        --low;
    while (high + 1 < placed.size() && placed[high + 1] >= nearly)
        ++high;
    bool rival = false;
    for (std::size_t i = 0; i < placed.size() && !rival; ++i)
        rival = (i < low || i > high) && placed[i] >= nearly;
    result.ambiguous = rival || to - from > widest_choice_minutes;

    const int gain = best - result.placed_now;
    result.clearly_better = !result.ambiguous && centre != 0
        && gain >= std::min(search.min_gain, result.photos)
        && double(best) >= double(result.placed_now) * (1 + search.min_gain_ratio);
    describe(result, photos, assumed_zone);
    qCDebug(lcOffset) << "best offset" << result.offset_secs << "s places" << best << "of" << result.photos
                      << "photos, now" << result.placed_now << (result.ambiguous ? "(ambiguous)" : "");
    return result;
}
