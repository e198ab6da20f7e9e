#pragma once

#include "geo/camera_clock.h"
#include "geo/gps_pos.h"
#include "geo/gps_track.h"

#include <QAbstractTableModel>
#include <QDateTime>
#include <QFont>
#include <QSet>
#include <QString>
#include <QStringList>

#include <map>
#include <optional>

// The loaded photos, one row per file, and the GPS position proposed for
// each of them. Everything shown about a photo is read from exif_cache.
class table_data_model : public QAbstractTableModel {
    Q_OBJECT

public:
    // The assignment of one photo, kept in `cache` under its path.
    struct gps_info {
        QString marker;
        QString file;
        QString label;
        gps_pos pos;
        QDateTime recording_time;
        // The time is the camera's; otherwise the file's date stands in.
        bool time_from_camera = false;
        // Why the photo's data could not be read at all.
        QString read_error;
        bool own_gps = false;

        // Where the position came from, and why there is none.
        enum class origin { none, own, previous, next, typed, track_point, track_interpolated };
        enum class missing { none, no_source, too_far, no_time, no_track, unreadable };
        origin how = origin::none;
        missing why = missing::none;
        // The photo whose position was taken (previous, next).
        QString source_file;
        // Track mode: the true UTC instant of the photo, and how far the
        // nearest track point is from it.
        std::optional<qint64> utc_msecs;
        std::optional<qint64> nearest_point_msecs;
    };

    explicit table_data_model(QObject* parent = nullptr);
    ~table_data_model() override;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;

    void add_file(const QString& path, bool notify);
    void add_files(const QStringList& paths);
    void resort();
    void clear();

    QDateTime get_dt(const QString& path) const;

    void build_cache();
    bool all_files_assigned() const;
    bool would_overwrite_data() const;
    bool remove_gps_except_position() const;

    bool contains(const QString& path) const { return listed.contains(path); }
    // The assignment of a listed photo, or null before the first rebuild.
    const gps_info* assignment(const QString& path) const;
    const gps_track& track() const { return track_points; }
    const camera_clock& clock() const { return camera; }
    int mode() const { return sync_order; }
    // How far a track may reach across time in the track mode.
    qint64 gap_limit_msecs() const;
    // The photo's true UTC instant under the camera clock; nothing when its
    // recording time is invalid.
    std::optional<qint64> utc_msecs(const QString& path) const;
    // The signed position the photo holds itself, whatever the mode proposes.
    std::optional<std::pair<double, double>> own_position(const QString& path) const;

signals:
    void sort_order_override(int column, Qt::SortOrder order);

public slots:
    void gps_sync_order_changed(int order);
    void gps_set_pos_changed(gps_pos set_pos);
    // A negative limit is none set: no limit for copies, 30 minutes for a
    // track; 0 is no limit in every mode.
    void gps_max_time_difference(int minutes);
    // The same limit to the second.
    void gps_max_time_difference_seconds(qint64 seconds);
    void gps_datetime_format_changed(const QString& format);
    void gps_track_changed(const QList<track_data>& tracks);
    // With it on, photos with a position of their own take the track's too.
    void gps_track_overwrites_changed(bool on);
    void camera_clock_changed(const camera_clock& clock);

public:
    // Lists a photo whose entry exif_cache already holds, without reading the
    // file; for callers that fill the metadata cache themselves.
    void add_cached_file(const QString& path, bool notify);

private:
    // Every listed photo's fresh record and recording time, in row order.
    struct photo_list;

    void append_file(const QString& path, bool notify, bool read);
    photo_list collect() const;
    void assign(photo_list& photos);
    void assign_from_track(photo_list& photos);
    static QString track_tool_tip(const gps_info& info);

    QStringList files;
    int sort_order = Qt::AscendingOrder;
    int sort_column = 1;
    int sync_order = 0;
    QFont header_font;
    QFont cell_font;
    std::map<QString, gps_info> cache;
    bool all_assigned = false;
    bool overwrites_data = false;
    gps_pos fixed_pos;
    bool max_time_difference_enabled = false;
    qint64 max_time_difference_secs = -1;
    QString datetime_format;
    gps_track track_points;
    bool track_overwrites = false;
    camera_clock camera;
    // The same paths as `files`, so that adding a file need not scan the list.
    QSet<QString> listed;
};
