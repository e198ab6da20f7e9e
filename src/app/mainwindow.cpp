#include "app/mainwindow.h"

#include "app/drop_files_widget.h"
#include "app/folder_memory.h"
#include "app/help_window.h"
#include "app/photo_loader.h"
#include "app/progress.h"
#include "app/styles.h"
#include "app/sync_panel.h"
#include "app/table_panel.h"
#include "app/track_chooser.h"
#include "app/write_runs.h"
#include "dialogs/datetime_format_selector.h"
#include "dialogs/dialog_3rd_part_lib_info.h"
#include "dialogs/dialog_about.h"
#include "dialogs/dialog_camera_clock.h"
#include "dialogs/dialog_settings.h"
#include "dialogs/git_version.h"
#include "exif/exif_cache.h"
#include "exif/exiftool.h"
#include "geo/coordinate_parser.h"
#include "geo/offset_search.h"
#include "geo/track_file.h"
#include "geo/zone_proposal.h"
#include "jobs/photo_jobs.h"
#include "map/map_window.h"
#include "model/table_data_model.h"
#include "places/places.h"
#include "toolkit/counted.h"
#include "toolkit/qt/layout.h"
#include "toolkit/qt/message_box.h"
#include "toolkit/qt/property.h"
#include "toolkit/qt/widgets.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QTreeView>
#include <QFileInfo>
#include <QFileOpenEvent>
#include <QFont>
#include <QFontDatabase>
#include <QHeaderView>
#include <QMap>
#include <QMenu>
#include <QSet>
#include <QTime>
#include <QScreen>
#include <QSettings>
#include <QShortcut>
#include <QStandardPaths>
#include <QTableView>
#include <QTimer>

#include <utility>

namespace prop = ktk::qt::property;

namespace {

constexpr int header_height = 72;
constexpr int panel_height = 260;

// Several files from a plain file dialog that opens in the nearest folder
// still there, with room for the names and dates.
QStringList pick_files(QWidget* parent, const QString& title, QString folder, const QStringList& filters)
{
    while (!folder.isEmpty() && !QFileInfo(folder).isDir() && QFileInfo(folder).absolutePath() != folder)
        folder = QFileInfo(folder).absolutePath();
    if (!QFileInfo(folder).isDir())
        folder = QDir::homePath();
    QFileDialog dialog(parent, title, folder);
    dialog.setFileMode(QFileDialog::ExistingFiles);
    dialog.setNameFilters(filters);
    dialog.resize(860, 480);
    if (auto* list = dialog.findChild<QTreeView*>()) {
        const int widths[] = { 380, 90, 110, 190 };
        for (int column = 0; column < 4; ++column)
            list->header()->resizeSection(column, widths[column]);
    }
    return dialog.exec() == QDialog::Accepted ? dialog.selectedFiles() : QStringList();
}

} // namespace

MainWindow::MainWindow(QWidget* parent)
    : QMainWindow(parent)
{
    QFontDatabase::addApplicationFont(":/images/FreeSans.ttf");
    QFontDatabase::addApplicationFont(":/images/FreeSansBold.ttf");
    // The bold face calls its family FreeSans too; style sheets and fonts ask
    // for it by the file's name.
    QFont::insertSubstitution("FreeSansBold", "FreeSans");
    QFont font("FreeSans");
    font.setPointSize(12);
    QApplication::setFont(font);

    // Fifteen rows and more on a 1366×768 screen; the last size comes back.
    const QSize room = QGuiApplication::primaryScreen()->availableSize();
    resize(std::min(1200, room.width()), std::min(736, room.height()));
    setMinimumSize(std::min(925, room.width()), std::min(600, room.height()));

    auto* central = new QWidget;
    central->setStyleSheet(styles::window_text);
    setCentralWidget(central);

    layout_main = new ktk::qt::layout(3, false);
    central->setLayout(layout_main);

    settings_dialog = new dialog_settings;
    table_model = new table_data_model(nullptr);

    build_header();
    build_drop_area();
    build_sync_panel();
    build_table();

    QProgressDialog* progress_load = make_progress_dialog(this, "progress_load", tr("Loading files"));
    QProgressDialog* progress_sync = make_progress_dialog(this, "progress_sync", tr("Syncing GPS data"));

    create_shortcuts();
    load_application_settings();

    jobs = std::make_unique<photo_jobs>();
    // While ExifTool works on a long file the window still repaints; only
    // posted repaints run, so nothing the user does starts other work.
    kal::_exiftool2::instance()->while_waiting = [] {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::UpdateRequest);
    };
    loader = std::make_unique<photo_loader>(*jobs, *table_model, progress_load, this);
    writes = new write_runs(
        *jobs, button_undo, progress_sync,
        [this] { return settings_dialog->selector()->get_datetime_format(); }, this);
    connect(writes, &write_runs::written, this, &MainWindow::show_written);
}

MainWindow::~MainWindow()
{
    delete help;
    delete map;
    delete settings_dialog;
    // The view goes with the window; it lets go of a model that is deleted first.
    delete table_model;
}

void MainWindow::build_header()
{
    // One band: the settings at the left, sync and undo above the mode
    // panels, the other small buttons and the logo at the right; the table
    // gets the height a second band would take.
    auto* header = new ktk::qt::layout(8, false);
    auto* settings
        = styles::make_image_button("button_settings", tr("Show settings dialog"), "button_settings_small");
    header->add(settings, prop::size(27, 27), prop::margin_left(5), prop::margin_top(5), prop::margin_bottom(-1),
        prop::background_disable, prop::column_width(32));
    connect(settings, &QAbstractButton::clicked, this, &MainWindow::on_button_settings_clicked);

    auto* sync_button = styles::make_image_button("button_sync",
        tr("Write the proposed positions into the photos"), "button_sync");
    // Above the mode panels, which start where the drop area ends.
    header->add(sync_button, prop::size(119, 52), prop::margin_left(300 - 32), prop::background_disable,
        prop::column_width(300 - 32 + 119));
    connect(sync_button, &QAbstractButton::clicked, this, &MainWindow::on_button_sync_clicked);

    button_undo = styles::make_image_button("button_undo",
        tr("Undo the last write of GPS positions"), "button_undo", "button_undo_disabled");
    button_undo->setEnabled(false);
    header->add(button_undo, prop::size(52, 52), prop::margin_left(0), prop::margin_right(-1),
        prop::background_disable, prop::column_width(52));
    connect(button_undo, &QAbstractButton::clicked, this, &MainWindow::on_button_undo_clicked);

    header->add(new QWidget, prop::background_disable);

    const struct {
        const char* name;
        QString tool_tip;
        const char* image;
        void (MainWindow::*handler)();
    } buttons[] = {
        { "button_about", tr("Show information about this program"), "button_info_small",
            &MainWindow::on_button_about_clicked },
        { "button_help", tr("Display the help page for this program"), "button_help_small",
            &MainWindow::on_button_help_clicked },
        { "button_map", tr("Show the photos on a map"), "button_map_small",
            &MainWindow::on_button_map_clicked },
    };
    for (const auto& b : buttons) {
        auto* button = styles::make_image_button(b.name, b.tool_tip, b.image);
        header->add(button, prop::size(27, 27), prop::margin_left(-1), prop::margin_right(5),
            prop::margin_top(5), prop::margin_bottom(-1), prop::background_disable, prop::column_width(32));
        connect(button, &QAbstractButton::clicked, this, b.handler);
    }

    header->add(new QWidget, prop::size(230, 70), prop::style_sheet(styles::logo), prop::margin_right(10),
        prop::margin_left(0), prop::background_disable, prop::column_width(240));

    layout_main->add(header, prop::column_span(3), prop::background_style_sheet(styles::header_background),
        prop::style_sheet(styles::header_content), prop::height(header_height), prop::row_height(header_height));
}

void MainWindow::build_drop_area()
{
    auto* drop = new drop_files_widget(nullptr);
    drop->setObjectName("drop_widget");
    drop->setAcceptDrops(true);
    auto* buttons = new ktk::qt::layout(2, false);
    drop->setLayout(buttons);
    connect(drop, &drop_files_widget::files_dropped, this, &MainWindow::load_files);

    auto* reset
        = styles::make_image_button("button_reset", tr("Clear the list of loaded files"), "button_reset");
    buttons->add(reset, prop::size(43, 43), prop::margin_left(-1), prop::margin_right(0),
        prop::margin_top(8), prop::margin_bottom(-1));
    connect(reset, &QAbstractButton::clicked, this, &MainWindow::on_button_reset_clicked);

    auto* load = styles::make_image_button("button_load_files", tr("Load file(s) from disk"), "button_load");
    buttons->add(load, prop::size(43, 43), prop::margin_left(0), prop::margin_right(-1), prop::margin_top(8),
        prop::margin_bottom(-1));
    connect(load, &QAbstractButton::clicked, this, &MainWindow::on_button_load_files_clicked);

    // The drop area, the two mode panels and the header keep their size; the
    // table takes what is left.
    layout_main->add(drop, prop::size(300, panel_height), prop::background_style_sheet(styles::drop_area_background),
        prop::column_width(300), prop::row_height(panel_height));
}

void MainWindow::build_sync_panel()
{
    sync = new sync_panel(this);
    layout_main->add(sync->copy_modes(), prop::size(220, panel_height),
        prop::background_style_sheet(styles::panel_background), prop::column_width(220));
    layout_main->add(
        sync->other_sources(), prop::height(panel_height), prop::background_style_sheet(styles::panel_background));

    connect(sync, &sync_panel::mode_chosen, this, &MainWindow::choose_mode);
    connect(sync, &sync_panel::time_limit_typed, table_model, &table_data_model::set_time_limit_secs);
    connect(sync, &sync_panel::position_typed, table_model, &table_data_model::set_typed_position);
    connect(sync, &sync_panel::load_track_clicked, this, &MainWindow::on_button_load_gpx_clicked);
    connect(sync, &sync_panel::remove_track_clicked, this, &MainWindow::on_remove_track_clicked);
    connect(
        sync, &sync_panel::track_overwrites_toggled, table_model, &table_data_model::set_track_overwrites);
    connect(sync, &sync_panel::camera_clock_clicked, this, &MainWindow::on_button_camera_clock_clicked);
    connect(sync, &sync_panel::remove_gps_clicked, this, &MainWindow::on_label_delete_gps);
}

void MainWindow::build_table()
{
    panel = new table_panel(*table_model, this);
    QTableView* view = panel->view();
    connect(
        table_model, &table_data_model::sort_order_override, view, [view](int column, Qt::SortOrder order) {
            view->horizontalHeader()->setSortIndicator(column, order);
        });
    connect(panel, &table_panel::set_position_requested, this, &MainWindow::ask_position);
    connect(panel, &table_panel::remove_gps_requested, this, &MainWindow::remove_gps_of);
    connect(panel, &table_panel::show_on_map_requested, this, [this] {
        if (!map || !map->isVisible())
            on_button_map_clicked();
    });
    layout_main->add(panel->widget(), prop::column_span(3));
}

void MainWindow::create_shortcuts()
{
    auto add = [this](const QKeySequence& keys, std::function<void()> action) {
        auto* shortcut = new QShortcut(keys, this);
        shortcut->setContext(Qt::WindowShortcut);
        connect(shortcut, &QShortcut::activated, this, action);
    };
    add(QKeySequence("Ctrl+Shift+G"), [this] {
        kal::message_box::information(this, tr("Git Info"),
            QString::fromStdString(git_version::versions_formatted()), QMessageBox::Ok,
            QMessageBox::NoButton);
    });
    add(QKeySequence::Open, [this] { on_button_load_files_clicked(); });
    add(QKeySequence(Qt::Key_F1), [this] { on_button_help_clicked(); });
    add(QKeySequence("Ctrl+?"), [this] { on_button_help_clicked(); });
    add(QKeySequence("Ctrl+M"), [this] { on_button_map_clicked(); });
    add(QKeySequence("Ctrl+Shift+Z"), [this] { show_undo_history(); });
    add(QKeySequence("Ctrl+Z"), [this] { on_button_undo_clicked(); });
    add(QKeySequence("Ctrl+A"), [this] { panel->view()->selectAll(); });
    add(QKeySequence("Ctrl+Q"), [] { QCoreApplication::quit(); });
}

void MainWindow::load_application_settings()
{
    QSettings settings;
    restoreGeometry(settings.value("window_geometry").toByteArray());
    last_image_load_path = settings
                               .value("last_image_load_path",
                                   QStandardPaths::writableLocation(QStandardPaths::PicturesLocation))
                               .toString();
    last_gpx_load_path = settings
                             .value("last_gpx_load_path",
                                 QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation))
                             .toString();
    const sync_mode mode = sync_mode_of(static_cast<int>(settings.value("sync_order", 2u).toUInt()));
    sync->show_mode(mode);
    table_model->set_mode(mode);
    table_model->set_datetime_format(settings_dialog->selector()->get_datetime_format());

    // A zone or offset this program cannot read counts as unset.
    camera_clock camera = camera_clock::from_zone_text(settings.value("camera_time_zone").toString())
                              .value_or(camera_clock());
    camera.clock_offset
        = camera_clock::parse_offset(settings.value("camera_clock_offset").toString()).value_or(0);
    camera.drift = camera_clock::parse_drift(settings.value("camera_clock_drift").toString());
    table_model->set_camera_clock(camera);
    apply_track_choices();
    sync->show_camera_clock(camera);
}

void MainWindow::save_application_settings()
{
    const assignment_settings& current = table_model->settings();
    QSettings settings;
    settings.setValue("last_image_load_path", last_image_load_path);
    settings.setValue("last_gpx_load_path", last_gpx_load_path);
    // Only a stored number stands for no mode; it stays as it was.
    if (current.mode != sync_mode::none)
        settings.setValue("sync_order", int(current.mode));
    settings.setValue("camera_time_zone", current.clock.zone_text());
    settings.setValue("camera_clock_offset", camera_clock::format_offset(current.clock.clock_offset));
    settings.setValue("camera_clock_drift", current.clock.drift ? camera_clock::format_drift(*current.clock.drift) : QString());
}

track_file_options MainWindow::track_reading()
{
    track_file_options options;
    options.accuracy_limit = dialog_settings::stored_track_choices().accuracy_limit;
    return options;
}

void MainWindow::apply_track_choices()
{
    const dialog_settings::track_choices choices = dialog_settings::stored_track_choices();
    table_model->set_track_options(choices.end_limit_secs, choices.across_segments, choices.with_course);
}

bool MainWindow::restore_folder_choices()
{
    const std::optional<folder_choices> kept = remembered_choices(photo_folder);
    if (!kept)
        return false;
    if (std::optional<camera_clock> clock = camera_clock::from_zone_text(kept->zone)) {
        clock->clock_offset = camera_clock::parse_offset(kept->offset).value_or(0);
        clock->drift = camera_clock::parse_drift(kept->drift);
        set_camera_clock(*clock);
    }
    QStringList there;
    for (const QString& file : kept->track_files) {
        if (QFileInfo(file).isFile())
            there << file;
    }
    if (const std::optional<chosen_tracks> chosen = read_tracks(there, kept->track_name, track_reading())) {
        tracks_in_use = there;
        picked_track = chosen->picked;
        use_tracks(chosen->tracks, chosen->name);
    }
    return true;
}

void MainWindow::remember_folder_choices() const
{
    const camera_clock& clock = table_model->settings().clock;
    remember_choices(photo_folder,
        { tracks_in_use, picked_track, clock.zone_text(), camera_clock::format_offset(clock.clock_offset),
            clock.drift ? camera_clock::format_drift(*clock.drift) : QString() });
}

void MainWindow::closeEvent(QCloseEvent* e)
{
    QSettings().setValue("window_geometry", saveGeometry());
    QMainWindow::closeEvent(e);
}

bool MainWindow::event(QEvent* e)
{
    if (e->type() != QEvent::FileOpen)
        return QMainWindow::event(e);
    // Files handed over together (the command line's, a file manager's
    // selection) arrive one event each; they are loaded as one drop, so
    // tracks and photos meet.
    if (opened_files.isEmpty())
        QTimer::singleShot(0, this, [this] { load_files(std::exchange(opened_files, {})); });
    opened_files << static_cast<QFileOpenEvent*>(e)->file();
    return true;
}

void MainWindow::load_files(QStringList paths)
{
    // Track files given among the photos are tracks, not files passed over.
    QStringList tracks;
    for (const QString& path : paths) {
        if (is_track_file(path))
            tracks << path;
    }
    for (const QString& track : tracks)
        paths.removeAll(track);
    // A new set of photos brings back what was last used for their folder,
    // unless tracks come with them.
    if (!paths.isEmpty() && table_model->rowCount() == 0) {
        photo_folder = folder_of(paths);
        // Else the tracks inside the folders: photographers keep the day's
        // track with its photos.
        if (tracks.isEmpty() && !restore_folder_choices()) {
            for (const QString& path : paths) {
                if (QFileInfo(path).isDir())
                    tracks << track_files_in(path);
            }
        }
    }
    if (!tracks.isEmpty())
        add_track_files(tracks);
    if (!paths.isEmpty()) {
        loader->load(std::move(paths));
        check_track_fit();
    }
    remember_folder_choices();
}

void MainWindow::on_button_load_files_clicked()
{
    // Every kind the ExifTool in use can write, in either case.
    QStringList patterns;
    for (const QString& kind : kal::_exiftool2::instance()->file_types().writable)
        patterns << QStringLiteral("*.") + kind.toLower() << QStringLiteral("*.") + kind.toUpper();
    patterns.sort();
    const QStringList files = pick_files(this, tr("Select photos"), last_image_load_path,
        { tr("Photos and videos (%1)").arg(patterns.join(QLatin1Char(' '))), tr("All files (*)") });
    if (files.isEmpty())
        return;
    last_image_load_path = QFileInfo(files.first()).absolutePath();
    save_application_settings();
    load_files(files);
}

void MainWindow::on_button_load_gpx_clicked()
{
    const QStringList files = pick_files(this, tr("Select track files"), last_gpx_load_path, track_file::name_filters());
    if (files.isEmpty())
        return;
    last_gpx_load_path = QFileInfo(files.first()).absolutePath();
    save_application_settings();
    add_track_files(files);
}

void MainWindow::add_track_files(const QStringList& files)
{
    QStringList all = tracks_in_use;
    for (const QString& file : files) {
        const QString path = QFileInfo(file).absoluteFilePath();
        if (!all.contains(path))
            all << path;
    }
    if (const std::optional<chosen_tracks> chosen = choose_tracks(this, all, track_reading())) {
        tracks_in_use = all;
        picked_track = chosen->picked;
        use_tracks(chosen->tracks, chosen->name);
    }
}

void MainWindow::on_remove_track_clicked()
{
    if (tracks_in_use.size() <= 1) {
        remove_track_file(QString());
        return;
    }
    QMenu menu(this);
    menu.setObjectName(QStringLiteral("menu_remove_track"));
    for (const QString& file : tracks_in_use)
        menu.addAction(tr("Remove %1").arg(QFileInfo(file).fileName()))->setData(file);
    menu.addSeparator();
    menu.addAction(tr("Remove all track files"))->setData(QString());
    if (const QAction* chosen = menu.exec(QCursor::pos()))
        remove_track_file(chosen->data().toString());
}

void MainWindow::remove_track_file(const QString& file)
{
    if (file.isEmpty())
        tracks_in_use.clear();
    else
        tracks_in_use.removeAll(file);
    const std::optional<chosen_tracks> rest = read_tracks(tracks_in_use, picked_track, track_reading());
    if (rest) {
        picked_track = rest->picked;
        use_tracks(rest->tracks, rest->name);
    } else {
        tracks_in_use.clear();
        picked_track.clear();
        chosen_track_name.clear();
        table_model->set_track(gps_track());
        show_track();
        remember_folder_choices();
    }
}

void MainWindow::use_tracks(const QList<track_data>& tracks, const QString& name)
{
    chosen_track_name = name;
    table_model->set_track(gps_track(tracks));
    show_track();
    if (table_model->settings().mode != sync_mode::track)
        choose_mode(sync_mode::track);
    check_track_fit();
    remember_folder_choices();
}

namespace {

// The photos the track places with this clock, of those that want a position from it.
int placed_with(const std::vector<photo_facts>& photos, assignment_settings settings, const camera_clock& clock)
{
    settings.clock = clock;
    int placed = 0;
    for (const assignment& a : assign(photos, settings))
        placed += a.how == assignment::origin::track_point || a.how == assignment::origin::track_interpolated;
    return placed;
}

} // namespace

void MainWindow::check_track_fit()
{
    const assignment_settings& settings = table_model->settings();
    const std::vector<photo_facts>& photos = table_model->photos();
    if (settings.mode != sync_mode::track || settings.track.empty() || photos.empty())
        return;
    std::vector<qint64> times;
    std::vector<QDateTime> camera_times;
    bool own_zones = false;
    int wanting = 0;
    for (std::size_t i = 0; i < photos.size(); ++i) {
        const assignment& a = table_model->results()[i];
        if (a.how == assignment::origin::own || !a.utc_msecs)
            continue;
        ++wanting;
        times.push_back(*a.utc_msecs);
        camera_times.push_back(photos[i].taken);
        own_zones = own_zones || !photos[i].zone_text.isEmpty();
    }
    const int placed_now = placed_with(photos, settings, settings.clock);
    if (wanting == 0 || placed_now == wanting)
        return;
    const auto clearly_more = [&](int placed) { return placed >= placed_now + std::min(3, wanting - placed_now); };
    const auto ask = [this](const QString& text, const QString& yes) {
        return kal::message_box::question(this, tr("The camera clock"), text, yes, tr("Leave it"), QMessageBox::Yes)
            == QMessageBox::Yes;
    };
    const QString outside = tr("%1 of %2 photos lie outside the track.").arg(wanting - placed_now).arg(wanting);

    // The zone where the track was recorded, when the camera's is not known.
    if (settings.clock.kind == camera_clock::zone_kind::local && !own_zones) {
        if (const std::optional<zone_proposal> zone = propose_camera_zone(settings.track, camera_times)) {
            camera_clock there = settings.clock;
            there.kind = camera_clock::zone_kind::named;
            there.zone_id = zone->zone_id;
            const int placed = placed_with(photos, settings, there);
            if (clearly_more(placed)
                && ask(outside + QLatin1Char(' ')
                           + tr("The track was recorded near %1: with the camera set to %2 time, %3 match. Use that zone?")
                                 .arg(place_title(zone->from.where), QString::fromUtf8(zone->zone_id))
                                 .arg(placed == wanting ? tr("all %1").arg(wanting) : QString::number(placed)),
                    tr("Use %1").arg(QString::fromUtf8(zone->zone_id)))) {
                set_camera_clock(there);
                return;
            }
        }
    }

    // A clock set wrong by a whole number of minutes.
    const offset_suggestion found
        = search_clock_offset(times, settings.track, settings.track_matching(), settings.clock.time_zone());
    if (!found.clearly_better)
        return;
    QString text = outside + QLatin1Char(' ')
        + tr("With the camera %1, %2 match.")
              .arg(found.offset_text,
                  found.placed_with_offset == wanting ? tr("all %1").arg(wanting)
                                                      : QString::number(found.placed_with_offset));
    if (!found.zone_text.isEmpty())
        text += QLatin1Char(' ') + tr("Perhaps %1.").arg(found.zone_text);
    if (ask(text + QLatin1Char(' ') + tr("Use it?"), tr("Use it"))) {
        camera_clock corrected = settings.clock;
        corrected.clock_offset += found.offset_secs;
        set_camera_clock(corrected);
    }
}

void MainWindow::show_track()
{
    sync->show_track(
        chosen_track_name, table_model->settings().track, settings_dialog->selector()->get_datetime_format());
}

void MainWindow::choose_mode(sync_mode mode)
{
    table_model->set_mode(mode);
    sync->show_mode(mode);
    save_application_settings();
}

void MainWindow::set_camera_clock(const camera_clock& clock)
{
    if (clock == table_model->settings().clock)
        return;
    table_model->set_camera_clock(clock);
    save_application_settings();
    remember_folder_choices();
    sync->show_camera_clock(clock);
}

void MainWindow::on_button_camera_clock_clicked()
{
    if (!camera_clock_dialog) {
        camera_clock_dialog = new dialog_camera_clock(this);
        connect(
            camera_clock_dialog, &dialog_camera_clock::clock_changed, this, &MainWindow::set_camera_clock);
    }
    QList<dialog_camera_clock::photo> photos;
    for (int row = 0; row < table_model->rowCount(); ++row) {
        dialog_camera_clock::photo photo;
        photo.name = table_model->data(table_model->index(row, 0), Qt::DisplayRole).toString();
        photo.camera_time = table_model->data(table_model->index(row, 1), Qt::UserRole).toDateTime();
        photos << photo;
    }
    camera_clock_dialog->set_photos(photos);
    camera_clock_dialog->set_clock(table_model->settings().clock);
    camera_clock_dialog->exec();
}

void MainWindow::on_button_reset_clicked()
{
    table_model->clear();
    photo_folder.clear();
    exif_cache::instance()->clear();
}

void MainWindow::on_button_settings_clicked()
{
    settings_dialog->exec();
    table_model->set_datetime_format(settings_dialog->selector()->get_datetime_format());
    apply_track_choices();
    show_track();
}

void MainWindow::on_button_about_clicked()
{
    kal::dialog_about about(this);
    about.set_lib_info_callback([](QWidget* parent) {
        auto* info = new kal::dialog_3rd_part_lib_info(parent);
        kal::dialog_3rd_part_lib_info::info_item item;
        item.name = "Exiftool";
        item.description = QCoreApplication::applicationName() + tr(" uses Exiftool by Phil Harvey") + "\n"
            + "https://exiftool.org";
        info->items.push_back(item);
        // The kinds come from the ExifTool in use, so this says what it can.
        QStringList kinds = kal::_exiftool2::instance()->file_types().writable.values();
        kinds.sort();
        QString lines;
        for (int i = 0; i < kinds.size(); ++i)
            lines += kinds[i].toUpper() + (i + 1 == kinds.size() ? QString() : (i % 14 == 13 ? QStringLiteral(",\n") : QStringLiteral(", ")));
        kal::dialog_3rd_part_lib_info::info_item writable;
        writable.name = tr("Photo kinds");
        writable.description = tr("Positions are written into these kinds of files:") + QLatin1Char('\n') + lines;
        info->items.push_back(writable);
        info->exec();
    });
    QRect rect = about.geometry();
    rect.moveCenter(geometry().center());
    if (QGuiApplication::primaryScreen()->geometry().contains(rect))
        about.setGeometry(rect);
    about.exec();
}

void MainWindow::on_button_help_clicked()
{
    if (!help)
        help = new help_window;
    help->toggle();
}

void MainWindow::on_button_map_clicked()
{
    if (!map) {
        map = new map_window(*table_model, nullptr);
        // Closing the main window ends the program even while the map is open.
        map->setAttribute(Qt::WA_QuitOnClose, false);
        map->set_selection_model(panel->view()->selectionModel());
        connect(map, &map_window::place_here, this,
            [this](double lat, double lon) { place_photos(panel->selected_paths(), lat, lon); });
        connect(map, &map_window::photos_dropped, this, &MainWindow::place_photos);
    }
    if (map->isVisible())
        map->close();
    else
        map->show();
}

void MainWindow::place_photos(const QStringList& paths, double lat, double lon)
{
    QStringList without;
    QStringList with_own;
    for (const QString& path : paths) {
        const int row = table_model->row_of(path);
        if (row >= 0)
            (table_model->photos()[std::size_t(row)].own ? with_own : without) << path;
    }
    if (!with_own.isEmpty()) {
        const QString text = with_own.size() == 1
            ? tr("%1 has a position of its own. Replace it with this one?").arg(QFileInfo(with_own.first()).fileName())
            : tr("%1 of these photos have a position of their own. Replace theirs with this one?").arg(with_own.size());
        if (kal::message_box::question(this, tr("Replace positions?"), text, tr("Replace"),
                without.isEmpty() ? tr("Leave it") : tr("Only the others"), QMessageBox::Yes)
            == QMessageBox::Yes)
            without << with_own;
    }
    table_model->set_manual_position(without, lat_lon { lat, lon });
}

void MainWindow::ask_position(const QStringList& paths)
{
    if (paths.isEmpty())
        return;
    bool ok = false;
    const QString text = kal::input_dialog::get_text(this, tr("Set position"),
        tr("Position for %1, e.g. 46.501221, 11.352501 or 46°30'4.4\"N 11°21'9\"E, or a town:")
            .arg(paths.size() == 1 ? QFileInfo(paths.first()).fileName() : tr("%1 photos").arg(paths.size())),
        QLineEdit::Normal, QString(), &ok);
    if (!ok || text.trimmed().isEmpty())
        return;
    const position_reading reading = parse_position(text);
    if (reading.ok()) {
        place_photos(paths, *reading.lat, *reading.lon);
        return;
    }
    const place_match town = resolve_place(text);
    if (town.found) {
        place_photos(paths, town.found->lat, town.found->lon);
        return;
    }
    QString why = tr("\"%1\" is not a position or a known town; nothing was changed.").arg(text.trimmed());
    if (!town.candidates.isEmpty()) {
        QStringList names;
        for (const place& p : town.candidates)
            names << place_title(p);
        why = tr("\"%1\" names several towns; type its region or country too (\"Name, Country\"). Nothing was "
                 "changed.\n\n%2")
                  .arg(text.trimmed(), names.join(QLatin1Char('\n')));
    }
    kal::message_box::warning(this, tr("Set position"), why, QMessageBox::Ok, QMessageBox::NoButton);
}

void MainWindow::remove_gps_of(const QStringList& paths)
{
    std::vector<photo_facts> photos;
    for (const QString& path : paths) {
        const int row = table_model->row_of(path);
        if (row >= 0)
            photos.push_back(table_model->photos()[std::size_t(row)]);
    }
    if (photos.empty()
        || kal::message_box::question(this, tr("Remove GPS data"),
               tr("Remove all GPS data from %1? This can be undone.")
                   .arg(photos.size() == 1 ? QFileInfo(paths.first()).fileName() : tr("%1 photos").arg(photos.size())),
               tr("Remove"), tr("Cancel"), QMessageBox::Yes)
            != QMessageBox::Yes)
        return;
    start_removal(photos);
}

void MainWindow::start_removal(const std::vector<photo_facts>& photos)
{
    writing.clear();
    for (const photo_facts& photo : photos)
        writing.push_back({ photo.path, std::nullopt, QString() });
    writing_kind = write_kind::removal;
    summary_before.clear();
    writes->remove_gps(photos);
}

void MainWindow::show_written(const photo_jobs::result& result)
{
    const bool undone = writing_kind == write_kind::undo;
    const bool removal = writing_kind == write_kind::removal;
    // A run started elsewhere (the history) is an undo.
    writing_kind = write_kind::undo;
    // A verified write holds what was planned and a failed one what it held:
    // only photos whose read-back differed are read again, and after a
    // removal or an undo (which names no photos) all of them.
    QSet<QString> doubtful;
    for (const photo_jobs::failure& f : result.unverified)
        doubtful.insert(f.path);
    QSet<QString> failed;
    for (const photo_jobs::failure& f : result.failed)
        failed.insert(f.path);
    QStringList again;
    std::vector<photo_facts> current;
    if (undone) {
        for (const photo_facts& photo : table_model->photos())
            again << photo.path;
    }
    for (const planned_position& p : writing) {
        const int row = table_model->row_of(p.path);
        if (row < 0 || failed.contains(p.path))
            continue;
        // A removal may pass over files it has nothing to do in (a raw file
        // whose sidecar is not there): what they hold is read.
        if (doubtful.contains(p.path) || removal) {
            again << p.path;
            continue;
        }
        photo_facts photo = table_model->photos()[std::size_t(row)];
        photo.own = p.position;
        photo.position_from = p.position ? p.target : QString();
        current.push_back(photo);
    }
    writing.clear();
    for (photo_facts& photo : jobs->load(again))
        current.push_back(std::move(photo));
    table_model->update_photos(current);
    QStringList parts;
    parts << (undone ? counted(result.written, tr("1 photo restored"), tr("%1 photos restored"))
                 : removal ? counted(result.written, tr("GPS data removed from 1 photo"), tr("GPS data removed from %1 photos"))
                           : counted(result.written, tr("1 position written"), tr("%1 positions written")));
    if (!result.unchanged.isEmpty())
        parts << counted(int(result.unchanged.size()), tr("1 already held it"), tr("%1 already held theirs"));
    if (!result.failed.empty())
        parts << counted(int(result.failed.size()), tr("1 failed"), tr("%1 failed"));
    if (!result.unverified.empty())
        parts << counted(int(result.unverified.size()), tr("1 not verified"), tr("%1 not verified"));
    if (!summary_before.isEmpty())
        parts << summary_before;
    const QString now = QTime::currentTime().toString(QStringLiteral("hh:mm"));
    panel->show_summary((undone ? tr("Undone, %1: %2.") : tr("Last write, %1: %2.")).arg(now, parts.join(QStringLiteral(", "))));
    summary_before.clear();
}

void MainWindow::on_button_sync_clicked()
{
    // Only a clear yes writes; closing the question any other way does not.
    auto ask = [this](const QString& text, const QString& yes_text, const QString& no_text) {
        return kal::message_box::question(this, tr("Continue?"), text, yes_text, no_text, QMessageBox::Yes)
            == QMessageBox::Yes;
    };
    if (!table_model->all_files_assigned()
        && !ask(tr("Not every photo gets a position in the current mode."),
            tr("Continue anyway"), tr("Select a different mode")))
        return;
    if (table_model->would_overwrite_data()
        && !ask(tr("Some photos have a position of their own, which would be replaced."), tr("Continue"),
            tr("Abort")))
        return;

    // The user has agreed to every overwrite by now.
    const std::vector<photo_jobs::planned_write> plan = photo_jobs::plan(
        table_model->photos(), table_model->results(), table_model->settings(), write_runs::options());
    // What happens to the photos not written, counted before the write.
    QSet<QString> planned;
    writing.clear();
    for (const photo_jobs::planned_write& write : plan) {
        planned.insert(write.path);
        writing.push_back({ write.path, write.position, write.target });
    }
    int kept_own = 0;
    QMap<QString, int> missing;
    for (std::size_t i = 0; i < table_model->photos().size(); ++i) {
        const photo_facts& photo = table_model->photos()[i];
        const assignment& a = table_model->results()[i];
        if (planned.contains(photo.path))
            continue;
        if (photo.own && a.why != assignment::missing::left_out)
            ++kept_own;
        else
            ++missing[table_model->missing_text(a)];
    }
    QStringList others;
    if (kept_own > 0)
        others << counted(kept_own, tr("1 kept its own"), tr("%1 kept their own"));
    for (auto it = missing.cbegin(); it != missing.cend(); ++it)
        others << QStringLiteral("%1 %2").arg(it.value()).arg(it.key());
    summary_before = tr("of %1").arg(counted(int(table_model->photos().size()), tr("1 photo"), tr("%1 photos")));
    if (!others.isEmpty())
        summary_before += QStringLiteral("; ") + others.join(QStringLiteral(", "));
    writing_kind = write_kind::sync;
    writes->sync(plan);
}

void MainWindow::on_button_undo_clicked()
{
    writes->undo_last();
}

void MainWindow::show_undo_history()
{
    writes->show_history();
}

void MainWindow::on_label_delete_gps()
{
    // Photos left out of the write are left out of this too.
    std::vector<photo_facts> photos;
    for (std::size_t i = 0; i < table_model->photos().size(); ++i) {
        if (table_model->results()[i].why != assignment::missing::left_out)
            photos.push_back(table_model->photos()[i]);
    }
    const int n = int(photos.size());
    if (n == 0)
        return;
    const int left_out = table_model->rowCount() - n;
    QString text = tr("Do you really want to delete all GPS information from all currently loaded (%1) images?").arg(n);
    if (left_out > 0)
        text += QStringLiteral("\n\n")
            + counted(left_out, tr("1 photo left out of the write is not changed."),
                tr("%1 photos left out of the write are not changed."));
    if (kal::message_box::question(this, tr("Confirm"), text, QMessageBox::Yes | QMessageBox::No, QMessageBox::NoButton)
        != QMessageBox::Yes)
        return;

    start_removal(photos);
}
