#pragma once

#include "geo/gps_pos.h"

#include <QAbstractTableModel>
#include <QDateTime>
#include <QFont>
#include <QSet>
#include <QString>
#include <QStringList>

#include <map>

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
        bool own_gps = false;
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

signals:
    void sort_order_override(int column, Qt::SortOrder order);

public slots:
    void gps_sync_order_changed(int order);
    void gps_set_pos_changed(gps_pos set_pos);
    void gps_max_time_difference(int minutes);
    void gps_datetime_format_changed(const QString& format);

protected:
    // Lists a photo whose entry exif_cache already holds, without reading the
    // file; for callers that fill the metadata cache themselves.
    void add_cached_file(const QString& path, bool notify);

private:
    // Every listed photo's fresh record and recording time, in row order.
    struct photo_list;

    void append_file(const QString& path, bool notify, bool read);
    photo_list collect() const;
    void assign(photo_list& photos);

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
    int max_time_difference = -1;
    QString datetime_format;
    // The same paths as `files`, so that adding a file need not scan the list.
    QSet<QString> listed;
};
