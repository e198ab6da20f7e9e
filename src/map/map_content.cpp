#include "map/map_content.h"

#include "places/places.h"

#include "engine/assignment.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QHash>

#include <algorithm>
#include <cmath>
#include <map>

namespace {

map_content::kind kind_of(const assignment& a)
{
    switch (a.how) {
    case assignment::origin::manual:
        return map_content::kind::manual;
    case assignment::origin::typed:
        return map_content::kind::typed;
    case assignment::origin::track_point:
    case assignment::origin::track_interpolated:
        return map_content::kind::track_proposal;
    default:
        return map_content::kind::proposed;
    }
}

// Photos on one spot to a ten-millionth of a degree (about a centimetre) are
// on the same spot.
struct spot_key {
    map_content::kind what;
    qint64 lat;
    qint64 lon;
    bool operator<(const spot_key& other) const
    {
        return std::tie(what, lat, lon) < std::tie(other.what, other.lat, other.lon);
    }
};

QString heading(map_content::kind what)
{
    switch (what) {
    case map_content::kind::own:
        return QCoreApplication::translate("map_content", "Own position");
    case map_content::kind::proposed:
        return QCoreApplication::translate("map_content", "Proposed position");
    case map_content::kind::typed:
        return QCoreApplication::translate("map_content", "Typed position");
    case map_content::kind::track_proposal:
        return QCoreApplication::translate("map_content", "Position from the track");
    case map_content::kind::manual:
        return QCoreApplication::translate("map_content", "Position set by hand");
    }
    return {};
}

bool any_chosen(const std::vector<map_content::photo>& photos, const std::vector<bool>& chosen)
{
    return std::any_of(photos.begin(), photos.end(), [&](const map_content::photo& p) {
        return p.index >= 0 && std::size_t(p.index) < chosen.size() && chosen[std::size_t(p.index)];
    });
}

} // namespace

map_content map_content::of(
    const std::vector<photo_facts>& photos, const std::vector<assignment>& results, const assignment_settings& settings)
{
    map_content content;
    std::map<spot_key, std::size_t> where;
    auto add = [&](kind what, double lat, double lon, photo who) {
        const spot_key key { what, std::llround(lat * 1e7), std::llround(lon * 1e7) };
        auto it = where.find(key);
        if (it == where.end()) {
            it = where.emplace(key, content.markers.size()).first;
            content.markers.push_back(marker { what, lat, lon, {} });
        }
        content.markers[it->second].photos.push_back(std::move(who));
    };

    for (std::size_t i = 0; i < photos.size() && i < results.size(); ++i) {
        const photo who { QFileInfo(photos[i].path).fileName(), photos[i].taken, int(i) };
        if (photos[i].own)
            add(kind::own, photos[i].own->first, photos[i].own->second, who);
        // An empty typed position clears the photos' GPS data: nothing to show.
        const assignment& a = results[i];
        if (a.proposed && a.position)
            add(kind_of(a), a.position->first, a.position->second, who);
    }

    if (settings.mode == sync_mode::track) {
        // Sorted by time over all tracks; each segment is its own line.
        std::map<std::pair<int, int>, std::size_t> lines;
        for (const track_point& point : settings.track.points()) {
            auto it = lines.find({ point.track, point.segment });
            if (it == lines.end()) {
                it = lines.emplace(std::make_pair(point.track, point.segment), content.track.size()).first;
                content.track.emplace_back();
            }
            content.track[it->second].emplace_back(point.lat, point.lon);
        }
    }
    return content;
}

std::optional<map_content::box> map_content::bounds() const
{
    std::optional<box> all;
    auto take = [&all](double lat, double lon) {
        if (!all) {
            all = box { lat, lat, lon, lon };
            return;
        }
        all->south = std::min(all->south, lat);
        all->north = std::max(all->north, lat);
        all->west = std::min(all->west, lon);
        all->east = std::max(all->east, lon);
    };
    for (const marker& m : markers)
        take(m.lat, m.lon);
    for (const line& l : track) {
        for (const auto& [lat, lon] : l)
            take(lat, lon);
    }
    return all;
}

std::optional<map_content::box> map_content::bounds(const std::vector<bool>& chosen) const
{
    map_content picked;
    for (const marker& m : markers) {
        if (any_chosen(m.photos, chosen))
            picked.markers.push_back(marker { m.what, m.lat, m.lon, {} });
    }
    return picked.bounds();
}

QString map_content::tool_tip(const std::vector<const marker*>& here)
{
    if (here.empty())
        return {};
    // A tip taller than the screen helps nobody.
    constexpr int most = 15;
    std::size_t photo_count = 0;
    for (const marker* m : here)
        photo_count += m->photos.size();
    const marker& first = *here.front();
    QString where = QStringLiteral("%1, %2").arg(first.lat, 0, 'f', 6).arg(first.lon, 0, 'f', 6);
    if (const std::optional<place_distance> near = nearest_place(first.lat, first.lon)) {
        const QString named = describe_place(near->where, near->km);
        if (!named.isEmpty())
            where += QStringLiteral("<br>") + named.toHtmlEscaped();
    }
    QStringList lines;
    if (photo_count == 1) {
        const photo& p = first.photos.front();
        lines << QStringLiteral("<b>%1</b>").arg(p.file.toHtmlEscaped()) << p.time.toString(QStringLiteral("yyyy-MM-dd hh:mm:ss"))
              << where << heading(first.what);
    } else {
        lines << QStringLiteral("<b>%1</b>")
                     .arg(QCoreApplication::translate("map_content", "%n photos", nullptr, int(photo_count)))
              << (here.size() == 1 ? where : QCoreApplication::translate("map_content", "near %1").arg(where))
              << heading(first.what);
        int listed = 0;
        for (const marker* m : here) {
            for (const photo& p : m->photos) {
                if (listed++ == most)
                    break;
                lines << QStringLiteral("%1 &nbsp; %2")
                             .arg(p.file.toHtmlEscaped(), p.time.toString(QStringLiteral("yyyy-MM-dd hh:mm:ss")));
            }
        }
        if (photo_count > std::size_t(most))
            lines << QCoreApplication::translate("map_content", "and %1 more").arg(photo_count - most);
    }
    return QStringLiteral("<p style='white-space:pre'>") + lines.join(QStringLiteral("<br>")) + QStringLiteral("</p>");
}

std::vector<map_content::spot> map_content::spots(const projection& project, double cell_pixels) const
{
    std::vector<spot> drawn;
    // One grid cell per drawn spot and kind: cheap enough for every repaint.
    QHash<QPair<qint64, qint64>, int> cells;
    for (int i = 0; i < int(markers.size()); ++i) {
        const marker& m = markers[std::size_t(i)];
        const auto at = project(m.lat, m.lon);
        if (!at)
            continue;
        const auto cx = qint64(std::floor(at->x() / cell_pixels));
        const auto cy = qint64(std::floor(at->y() / cell_pixels));
        const QPair<qint64, qint64> key(cx * kind_count + qint64(m.what), cy);
        auto it = cells.find(key);
        if (it == cells.end()) {
            it = cells.insert(key, int(drawn.size()));
            drawn.push_back(spot { *at, m.what, 0, {} });
        }
        spot& s = drawn[std::size_t(*it)];
        s.photo_count += int(m.photos.size());
        s.members.push_back(i);
    }
    return drawn;
}

std::vector<int> map_content::photo_indexes(const spot& s) const
{
    std::vector<int> indexes;
    for (const int i : s.members) {
        for (const photo& p : markers[std::size_t(i)].photos) {
            if (p.index >= 0)
                indexes.push_back(p.index);
        }
    }
    std::sort(indexes.begin(), indexes.end());
    indexes.erase(std::unique(indexes.begin(), indexes.end()), indexes.end());
    return indexes;
}

bool map_content::touches(const spot& s, const std::vector<bool>& chosen) const
{
    return std::any_of(s.members.begin(), s.members.end(),
        [&](int i) { return any_chosen(markers[std::size_t(i)].photos, chosen); });
}

QString map_content::badge(int photo_count)
{
    if (photo_count < 2)
        return {};
    // Wider badges would hide the map around a crowded spot.
    if (photo_count > 999)
        return QStringLiteral("999+");
    return QString::number(photo_count);
}
