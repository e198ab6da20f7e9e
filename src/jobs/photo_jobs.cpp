#include "jobs/photo_jobs.h"

#include "exif/exif_cache.h"
#include "exif/exiftool_data.h"
#include "places/places.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QSet>

#include <algorithm>
#include <cmath>

namespace {

// Where place names are kept: what decides whether a photo has names, and
// what the read-back checks.
const char* const place_name_fields[] = { "XMP-photoshop:City", "XMP-photoshop:State", "XMP-photoshop:Country",
    "XMP-iptcCore:CountryCode", "IPTC:City", "IPTC:Province-State", "IPTC:Country-PrimaryLocationName",
    "IPTC:Country-PrimaryLocationCode" };

// Read back within this many degrees is the position meant.
constexpr double position_tolerance = 1e-7;

const std::vector<std::string>& other_gps_tags()
{
    static const std::vector<std::string> tags = [] {
        std::vector<std::string> result;
        for (const std::string& tag : photo_jobs::undo_tags()) {
            if (tag != "GPSLatitude" && tag != "GPSLatitudeRef" && tag != "GPSLongitude"
                && tag != "GPSLongitudeRef" && tag != "GPSVersionID")
                result.push_back(tag);
        }
        return result;
    }();
    return tags;
}

QString first_line(const QString& text)
{
    return text.section(QLatin1Char('\n'), 0, 0).trimmed();
}

QString degrees(const std::pair<double, double>& position)
{
    return QStringLiteral("%1, %2").arg(position.first, 0, 'f', 8).arg(position.second, 0, 'f', 8);
}

} // namespace

int photo_jobs::lock_wait_msecs = 3000;
int photo_jobs::batch_size = 32;

photo_jobs::photo_jobs(std::shared_ptr<kal::_exiftool2> bridge, const QString& journal_folder)
    : bridge(std::move(bridge))
    , log(journal_folder)
{
}

const std::vector<std::string>& photo_jobs::undo_tags()
{
    static const std::vector<std::string> tags = {
        "GPSAltitude",
        "GPSAltitudeRef",
        "GPSAreaInformation",
        "GPSDOP",
        "GPSDateStamp",
        "GPSDestBearing",
        "GPSDestBearingRef",
        "GPSDestDistance",
        "GPSDestDistanceRef",
        "GPSDestLatitude",
        "GPSDestLatitudeRef",
        "GPSDestLongitude",
        "GPSDestLongitudeRef",
        "GPSDifferential",
        "GPSHPositioningError",
        "GPSImgDirection",
        "GPSImgDirectionRef",
        "GPSLatitude",
        "GPSLatitudeRef",
        "GPSLongitude",
        "GPSLongitudeRef",
        "GPSMapDatum",
        "GPSMeasureMode",
        "GPSProcessingMethod",
        "GPSSatellites",
        "GPSSpeed",
        "GPSSpeedRef",
        "GPSStatus",
        "GPSTimeStamp",
        "GPSTrack",
        "GPSTrackRef",
        "GPSVersionID",
    };
    return tags;
}

photo_jobs::tag_map photo_jobs::position_tags(const std::optional<lat_lon>& position,
    const std::optional<double>& altitude, const std::optional<qint64>& gps_time_msecs, bool clear_others,
    position_store where)
{
    tag_map tags;
    // The shortest text that reads back as the same double: nothing is lost.
    const gps_pos texts = position ? make_gps_pos(position->first, position->second) : gps_pos();
    const bool with_altitude = position && altitude && std::isfinite(*altitude);
    const QDateTime utc = position && gps_time_msecs ? QDateTime::fromMSecsSinceEpoch(*gps_time_msecs, Qt::UTC) : QDateTime();
    switch (where) {
    case position_store::exif:
        tags["GPS:GPSLatitude#"] = texts.lat_numerical.toStdString();
        tags["GPS:GPSLatitudeRef"] = texts.lat_ref.toStdString();
        tags["GPS:GPSLongitude#"] = texts.lon_numerical.toStdString();
        tags["GPS:GPSLongitudeRef"] = texts.lon_ref.toStdString();
        if (with_altitude) {
            tags["GPS:GPSAltitude#"] = QString::number(std::fabs(*altitude), 'f', 2).toStdString();
            tags["GPS:GPSAltitudeRef#"] = *altitude < 0 ? "1" : "0";
        }
        if (utc.isValid()) {
            tags["GPS:GPSDateStamp"] = utc.toString(QStringLiteral("yyyy:MM:dd")).toStdString();
            tags["GPS:GPSTimeStamp"] = utc.toString(QStringLiteral("hh:mm:ss")).toStdString();
        }
        if (clear_others) {
            for (const std::string& tag : other_gps_tags()) {
                if (!tags.count("GPS:" + tag) && !tags.count("GPS:" + tag + '#'))
                    tags["GPS:" + tag] = std::string();
            }
        }
        break;
    case position_store::xmp:
        tags["XMP-exif:GPSLatitude#"] = texts.lat_numerical.toStdString();
        tags["XMP-exif:GPSLongitude#"] = texts.lon_numerical.toStdString();
        if (with_altitude) {
            tags["XMP-exif:GPSAltitude#"] = QString::number(std::fabs(*altitude), 'f', 2).toStdString();
            tags["XMP-exif:GPSAltitudeRef#"] = *altitude < 0 ? "1" : "0";
        }
        if (utc.isValid())
            tags["XMP-exif:GPSDateTime"] = utc.toString(QStringLiteral("yyyy:MM:dd hh:mm:ss'Z'")).toStdString();
        if (clear_others) {
            for (const char* tag : { "GPSAltitude", "GPSAltitudeRef", "GPSDateTime", "GPSImgDirection",
                     "GPSImgDirectionRef", "GPSSpeed", "GPSSpeedRef", "GPSTrack", "GPSTrackRef" }) {
                const std::string name = std::string("XMP-exif:") + tag;
                if (!tags.count(name) && !tags.count(name + '#'))
                    tags[name] = std::string();
            }
        }
        break;
    case position_store::video: {
        // "lat lon [alt]", which phones and photo libraries read.
        std::string coordinates;
        if (position) {
            coordinates = (texts.lat_numerical + QLatin1Char(' ') + texts.lon_numerical).toStdString();
            if (with_altitude)
                coordinates += ' ' + QString::number(*altitude, 'f', 2).toStdString();
        }
        tags["Keys:GPSCoordinates#"] = coordinates;
        tags["UserData:GPSCoordinates#"] = coordinates;
        tags["XMP-exif:GPSLatitude#"] = texts.lat_numerical.toStdString();
        tags["XMP-exif:GPSLongitude#"] = texts.lon_numerical.toStdString();
        break;
    }
    }
    return tags;
}

void photo_jobs::add_course(tag_map& tags, const std::optional<double>& course,
    const std::optional<double>& speed_kmh, position_store where)
{
    const std::string group = where == position_store::xmp ? "XMP-exif:" : "GPS:";
    // True north; the camera is taken to face the way it travels.
    if (course && std::isfinite(*course)) {
        const std::string degrees = QString::number(*course, 'f', 2).toStdString();
        tags[group + "GPSTrack#"] = degrees;
        tags[group + "GPSTrackRef"] = "T";
        tags[group + "GPSImgDirection#"] = degrees;
        tags[group + "GPSImgDirectionRef"] = "T";
    }
    if (speed_kmh && std::isfinite(*speed_kmh)) {
        tags[group + "GPSSpeed#"] = QString::number(*speed_kmh, 'f', 2).toStdString();
        tags[group + "GPSSpeedRef"] = "K";
    }
}

photo_jobs::tag_map photo_jobs::place_name_tags(const lat_lon& position, bool iptc)
{
    const std::optional<place_distance> near = nearest_place(position.first, position.second);
    if (!near || near->km > at_sea_km)
        return {};
    // Farther than a walk from a town, its name would mislead; its region does not.
    constexpr double town_km = 50;
    const place& p = near->where;
    const std::string city = near->km <= town_km ? p.name.toStdString() : std::string();
    tag_map tags {
        { "XMP-photoshop:City", city },
        { "XMP-photoshop:State", p.region.toStdString() },
        { "XMP-photoshop:Country", p.country.toStdString() },
        { "XMP-iptcCore:CountryCode", p.country_code.toStdString() },
    };
    if (iptc) {
        // IPTC's fields are short, and UTF-8 only when the record says so.
        const auto cut = [](const QString& text, int bytes) {
            QByteArray utf8 = text.toUtf8();
            while (utf8.size() > bytes)
                utf8 = QString::fromUtf8(utf8).chopped(1).toUtf8();
            return utf8.toStdString();
        };
        tags["IPTC:City"] = near->km <= town_km ? cut(p.name, 32) : std::string();
        tags["IPTC:Province-State"] = cut(p.region, 32);
        tags["IPTC:Country-PrimaryLocationName"] = cut(p.country, 64);
        tags["IPTC:Country-PrimaryLocationCode"] = cut(p.country_code, 3);
        tags["IPTC:CodedCharacterSet"] = "UTF8";
        // Exiftool adds these to a new record; naming them lets undo take them away again.
        tags["IPTC:EnvelopeRecordVersion#"] = "4";
        tags["IPTC:ApplicationRecordVersion#"] = "4";
    }
    return tags;
}

photo_jobs::tag_map photo_jobs::names_to_write(const planned_write& write, const tag_map& before)
{
    if (write.names.empty())
        return {};
    const auto holds_text = [&before](const std::string& name) {
        const auto it = before.find(name);
        return it != before.end() && !it->second.empty();
    };
    if (!write.replace_names) {
        for (const char* name : place_name_fields) {
            if (holds_text(name))
                return {};
        }
    }
    tag_map tags = write.names;
    // A new IPTC record is made in UTF-8. An existing one keeps its character
    // set: declaring UTF-8 would garble its other fields, so unless it is
    // UTF-8 already only plain ASCII names go in. Exiftool prints the
    // declaration's ESC as a dot; ESC % G is UTF-8.
    bool record = false;
    for (const auto& entry : before)
        record = record || entry.first.rfind("IPTC:", 0) == 0;
    if (record) {
        const auto charset = before.find("IPTC:CodedCharacterSet");
        const bool utf8 = charset != before.end() && (charset->second == ".%G" || charset->second == "\x1b%G");
        bool ascii = true;
        for (const auto& [name, value] : tags) {
            if (name.rfind("IPTC:", 0) == 0)
                ascii = ascii && std::all_of(value.begin(), value.end(), [](char c) { return (c & 0x80) == 0; });
        }
        for (auto it = tags.begin(); it != tags.end();) {
            const bool iptc = it->first.rfind("IPTC:", 0) == 0;
            const bool kept = (utf8 || ascii) && it->first != "IPTC:CodedCharacterSet" && it->first.back() != '#';
            it = iptc && !kept ? tags.erase(it) : std::next(it);
        }
    }
    if (!write.replace_names) {
        // Nothing to clear where nothing is.
        for (auto it = tags.begin(); it != tags.end();)
            it = it->second.empty() ? tags.erase(it) : std::next(it);
    }
    return tags;
}

namespace {

// Every place name sent that the file can hold is read back as sent, and at
// least one of them stayed (a kind may have no room for IPTC).
bool names_read_back(const photo_jobs::tag_map& sent, const photo_jobs::tag_map& after)
{
    bool any_sent = false;
    bool any_kept = false;
    for (const char* name : place_name_fields) {
        const auto value = sent.find(name);
        if (value == sent.end() || value->second.empty())
            continue;
        any_sent = true;
        const auto it = after.find(name);
        if (it == after.end())
            continue;
        if (it->second != value->second)
            return false;
        any_kept = true;
    }
    return !any_sent || any_kept;
}

} // namespace

photo_jobs::tag_map photo_jobs::restore_tags(const tag_map& numbers, const tag_map& written)
{
    // A name without a group is written where exiftool prefers, for a
    // position EXIF's GPS group.
    const auto group_of = [](const std::string& name) {
        const std::size_t colon = name.find(':');
        return colon == std::string::npos ? std::string("GPS") : name.substr(0, colon);
    };
    std::set<std::string> touched;
    for (const auto& entry : written)
        touched.insert(group_of(entry.first));
    tag_map restore;
    for (const auto& [name, value] : numbers) {
        // Exiftool prints the IPTC character set with a dot for its ESC byte;
        // it is written only where there was none, so undo only removes it.
        if (touched.count(group_of(name)) && name != "IPTC:CodedCharacterSet")
            restore[name + '#'] = value;
    }
    // What the write may add, where it was not, goes again.
    if (touched.count("GPS")) {
        for (const std::string& tag : undo_tags()) {
            if (!numbers.count("GPS:" + tag))
                restore["GPS:" + tag] = std::string();
        }
    }
    for (const auto& entry : written) {
        std::string name = entry.first;
        if (!name.empty() && name.back() == '#')
            name.pop_back();
        if (name.find(':') == std::string::npos)
            name = "GPS:" + name;
        if (name.find('*') != std::string::npos || name.size() < 4 || name.compare(name.size() - 4, 4, ":all") == 0)
            continue;
        if (!numbers.count(name))
            restore[name] = std::string();
    }
    return restore;
}

bool photo_jobs::holds(const tag_map& numbers, const tag_map& restore)
{
    for (const auto& [key, value] : restore) {
        const bool number = !key.empty() && key.back() == '#';
        const std::string name = number ? key.substr(0, key.size() - 1) : key;
        const auto it = numbers.find(name);
        if (!number && value.empty() ? it != numbers.end() : it == numbers.end() || it->second != value)
            return false;
    }
    return true;
}

std::optional<lat_lon> photo_jobs::position_of(const tag_map& numbers)
{
    const auto text = [&numbers](const char* name) {
        const auto it = numbers.find(name);
        return it == numbers.end() ? QString() : QString::fromStdString(it->second);
    };
    const auto number = [&text](const char* name) -> std::optional<double> {
        bool ok = false;
        const double value = text(name).toDouble(&ok);
        return ok && std::isfinite(value) ? std::optional<double>(value) : std::nullopt;
    };
    const std::optional<double> lat = number("GPS:GPSLatitude");
    const std::optional<double> lon = number("GPS:GPSLongitude");
    if (lat && lon)
        return lat_lon { text("GPS:GPSLatitudeRef") == QLatin1String("S") ? -std::fabs(*lat) : *lat,
            text("GPS:GPSLongitudeRef") == QLatin1String("W") ? -std::fabs(*lon) : *lon };
    // XMP keeps the hemisphere in the sign, read numerically.
    const std::optional<double> xmp_lat = number("XMP-exif:GPSLatitude");
    const std::optional<double> xmp_lon = number("XMP-exif:GPSLongitude");
    if (xmp_lat && xmp_lon)
        return lat_lon { *xmp_lat, *xmp_lon };
    for (const char* name : { "Keys:GPSCoordinates", "UserData:GPSCoordinates" }) {
        const QStringList parts = text(name).split(QLatin1Char(' '), Qt::SkipEmptyParts);
        bool lat_ok = false;
        bool lon_ok = false;
        if (parts.size() >= 2) {
            const double a = parts[0].toDouble(&lat_ok);
            const double b = parts[1].toDouble(&lon_ok);
            if (lat_ok && lon_ok)
                return lat_lon { a, b };
        }
    }
    return std::nullopt;
}

std::vector<photo_facts> photo_jobs::load(const QStringList& files, const progress& step,
    const std::function<bool(const QString&)>& known, std::vector<path_listing::skipped>* passed_over)
{
    const int total = files.size();
    int done = 0;
    std::vector<QString> photos;
    std::vector<ktk::string> keys;
    QSet<QString> seen;
    const kal::exiftool_file_types& types = bridge->file_types();
    for (const QString& file : files) {
        const file_verdict verdict = judge_file(file, types);
        if (!verdict.load) {
            if (passed_over)
                passed_over->push_back({ file, verdict.reason, verdict.failure });
            if (step)
                step(++done, total);
            continue;
        }
        if ((known && known(file)) || seen.contains(file)) {
            if (step)
                step(++done, total);
            continue;
        }
        seen.insert(file);
        photos.push_back(file);
        keys.emplace_back(file.toUtf8().toStdString());
    }
    // Each photo's facts are taken as it comes and its derived values
    // dropped, so that a large folder never holds them all at once.
    exif_cache& cache = *exif_cache::instance();
    std::vector<photo_facts> facts(photos.size());
    std::vector<bool> taken(photos.size(), false);
    const auto take = [&](std::size_t index) {
        facts[index] = facts_of(cache, { photos[index] }).front();
        cache.forget_derived({ keys[index] });
        taken[index] = true;
    };
    cache.add_many(
        keys,
        [&](int index) {
            take(std::size_t(index));
            if (step)
                step(++done, total);
        },
        bridge);
    for (std::size_t i = 0; i < photos.size(); ++i) {
        if (!taken[i])
            take(i);
    }
    read_sidecars(facts);
    return facts;
}

void photo_jobs::read_sidecars(std::vector<photo_facts>& facts)
{
    // A raw file's position may live only in its sidecar, as raw editors keep it.
    QStringList sidecars;
    std::vector<std::size_t> owners;
    for (std::size_t i = 0; i < facts.size(); ++i) {
        if (facts[i].kind != file_kind::raw || facts[i].own)
            continue;
        for (const sidecar_naming naming : { sidecar_naming::with_extension, sidecar_naming::without_extension }) {
            const QString sidecar = sidecar_path(facts[i].path, naming);
            if (QFileInfo(sidecar).isFile()) {
                sidecars << sidecar;
                owners.push_back(i);
                break;
            }
        }
    }
    if (sidecars.isEmpty())
        return;
    bridge->read_gps_many(sidecars, [&](int k, const std::optional<tag_map>& numbers, const QString&) {
        if (!numbers)
            return;
        if (const std::optional<lat_lon> position = position_of(*numbers)) {
            photo_facts& f = facts[owners[std::size_t(k)]];
            f.own = position;
            f.position_from = sidecars[k];
        }
    });
}

photo_jobs::position_store photo_jobs::store_for(const photo_facts& photo, const write_options& options, QString* target)
{
    *target = QString();
    if (photo.kind == file_kind::raw && options.sidecars) {
        *target = sidecar_path(photo.path, options.naming);
        return position_store::xmp;
    }
    return photo.kind == file_kind::video ? position_store::video : position_store::exif;
}

std::vector<photo_jobs::planned_write> photo_jobs::plan(const std::vector<photo_facts>& photos,
    const std::vector<assignment>& results, const assignment_settings& settings, const write_options& options)
{
    std::vector<planned_write> writes;
    for (std::size_t i = 0; i < photos.size() && i < results.size(); ++i) {
        const assignment& a = results[i];
        // A position set by hand on a photo with its own was agreed to one by one.
        const bool manual = a.how == assignment::origin::manual;
        if (!a.proposed || (a.replaces_own && !manual && options.policy == overwrite_policy::keep_own))
            continue;
        // A typed or hand-set position says nothing of altitude or GPS time;
        // old ones would not belong to it.
        const bool clear_others = settings.mode == sync_mode::typed || manual;
        planned_write write;
        write.path = photos[i].path;
        const position_store where = store_for(photos[i], options, &write.target);
        write.tags = position_tags(a.position, a.altitude, a.gps_time_msecs, clear_others, where);
        if (settings.with_course && a.position && where != position_store::video)
            add_course(write.tags, a.course, a.speed_kmh, where);
        write.position = a.position;
        if (options.place_names && a.position) {
            const QString suffix = QFileInfo(photos[i].path).suffix().toLower();
            const bool iptc = write.target.isEmpty()
                && QStringList { "jpg", "jpeg", "jpe", "tif", "tiff" }.contains(suffix);
            write.names = place_name_tags(*a.position, iptc);
            write.replace_names = options.replace_place_names;
        }
        writes.push_back(write);
    }
    return writes;
}

photo_jobs::result photo_jobs::sync(const std::vector<planned_write>& plan, const progress& step)
{
    return write_all(QStringLiteral("sync"), plan, step);
}

photo_jobs::result photo_jobs::remove_gps(
    const std::vector<photo_facts>& photos, const write_options& options, const progress& step)
{
    std::vector<planned_write> plan;
    for (const photo_facts& photo : photos) {
        planned_write write;
        write.path = photo.path;
        const position_store where = store_for(photo, options, &write.target);
        // A sidecar that is not there holds nothing to remove.
        if (!write.target.isEmpty() && !QFileInfo::exists(write.target))
            continue;
        write.tags = where == position_store::exif ? tag_map { { "GPS:all", std::string() } }
                                                   : position_tags(std::nullopt, std::nullopt, std::nullopt, true, where);
        plan.push_back(write);
    }
    return write_all(QStringLiteral("removal"), plan, step);
}

// One photo on its way through a write: the plan, the state before, the
// write's answer, the state after, and what became of it.
struct photo_jobs::write_item {
    const planned_write* plan = nullptr;
    // What is sent: the plan's tags, and its place names where they may go.
    tag_map tags;
    std::optional<tag_map> before;
    kal::write_result write;
    std::optional<tag_map> after;
    QString read_reason;
    // Set once the photo's fate is known.
    enum class fate { pending, failed, unchanged, written, unverified } how = fate::pending;
    // The write makes the file (a sidecar that is not there yet).
    bool creates = false;
    QString reason;

    void fail(fate f, const QString& why)
    {
        how = f;
        reason = why;
    }
};

photo_jobs::result photo_jobs::write_all(
    const QString& operation, const std::vector<planned_write>& plan, const progress& step)
{
    result out;
    const auto refuse_all = [&](std::size_t from, const QString& why) {
        for (std::size_t i = from; i < plan.size(); ++i)
            out.failed.push_back({ plan[i].path, why });
    };
    if (plan.empty())
        return out;
    if (!log.lock(lock_wait_msecs, &out.stopped)) {
        refuse_all(0, QStringLiteral("Not written: %1").arg(out.stopped));
        return out;
    }
    QStringList folders;
    for (const planned_write& p : plan) {
        const QString folder = QFileInfo(p.path).absolutePath();
        if (!folders.contains(folder))
            folders << folder;
    }
    log.begin(operation, folders);
    out.run = log.current_run();

    // Each file is read, written and read again.
    const int total = int(plan.size()) * 3;
    int done = 0;
    const progress advance = [&](int steps, int) {
        done += steps;
        if (step)
            step(done, total);
    };
    for (std::size_t start = 0; start < plan.size(); start += std::size_t(batch_size)) {
        const std::size_t end = std::min(plan.size(), start + std::size_t(batch_size));
        std::vector<write_item> batch(end - start);
        for (std::size_t i = start; i < end; ++i)
            batch[i - start].plan = &plan[i];
        write_batch(batch, out, advance);
        if (!out.stopped.isEmpty()) {
            // Nothing of this batch was touched; neither is anything after it.
            for (const write_item& item : batch) {
                if (item.how == write_item::fate::pending)
                    out.failed.push_back({ item.plan->path, QStringLiteral("Not written: its undo data could not be stored") });
            }
            refuse_all(end, QStringLiteral("Not written: its undo data could not be stored"));
            break;
        }
    }
    log.finish();
    log.unlock();
    return out;
}

void photo_jobs::write_batch(std::vector<write_item>& batch, result& out, const progress& advance)
{
    using fate = write_item::fate;
    // The state just before our write, numerically, so undo is exact. A
    // sidecar about to be made holds nothing yet.
    QStringList paths;
    std::vector<write_item*> existing;
    const std::shared_ptr<exif_cache> cache = exif_cache::instance();
    for (write_item& item : batch) {
        item.creates = !QFileInfo::exists(item.plan->file()) && !item.plan->target.isEmpty();
        if (item.creates) {
            item.before = tag_map();
            advance(1, 0);
            continue;
        }
        // What the load read stands while the file is as it was then.
        item.before = cache->gps_numbers(item.plan->file());
        if (item.before) {
            advance(1, 0);
            continue;
        }
        paths << item.plan->file();
        existing.push_back(&item);
    }
    bridge->read_gps_many(paths, [&](int k, const std::optional<tag_map>& numbers, const QString& reason) {
        write_item& item = *existing[std::size_t(k)];
        item.before = numbers;
        if (!numbers)
            item.fail(fate::failed, reason.isEmpty() ? QStringLiteral("Its GPS data could not be read") : first_line(reason));
    }, [&](int files) { advance(files, 0); });
    for (write_item& item : batch) {
        item.tags = item.plan->tags;
        if (item.before) {
            for (const auto& [name, value] : names_to_write(*item.plan, *item.before))
                item.tags[name] = value;
        }
    }
    for (write_item& item : batch) {
        if (item.how != fate::pending || item.creates)
            continue;
        const QString problem = clear_leftover(item.plan->file(), true);
        if (!problem.isEmpty())
            item.fail(fate::failed, problem);
    }

    std::vector<undo_journal::entry> entries;
    const QDateTime now = QDateTime::currentDateTimeUtc();
    for (const write_item& item : batch) {
        if (item.how != fate::pending)
            continue;
        undo_journal::entry e { item.plan->file(), restore_tags(*item.before, item.tags), now, true,
            item.plan->position, std::nullopt, std::nullopt };
        e.created = item.creates;
        entries.push_back(e);
    }
    int part = 0;
    if (!entries.empty() && !log.record(entries, &part, &out.stopped)) {
        out.stopped = QStringLiteral("The undo data could not be stored in %1 (%2), so the photos left were not written.")
                          .arg(QDir::toNativeSeparators(log.folder()), out.stopped);
        for (write_item& item : batch) {
            if (item.how != fate::pending)
                out.failed.push_back({ item.plan->path, item.reason });
        }
        return;
    }

    std::vector<std::pair<QString, tag_map>> writes;
    std::vector<write_item*> sent;
    for (write_item& item : batch) {
        if (item.how != fate::pending) {
            advance(2, 0);
            continue;
        }
        writes.emplace_back(item.plan->file(), item.tags);
        sent.push_back(&item);
    }
    bridge->write_many(
        writes, [&](int w, const kal::write_result& r) { sent[std::size_t(w)]->write = r; },
        [&](int files) { advance(files, 0); });
    QStringList written_paths;
    std::vector<std::optional<file_stamp>> stamps;
    for (const write_item* item : sent) {
        written_paths << item->plan->file();
        // Taken before the read-back, so a change after it shows.
        stamps.push_back(file_stamp::telling(written_paths.back()));
    }
    bridge->read_gps_many(written_paths, [&](int w, const std::optional<tag_map>& numbers, const QString& reason) {
        sent[std::size_t(w)]->after = numbers;
        sent[std::size_t(w)]->read_reason = reason;
        cache->remember_gps(written_paths[w], stamps[std::size_t(w)], numbers);
    }, [&](int files) { advance(files, 0); });

    for (write_item* item : sent) {
        const planned_write& p = *item->plan;
        if (!item->after) {
            // Whether it changed is unknown: its undo data stay.
            if (item->write.ok)
                item->fail(fate::unverified,
                    QStringLiteral("Written, but it could not be read back: %1").arg(first_line(item->read_reason)));
            else
                item->fail(fate::failed, first_line(item->write.reason));
            continue;
        }
        const std::optional<lat_lon> stored = position_of(*item->after);
        const bool as_meant = p.position
            ? stored && std::fabs(stored->first - p.position->first) <= position_tolerance
                && std::fabs(stored->second - p.position->second) <= position_tolerance
            : !stored;
        const bool changed = *item->after != *item->before;
        if (as_meant && !names_read_back(item->tags, *item->after)) {
            item->fail(fate::unverified, QStringLiteral("Written, but the place names read back are not the ones written"));
        } else if (!changed) {
            if (as_meant && item->write.ok)
                item->how = fate::unchanged;
            else
                item->fail(fate::failed,
                    item->write.ok ? QStringLiteral("ExifTool reported it written, but nothing changed")
                                   : first_line(item->write.reason));
        } else if (!as_meant) {
            item->fail(fate::unverified,
                p.position ? QStringLiteral("Written, but read back %1 instead of %2")
                                 .arg(stored ? degrees(*stored) : QStringLiteral("no position"), degrees(*p.position))
                           : QStringLiteral("Written, but it still holds a position"));
        } else {
            item->how = fate::written;
        }
    }

    // The part keeps what was read back, and drops photos left as they were.
    std::vector<undo_journal::entry> kept;
    for (const undo_journal::entry& e : entries) {
        const auto item = std::find_if(sent.begin(), sent.end(), [&](const write_item* i) { return i->plan->file() == e.path; });
        if (item == sent.end() || ((*item)->after && *(*item)->after == *(*item)->before && !(*item)->creates))
            continue;
        undo_journal::entry entry = e;
        entry.after = (*item)->after;
        entry.stamp = stamps[std::size_t(item - sent.begin())];
        kept.push_back(entry);
    }
    if (part > 0)
        log.rewrite(part, kept, nullptr);

    for (const write_item& item : batch) {
        switch (item.how) {
        case fate::written:
            ++out.written;
            break;
        case fate::unchanged:
            out.unchanged << item.plan->path;
            break;
        case fate::unverified:
            out.unverified.push_back({ item.plan->path, item.reason });
            break;
        case fate::failed:
        case fate::pending:
            out.failed.push_back({ item.plan->path, item.reason });
            break;
        }
    }
}

bool photo_jobs::discard(const QString& run, QString* error)
{
    if (!log.lock(lock_wait_msecs, error))
        return false;
    const bool ok = log.discard(run);
    if (!ok && error)
        *error = QStringLiteral("The undo data of run %1 could not be removed from %2")
                     .arg(run, QDir::toNativeSeparators(log.folder()));
    log.unlock();
    return ok;
}

QString photo_jobs::leftover_problem(const QString& path)
{
    return clear_leftover(path, false);
}

QString photo_jobs::clear_leftover(const QString& path, bool remove)
{
    const QString leftover = path + QStringLiteral("_exiftool_tmp");
    const QFileInfo tmp(leftover);
    if (!tmp.exists())
        return {};
    const QString name = tmp.fileName();
    // Where the two files first differ. ExifTool copies its finished copy
    // over the photo in blocks of 64 KiB, so a copy that began has replaced
    // at least the first block.
    QFile a(path);
    QFile b(leftover);
    qint64 common = 0;
    bool identical = false;
    if (a.open(QIODevice::ReadOnly) && b.open(QIODevice::ReadOnly)) {
        while (true) {
            const QByteArray x = a.read(65536);
            const QByteArray y = b.read(65536);
            const int n = std::min(x.size(), y.size());
            int i = 0;
            while (i < n && x[i] == y[i])
                ++i;
            common += i;
            if (i < n || x.size() != y.size()) {
                break;
            }
            if (x.isEmpty()) {
                identical = true;
                break;
            }
        }
    } else {
        return QStringLiteral("%1 lies beside it and cannot be read; not written").arg(name);
    }
    a.close();
    b.close();
    if (!identical) {
        if (common >= 65536)
            return QStringLiteral("An earlier write was cut off while copying over the photo, which may be damaged; "
                                  "the finished copy is %1. Not written: look at both files first")
                .arg(name);
        // Ours only when our own write of the photo began before the copy was made.
        bool ours = false;
        for (const undo_journal::run_info& info : log.runs()) {
            if (const std::optional<undo_journal::run> run = log.load(info.id)) {
                for (const undo_journal::entry& e : run->entries) {
                    if (e.path == path && e.written.isValid() && e.written <= tmp.lastModified().addSecs(1))
                        ours = true;
                }
            }
            if (ours)
                break;
        }
        if (!ours)
            return QStringLiteral("%1 lies beside it, left by another program or being written now; not written")
                .arg(name);
    }
    if (remove && !QFile::remove(leftover))
        return QStringLiteral("The unfinished copy %1 beside it cannot be removed; not written").arg(name);
    return {};
}

photo_jobs::result photo_jobs::undo(const undo_request& request, const progress& step)
{
    result out;
    if (!log.lock(lock_wait_msecs, &out.stopped))
        return out;
    QString id = request.run;
    if (id.isEmpty()) {
        const std::vector<undo_journal::run_info> runs = log.runs();
        if (!runs.empty())
            id = runs.front().id;
    }
    const std::optional<undo_journal::run> run = log.load(id);
    if (!run) {
        log.unlock();
        return out;
    }
    out.run = id;
    out.damaged = run->info.damaged_files;
    out.damaged_photos = run->info.damaged_photos;

    std::vector<const undo_journal::entry*> chosen;
    QSet<QString> left;
    for (const undo_journal::entry& e : run->entries) {
        if (request.only.isEmpty() || request.only.contains(e.path))
            chosen.push_back(&e);
        else
            left.insert(e.path);
    }
    const int total = int(chosen.size()) * 2;
    int done = 0;
    const auto advance = [&](int steps) {
        done += steps;
        if (step)
            step(done, total);
    };

    // What each photo holds now decides whether it is ours to restore. A
    // later run that wrote it again comes first: restoring past it would
    // lose that run's undo.
    const QSet<QString> later = request.force ? QSet<QString>() : log.written_later(id);
    QStringList present;
    std::vector<const undo_journal::entry*> readable;
    for (const undo_journal::entry* e : chosen) {
        if (later.contains(e->path)) {
            out.changed_since.push_back({ e->path, QStringLiteral("Written again by a later run; undo that run first") });
            left.insert(e->path);
            advance(2);
            continue;
        }
        if (!QFileInfo(e->path).isFile() && e->created) {
            // A sidecar we made that is gone already.
            ++out.written;
            advance(2);
            continue;
        }
        if (!QFileInfo(e->path).isFile()) {
            out.failed.push_back({ e->path, QStringLiteral("The photo is not there (a card not mounted, a folder renamed?)") });
            left.insert(e->path);
            advance(2);
            continue;
        }
        present << e->path;
        readable.push_back(e);
    }
    std::vector<std::optional<tag_map>> now(readable.size());
    std::vector<QString> reasons(readable.size());
    // A photo that kept the stamp it had when read back after our write
    // still holds what was read then.
    QStringList unknown;
    std::vector<std::size_t> asked;
    for (std::size_t k = 0; k < readable.size(); ++k) {
        const undo_journal::entry& e = *readable[k];
        const std::optional<file_stamp> stamp = e.stamp ? file_stamp::of(e.path) : std::nullopt;
        if (e.after && stamp && *stamp == *e.stamp) {
            now[k] = e.after;
            advance(1);
            continue;
        }
        unknown << present[int(k)];
        asked.push_back(k);
    }
    bridge->read_gps_many(unknown, [&](int k, const std::optional<tag_map>& numbers, const QString& reason) {
        now[asked[std::size_t(k)]] = numbers;
        reasons[asked[std::size_t(k)]] = reason;
    }, advance);
    std::vector<std::pair<QString, tag_map>> writes;
    for (std::size_t k = 0; k < readable.size(); ++k) {
        const undo_journal::entry& e = *readable[k];
        if (!now[k]) {
            out.failed.push_back({ e.path, first_line(reasons[k]) });
            left.insert(e.path);
            advance(1);
            continue;
        }
        if (holds(*now[k], e.restore) && !e.created) {
            // Already as it was before our write.
            ++out.written;
            advance(1);
            continue;
        }
        bool ours = true;
        if (e.after) {
            ours = *now[k] == *e.after;
        } else if (e.intended_known) {
            const std::optional<lat_lon> held = position_of(*now[k]);
            ours = e.intended ? held && std::fabs(held->first - e.intended->first) <= position_tolerance
                    && std::fabs(held->second - e.intended->second) <= position_tolerance
                              : !held;
        }
        if (!ours && !request.force) {
            out.changed_since.push_back({ e.path,
                QStringLiteral("Changed by another program since %1")
                    .arg(e.written.toLocalTime().toString(QStringLiteral("yyyy-MM-dd hh:mm"))) });
            left.insert(e.path);
            advance(1);
            continue;
        }
        if (e.created) {
            // A sidecar we made goes again, whole.
            if (QFile::remove(e.path)) {
                ++out.written;
            } else {
                out.failed.push_back({ e.path, QStringLiteral("The sidecar we made could not be removed") });
                left.insert(e.path);
            }
            advance(1);
            continue;
        }
        writes.emplace_back(e.path, e.restore);
    }
    bridge->write_many(writes, [&](int i, const kal::write_result& r) {
        const QString& path = writes[std::size_t(i)].first;
        if (r.ok) {
            ++out.written;
        } else {
            out.failed.push_back({ path, first_line(r.reason) });
            left.insert(path);
        }
    }, advance);
    QString error;
    if (!log.keep(id, left, &error))
        out.stopped = QStringLiteral("The undo data in %1 could not be updated (%2); photos restored now may be "
                                     "listed again by the next undo")
                          .arg(QDir::toNativeSeparators(log.folder()), error);
    log.finish();
    log.unlock();
    return out;
}
