#include "model/table_data_model.h"

#include "places/places.h"

#include "geo/gps_pos.h"

#include <QColor>
#include <QCoreApplication>
#include <QFileInfo>
#include <QMimeData>
#include <QSet>
#include <QSize>

#include <algorithm>
#include <cmath>

namespace {

const QChar glyph_own(0x2190);
const QChar glyph_up(0x2191);
const QChar glyph_down(0x2193);
const QChar glyph_track_point(0x2022);
const QChar glyph_interpolated(0x2248);
const QChar glyph_manual(0x25C6);
const QChar glyph_left_out(0x2205);
const QColor left_out_grey(120, 120, 120);

} // namespace

table_data_model::table_data_model(QObject* parent)
    : QAbstractTableModel(parent)
{
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
    return parent.isValid() ? 0 : int(listed.size());
}

int table_data_model::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : 4;
}

QString table_data_model::position_text(const lat_lon& position)
{
    return QStringLiteral("%1, %2").arg(position.first, 0, 'f', 6).arg(position.second, 0, 'f', 6);
}

QString table_data_model::proposal_text(int row) const
{
    const photo_facts& photo = listed[std::size_t(row)];
    const assignment& a = outcomes[std::size_t(row)];
    const bool down = current.descending;
    switch (a.how) {
    case assignment::origin::own:
        if (a.why == assignment::missing::left_out)
            return QStringLiteral("%1  %2").arg(glyph_left_out, position_text(*photo.own));
        return QStringLiteral("%1  %2").arg(glyph_own, position_text(*photo.own));
    case assignment::origin::previous:
        return QStringLiteral("%1  %2").arg(down ? glyph_down : glyph_up, position_text(*a.position));
    case assignment::origin::next:
        return QStringLiteral("%1  %2").arg(down ? glyph_up : glyph_down, position_text(*a.position));
    case assignment::origin::typed: {
        if (!a.position)
            return QStringLiteral("=  ") + tr("Clear GPS data");
        const gps_pos typed = make_gps_pos(a.position->first, a.position->second);
        return QStringLiteral("=  %1, %2").arg(typed.lat_numerical, typed.lon_numerical);
    }
    case assignment::origin::track_point:
    case assignment::origin::track_interpolated:
        return QStringLiteral("%1  %2").arg(
            a.how == assignment::origin::track_point ? glyph_track_point : glyph_interpolated,
            position_text(*a.position));
    case assignment::origin::manual:
        return QStringLiteral("%1  %2").arg(glyph_manual, position_text(*a.position));
    case assignment::origin::none:
        break;
    }
    if (a.why == assignment::missing::left_out)
        return QStringLiteral("%1  ").arg(glyph_left_out) + tr("Left out of the write");
    return QStringLiteral("?  ") + (a.why == assignment::missing::unreadable ? photo.read_error : QStringLiteral("-"));
}

QVariant table_data_model::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() < 0 || index.row() >= rowCount())
        return {};
    const photo_facts& photo = listed[std::size_t(index.row())];
    // A time taken from the file's date is shown apart: it is when the
    // file was copied, not when the photo was taken.
    const bool file_time = index.column() == 1 && photo.time_from == time_source::file;
    switch (role) {
    case Qt::DisplayRole:
        switch (index.column()) {
        case 0:
            return QFileInfo(photo.path).fileName();
        case 1: {
            const QString text = photo.taken.toString(datetime_format);
            return text.isEmpty() ? QStringLiteral("-") : text;
        }
        case 2:
            return proposal_text(index.row());
        case 3:
            return place_text(index.row());
        default:
            return {};
        }
    case Qt::FontRole:
        if (file_time) {
            QFont italic = cell_font;
            italic.setItalic(true);
            return italic;
        }
        return cell_font;
    case Qt::ForegroundRole:
        if (outcomes[std::size_t(index.row())].why == assignment::missing::left_out)
            return left_out_grey;
        return file_time ? QVariant(QColor(150, 150, 150)) : QVariant();
    case Qt::CheckStateRole:
        if (index.column() != 0)
            return {};
        return outcomes[std::size_t(index.row())].why == assignment::missing::left_out ? Qt::Unchecked : Qt::Checked;
    case Qt::ToolTipRole:
        if (index.column() == 2 && outcomes[std::size_t(index.row())].why == assignment::missing::left_out)
            return tr("Left out: nothing is written into this photo.");
        if (index.column() == 2 && outcomes[std::size_t(index.row())].how == assignment::origin::manual)
            return outcomes[std::size_t(index.row())].replaces_own ? tr("Set by hand, in place of the photo's own position")
                                                                   : tr("Set by hand");
        if (file_time)
            return tr("Time from the file, not the camera");
        if (index.column() == 0 && !photo.position_from.isEmpty())
            return tr("Raw file; its position is read from %1").arg(QFileInfo(photo.position_from).fileName());
        if (index.column() == 0 && photo.kind != file_kind::photo)
            return photo.kind == file_kind::raw ? tr("Raw file") : tr("Video");
        if (index.column() == 2 && current.mode == sync_mode::track)
            return track_tool_tip(index.row());
        if (index.column() == 3)
            return place_text(index.row());
        return {};
    case Qt::UserRole:
        if (index.column() == 0)
            return photo.path;
        if (index.column() == 1)
            return photo.taken;
        return {};
    default:
        return {};
    }
}

QString table_data_model::place_text(int row) const
{
    const photo_facts& photo = listed[std::size_t(row)];
    const assignment& a = outcomes[std::size_t(row)];
    const std::optional<lat_lon> position = a.how == assignment::origin::own ? photo.own : a.position;
    if (!position)
        return {};
    // Looked up as rows are drawn: the index answers in microseconds.
    const std::optional<place_distance> near = nearest_place(position->first, position->second);
    return near ? describe_place(near->where, near->km) : QString();
}

namespace {

// "12 s", "3 min", "2:05 h".
QString span_text(qint64 msecs)
{
    const qint64 seconds = (std::abs(msecs) + 500) / 1000;
    if (seconds < 60)
        return QCoreApplication::translate("table_data_model", "%1 s").arg(seconds);
    if (seconds < 3600)
        return QCoreApplication::translate("table_data_model", "%1 min").arg((seconds + 30) / 60);
    return QCoreApplication::translate("table_data_model", "%1:%2 h")
        .arg(seconds / 3600)
        .arg((seconds / 60) % 60, 2, 10, QLatin1Char('0'));
}

} // namespace

QString table_data_model::missing_text(const assignment& a) const
{
    switch (a.why) {
    case assignment::missing::no_source:
        return tr("no photo with a position to copy from");
    case assignment::missing::too_far:
        return current.mode == sync_mode::track ? tr("too far in time from the track")
                                                : tr("too far in time from a photo with a position");
    case assignment::missing::no_time:
        return tr("no recording time");
    case assignment::missing::no_track:
        return tr("no track loaded");
    case assignment::missing::unreadable:
        return tr("could not be read");
    case assignment::missing::left_out:
        return tr("left out of the write");
    case assignment::missing::none:
        break;
    }
    return current.mode == sync_mode::none ? tr("no mode chosen") : tr("no position");
}

QString table_data_model::source_text(int row) const
{
    const photo_facts& photo = listed[std::size_t(row)];
    const assignment& a = outcomes[std::size_t(row)];
    switch (a.how) {
    case assignment::origin::own:
        return a.why == assignment::missing::left_out ? tr("Its own position; left out of the write")
                                                      : tr("Its own position, kept");
    case assignment::origin::previous:
    case assignment::origin::next: {
        const photo_facts& source = listed[std::size_t(a.source)];
        const QString name = QFileInfo(source.path).fileName();
        if (!source.taken.isValid() || !photo.taken.isValid())
            return tr("from %1").arg(name);
        const qint64 apart = photo.taken.msecsTo(source.taken);
        if (apart == 0)
            return tr("from %1, taken at the same time").arg(name);
        return (apart < 0 ? tr("from %1, %2 before") : tr("from %1, %2 after")).arg(name, span_text(apart));
    }
    case assignment::origin::typed:
        return a.position ? tr("the typed position") : tr("its GPS data cleared");
    case assignment::origin::track_point:
    case assignment::origin::track_interpolated:
        if (a.how == assignment::origin::track_point && a.nearest_point_msecs && *a.nearest_point_msecs == 0)
            return tr("from the track, at a point");
        if (a.how == assignment::origin::track_point)
            return tr("from the track, %1 from a point").arg(span_text(a.nearest_point_msecs.value_or(0)));
        return tr("from the track, between two points (%1 from the nearest)").arg(span_text(a.nearest_point_msecs.value_or(0)));
    case assignment::origin::manual:
        return a.replaces_own ? tr("set by hand, in place of its own") : tr("set by hand");
    case assignment::origin::none:
        break;
    }
    const QString why = missing_text(a);
    return why.left(1).toUpper() + why.mid(1);
}

QString table_data_model::time_text(int row) const
{
    const photo_facts& photo = listed[std::size_t(row)];
    const assignment& a = outcomes[std::size_t(row)];
    if (!photo.taken.isValid())
        return tr("No recording time");
    const QString shown = photo.taken.toString(QStringLiteral("yyyy-MM-dd hh:mm:ss"));
    if (photo.time_from == time_source::file)
        return tr("%1, the file's date (when it was copied, not taken)").arg(shown);
    QString text = tr("%1, from the camera").arg(shown);
    if (!photo.zone_text.isEmpty())
        text += QLatin1Char(' ') + tr("(zone %1)").arg(photo.zone_text);
    if (current.mode == sync_mode::track && a.utc_msecs) {
        const QString utc = QDateTime::fromMSecsSinceEpoch(*a.utc_msecs, Qt::UTC).toString(QStringLiteral("hh:mm:ss"));
        text += QLatin1Char('\n')
            + (current.clock.clock_offset != 0 || current.clock.drift
                    ? tr("True time %1 UTC, corrected by the clock offset %2").arg(utc, camera_clock::format_offset(current.clock.clock_offset))
                    : tr("True time %1 UTC").arg(utc));
    }
    return text;
}

QString table_data_model::track_tool_tip(int row) const
{
    const assignment& a = outcomes[std::size_t(row)];
    if (a.why == assignment::missing::no_time)
        return tr("No recording time: the track cannot place this photo.");
    if (!a.utc_msecs)
        return {};
    QString text = tr("True time (UTC): %1")
                       .arg(QDateTime::fromMSecsSinceEpoch(*a.utc_msecs, Qt::UTC)
                                .toString(QStringLiteral("yyyy-MM-dd hh:mm:ss")));
    if (a.nearest_point_msecs) {
        const qint64 seconds = (*a.nearest_point_msecs + 500) / 1000;
        text += QLatin1Char('\n')
            + tr("Nearest track point: %1 away").arg(camera_clock::format_offset(seconds).mid(1));
    } else if (a.why == assignment::missing::no_track) {
        text += QLatin1Char('\n') + tr("No track is loaded.");
    }
    if (a.why == assignment::missing::too_far)
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
        if (section == 3)
            return tr("Place");
        break;
    case Qt::SizeHintRole: {
        if (section == 0)
            return QSize(230, 30);
        if (section == 1)
            return QSize(190, 30);
        if (section == 2)
            return QSize(230, 30);
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
        emit sort_order_override(1, current.descending ? Qt::DescendingOrder : Qt::AscendingOrder);
        return;
    }
    emit layoutAboutToBeChanged();
    current.descending = order == Qt::DescendingOrder;
    const std::vector<int> rows = time_order(listed, current.descending);
    std::vector<photo_facts> sorted;
    sorted.reserve(rows.size());
    for (const int row : rows)
        sorted.push_back(std::move(listed[std::size_t(row)]));
    listed = std::move(sorted);
    row_of_path.clear();
    for (int row = 0; row < int(listed.size()); ++row)
        row_of_path.insert(listed[std::size_t(row)].path, row);

    const QModelIndexList moved = persistentIndexList();
    if (!moved.isEmpty()) {
        std::vector<int> new_row(rows.size());
        for (std::size_t i = 0; i < rows.size(); ++i)
            new_row[std::size_t(rows[i])] = int(i);
        QModelIndexList to;
        to.reserve(moved.size());
        for (const QModelIndex& index : moved)
            to.append(this->index(new_row[std::size_t(index.row())], index.column()));
        changePersistentIndexList(moved, to);
    }
    // The proposals are whole before any view hears of the new order.
    outcomes = assign(listed, current);
    emit layoutChanged();
}

Qt::ItemFlags table_data_model::flags(const QModelIndex& index) const
{
    Qt::ItemFlags flags = QAbstractTableModel::flags(index);
    if (!index.isValid())
        return flags;
    flags |= Qt::ItemIsDragEnabled;
    if (index.column() == 0)
        flags |= Qt::ItemIsUserCheckable;
    return flags;
}

bool table_data_model::setData(const QModelIndex& index, const QVariant& value, int role)
{
    if (!index.isValid() || index.column() != 0 || role != Qt::CheckStateRole || index.row() >= rowCount())
        return false;
    set_left_out({ listed[std::size_t(index.row())].path }, value.toInt() != Qt::Checked);
    return true;
}

QStringList table_data_model::mimeTypes() const
{
    return { QString::fromLatin1(photos_mime_type) };
}

QMimeData* table_data_model::mimeData(const QModelIndexList& indexes) const
{
    QStringList paths;
    QSet<int> rows;
    for (const QModelIndex& index : indexes) {
        if (index.isValid() && index.row() < rowCount() && !rows.contains(index.row())) {
            rows.insert(index.row());
            paths << listed[std::size_t(index.row())].path;
        }
    }
    auto* data = new QMimeData;
    data->setData(QString::fromLatin1(photos_mime_type), paths.join(QLatin1Char('\n')).toUtf8());
    return data;
}

void table_data_model::change_decisions(const QStringList& paths, const std::function<void(photo_decision&)>& change)
{
    for (const QString& path : paths) {
        if (!row_of_path.contains(path))
            continue;
        photo_decision decision = current.decisions.value(path);
        change(decision);
        if (decision == photo_decision())
            current.decisions.remove(path);
        else
            current.decisions.insert(path, decision);
    }
    rebuild();
}

void table_data_model::set_left_out(const QStringList& paths, bool left_out)
{
    change_decisions(paths, [left_out](photo_decision& d) { d.left_out = left_out; });
}

void table_data_model::set_manual_position(const QStringList& paths, const std::optional<lat_lon>& position)
{
    // A position given is meant to be written: the photo is included again.
    change_decisions(paths, [&position](photo_decision& d) {
        d.position = position;
        if (position)
            d.left_out = false;
    });
}

bool table_data_model::has_position(int row) const
{
    const assignment& a = outcomes[std::size_t(row)];
    return listed[std::size_t(row)].own.has_value() || (a.proposed && a.position);
}

void table_data_model::update_photos(const std::vector<photo_facts>& facts)
{
    emit layoutAboutToBeChanged();
    for (const photo_facts& f : facts) {
        const int row = row_of_path.value(f.path, -1);
        if (row < 0)
            continue;
        listed[std::size_t(row)] = f;
        // A hand-set position the photo now holds is its own; one a failed
        // write did not put there stays to be written again.
        auto decision = current.decisions.find(f.path);
        if (decision != current.decisions.end() && decision->position && f.own
            && std::abs(f.own->first - decision->position->first) < 1e-6
            && std::abs(f.own->second - decision->position->second) < 1e-6) {
            decision->position.reset();
            if (*decision == photo_decision())
                current.decisions.erase(decision);
        }
    }
    outcomes = assign(listed, current);
    emit layoutChanged();
}

void table_data_model::add_photos(const std::vector<photo_facts>& facts)
{
    std::vector<photo_facts> added;
    QSet<QString> taken;
    for (const photo_facts& f : facts) {
        if (!row_of_path.contains(f.path) && !taken.contains(f.path)) {
            taken.insert(f.path);
            added.push_back(f);
        }
    }
    if (!added.empty()) {
        beginInsertRows(QModelIndex(), rowCount(), rowCount() + int(added.size()) - 1);
        for (photo_facts& f : added) {
            row_of_path.insert(f.path, int(listed.size()));
            listed.push_back(std::move(f));
            outcomes.emplace_back();
        }
        endInsertRows();
    }
    sort(1, current.descending ? Qt::DescendingOrder : Qt::AscendingOrder);
}

void table_data_model::clear()
{
    beginResetModel();
    listed.clear();
    outcomes.clear();
    row_of_path.clear();
    current.decisions.clear();
    endResetModel();
}

void table_data_model::rebuild()
{
    emit layoutAboutToBeChanged();
    outcomes = assign(listed, current);
    emit layoutChanged();
}

void table_data_model::set_mode(sync_mode mode)
{
    current.mode = mode;
    rebuild();
}

void table_data_model::set_time_limit_secs(qint64 seconds)
{
    current.time_limit_secs = std::max<qint64>(seconds, -1);
    rebuild();
}

void table_data_model::set_typed_position(const std::optional<lat_lon>& position)
{
    current.typed = position;
    rebuild();
}

void table_data_model::set_track(const gps_track& track)
{
    current.track = track;
    rebuild();
}

void table_data_model::set_track_overwrites(bool on)
{
    current.track_overwrites = on;
    rebuild();
}

void table_data_model::set_track_options(qint64 end_limit_secs, bool across_segments, bool with_course)
{
    current.end_limit_secs = std::max<qint64>(end_limit_secs, -1);
    current.across_segments = across_segments;
    current.with_course = with_course;
    rebuild();
}

void table_data_model::set_camera_clock(const camera_clock& clock)
{
    current.clock = clock;
    rebuild();
}

void table_data_model::set_datetime_format(const QString& format)
{
    emit layoutAboutToBeChanged();
    datetime_format = format;
    emit layoutChanged();
}

bool table_data_model::all_files_assigned() const
{
    for (std::size_t i = 0; i < outcomes.size(); ++i) {
        if (!outcomes[i].proposed && !listed[i].own && outcomes[i].why != assignment::missing::left_out)
            return false;
    }
    return true;
}

bool table_data_model::would_overwrite_data() const
{
    // Hand-set positions over a photo's own were agreed to one by one.
    return std::any_of(outcomes.begin(), outcomes.end(),
        [](const assignment& a) { return a.replaces_own && a.how != assignment::origin::manual; });
}
