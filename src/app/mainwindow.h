#pragma once

#include "geo/gpx_parser.h"
#include "geo/track_file.h"
#include "jobs/photo_jobs.h"

#include <QList>
#include <QMainWindow>
#include <QString>
#include <QStringList>

#include <memory>

class dialog_camera_clock;
class dialog_settings;
class help_window;
class map_window;
class photo_loader;
class sync_panel;
class table_panel;
class table_data_model;
class write_runs;
enum class sync_mode;
struct camera_clock;

namespace kal {
class button;
} // namespace kal

namespace ktk::qt {
class layout;
} // namespace ktk::qt

// The program's single top-level window: it places the controls and hands
// what the user does to the table and the jobs.
class MainWindow : public QMainWindow {
    Q_OBJECT

public:
    explicit MainWindow(QWidget* parent = nullptr);
    ~MainWindow() override;

    bool event(QEvent* e) override;

protected:
    void closeEvent(QCloseEvent* e) override;

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
    // Gives the photos a position by hand; those with a position of their
    // own only when the user agrees to replace it.
    void place_photos(const QStringList& paths, double lat, double lon);
    // Asks for a position for the photos, in any form the position fields take.
    void ask_position(const QStringList& paths);
    // Removes the GPS data of the photos, after asking.
    void remove_gps_of(const QStringList& paths);
    table_panel* photos_panel() const { return panel; }
    void on_button_sync_clicked();
    void on_button_undo_clicked();
    // Lists the runs that can be undone, to take back or discard one.
    void show_undo_history();
    void on_label_delete_gps();
    void on_button_camera_clock_clicked();
    // A new camera clock for the loaded photos: stored, shown, and the
    // proposals rebuilt.
    void set_camera_clock(const camera_clock& clock);
    // Hands the tracks to the table and selects the track mode.
    void use_tracks(const QList<track_data>& tracks, const QString& name);
    // Adds track files to those in use and asks which of their tracks.
    void add_track_files(const QStringList& files);
    // Takes one track file away (all of them for an empty name).
    void remove_track_file(const QString& file);
    const QStringList& track_files() const { return tracks_in_use; }

private:
    void build_header();
    void build_drop_area();
    void build_sync_panel();
    void build_table();
    void create_shortcuts();
    void load_application_settings();
    void save_application_settings();
    void choose_mode(sync_mode mode);
    void show_track();
    // When photos lie outside the track, offers the zone of the track's
    // place or a clock offset that puts clearly more of them on it.
    void check_track_fit();
    // After a write: the written photos read again, and one line on what happened.
    void show_written(const photo_jobs::result& result);
    void on_remove_track_clicked();
    // How track files are read, as the settings say.
    static track_file_options track_reading();
    // Removes the photos' GPS data; what it did is shown after.
    void start_removal(const std::vector<photo_facts>& photos);
    // The track options of the settings, handed to the table.
    void apply_track_choices();
    // The track files and camera clock last used for the photos' folder;
    // false when nothing was kept for it.
    bool restore_folder_choices();
    void remember_folder_choices() const;

    ktk::qt::layout* layout_main = nullptr;
    kal::button* button_undo = nullptr;
    sync_panel* sync = nullptr;
    table_panel* panel = nullptr;
    table_data_model* table_model = nullptr;
    help_window* help = nullptr;
    map_window* map = nullptr;
    dialog_settings* settings_dialog = nullptr;
    dialog_camera_clock* camera_clock_dialog = nullptr;
    std::unique_ptr<photo_jobs> jobs;
    std::unique_ptr<photo_loader> loader;
    write_runs* writes = nullptr;
    QString last_image_load_path;
    QString last_gpx_load_path;
    // The name the chosen track is shown by; the table holds its points.
    QString chosen_track_name;
    // The files the track comes from, and the track picked among theirs
    // (empty: all of them).
    QStringList tracks_in_use;
    QString picked_track;
    // The folder of the photos loaded first since the table was empty.
    QString photo_folder;
    QStringList opened_files;
    // The photos a write is about, with what each is to hold (the position,
    // and the sidecar it goes into), and how the others stood before it.
    struct planned_position {
        QString path;
        std::optional<lat_lon> position;
        QString target;
    };
    std::vector<planned_position> writing;
    enum class write_kind { sync, removal, undo };
    write_kind writing_kind = write_kind::undo;
    QString summary_before;
};
