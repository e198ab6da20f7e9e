#include "exif/photo_facts.h"

#include "exif/exif_cache.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <string_view>

namespace {

using derived_map = exif_cache::derived_map;

// Paths are mostly ASCII, which is its own UTF-8; `key` is reused storage.
void utf8_key(const QString& path, ktk::string& key)
{
    key.clear();
    for (const QChar c : path) {
        if (c.unicode() >= 0x80) {
            const QByteArray bytes = path.toUtf8();
            key.assign(bytes.constData(), std::size_t(bytes.size()));
            return;
        }
        key.push_back(char(c.unicode()));
    }
}

const std::string* value_of(const derived_map& entry, const char* key)
{
    const auto it = entry.find(key);
    return it == entry.end() ? nullptr : &it->second;
}

std::optional<double> number(const derived_map& entry, const char* key)
{
    const std::string* text = value_of(entry, key);
    if (!text || text->empty())
        return std::nullopt;
    double value = 0;
    const auto [end, error] = std::from_chars(text->data(), text->data() + text->size(), value);
    if (error != std::errc() || end != text->data() + text->size() || !std::isfinite(value))
        return std::nullopt;
    return value;
}

// The "rec_" keys lie next to each other in the ordered map: one search and
// a short walk. A missing field counts as 0, which makes the time invalid.
void read_time(const derived_map& entry, photo_facts& facts)
{
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    static const ktk::string prefix("rec_");
    for (auto it = entry.lower_bound(prefix); it != entry.end() && it->first.compare(0, prefix.size(), prefix) == 0;
         ++it) {
        const char* name = it->first.c_str() + prefix.size();
        int* field = !std::strcmp(name, "year") ? &year
            : !std::strcmp(name, "month")       ? &month
            : !std::strcmp(name, "day")         ? &day
            : !std::strcmp(name, "hour")        ? &hour
            : !std::strcmp(name, "minute")      ? &minute
            : !std::strcmp(name, "second")      ? &second
                                                : nullptr;
        if (field)
            *field = it->second.to_int(0);
        else if (!std::strcmp(name, "offset"))
            facts.zone_text = QString::fromUtf8(it->second.data(), int(it->second.size()));
        else if (!std::strcmp(name, "source"))
            facts.time_from = it->second == "camera" ? time_source::camera
                : it->second == "file"                ? time_source::file
                                                      : time_source::none;
    }
    facts.taken = QDateTime(QDate(year, month, day), QTime(hour, minute, second, 0), Qt::LocalTime);
    if (!facts.taken.isValid())
        facts.time_from = time_source::none;
}

void read_position(const derived_map& entry, photo_facts& facts)
{
    const std::string* has = value_of(entry, "has_gps_position");
    if (!has || *has != "true")
        return;
    std::optional<double> lat = number(entry, "gps_lat_exact");
    std::optional<double> lon = number(entry, "gps_lon_exact");
    if (!lat || !lon) {
        lat = number(entry, "gps_lat");
        lon = number(entry, "gps_lon");
    }
    if (lat && lon)
        facts.own = std::pair { *lat, *lon };
}

} // namespace

std::vector<photo_facts> facts_of(const exif_cache& cache, const std::vector<QString>& paths)
{
    const std::size_t n = paths.size();
    std::vector<ktk::string> keys(n);
    for (std::size_t i = 0; i < n; ++i)
        utf8_key(paths[i], keys[i]);
    // Looking the photos up in the cache's own order keeps each search close
    // to the last one in memory.
    std::vector<std::size_t> by_key(n);
    for (std::size_t i = 0; i < n; ++i)
        by_key[i] = i;
    const auto key_less = [&keys](std::size_t a, std::size_t b) { return keys[a] < keys[b]; };
    if (!std::is_sorted(by_key.begin(), by_key.end(), key_less))
        std::sort(by_key.begin(), by_key.end(), key_less);

    std::vector<photo_facts> facts(n);
    for (const std::size_t i : by_key) {
        photo_facts& f = facts[i];
        f.path = paths[i];
        f.kind = kind_of(f.path);
        const auto it = cache.derived_info.find(keys[i]);
        if (it == cache.derived_info.end()) {
            f.taken = QDateTime(QDate(), QTime(), Qt::LocalTime);
            continue;
        }
        const derived_map& entry = it->second;
        read_time(entry, f);
        read_position(entry, f);
        if (const std::string* error = value_of(entry, "read_error"))
            f.read_error = QString::fromUtf8(error->data(), int(error->size()));
    }
    return facts;
}
