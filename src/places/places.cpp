#include "places/places.h"
#include "places/place_index.h"

#include <QCoreApplication>
#include <QLocale>
#include <QStringList>

#include <algorithm>
#include <cmath>

namespace {

constexpr double earth_radius_km = 6371.0088;

double haversine_km(double lat1, double lon1, double lat2, double lon2)
{
    constexpr double radians = M_PI / 180;
    const double dlat = (lat2 - lat1) * radians;
    const double dlon = (lon2 - lon1) * radians;
    const double a = std::pow(std::sin(dlat / 2), 2)
        + std::cos(lat1 * radians) * std::cos(lat2 * radians) * std::pow(std::sin(dlon / 2), 2);
    return 2 * earth_radius_km * std::asin(std::sqrt(std::min(1.0, a)));
}

std::optional<place_distance> distance_to(int item, double lat, double lon)
{
    if (item < 0)
        return std::nullopt;
    const place& where = place_index::shared().entries()[std::size_t(item)].where;
    return place_distance { where, haversine_km(lat, lon, where.lat, where.lon) };
}

// Skips empty parts and repeats, as in "Auckland, Auckland, New Zealand".
QString joined(const QStringList& parts)
{
    QStringList kept;
    for (const QString& part : parts) {
        if (!part.isEmpty() && !kept.contains(part))
            kept << part;
    }
    return kept.join(QStringLiteral(", "));
}

QString format_km(double km)
{
    const QLocale locale;
    const QString number = km < 9.95 ? locale.toString(km, 'f', 1) : locale.toString(std::round(km), 'f', 0);
    return QCoreApplication::translate("places", "%1 km").arg(number);
}

QVector<place> places_of(const std::vector<place_index::name_match>& matches, int limit)
{
    const auto& entries = place_index::shared().entries();
    QVector<place> found;
    for (const auto& match : matches) {
        if (found.size() >= limit)
            break;
        found << entries[std::size_t(match.item)].where;
    }
    return found;
}

} // namespace

std::optional<place_distance> nearest_place(double lat, double lon)
{
    return distance_to(place_index::shared().nearest(lat, lon), lat, lon);
}

std::optional<place_distance> zone_at(double lat, double lon)
{
    const int item = place_index::shared().nearest_with_listed_zone(lat, lon);
    auto found = distance_to(item, lat, lon);
    if (found)
        found->where.zone_id = place_index::shared().listed_zone(item);
    return found;
}

QString describe_place(const place& where, double distance_km, double limit_km)
{
    if (!(distance_km <= at_sea_km))
        return {};
    if (distance_km <= limit_km) {
        return QCoreApplication::translate("places", "near %1 (%2)")
            .arg(joined({ where.name, where.region, where.country }), format_km(distance_km));
    }
    return joined({ where.region, where.country });
}

QString place_title(const place& where)
{
    return joined({ where.name, where.region, where.country });
}

QVector<place> search_places(const QString& text, int limit)
{
    return places_of(place_index::shared().match_name(text), limit);
}

place_match resolve_place(const QString& text, int limit)
{
    auto matches = place_index::shared().match_name(text);
    // Exact names decide when there are any; a beginning only when it fits one place.
    const auto exact_end = std::find_if(
        matches.begin(), matches.end(), [](const place_index::name_match& m) { return !m.exact; });
    if (exact_end != matches.begin())
        matches.erase(exact_end, matches.end());
    place_match result;
    if (matches.size() == 1)
        result.found = place_index::shared().entries()[std::size_t(matches.front().item)].where;
    else
        result.candidates = places_of(matches, limit);
    return result;
}
