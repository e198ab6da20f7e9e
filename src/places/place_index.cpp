#include "places/place_index.h"
#include "places/places_log.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QHash>
#include <QTimeZone>

#include <algorithm>
#include <cmath>

namespace {

bool in_range(double lat, double lon)
{
    // Written so that NaN fails too.
    return std::fabs(lat) <= 90 && std::fabs(lon) <= 180;
}

std::vector<sphere_index::lat_lon> positions_of(const std::vector<gazetteer_entry>& entries)
{
    std::vector<sphere_index::lat_lon> points;
    points.reserve(entries.size());
    for (const gazetteer_entry& entry : entries)
        points.push_back({ entry.where.lat, entry.where.lon });
    return points;
}

// Letters that keep their stroke under decomposition.
QString plain_letter(QChar c)
{
    switch (c.unicode()) {
    case 0x00F8: // ø
        return QStringLiteral("o");
    case 0x0111: // đ
    case 0x00F0: // ð
        return QStringLiteral("d");
    case 0x0142: // ł
        return QStringLiteral("l");
    case 0x0131: // dotless i
        return QStringLiteral("i");
    case 0x00E6: // æ
        return QStringLiteral("ae");
    case 0x0153: // œ
        return QStringLiteral("oe");
    case 0x00DF: // ß
        return QStringLiteral("ss");
    case 0x00FE: // þ
        return QStringLiteral("th");
    default:
        return QString(c);
    }
}

bool is_apostrophe(QChar c)
{
    switch (c.unicode()) {
    case '\'':
    case '`':
    case 0x2018:
    case 0x2019:
    case 0x02BB:
    case 0x02BC:
        return true;
    default:
        return false;
    }
}

bool is_ascii(const QString& text)
{
    for (QChar c : text) {
        if (c.unicode() >= 0x80)
            return false;
    }
    return true;
}

// QTimeZone lists a renamed zone (Europe/Kiev) only under its new name, to
// which the system's zone file links.
QByteArray zone_as_listed(const QByteArray& id)
{
    if (QTimeZone::isTimeZoneIdAvailable(id))
        return id;
    const QString folder
        = QFileInfo(qEnvironmentVariable("TZDIR", QStringLiteral("/usr/share/zoneinfo"))).canonicalFilePath()
        + QLatin1Char('/');
    const QString target = QFileInfo(folder + QString::fromUtf8(id)).canonicalFilePath();
    if (folder.size() > 1 && target.startsWith(folder)) {
        const QByteArray renamed = target.mid(folder.size()).toUtf8();
        if (QTimeZone::isTimeZoneIdAvailable(renamed))
            return renamed;
    }
    return {};
}

} // namespace

QString search_key(const QString& text)
{
    const QString source = is_ascii(text) ? text : text.normalized(QString::NormalizationForm_KD);
    QString key;
    key.reserve(source.size());
    bool gap = false;
    for (QChar c : source) {
        if (c.category() == QChar::Mark_NonSpacing || is_apostrophe(c))
            continue;
        if (!c.isLetterOrNumber() && !c.isSurrogate()) {
            gap = true;
            continue;
        }
        if (gap && !key.isEmpty())
            key += QLatin1Char(' ');
        gap = false;
        const QChar folded = c.toCaseFolded();
        if (folded.unicode() < 0x80)
            key += folded;
        else
            key += plain_letter(folded);
    }
    return key;
}

place_index::place_index(std::vector<gazetteer_entry> entries)
    : entries_(std::move(entries))
    , points(positions_of(entries_))
{
}

const place_index& place_index::shared()
{
    static const place_index index(read_gazetteer());
    return index;
}

int place_index::nearest(double lat, double lon) const
{
    if (!in_range(lat, lon))
        return -1;
    return points.nearest(lat, lon);
}

int place_index::nearest_with_listed_zone(double lat, double lon) const
{
    if (!in_range(lat, lon))
        return -1;
    std::call_once(zones_once, [this] { list_zones(); });
    return points.nearest(lat, lon, [this](int item) { return !listed_zones[std::size_t(item)].isEmpty(); });
}

QByteArray place_index::listed_zone(int item) const
{
    std::call_once(zones_once, [this] { list_zones(); });
    return listed_zones[std::size_t(item)];
}

void place_index::list_zones() const
{
    QHash<QByteArray, QByteArray> listed;
    listed_zones.reserve(entries_.size());
    for (const gazetteer_entry& entry : entries_) {
        const QByteArray& zone = entry.where.zone_id;
        auto found = listed.constFind(zone);
        if (found == listed.constEnd()) {
            found = listed.insert(zone, zone_as_listed(zone));
            if (*found != zone)
                qCDebug(lc_places) << "zone" << zone << "listed as" << *found;
        }
        listed_zones.push_back(*found);
    }
}

void place_index::build_name_keys() const
{
    QElapsedTimer timer;
    timer.start();
    QHash<QString, QString> keys_of; // the same region or country, one key
    const auto key_of = [&keys_of](const QString& text) {
        auto found = keys_of.constFind(text);
        if (found == keys_of.constEnd())
            found = keys_of.insert(text, search_key(text));
        return *found;
    };
    names.reserve(entries_.size() * 5 / 4);
    qualifiers.reserve(entries_.size());
    for (std::size_t i = 0; i < entries_.size(); ++i) {
        const gazetteer_entry& entry = entries_[i];
        const QString key = search_key(entry.where.name);
        names.push_back({ key, int(i) });
        if (!entry.english_name.isEmpty()) {
            const QString english = search_key(entry.english_name);
            if (english != key)
                names.push_back({ english, int(i) });
        }
        qualifiers.push_back({ key_of(entry.where.region), key_of(entry.where.country),
            key_of(entry.where.country_code), key_of(entry.english_region), key_of(entry.english_country) });
    }
    std::sort(
        names.begin(), names.end(), [](const keyed_name& a, const keyed_name& b) { return a.key < b.key; });
    qCDebug(lc_places) << "name keys of" << entries_.size() << "places in" << timer.elapsed() << "ms";
}

std::vector<place_index::name_match> place_index::match_name(const QString& text) const
{
    const QStringList parts = text.split(QLatin1Char(','));
    const QString wanted = search_key(parts.front());
    if (wanted.isEmpty())
        return {};
    QStringList narrowing;
    for (int i = 1; i < parts.size(); ++i) {
        const QString key = search_key(parts[i]);
        if (!key.isEmpty())
            narrowing << key;
    }
    std::call_once(names_once, [this] { build_name_keys(); });

    const auto fits = [&](int item) {
        const qualifier_keys& q = qualifiers[std::size_t(item)];
        for (const QString& part : narrowing) {
            if (part != q.region && part != q.country && part != q.code && part != q.english_region
                && part != q.english_country)
                return false;
        }
        return true;
    };

    // A place found by both its names counts once, as its better match.
    QHash<int, bool> exact_by_item;
    auto it = std::lower_bound(names.begin(), names.end(), wanted,
        [](const keyed_name& name, const QString& key) { return name.key < key; });
    for (; it != names.end() && it->key.startsWith(wanted); ++it) {
        if (!fits(it->item))
            continue;
        bool& exact = exact_by_item[it->item];
        exact = exact || it->key.size() == wanted.size();
    }

    std::vector<name_match> matches;
    matches.reserve(std::size_t(exact_by_item.size()));
    for (auto m = exact_by_item.constBegin(); m != exact_by_item.constEnd(); ++m)
        matches.push_back({ m.key(), m.value() });
    std::sort(matches.begin(), matches.end(), [this](const name_match& a, const name_match& b) {
        if (a.exact != b.exact)
            return a.exact;
        const place& pa = entries_[std::size_t(a.item)].where;
        const place& pb = entries_[std::size_t(b.item)].where;
        if (pa.population != pb.population)
            return pa.population > pb.population;
        return a.item < b.item;
    });
    return matches;
}
