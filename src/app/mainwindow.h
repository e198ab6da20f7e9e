#pragma once

#include "geo/camera_clock.h"
#include "geo/gpx_parser.h"
#include "jobs/photo_jobs.h"

#include <QMainWindow>
#include <QString>
#include <QStringList>

#include <map>
#include <memory>
#include <string>
#include <vector>

class QButtonGroup;
class QLabel;
class QProgressDialog;
class QTableView;
class QWebView;
class map_window;
class dialog_camera_clock;
class dialog_settings;
struct gps_pos;
class drop_files_widget;
class table_data_model;

namespace kal {
class button;
class checkbox;
class clickable_label;
class lineedit;
class radio;
} // namespace kal

namespace ktk::qt {
class layout;
}

// The program's single top-level window.
class MainWindow : public QMainWindow {
    Q_OBJECT

public:
    using tag_map = std::map<std::string, std::string>;

    explicit MainWindow(QWidget* parent = nullptr);
    ~MainWindow() override;

    bool event(QEvent* e) override;

public Q_SLOTS:
    // Loads the photos among the files and in the folders (not their sub-folders).
    void load_files(QStringList paths);

public:
    // The handlers are public so tests can drive the window as a user would.
    void on_button_load_files_clicked();
    void on_button_load_gpx_clicked();
    void on_button_reset_clicked();
    void on_button_settings_clicked();
    void on_button_about_clicked();
    void on_button_help_clicked();
    void on_button_map_clicked();
    // Types a position picked on the map and proposes it for every photo.
    void use_map_position(double lat, double lon);
    void on_button_sync_clicked();
    void on_button_undo_clicked();
    // Lists the runs that can be undone, to take back or discard one.
    void show_undo_history();
    void on_label_delete_gps();
    void on_radio_gps_use_prev_clicked(bool checked);
    void on_radio_gps_use_next_clicked(bool checked);
    void on_radio_gps_use_closest_clicked(bool checked);
    void on_radio_gps_set(bool checked);
    void on_radio_gps_gpx(bool checked);
    void on_lat_lon_text_changed(const QString& text);
    void on_max_timedelta_changed(const QString& text);
    void on_checkbox_use_gpx_toggled(bool checked);
    void on_button_camera_clock_clicked();
    // A new camera clock for the loaded photos: stored, shown, and the
    // proposals rebuilt.
    void set_camera_clock(const camera_clock& clock);
    // Hands the tracks to the table and selects the track mode.
    void use_tracks(const QList<track_data>& tracks, const QString& name);

private:
    void build_top_bar();
    void build_header();
    void build_drop_area();
    void build_left_panel();
    void build_right_panel();
    void build_table();
    QProgressDialog* make_progress_dialog(const QString& label);
    void connect_signals();
    void create_shortcuts();
    void load_application_settings();
    void save_application_settings();
    void set_sync_order(int order);
    // Advances the progress dialog and lets the window repaint; user input waits.
    void step_progress(QProgressDialog* progress, int value);
    void report_failed_writes(const photo_jobs::result& result, const QString& what);
    // One box naming the files a load passed over, and why.
    void report_passed_over(const std::vector<path_listing::skipped>& passed_over);
    void start_progress(int total);
    void finish_writing(const photo_jobs::result& result, const QString& what);
    void show_track();
    void show_camera_clock();
    // How positions are written, as the settings say.
    photo_jobs::write_options write_options() const;
    QString run_title(const undo_journal::run_info& info) const;
    void update_undo_button();
    // Undoes one run, asking first when `confirm`, and offers to restore
    // photos changed since anyway.
    void undo_run(const QString& id, bool confirm);

    kal::button* button_settings = nullptr;
    kal::button* button_about = nullptr;
    kal::button* button_help = nullptr;
    kal::button* button_map = nullptr;
    kal::button* button_sync = nullptr;
    kal::button* button_undo = nullptr;
    kal::button* button_reset = nullptr;
    kal::button* button_load_files = nullptr;
    kal::radio* radio_gps_use_prev = nullptr;
    kal::radio* radio_gps_use_next = nullptr;
    kal::radio* radio_gps_use_closest = nullptr;
    kal::radio* radio_gps_set = nullptr;
    kal::radio* radio_gps_gpx = nullptr;
    QButtonGroup* radio_group = nullptr;
    kal::lineedit* lineedit_lat = nullptr;
    kal::lineedit* lineedit_lon = nullptr;
    kal::lineedit* lineedit_max_timedelta = nullptr;
    kal::button* button_load_gpx = nullptr;
    kal::lineedit* lineedit_gpx_file = nullptr;
    kal::checkbox* checkbox_use_gpx = nullptr;
    kal::button* button_camera_clock = nullptr;
    kal::clickable_label* label_camera_clock = nullptr;
    kal::clickable_label* label_delete_gps = nullptr;
    QTableView* table_view = nullptr;
    table_data_model* table_model = nullptr;
    drop_files_widget* drop_widget = nullptr;
    ktk::qt::layout* layout_main = nullptr;
    ktk::qt::layout* layout_top = nullptr;
    ktk::qt::layout* layout_header = nullptr;
    ktk::qt::layout* layout_drop = nullptr;
    ktk::qt::layout* layout_sync_left = nullptr;
    ktk::qt::layout* layout_sync_right = nullptr;
    ktk::qt::layout* layout_set_position = nullptr;
    ktk::qt::layout* layout_gpx = nullptr;
    ktk::qt::layout* layout_table = nullptr;
    QWebView* help_window = nullptr;
    map_window* map = nullptr;
    QProgressDialog* progress_load = nullptr;
    QProgressDialog* progress_sync = nullptr;
    std::unique_ptr<photo_jobs> jobs;
    // The run this window wrote last; any other is confirmed before undo.
    QString last_run_written;
    dialog_settings* settings_dialog = nullptr;
    QString last_image_load_path;
    QString last_gpx_load_path;
    int sync_order = 2;
    camera_clock camera;
    dialog_camera_clock* camera_clock_dialog = nullptr;
    // The track the table works with, kept to show it again in a new format.
    QList<track_data> chosen_tracks;
    QString chosen_track_name;
    // Files that arrive while a load runs (a file-open event delivered between
    // two files) join that load instead of starting one inside it.
    bool loading = false;
    QStringList queued_files;
};
