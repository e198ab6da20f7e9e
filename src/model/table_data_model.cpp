#include "model/table_data_model.h"

#include "exif/exif_cache.h"
#include "geo/camera_clock.h"

#include <QColor>
#include <QFileInfo>
#include <QSize>

#include <algorithm>
#include <cstring>
#include <string_view>
#include <vector>

namespace {

const QString& glyph_check()
{
    static const QString glyph(QChar(0x2190));
    return glyph;
}

const QString& glyph_up()
{
    static const QString glyph(QChar(0x2191));
    return glyph;
}

const QString& glyph_down()
{
    static const QString glyph(QChar(0x2193));
    return glyph;
}

ktk::string utf8(const QString& text)
{
    return ktk::string(text.toUtf8().toStdString());
}

using derived_map = std::map<ktk::string, ktk::string>;

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

// The photo's derived values, read in place: copying the metadata cache
// would copy every photo's raw tags as well.
const derived_map* derived_entry(const exif_cache& meta, const ktk::string& key)
{
    const auto it = meta.derived_info.find(key);
    return it == meta.derived_info.end() ? nullptr : &it->second;
}

QString text_of(const derived_map& entry, const char* key)
{
    const auto it = entry.find(key);
    return it == entry.end() ? QString() : QString::fromUtf8(it->second.data(), int(it->second.size()));
}

// What exif_cache::image_has_gps answers, without looking the path up again.
bool has_gps(const derived_map* entry)
{
    if (!entry)
        return false;
    const auto it = entry->find("has_gps_position");
    return it != entry->end() && it->second == "true";
}

// The six "rec_" keys lie next to each other in the ordered map: one search
// and a short walk instead of six searches. A missing key counts as 0.
// `from_camera` tells whether the time is the camera's, not the file's.
QDateTime recording_time(
    const derived_map* entry, std::optional<int>* offset = nullptr, bool* from_camera = nullptr)
{
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    if (from_camera)
        *from_camera = false;
    if (entry) {
        static const ktk::string prefix("rec_");
        for (auto it = entry->lower_bound(prefix);
             it != entry->end() && it->first.compare(0, prefix.size(), prefix) == 0; ++it) {
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
            else if (offset && !it->second.empty() && !std::strcmp(name, "offset"))
                *offset = parse_utc_offset(QString::fromUtf8(it->second.c_str()));
            else if (from_camera && !std::strcmp(name, "source"))
                *from_camera = it->second == "camera";
        }
    }
    return QDateTime(QDate(year, month, day), QTime(hour, minute, second, 0), Qt::LocalTime);
}

// A recording time with its conversions done once: every local-time
// comparison or distance would otherwise convert both times again.
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

// QDateTime::secsTo as an absolute value: whole seconds, 0 when either time
// is invalid.
qint64 distance(const time_key& a, const time_key& b)
{
    if (!a.valid || !b.valid)
        return 0;
    return qAbs(b.msecs / 1000 - a.msecs / 1000);
}

// Row numbers ordered by time, ascending or descending; equal times keep
// their row order so that repeated sorts give the same table.
std::vector<int> time_order(const std::vector<time_key>& keys, Qt::SortOrder order)
{
    std::vector<int> rows(keys.size());
    for (std::size_t i = 0; i < rows.size(); ++i)
        rows[i] = int(i);
    const auto before = [&keys, order](int a, int b) {
        return order == Qt::AscendingOrder ? earlier(keys[a], keys[b]) : earlier(keys[b], keys[a]);
    };
    if (!std::is_sorted(rows.begin(), rows.end(), before))
        std::stable_sort(rows.begin(), rows.end(), before);
    return rows;
}

const QString& glyph_track_point()
{
    static const QString glyph(QChar(0x2022));
    return glyph;
}

const QString& glyph_interpolated()
{
    static const QString glyph(QChar(0x2248));
    return glyph;
}

constexpr qint64 default_gap_limit_msecs = 30 * 60 * 1000;
// "No limit" for a track: a century, far from overflowing when added to a time.
constexpr qint64 no_gap_limit_msecs = qint64(100) * 366 * 24 * 3600 * 1000;

QString degrees_text(double value, int decimals)
{
    return QString::number(value, 'f', decimals);
}

} // namespace

struct table_data_model::photo_list {
    std::vector<gps_info> records;
    std::vector<time_key> times;
    // The zone each photo's own tags give its time, in the track mode only.
    std::vector<std::optional<int>> offsets;
};

table_data_model::table_data_model(QObject* parent)
    : QAbstractTableModel(parent)
{
    register_gps_pos_meta_type();
    qRegisterMetaType<Qt::SortOrder>("Qt::SortOrder");
    header_font = QFont(QStringLiteral("FreeSansBold"));
    header_font.setWeight(75);
    header_font.setPointSize(12);
    cell_font = QFont(QStringLiteral("FreeSans"));
    cell_font.setPointSize(12);
}

table_data_model::~table_data_model() = default;

// Cells have no children: a valid parent has no rows or columns, or views
// that walk the model as a tree would descend forever.
int table_data_model::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : files.size();
}

int table_data_model::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : 3;
}

QVariant table_data_model::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() < 0 || index.row() >= files.size())
        return {};
    const QString& path = files.at(index.row());
    // A time taken from the file's date is shown apart: it is when the
    // file was copied, not when the photo was taken.
    const auto file_time = [this, &path] {
        const auto it = cache.find(path);
        return it != cache.end() && !it->second.time_from_camera && it->second.read_error.isEmpty()
            && it->second.recording_time.isValid();
    };
    if (role == Qt::FontRole) {
        if (index.column() == 1 && file_time()) {
            QFont italic = cell_font;
            italic.setItalic(true);
            return italic;
        }
        return cell_font;
    }
    if (role == Qt::ForegroundRole && index.column() == 1 && file_time())
        return QColor(150, 150, 150);
    if (role == Qt::ToolTipRole && index.column() == 1 && file_time())
        return tr("Time from the file, not the camera");
    if (role == Qt::DisplayRole) {
        switch (index.column()) {
        case 0:
            return QFileInfo(path).fileName();
        case 1: {
            const QString text = get_dt(path).toString(datetime_format);
            return text.isEmpty() ? QStringLiteral("-") : text;
        }
        case 2: {
            const auto it = cache.find(path);
            if (it == cache.end())
                return QStringLiteral("?  -");
            return QStringLiteral("%1  %2").arg(it->second.marker, it->second.label);
        }
        default:
            return {};
        }
    }
    if (role == Qt::ToolTipRole && index.column() == 2 && sync_order == 4) {
        const auto it = cache.find(path);
        return it == cache.end() ? QVariant() : track_tool_tip(it->second);
    }
    if (role == Qt::UserRole) {
        switch (index.column()) {
        case 0:
            return path;
        case 1:
            return get_dt(path);
        case 2: {
            const auto it = cache.find(path);
            if (it == cache.end() || it->second.own_gps)
                return {};
            return QVariant::fromValue(it->second.pos);
        }
        default:
            return {};
        }
    }
    return {};
}

QString table_data_model::track_tool_tip(const gps_info& info)
{
    if (info.why == gps_info::missing::no_time)
        return tr("No recording time: the track cannot place this photo.");
    if (!info.utc_msecs)
        return {};
    QString text = tr("True time (UTC): %1")
                       .arg(QDateTime::fromMSecsSinceEpoch(*info.utc_msecs, Qt::UTC)
                                .toString(QStringLiteral("yyyy-MM-dd hh:mm:ss")));
    if (info.nearest_point_msecs) {
        const qint64 seconds = (*info.nearest_point_msecs + 500) / 1000;
        text += QLatin1Char('\n')
            + tr("Nearest track point: %1 away").arg(camera_clock::format_offset(seconds).mid(1));
    } else if (info.why == gps_info::missing::no_track) {
        text += QLatin1Char('\n') + tr("No track is loaded.");
    }
    if (info.why == gps_info::missing::too_far)
        text += QLatin1Char('\n') + tr("Farther from the track than the time limit allows.");
    return text;
}

QVariant table_data_model::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal)
        return QAbstractTableModel::headerData(section, orientation, role);
    switch (role) {
    case Qt::DisplayRole:
        if (section == 0)
            return QStringLiteral("Photo");
        if (section == 1)
            return tr("Recording Date");
        if (section == 2)
            return tr("GPS Tag");
        break;
    case Qt::SizeHintRole: {
        if (section == 0)
            return QSize(300, 30);
        if (section == 1)
            return QSize(220, 30);
        const QSize base = QAbstractTableModel::headerData(section, orientation, role).toSize();
        return QSize(base.width(), 30);
    }
    case Qt::InitialSortOrderRole:
        return int(Qt::AscendingOrder);
    case Qt::TextAlignmentRole:
        return int(Qt::AlignLeft | Qt::AlignVCenter);
    case Qt::FontRole:
        return header_font;
    default:
        break;
    }
    return QAbstractTableModel::headerData(section, orientation, role);
}

void table_data_model::sort(int column, Qt::SortOrder order)
{
    if (column != 1) {
        emit sort_order_override(sort_column, Qt::SortOrder(sort_order));
        return;
    }
    emit layoutAboutToBeChanged();
    // The records read for sorting feed the rebuild below as well, so each
    // photo's metadata is looked up and its time converted only once.
    photo_list photos = collect();
    const std::vector<int> rows = time_order(photos.times, order);

    QStringList sorted;
    photo_list reordered;
    sorted.reserve(files.size());
    reordered.records.reserve(rows.size());
    reordered.times.reserve(rows.size());
    reordered.offsets.reserve(photos.offsets.size());
    for (const int row : rows) {
        sorted.append(files.at(row));
        reordered.records.push_back(std::move(photos.records[row]));
        reordered.times.push_back(photos.times[row]);
        if (!photos.offsets.empty())
            reordered.offsets.push_back(photos.offsets[row]);
    }
    const QModelIndexList moved = persistentIndexList();
    if (!moved.isEmpty()) {
        std::vector<int> new_row(rows.size());
        for (std::size_t i = 0; i < rows.size(); ++i)
            new_row[rows[i]] = int(i);
        QModelIndexList to;
        to.reserve(moved.size());
        for (const QModelIndex& index : moved)
            to.append(this->index(new_row[index.row()], index.column()));
        changePersistentIndexList(moved, to);
    }
    files = std::move(sorted);
    emit layoutChanged();
    sort_column = 1;
    sort_order = order;
    assign(reordered);
}

void table_data_model::add_file(const QString& path, bool notify)
{
    append_file(path, notify, true);
}

void table_data_model::add_cached_file(const QString& path, bool notify)
{
    append_file(path, notify, false);
}

void table_data_model::append_file(const QString& path, bool notify, bool read)
{
    if (listed.contains(path))
        return;
    const int row = rowCount();
    if (notify)
        beginInsertRows(QModelIndex(), row, row);
    files.append(path);
    listed.insert(path);
    if (read)
        exif_cache::instance()->add(utf8(path));
    if (notify)
        endInsertRows();
}

void table_data_model::add_files(const QStringList& paths)
{
    for (const QString& path : paths)
        add_file(path, true);
    sort(sort_column, Qt::SortOrder(sort_order));
    gps_sync_order_changed(sync_order);
}

void table_data_model::resort()
{
    sort(sort_column, Qt::SortOrder(sort_order));
    gps_sync_order_changed(sync_order);
}

void table_data_model::clear()
{
    beginResetModel();
    files.clear();
    listed.clear();
    endResetModel();
}

QDateTime table_data_model::get_dt(const QString& path) const
{
    ktk::string key;
    utf8_key(path, key);
    return recording_time(derived_entry(*exif_cache::instance(), key));
}

table_data_model::photo_list table_data_model::collect() const
{
    const exif_cache& meta = *exif_cache::instance();
    const int n = files.size();
    // All paths in UTF-8, back to back in one buffer.
    std::string bytes;
    std::vector<std::pair<std::size_t, std::size_t>> spans(static_cast<std::size_t>(n));
    ktk::string key;
    for (int i = 0; i < n; ++i) {
        utf8_key(files.at(i), key);
        spans[i] = { bytes.size(), key.size() };
        bytes += key;
    }
    const auto path_of = [&bytes, &spans](int i) {
        return std::string_view(bytes.data() + spans[i].first, spans[i].second);
    };
    // Looking the photos up in the metadata cache's own order keeps each
    // search close to the last one in memory; a table sorted by time usually
    // is in that order already, since camera file names count up.
    std::vector<int> by_path(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i)
        by_path[i] = i;
    const auto path_less = [&path_of](int a, int b) { return path_of(a) < path_of(b); };
    if (!std::is_sorted(by_path.begin(), by_path.end(), path_less))
        std::sort(by_path.begin(), by_path.end(), path_less);

    photo_list photos;
    photos.records.resize(std::size_t(n));
    photos.times.resize(std::size_t(n));
    const bool want_offsets = sync_order == 4;
    if (want_offsets)
        photos.offsets.resize(std::size_t(n));
    for (const int i : by_path) {
        key.assign(path_of(i));
        const derived_map* entry = derived_entry(meta, key);
        gps_info& info = photos.records[i];
        info.file = files.at(i);
        info.recording_time
            = recording_time(entry, want_offsets ? &photos.offsets[i] : nullptr, &info.time_from_camera);
        if (entry)
            info.read_error = text_of(*entry, "read_error");
        if (has_gps(entry)) {
            info.marker = glyph_check();
            info.pos.lat = text_of(*entry, "gps_lat");
            info.pos.lat_ref = text_of(*entry, "gps_lat_ref");
            info.pos.lon = text_of(*entry, "gps_lon");
            info.pos.lon_ref = text_of(*entry, "gps_lon_ref");
            const QString exact_lat = text_of(*entry, "gps_lat_exact");
            const QString exact_lon = text_of(*entry, "gps_lon_exact");
            info.pos.lat_numerical = exact_lat.isEmpty() ? info.pos.lat : exact_lat;
            info.pos.lon_numerical = exact_lon.isEmpty() ? info.pos.lon : exact_lon;
            info.label = text_of(*entry, "gps_numerical");
            info.own_gps = true;
            info.how = gps_info::origin::own;
        }
        photos.times[i] = time_key(info.recording_time);
    }
    return photos;
}

void table_data_model::build_cache()
{
    photo_list photos = collect();
    assign(photos);
}

void table_data_model::assign(photo_list& photos)
{
    cache.clear();
    all_assigned = true;
    overwrites_data = false;
    std::vector<gps_info>& list = photos.records;
    const std::vector<time_key>& keys = photos.times;

    // `walk` holds indexes into `list`, earliest time first (in the table's
    // order, reversed when it is sorted descending, so ties follow the rows).
    std::vector<int> walk = time_order(keys, Qt::SortOrder(sort_order));
    if (sort_order == Qt::DescendingOrder)
        std::reverse(walk.begin(), walk.end());

    const QString& prev_marker = sort_order == Qt::AscendingOrder ? glyph_up() : glyph_down();
    const QString& next_marker = sort_order == Qt::AscendingOrder ? glyph_down() : glyph_up();

    const qint64 limit = max_time_difference_secs;
    const auto within = [&](int source, int photo) {
        return !max_time_difference_enabled || distance(keys[source], keys[photo]) <= limit;
    };
    const auto unassigned = [this](gps_info& info, gps_info::missing why) {
        if (!info.read_error.isEmpty())
            why = gps_info::missing::unreadable;
        info.marker = QStringLiteral("?");
        info.label = why == gps_info::missing::unreadable ? info.read_error : QStringLiteral("-");
        info.why = why;
        all_assigned = false;
    };
    const auto propose = [&list](gps_info& info, int source, const QString& marker, gps_info::origin how) {
        info.marker = marker;
        info.pos = list[source].pos;
        info.label = list[source].label;
        info.how = how;
        info.source_file = list[source].file;
    };

    switch (sync_order) {
    case 0:
    case 1: {
        // Mode 1 walks from the latest photo back.
        if (sync_order == 1)
            std::reverse(walk.begin(), walk.end());
        int last_source = -1;
        for (const int i : walk) {
            gps_info& info = list[i];
            if (info.own_gps)
                last_source = i;
            else if (last_source < 0)
                unassigned(info, gps_info::missing::no_source);
            else if (!within(last_source, i))
                unassigned(info, gps_info::missing::too_far);
            else if (sync_order == 0)
                propose(info, last_source, prev_marker, gps_info::origin::previous);
            else
                propose(info, last_source, next_marker, gps_info::origin::next);
        }
        break;
    }
    case 2: {
        // The nearest source on each side, found in one pass each way
        // instead of scanning outward from every photo.
        const std::size_t count = walk.size();
        std::vector<int> later_source(count, -1);
        int next_source = -1;
        for (int k = int(count) - 1; k >= 0; --k) {
            later_source[k] = next_source;
            if (list[walk[k]].own_gps)
                next_source = walk[k];
        }
        int earlier_source = -1;
        for (std::size_t k = 0; k < count; ++k) {
            const int i = walk[k];
            gps_info& info = list[i];
            if (info.own_gps) {
                earlier_source = i;
                continue;
            }
            const int earlier = earlier_source >= 0 && within(earlier_source, i) ? earlier_source : -1;
            const int later = later_source[k] >= 0 && within(later_source[k], i) ? later_source[k] : -1;
            if (earlier >= 0
                && (later < 0 || distance(keys[earlier], keys[i]) < distance(keys[later], keys[i])))
                propose(info, earlier, prev_marker, gps_info::origin::previous);
            else if (later >= 0)
                propose(info, later, next_marker, gps_info::origin::next);
            else
                unassigned(info,
                    earlier_source >= 0 || later_source[k] >= 0 ? gps_info::missing::too_far
                                                                : gps_info::missing::no_source);
        }
        break;
    }
    case 3: {
        const QString label = fixed_pos.lat.isEmpty() && fixed_pos.lon.isEmpty()
            ? tr("Clear GPS data")
            : fixed_pos.lat_numerical + QStringLiteral(", ") + fixed_pos.lon_numerical;
        for (gps_info& info : list) {
            if (info.own_gps) {
                info.own_gps = false;
                overwrites_data = true;
            }
            info.marker = QStringLiteral("=");
            info.pos = fixed_pos;
            info.label = label;
            info.how = gps_info::origin::typed;
        }
        break;
    }
    case 4:
        assign_from_track(photos);
        break;
    default:
        break;
    }

    // Camera file names usually count up with the recording time: inserting
    // in ascending time makes each insertion land at the end, where the hint
    // saves the search.
    const auto insert = [this](gps_info& info) {
        const QString file = info.file;
        cache.emplace_hint(cache.end(), file, std::move(info));
    };
    if (sort_order == Qt::DescendingOrder)
        std::for_each(list.rbegin(), list.rend(), insert);
    else
        std::for_each(list.begin(), list.end(), insert);
}

qint64 table_data_model::gap_limit_msecs() const
{
    if (max_time_difference_secs == 0)
        return no_gap_limit_msecs;
    return max_time_difference_enabled ? max_time_difference_secs * 1000 : default_gap_limit_msecs;
}

void table_data_model::assign_from_track(photo_list& photos)
{
    camera_time_converter convert(camera);
    const qint64 limit = gap_limit_msecs();
    for (std::size_t i = 0; i < photos.records.size(); ++i) {
        gps_info& info = photos.records[i];
        // A photo keeps its own position unless the track is to replace it,
        // and also where the track has nothing for it: a gap in the track
        // must not erase a good position.
        if (info.own_gps && !track_overwrites)
            continue;
        const auto keep_or_fail = [this, &info](gps_info::missing why) {
            if (info.own_gps)
                return;
            info.marker = QStringLiteral("?");
            info.label = why == gps_info::missing::unreadable ? info.read_error : QStringLiteral("-");
            info.why = why;
            all_assigned = false;
        };
        if (!info.read_error.isEmpty()) {
            keep_or_fail(gps_info::missing::unreadable);
            continue;
        }
        // A file's date is when it was copied, not where the photographer was.
        const time_key& key = photos.times[i];
        const std::optional<qint64> utc = key.valid && info.time_from_camera
            ? convert.to_utc(QDate::fromJulianDay(key.day), QTime::fromMSecsSinceStartOfDay(key.msec_of_day),
                photos.offsets[i])
            : std::nullopt;
        if (!utc) {
            keep_or_fail(gps_info::missing::no_time);
            continue;
        }
        info.utc_msecs = utc;
        if (track_points.empty()) {
            keep_or_fail(gps_info::missing::no_track);
            continue;
        }
        const track_match match = track_points.match(*utc, limit);
        info.nearest_point_msecs = match.nearest_msecs;
        if (match.how == track_match::kind::none) {
            keep_or_fail(gps_info::missing::too_far);
            continue;
        }
        if (info.own_gps) {
            info.own_gps = false;
            overwrites_data = true;
        }
        const bool interpolated = match.how == track_match::kind::interpolated;
        info.how = interpolated ? gps_info::origin::track_interpolated : gps_info::origin::track_point;
        info.marker = interpolated ? glyph_interpolated() : glyph_track_point();
        gps_pos pos;
        pos.lat = degrees_text(match.lat, 6);
        pos.lon = degrees_text(match.lon, 6);
        pos.lat_ref = match.lat < 0 ? QStringLiteral("S") : QStringLiteral("N");
        pos.lon_ref = match.lon < 0 ? QStringLiteral("W") : QStringLiteral("E");
        // More places than shown: an interpolated position is finer than the
        // six decimals of a photo's own.
        pos.lat_numerical = degrees_text(match.lat, 8);
        pos.lon_numerical = degrees_text(match.lon, 8);
        if (match.elevation)
            pos.altitude = QString::number(*match.elevation, 'f', 2);
        pos.utc_time = QDateTime::fromMSecsSinceEpoch(*utc, Qt::UTC);
        info.pos = pos;
        info.label = pos.lat + QStringLiteral(", ") + pos.lon;
        info.source_file.clear();
    }
}

const table_data_model::gps_info* table_data_model::assignment(const QString& path) const
{
    const auto it = cache.find(path);
    return it == cache.end() ? nullptr : &it->second;
}

std::optional<qint64> table_data_model::utc_msecs(const QString& path) const
{
    ktk::string key;
    utf8_key(path, key);
    std::optional<int> offset;
    const QDateTime time = recording_time(derived_entry(*exif_cache::instance(), key), &offset);
    if (!time.isValid())
        return std::nullopt;
    return camera_time_converter(camera).to_utc(time.date(), time.time(), offset);
}

std::optional<std::pair<double, double>> table_data_model::own_position(const QString& path) const
{
    ktk::string key;
    utf8_key(path, key);
    const derived_map* entry = derived_entry(*exif_cache::instance(), key);
    if (!has_gps(entry))
        return std::nullopt;
    bool lat_ok = false;
    bool lon_ok = false;
    const QString exact_lat = text_of(*entry, "gps_lat_exact");
    const QString exact_lon = text_of(*entry, "gps_lon_exact");
    const double lat = (exact_lat.isEmpty() ? text_of(*entry, "gps_lat") : exact_lat).toDouble(&lat_ok);
    const double lon = (exact_lon.isEmpty() ? text_of(*entry, "gps_lon") : exact_lon).toDouble(&lon_ok);
    if (!lat_ok || !lon_ok)
        return std::nullopt;
    return std::make_pair(lat, lon);
}

void table_data_model::gps_track_changed(const QList<track_data>& tracks)
{
    track_points = gps_track(tracks);
    build_cache();
    emit layoutChanged();
}

void table_data_model::gps_track_overwrites_changed(bool on)
{
    track_overwrites = on;
    build_cache();
    emit layoutChanged();
}

void table_data_model::camera_clock_changed(const camera_clock& clock)
{
    camera = clock;
    build_cache();
    emit layoutChanged();
}

bool table_data_model::all_files_assigned() const
{
    return all_assigned;
}

bool table_data_model::would_overwrite_data() const
{
    return overwrites_data;
}

bool table_data_model::remove_gps_except_position() const
{
    return sync_order == 3;
}

void table_data_model::gps_sync_order_changed(int order)
{
    emit layoutAboutToBeChanged();
    sync_order = order;
    build_cache();
    emit layoutChanged();
}

void table_data_model::gps_set_pos_changed(gps_pos set_pos)
{
    fixed_pos = set_pos;
    build_cache();
    emit layoutChanged();
}

void table_data_model::gps_max_time_difference(int minutes)
{
    gps_max_time_difference_seconds(minutes >= 0 ? qint64(minutes) * 60 : -1);
}

void table_data_model::gps_max_time_difference_seconds(qint64 seconds)
{
    max_time_difference_enabled = seconds > 0;
    max_time_difference_secs = std::max<qint64>(seconds, -1);
    build_cache();
    emit layoutChanged();
}

void table_data_model::gps_datetime_format_changed(const QString& format)
{
    datetime_format = format;
    emit layoutChanged();
}
