#pragma once

#include "engine/assignment.h"
#include "exif/photo_facts.h"

#include <QAbstractTableModel>
#include <QFont>
#include <QHash>
#include <QString>
#include <QStringList>

#include <functional>
#include <vector>

// The loaded photos, one row per photo, with what the assignment engine
// proposes for each. It only shows: the rules live in the engine, and every
// change of photos or settings is one complete rebuild between
// layoutAboutToBeChanged and layoutChanged.
class table_data_model : public QAbstractTableModel {
    Q_OBJECT

public:
    explicit table_data_model(QObject* parent = nullptr);
    ~table_data_model() override;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    // Only the recording time sorts; a click on another column keeps the order.
    void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;
    // The name's check box says whether the photo is written.
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;
    // Rows dragged (onto the map) carry their photos' paths, one per line.
    static constexpr const char* photos_mime_type = "application/x-vestra-photos";
    QStringList mimeTypes() const override;
    QMimeData* mimeData(const QModelIndexList& indexes) const override;

    // Adds the photos not listed yet and sorts them in.
    void add_photos(const std::vector<photo_facts>& facts);
    // New facts for photos listed already (read again after a write); a
    // position set by hand that the photo now holds is its own, and its
    // decision goes.
    void update_photos(const std::vector<photo_facts>& facts);
    void clear();
    bool contains(const QString& path) const { return row_of_path.contains(path); }
    int row_of(const QString& path) const { return row_of_path.value(path, -1); }

    // The photos in row order, and the engine's outcome for each.
    const std::vector<photo_facts>& photos() const { return listed; }
    const std::vector<assignment>& results() const { return outcomes; }
    const assignment_settings& settings() const { return current; }

    void set_mode(sync_mode mode);
    void set_time_limit_secs(qint64 seconds);
    void set_typed_position(const std::optional<lat_lon>& position);
    void set_track(const gps_track& track);
    void set_track_overwrites(bool on);
    // The track's limit before the first and after the last point (seconds,
    // negative: as the time limit), segment breaks, direction and speed.
    void set_track_options(qint64 end_limit_secs, bool across_segments, bool with_course);
    void set_camera_clock(const camera_clock& clock);
    void set_datetime_format(const QString& format);
    // Per-photo decisions, which win over the mode.
    void set_left_out(const QStringList& paths, bool left_out);
    // Nothing takes a hand-set position back.
    void set_manual_position(const QStringList& paths, const std::optional<lat_lon>& position);
    // Whether the photo has or is to get a position.
    bool has_position(int row) const;
    // Where the row's proposal comes from ("from the track, 12 s from a
    // point", "from IMG_0412.JPG, 3 min before"), or why there is none.
    QString source_text(int row) const;
    // The row's time and where it came from, corrected to UTC where a track needs it.
    QString time_text(int row) const;
    // Why an outcome proposes nothing, in a few words ("too far in time from the track").
    QString missing_text(const assignment& a) const;

    // Whether every photo keeps or gets a position (or was left out), and
    // whether a position of a photo's own would be replaced unasked.
    bool all_files_assigned() const;
    bool would_overwrite_data() const;

    // "lat, lon" with six decimals, as positions are shown.
    static QString position_text(const lat_lon& position);

signals:
    void sort_order_override(int column, Qt::SortOrder order);

private:
    void rebuild();
    void change_decisions(const QStringList& paths, const std::function<void(photo_decision&)>& change);
    QString proposal_text(int row) const;
    QString track_tool_tip(int row) const;
    // "near Arezzo, Tuscany, Italy (1.2 km)" for the position shown in the row.
    QString place_text(int row) const;

    std::vector<photo_facts> listed;
    std::vector<assignment> outcomes;
    QHash<QString, int> row_of_path;
    assignment_settings current;
    QString datetime_format;
    QFont header_font;
    QFont cell_font;
};
