#include "places/gazetteer.h"
#include "places/places_log.h"

#include <QElapsedTimer>
#include <QHash>

#include <memory>

#include <geonames.h>
#include <libintl.h>

Q_LOGGING_CATEGORY(lc_places, "vestra.places", QtWarningMsg)

namespace {

struct city_deleter {
    void operator()(GeonamesCity* city) const { geonames_city_free(city); }
};
using city_ptr = std::unique_ptr<GeonamesCity, city_deleter>;

// Regions, countries and zones repeat thousands of times: one copy each, and
// their translations looked up once.
template <typename Value> class interned {
public:
    template <typename Make> Value get(const char* key, Make make)
    {
        const QByteArray lookup = QByteArray::fromRawData(key, int(qstrlen(key)));
        auto found = values.constFind(lookup);
        if (found == values.constEnd())
            found = values.insert(QByteArray(key), make());
        return *found;
    }

private:
    QHash<QByteArray, Value> values;
};

// The library hands each city out as a tuple of (id, name, region code,
// region, country code, country, zone, population, lat, lon) with names in
// English. Reading it directly takes a third of the time its getters take;
// they are asked only for the names in the user's language.
const char* const city_layout = "(sssssssudd)";

class city_tuple {
public:
    explicit city_tuple(GeonamesCity* city)
    {
        for (gsize i = 0; i < size; ++i)
            fields[i] = g_variant_get_child_value(city, i);
    }
    ~city_tuple()
    {
        for (GVariant* field : fields)
            g_variant_unref(field);
    }
    Q_DISABLE_COPY(city_tuple)

    const char* text(int i) const { return g_variant_get_string(fields[i], nullptr); }
    quint32 number(int i) const { return g_variant_get_uint32(fields[i]); }
    double real(int i) const { return g_variant_get_double(fields[i]); }

private:
    static constexpr gsize size = 10;
    GVariant* fields[size];
};

struct gazetteer_reader {
    interned<QString> codes;
    interned<QByteArray> zones;
    interned<QString> regions;
    interned<QString> countries;
    interned<QString> english;

    gazetteer_entry from_tuple(GeonamesCity* city)
    {
        const city_tuple t(city);
        gazetteer_entry entry;
        place& p = entry.where;
        const char* name = geonames_city_get_name(city);
        p.name = QString::fromUtf8(name);
        if (qstrcmp(name, t.text(1)) != 0)
            entry.english_name = QString::fromUtf8(t.text(1));
        const char* code = t.text(4);
        const QByteArray region_key = QByteArray(code) + '.' + t.text(2);
        p.region
            = regions.get(region_key, [city] { return QString::fromUtf8(geonames_city_get_state(city)); });
        p.country
            = countries.get(code, [city] { return QString::fromUtf8(geonames_city_get_country(city)); });
        const QString english_region = english.get(region_key, [&t] { return QString::fromUtf8(t.text(3)); });
        if (english_region != p.region)
            entry.english_region = english_region;
        const QString english_country = english.get(code, [&t] { return QString::fromUtf8(t.text(5)); });
        if (english_country != p.country)
            entry.english_country = english_country;
        p.country_code = codes.get(code, [code] { return QString::fromUtf8(code); });
        const char* zone = t.text(6);
        p.zone_id = zones.get(zone, [zone] { return QByteArray(zone); });
        p.population = t.number(7);
        p.lat = t.real(8);
        p.lon = t.real(9);
        return entry;
    }

    gazetteer_entry from_getters(GeonamesCity* city)
    {
        gazetteer_entry entry;
        place& p = entry.where;
        p.name = QString::fromUtf8(geonames_city_get_name(city));
        p.region = QString::fromUtf8(geonames_city_get_state(city));
        p.country = QString::fromUtf8(geonames_city_get_country(city));
        const char* code = geonames_city_get_country_code(city);
        p.country_code = codes.get(code, [code] { return QString::fromUtf8(code); });
        const char* zone = geonames_city_get_timezone(city);
        p.zone_id = zones.get(zone, [zone] { return QByteArray(zone); });
        p.population = geonames_city_get_population(city);
        p.lat = geonames_city_get_latitude(city);
        p.lon = geonames_city_get_longitude(city);
        return entry;
    }
};

} // namespace

std::vector<gazetteer_entry> read_gazetteer()
{
    QElapsedTimer timer;
    timer.start();
    // Translations come in the locale's charset unless asked for in UTF-8.
    bind_textdomain_codeset("geonames", "UTF-8");

    const int count = geonames_get_n_cities();
    std::vector<gazetteer_entry> entries;
    entries.reserve(std::size_t(std::max(count, 0)));
    gazetteer_reader reader;
    bool tuples = true;
    for (int i = 0; i < count; ++i) {
        const city_ptr city(geonames_get_city(i));
        if (!city)
            continue;
        if (tuples && !g_variant_is_of_type(city.get(), G_VARIANT_TYPE(city_layout))) {
            qCDebug(lc_places) << "gazetteer entries unlike" << city_layout << "; English names unknown";
            tuples = false;
        }
        entries.push_back(tuples ? reader.from_tuple(city.get()) : reader.from_getters(city.get()));
    }
    qCDebug(lc_places) << "read" << entries.size() << "places in" << timer.elapsed() << "ms";
    return entries;
}
