#include "model/table_data_model.h"

#include "places/places.h"

#include "geo/gps_pos.h"

#include <QColor>
#include <QFileInfo>
#include <QSet>
#include <QSize>

#include <algorithm>

namespace {

const QChar glyph_own(0x2190);
const QChar glyph_up(0x2191);
const QChar glyph_down(0x2193);
const QChar glyph_track_point(0x2022);
const QChar glyph_interpolated(0x2248);

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
    case assignment::origin::none:
        break;
    }
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
        return file_time ? QVariant(QColor(150, 150, 150)) : QVariant();
    case Qt::ToolTipRole:
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
        if (!outcomes[i].proposed && !listed[i].own)
            return false;
    }
    return true;
}

bool table_data_model::would_overwrite_data() const
{
    return std::any_of(outcomes.begin(), outcomes.end(), [](const assignment& a) { return a.replaces_own; });
}
