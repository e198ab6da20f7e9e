#include "jobs/photo_jobs.h"

#include "exif/exif_cache.h"
#include "exif/exiftool_data.h"
#include "model/table_data_model.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QSet>

#include <algorithm>
#include <cmath>

namespace {

// Files per journal part: the journal is on disk before each batch is
// written, and a batch keeps every child busy.
constexpr int batch_size = 32;

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

photo_jobs::tag_map photo_jobs::position_tags(const gps_pos& position, bool clear_others)
{
    tag_map tags;
    tags["GPSLatitude#"] = position.lat_numerical.toUtf8().toStdString();
    tags["GPSLatitudeRef"] = position.lat_ref.toUtf8().toStdString();
    tags["GPSLongitude#"] = position.lon_numerical.toUtf8().toStdString();
    tags["GPSLongitudeRef"] = position.lon_ref.toUtf8().toStdString();
    bool ok = false;
    const double altitude = position.altitude.toDouble(&ok);
    if (ok) {
        tags["GPSAltitude#"] = QString::number(std::fabs(altitude), 'f', 2).toStdString();
        tags["GPSAltitudeRef#"] = altitude < 0 ? "1" : "0";
    }
    if (position.utc_time.isValid()) {
        const QDateTime utc = position.utc_time.toUTC();
        tags["GPSDateStamp"] = utc.toString(QStringLiteral("yyyy:MM:dd")).toStdString();
        tags["GPSTimeStamp"] = utc.toString(QStringLiteral("hh:mm:ss")).toStdString();
    }
    if (clear_others) {
        for (const std::string& tag : other_gps_tags()) {
            if (!tags.count(tag) && !tags.count(tag + '#'))
                tags[tag] = std::string();
        }
    }
    return tags;
}

photo_jobs::tag_map photo_jobs::restore_tags(const tag_map& numbers)
{
    tag_map restore;
    for (const auto& [name, value] : numbers)
        restore["GPS:" + name + '#'] = value;
    for (const std::string& tag : undo_tags()) {
        if (!numbers.count(tag))
            restore["GPS:" + tag] = std::string();
    }
    return restore;
}

std::optional<std::pair<double, double>> photo_jobs::position_of(const tag_map& numbers)
{
    const auto value = [&numbers](const char* name) -> std::optional<double> {
        const auto it = numbers.find(name);
        if (it == numbers.end())
            return std::nullopt;
        bool ok = false;
        const double number = QString::fromStdString(it->second).toDouble(&ok);
        return ok ? std::optional<double>(number) : std::nullopt;
    };
    const auto ref = [&numbers](const char* name) {
        const auto it = numbers.find(name);
        return it == numbers.end() ? std::string() : it->second;
    };
    const std::optional<double> lat = value("GPSLatitude");
    const std::optional<double> lon = value("GPSLongitude");
    if (!lat || !lon)
        return std::nullopt;
    return std::pair { ref("GPSLatitudeRef") == "S" ? -std::fabs(*lat) : *lat,
        ref("GPSLongitudeRef") == "W" ? -std::fabs(*lon) : *lon };
}

void photo_jobs::load(const QStringList& files, table_data_model& table, const progress& step)
{
    const int total = files.size();
    int done = 0;
    QStringList photos;
    std::vector<ktk::string> keys;
    for (const QString& file : files) {
        const std::string suffix = QFileInfo(file).suffix().toLower().toStdString();
        if (kal::exiftool_data::writable_file_extensions.count(suffix) && !table.contains(file)
            && !photos.contains(file)) {
            photos << file;
            keys.emplace_back(file.toUtf8().toStdString());
        } else if (step) {
            step(++done, total);
        }
    }
    exif_cache::instance()->add_many(keys, [&](int) {
        if (step)
            step(++done, total);
    });
    for (const QString& photo : photos)
        table.add_cached_file(photo, true);
}

std::vector<photo_jobs::planned_write> photo_jobs::sync_plan(const table_data_model& table)
{
    std::vector<planned_write> plan;
    const bool clear_others = table.remove_gps_except_position();
    for (int row = 0; row < table.rowCount(); ++row) {
        const QVariant proposal = table.data(table.index(row, 2), Qt::UserRole);
        if (!proposal.isValid())
            continue;
        const gps_pos pos = proposal.value<gps_pos>();
        planned_write write;
        write.path = table.data(table.index(row, 0), Qt::UserRole).toString();
        write.tags = position_tags(pos, clear_others);
        bool lat_ok = false;
        bool lon_ok = false;
        const double lat = std::fabs(pos.lat_numerical.toDouble(&lat_ok));
        const double lon = std::fabs(pos.lon_numerical.toDouble(&lon_ok));
        if (lat_ok && lon_ok)
            write.position = std::pair { pos.lat_ref == QLatin1String("S") ? -lat : lat,
                pos.lon_ref == QLatin1String("W") ? -lon : lon };
        plan.push_back(std::move(write));
    }
    return plan;
}

photo_jobs::result photo_jobs::sync(const std::vector<planned_write>& plan, const progress& step)
{
    return write_all(QStringLiteral("sync"), plan, step);
}

photo_jobs::result photo_jobs::remove_gps(const QStringList& paths, const progress& step)
{
    std::vector<planned_write> plan;
    for (const QString& path : paths)
        plan.push_back({ path, { { "GPS:all", std::string() } }, std::nullopt });
    return write_all(QStringLiteral("removal"), plan, step);
}

photo_jobs::result photo_jobs::write_all(
    const QString& operation, const std::vector<planned_write>& plan, const progress& step)
{
    result out;
    if (!log.begin(operation, &out.journal_error))
        return out;
    // Each file is read, written and read again.
    const int total = int(plan.size()) * 3;
    int done = 0;
    const auto advance = [&](int steps) {
        done += steps;
        if (step)
            step(done, total);
    };
    int kept = 0;
    for (std::size_t start = 0; start < plan.size(); start += batch_size) {
        const std::size_t end = std::min(plan.size(), start + batch_size);
        QStringList paths;
        for (std::size_t i = start; i < end; ++i)
            paths << plan[i].path;

        // The state just before our write, numerically, so undo is exact.
        std::vector<std::optional<tag_map>> before(paths.size());
        std::vector<QString> reasons(paths.size());
        bridge->read_gps_many(paths, [&](int k, const std::optional<tag_map>& numbers, const QString& reason) {
            before[std::size_t(k)] = numbers;
            reasons[std::size_t(k)] = reason;
            advance(1);
        });
        std::vector<undo_journal::entry> entries;
        std::vector<std::size_t> to_write;
        const QDateTime now = QDateTime::currentDateTimeUtc();
        for (std::size_t k = 0; k < before.size(); ++k) {
            if (!before[k]) {
                out.failed.push_back({ paths[int(k)],
                    reasons[k].isEmpty() ? QStringLiteral("Its GPS data could not be read") : first_line(reasons[k]) });
                advance(2);
                continue;
            }
            entries.push_back({ paths[int(k)], restore_tags(*before[k]), now });
            to_write.push_back(k);
        }
        if (!log.record(entries, &out.journal_error)) {
            // Without its restore data safe, no file is touched.
            for (std::size_t i = start; i < plan.size(); ++i) {
                if (std::none_of(out.failed.begin(), out.failed.end(),
                        [&](const failure& f) { return f.path == plan[i].path; }))
                    out.failed.push_back(
                        { plan[i].path, QStringLiteral("Not written: its undo data could not be saved") });
            }
            break;
        }
        kept += int(entries.size());

        std::vector<std::pair<QString, tag_map>> writes;
        QStringList written_paths;
        for (const std::size_t k : to_write) {
            writes.emplace_back(paths[int(k)], plan[start + k].tags);
            written_paths << paths[int(k)];
        }
        std::vector<kal::write_result> results(writes.size());
        bridge->write_many(writes, [&](int w, const kal::write_result& r) {
            results[std::size_t(w)] = r;
            advance(1);
        });
        std::vector<std::optional<tag_map>> after(writes.size());
        std::vector<QString> after_reasons(writes.size());
        bridge->read_gps_many(
            written_paths, [&](int w, const std::optional<tag_map>& numbers, const QString& reason) {
                after[std::size_t(w)] = numbers;
                after_reasons[std::size_t(w)] = reason;
                advance(1);
            });

        QSet<QString> untouched;
        for (std::size_t w = 0; w < writes.size(); ++w) {
            const std::size_t k = to_write[w];
            const planned_write& p = plan[start + k];
            // Nothing to take back where the file is as it was.
            if (after[w] && *after[w] == *before[k])
                untouched.insert(p.path);
            if (!results[w].ok) {
                out.failed.push_back({ p.path, first_line(results[w].reason) });
                continue;
            }
            if (!after[w]) {
                out.failed.push_back({ p.path,
                    QStringLiteral("Could not read it back after writing: %1").arg(first_line(after_reasons[w])) });
                continue;
            }
            const std::optional<std::pair<double, double>> stored = position_of(*after[w]);
            if (p.position
                && (!stored || std::fabs(stored->first - p.position->first) > position_tolerance
                    || std::fabs(stored->second - p.position->second) > position_tolerance)) {
                out.failed.push_back({ p.path,
                    QStringLiteral("Read back %1 instead of %2")
                        .arg(stored ? degrees(*stored) : QStringLiteral("no position"), degrees(*p.position)) });
                continue;
            }
            if (!p.position && stored) {
                out.failed.push_back({ p.path, QStringLiteral("It still holds a position after writing") });
                continue;
            }
            ++out.written;
        }
        if (!untouched.isEmpty()) {
            log.forget(untouched, nullptr);
            kept -= untouched.size();
        }
    }
    if (kept == 0)
        log.remove();
    return out;
}

photo_jobs::result photo_jobs::undo(const progress& step)
{
    result out;
    const std::optional<undo_journal::contents> contents = log.load();
    if (!contents) {
        log.remove();
        return out;
    }
    std::vector<std::pair<QString, tag_map>> writes;
    for (const undo_journal::entry& e : contents->entries)
        writes.emplace_back(e.path, e.restore);
    int done = 0;
    bridge->write_many(writes, [&](int i, const kal::write_result& r) {
        if (r.ok)
            ++out.written;
        else
            out.failed.push_back({ writes[std::size_t(i)].first, first_line(r.reason) });
        if (step)
            step(++done, int(writes.size()));
    });
    log.remove();
    return out;
}

QStringList expand_path(const QString& path, bool recursive)
{
    QStringList candidates;
    const QFileInfo info(path);
    if (info.isDir()) {
        // Links to folders are not followed: they could lead in a circle.
        QDirIterator entries(path, QDir::Files | QDir::Readable | QDir::NoDotAndDotDot,
            recursive ? QDirIterator::Subdirectories : QDirIterator::NoIteratorFlags);
        while (entries.hasNext()) {
            entries.next();
            candidates << entries.fileInfo().absoluteFilePath();
        }
    } else {
        candidates << path;
    }
    QStringList files;
    for (const QString& candidate : candidates) {
        if (QFileInfo(candidate).isFile())
            files << candidate;
    }
    return files;
}
