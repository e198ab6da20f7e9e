#include "app/mainwindow.h"

#include "app/drop_files_widget.h"
#include "dialogs/datetime_format_selector.h"
#include "dialogs/dialog_camera_clock.h"
#include "dialogs/dialog_3rd_part_lib_info.h"
#include "dialogs/dialog_about.h"
#include "dialogs/dialog_settings.h"
#include "dialogs/dialog_undo_history.h"
#include "dialogs/git_version.h"
#include "exif/exif_cache.h"
#include "exif/exiftool.h"
#include "exif/exiftool_data.h"
#include "geo/coordinate_parser.h"
#include "geo/gps_pos.h"
#include "geo/gps_track.h"
#include "geo/gpx_parser.h"
#include "toolkit/qt/number_validator.h"
#include "map/map_window.h"
#include "model/table_data_model.h"
#include "toolkit/qt/layout.h"
#include "toolkit/qt/message_box.h"
#include "toolkit/qt/property.h"
#include "toolkit/counted.h"
#include "toolkit/qt/widgets.h"

#include <QApplication>
#include <QButtonGroup>
#include <QDesktopServices>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QFileOpenEvent>
#include <QFont>
#include <QFontDatabase>
#include <QHeaderView>
#include <QLabel>
#include <QLocale>
#include <QMenu>
#include <QProgressBar>
#include <QProgressDialog>
#include <QScreen>
#include <QSettings>
#include <QShortcut>
#include <QStandardPaths>
#include <QStyleFactory>
#include <QTableView>
#include <QWebFrame>
#include <QWebPage>
#include <QWebView>

#include <cmath>
#include <utility>

namespace prop = ktk::qt::property;

namespace {

const QString style_fix_tooltip
    = "QToolTip{border:1px solid rgb(99,99,99);background-image:none;background-color:rgb(47,47,47);}";

const QString panel_background = "background-color: rgb(47,47,47); border-style:solid; border-width:3px; "
                                 "border-image:url(:/images/border_topless.png) 3 stretch;";

const QString hint_style = "color: rgb(99,99,99);";

kal::button* make_image_button(const QString& tool_tip, const QString& image_rule)
{
    auto* button = new kal::button(nullptr, QRect());
    button->setToolTip(tool_tip);
    button->setStyleSheet(style_fix_tooltip + image_rule);
    return button;
}

template <typename W> W* with_tool_tip(W* widget, const QString& tool_tip)
{
    widget->setToolTip(tool_tip);
    widget->setStyleSheet(style_fix_tooltip + widget->styleSheet());
    return widget;
}

void set_row_height(ktk::qt::layout* layout, int height)
{
    layout->rows[layout->last_position.row].height = height;
}

void set_column_width(ktk::qt::layout* layout, int width)
{
    layout->columns[layout->last_position.column].width = width;
}

void process_events_briefly()
{
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents, 50);
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

    resize(925, 600);
    setMinimumSize(925, 600);

    auto* central = new QWidget;
    central->setStyleSheet("color: rgb(198,213,210);");
    setCentralWidget(central);

    layout_main = new ktk::qt::layout(3, false);
    central->setLayout(layout_main);

    settings_dialog = new dialog_settings;

    build_top_bar();
    build_header();
    build_drop_area();
    build_left_panel();
    build_right_panel();
    build_table();

    progress_load = make_progress_dialog(tr("Loading files"));
    progress_sync = make_progress_dialog(tr("Syncing GPS data"));

    connect_signals();
    create_shortcuts();
    load_application_settings();

    // A journal left by an earlier run can still be undone.
    jobs = std::make_unique<photo_jobs>();
    update_undo_button();
    button_undo->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(button_undo, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
        QMenu menu(this);
        menu.addAction(tr("Undo history…"), this, &MainWindow::show_undo_history);
        menu.exec(button_undo->mapToGlobal(at));
    });

    // Named after their members, so they can be found from outside.
    const std::pair<QObject*, const char*> named[] = {
        { button_settings, "button_settings" },
        { button_about, "button_about" },
        { button_help, "button_help" },
        { button_map, "button_map" },
        { button_sync, "button_sync" },
        { button_undo, "button_undo" },
        { button_reset, "button_reset" },
        { button_load_files, "button_load_files" },
        { radio_gps_use_prev, "radio_gps_use_prev" },
        { radio_gps_use_next, "radio_gps_use_next" },
        { radio_gps_use_closest, "radio_gps_use_closest" },
        { radio_gps_set, "radio_gps_set" },
        { radio_gps_gpx, "radio_gps_gpx" },
        { lineedit_lat, "lineedit_lat" },
        { lineedit_lon, "lineedit_lon" },
        { lineedit_max_timedelta, "lineedit_max_timedelta" },
        { button_load_gpx, "button_load_gpx" },
        { lineedit_gpx_file, "lineedit_gpx_file" },
        { checkbox_use_gpx, "checkbox_use_gpx" },
        { button_camera_clock, "button_camera_clock" },
        { label_camera_clock, "label_camera_clock" },
        { label_delete_gps, "label_delete_gps" },
        { table_view, "table_view" },
        { drop_widget, "drop_widget" },
        { progress_load, "progress_load" },
        { progress_sync, "progress_sync" },
    };
    for (const auto& [object, name] : named)
        object->setObjectName(name);
}

MainWindow::~MainWindow()
{
    delete help_window;
    delete map;
    delete settings_dialog;
    // The view goes with the window; it lets go of a model that is deleted first.
    delete table_model;
}

void MainWindow::build_top_bar()
{
    layout_top = new ktk::qt::layout(4, false);

    button_settings = make_image_button(tr("Show settings dialog"),
        "QPushButton{background-image: url(:/images/button_settings_small.png);border:none;}");
    layout_top->add(button_settings, prop::size(27, 27), prop::margin_left(5), prop::margin_right(-1),
        prop::margin_top(5));

    button_about = make_image_button(tr("Show information about this program"),
        "QPushButton{background-image: url(:/images/button_info_small.png);border:none;}");
    layout_top->add(
        button_about, prop::size(27, 27), prop::margin_left(-1), prop::margin_right(5), prop::margin_top(5));
    set_column_width(layout_top, 32);

    button_help = make_image_button(tr("Display the help page for this program"),
        "QPushButton{background-image: url(:/images/button_help_small.png);border:none;}");
    layout_top->add(
        button_help, prop::size(27, 27), prop::margin_left(-1), prop::margin_right(5), prop::margin_top(5));
    set_column_width(layout_top, 32);

    button_map = make_image_button(tr("Show the photos on a map"),
        "QPushButton{background-image: url(:/images/button_map_small.png);border:none;}");
    layout_top->add(
        button_map, prop::size(27, 27), prop::margin_left(-1), prop::margin_right(5), prop::margin_top(5));
    set_column_width(layout_top, 32);

    layout_main->add(layout_top, prop::column_span(3),
        prop::background_style_sheet("background-color: rgb(47,47,47);"), prop::height(32));
    set_row_height(layout_main, 32);
}

void MainWindow::build_header()
{
    layout_header = new ktk::qt::layout(3, false);

    button_sync
        = make_image_button(tr("Change the GPS coordinates on all loaded images to their preview values"),
            "QPushButton{background-image: url(:/images/button_sync.png);border:none;}");
    layout_header->add(button_sync, prop::size(119, 52), prop::margin_left(300), prop::background_disable);
    // Room for the sync button after its margin, so the undo button sits beside it.
    set_column_width(layout_header, 300 + 119);

    button_undo = make_image_button(tr("Undo the last edit of an images GPS coordinates"),
        "QPushButton{background-image: url(:/images/button_undo.png);border:none;} "
        "QPushButton:disabled{background-image: url(:/images/button_undo_disabled.png);}");
    button_undo->setEnabled(false);
    layout_header->add(button_undo, prop::size(52, 52), prop::margin_left(0), prop::margin_right(-1),
        prop::background_disable);
    set_column_width(layout_header, 52);

    auto* logo = new QWidget;
    layout_header->add(logo, prop::size(230, 70),
        prop::style_sheet("background-image: url(:/images/logo.png);"), prop::margin_right(20),
        prop::background_disable);

    layout_main->add(layout_header, prop::column_span(3),
        prop::background_style_sheet(
            "background-color: rgb(47,47,47); background-image: url(:/images/Head.png);"),
        prop::style_sheet("background-color: none; background-image: none"), prop::height(97));
    set_row_height(layout_main, 97);
}

void MainWindow::build_drop_area()
{
    drop_widget = new drop_files_widget(nullptr);
    drop_widget->setAcceptDrops(true);
    layout_drop = new ktk::qt::layout(2, false);
    drop_widget->setLayout(layout_drop);

    button_reset = make_image_button(tr("Clear the list of loaded files"),
        "QPushButton{background-image: url(:/images/button_reset.png);border:none;}");
    layout_drop->add(button_reset, prop::size(43, 43), prop::margin_left(-1), prop::margin_right(0),
        prop::margin_top(20), prop::margin_bottom(-1));

    button_load_files = make_image_button(tr("Load file(s) from disk"),
        "QPushButton{background-image: url(:/images/button_load.png);border:none;}");
    layout_drop->add(button_load_files, prop::size(43, 43), prop::margin_left(0), prop::margin_right(-1),
        prop::margin_top(20), prop::margin_bottom(-1));

    layout_main->add(drop_widget, prop::size(300, 300),
        prop::background_style_sheet(
            "background-color: rgb(0,0,0); background-image: url(:/images/drop_images_here.png); "
            "background-repeat: no-repeat; background-position: center center; "
            "background-origin: content;"));
    // The drop area, the two mode panels and the header keep their size; the
    // table takes what is left.
    set_column_width(layout_main, 300);
    set_row_height(layout_main, 300);
}

void MainWindow::build_left_panel()
{
    radio_gps_use_next
        = with_tool_tip(new kal::radio(nullptr), tr("Obtain data from the following GPS-Tagged photo"));
    radio_gps_use_prev
        = with_tool_tip(new kal::radio(nullptr), tr("Obtain data from the previous GPS-Tagged photo"));
    radio_gps_use_closest
        = with_tool_tip(new kal::radio(nullptr), tr("Obtain data from the closest GPS-Tagged photo"));
    radio_group = new QButtonGroup(this);
    radio_group->addButton(radio_gps_use_next);
    radio_group->addButton(radio_gps_use_prev);
    radio_group->addButton(radio_gps_use_closest);
    lineedit_max_timedelta = new kal::lineedit(nullptr);
    lineedit_max_timedelta->setValidator(new number_validator(lineedit_max_timedelta));
    with_tool_tip(lineedit_max_timedelta,
        tr("If time difference in minutes between two images is greater than this "
           "number no GPS position will be assigned"));
    radio_gps_use_prev->setChecked(true);

    auto* modes = new ktk::qt::layout(2, false);
    modes->add(radio_gps_use_prev, prop::size(13, 13), prop::margin_top(23), prop::margin_left(25));
    // Each radio stands beside its diagram in the mode picture.
    set_column_width(modes, 50);
    set_row_height(modes, 23 + 13);
    auto* picture = new QWidget;
    modes->add(picture, prop::row_span(3), prop::width(156),
        prop::style_sheet("background-image: url(:/images/sync_kind.png); background-repeat: no-repeat; "
                          "background-position: left center;"));
    modes->add(radio_gps_use_next, prop::size(13, 13), prop::margin_top(57), prop::margin_left(25));
    set_row_height(modes, 57 + 13);
    modes->add(radio_gps_use_closest, prop::size(13, 13), prop::margin_top(57), prop::margin_left(25));

    auto* time_row = new ktk::qt::layout(3, false);
    time_row->add(new QLabel(tr("Max. time diff.")), prop::margin_left(25));
    set_column_width(
        time_row, 25 + QFontMetrics(QApplication::font()).horizontalAdvance(tr("Max. time diff.")) + 8);
    time_row->add(lineedit_max_timedelta);
    set_column_width(time_row, 45);
    time_row->add(new QLabel(tr("min.")), prop::margin_left(7));

    layout_sync_left = new ktk::qt::layout(1, false);
    layout_sync_left->add(modes, prop::height(227), prop::margin_top(25));
    layout_sync_left->add(time_row, prop::height(20), prop::margin_bottom(15));
    set_row_height(layout_sync_left, 48);

    layout_main->add(layout_sync_left, prop::size(220, 300), prop::background_style_sheet(panel_background));
    set_column_width(layout_main, 220);
}

void MainWindow::build_right_panel()
{
    QFont underlined = font();
    underlined.setUnderline(true);

    radio_gps_set = with_tool_tip(
        new kal::radio(nullptr), tr("Set GPS position of all photos to user specified value"));
    radio_group->addButton(radio_gps_set);
    lineedit_lat = new kal::lineedit(nullptr);
    lineedit_lon = new kal::lineedit(nullptr);
    radio_gps_gpx
        = with_tool_tip(new kal::radio(nullptr), tr("Take the positions from a GPS track (.gpx file)"));
    radio_group->addButton(radio_gps_gpx);
    button_load_gpx = make_image_button(tr("Load a GPS track (.gpx file)"),
        "QPushButton{background-image: url(:/images/button_load_gpx.png);border:none;}");
    lineedit_gpx_file = with_tool_tip(new kal::lineedit(nullptr), tr("The GPS track the positions come from"));
    lineedit_gpx_file->setReadOnly(true);
    lineedit_gpx_file->setPlaceholderText(tr("No track loaded"));
    checkbox_use_gpx = with_tool_tip(new kal::checkbox(tr("Use .gpx instead of photo with geotag"), nullptr, false),
        tr("Photos that already have a position get the track's position too"));
    button_camera_clock = make_image_button(tr("Set the time zone and the clock offset of the camera"),
        "QPushButton{background-image: url(:/images/button_camera_clock.png);border:none;}");
    label_camera_clock = new kal::clickable_label(QString(), true, nullptr);
    label_delete_gps = new kal::clickable_label(tr("Remove GPS data from all files"), true, nullptr);
    label_delete_gps->setFont(underlined);

    layout_set_position = new ktk::qt::layout(3, false);
    layout_set_position->add(new QWidget);
    set_column_width(layout_set_position, 13);
    layout_set_position->add(new QLabel(tr("Latitude")), prop::margin_left(20));
    set_column_width(layout_set_position, 170);
    layout_set_position->add(new QLabel(tr("Longitude")), prop::margin_left(20));
    set_column_width(layout_set_position, 170);
    set_row_height(layout_set_position, 20);

    layout_set_position->add(radio_gps_set, prop::size(13, 13));
    layout_set_position->add(lineedit_lat, prop::height(20), prop::margin_left(20));
    layout_set_position->add(lineedit_lon, prop::height(20), prop::margin_left(20));
    set_row_height(layout_set_position, 25);

    layout_set_position->add(new QWidget);
    layout_set_position->add(new QLabel(tr("e.g. -19.178194\nor 19°10'41.5\"S")), prop::margin_left(20),
        prop::style_sheet(hint_style));
    layout_set_position->add(new QLabel(tr("e.g. 46.501221\nor 46°30'4.4\"E")), prop::margin_left(20),
        prop::style_sheet(hint_style));
    set_row_height(layout_set_position, 45);

    // The track row: the radio in the column of the position radio, the
    // track file, the switch for photos with a position, the camera clock.
    layout_gpx = new ktk::qt::layout(3, false);
    layout_gpx->add(radio_gps_gpx, prop::size(13, 13));
    set_column_width(layout_gpx, 13);
    layout_gpx->add(button_load_gpx, prop::size(24, 24), prop::margin_left(20));
    set_column_width(layout_gpx, 20 + 24);
    layout_gpx->add(lineedit_gpx_file, prop::height(20), prop::margin_left(6));
    set_row_height(layout_gpx, 28);

    layout_gpx->add(new QWidget);
    layout_gpx->add(checkbox_use_gpx, prop::column_span(2), prop::height(16), prop::margin_left(20));
    set_row_height(layout_gpx, 24);

    layout_gpx->add(new QWidget);
    layout_gpx->add(button_camera_clock, prop::size(24, 24), prop::margin_left(20));
    layout_gpx->add(label_camera_clock, prop::height(20), prop::margin_left(6));
    set_row_height(layout_gpx, 28);

    layout_sync_right = new ktk::qt::layout(1, false);
    layout_sync_right->add(new QWidget);
    set_row_height(layout_sync_right, 22);
    layout_sync_right->add(layout_set_position, prop::margin_left(20), prop::margin_right(20));
    set_row_height(layout_sync_right, 20 + 25 + 45);
    layout_sync_right->add(layout_gpx, prop::margin_left(20), prop::margin_right(20));
    set_row_height(layout_sync_right, 28 + 24 + 28);
    // At least 220 wide, and never narrower than its text.
    const int label_width
        = std::max(220, QFontMetrics(underlined).horizontalAdvance(label_delete_gps->text()) + 4);
    layout_sync_right->add(label_delete_gps, prop::height(20), prop::width(label_width),
        prop::margin_bottom(50), prop::margin_top(-1), prop::margin_left(20));

    layout_main->add(layout_sync_right, prop::height(300), prop::background_style_sheet(panel_background));
}

void MainWindow::build_table()
{
    table_view = new QTableView(nullptr);
    table_model = new table_data_model(nullptr);
    table_view->setModel(table_model);
    table_view->setShowGrid(false);
    table_view->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    table_view->setSortingEnabled(true);
    table_view->setFocusPolicy(Qt::NoFocus);
    table_view->setFrameShape(QFrame::NoFrame);
    table_view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_view->setTabKeyNavigation(false);
    table_view->setDropIndicatorShown(false);
    table_view->setAlternatingRowColors(true);
    table_view->setCornerButtonEnabled(false);
    table_view->setSelectionMode(QAbstractItemView::NoSelection);
    table_view->verticalHeader()->hide();
    table_view->setStyleSheet(
        "*{  alternate-background-color: rgb(68, 68, 68);  background-color: rgb(38, 38, 38);}"
        "QTableView::item {  padding-left: 1em;  border: 0px;  border-right: 1px solid black;}");
    table_view->resizeColumnsToContents();
    QHeaderView* header = table_view->horizontalHeader();
    header->setSortIndicator(1, Qt::AscendingOrder);
    header->setSectionResizeMode(0, QHeaderView::Fixed);
    header->setSectionResizeMode(1, QHeaderView::Fixed);
    header->setSectionResizeMode(2, QHeaderView::Stretch);
    QStyle* fusion = QStyleFactory::create("fusion");
    fusion->setParent(header);
    header->setStyle(fusion);
    header->setStyleSheet("QHeaderView::section {border-width: 3;border-style: solid;"
                          "border-image:url(:/images/border.png) 3 stretch;padding-left: 1em;}");
    kal::style_scrollbars(table_view);

    layout_table = new ktk::qt::layout(1, false);
    layout_table->add(table_view, prop::margin_left(0), prop::margin_right(0));
    layout_main->add(layout_table, prop::column_span(3));
}

QProgressDialog* MainWindow::make_progress_dialog(const QString& label)
{
    auto* dialog = new QProgressDialog(this, Qt::WindowFlags());
    QStyle* fusion = QStyleFactory::create("fusion");
    fusion->setParent(dialog);
    dialog->setStyle(fusion);
    dialog->setWindowFlags(
        dialog->windowFlags() ^ Qt::WindowCloseButtonHint ^ Qt::WindowContextHelpButtonHint);
    dialog->setLabelText(label);
    dialog->setCancelButton(nullptr);
    dialog->setMinimumDuration(0);
    dialog->setMinimum(1);
    dialog->setFixedSize(dialog->size());
    dialog->setStyleSheet("* {    background-color: rgb(47,47,47);    color: rgb(198,213,210);}"
                          "QProgressBar {    color: rgb(198,213,210);    background-color: rgb(47,47,47);    "
                          "border: 2px solid rgb(55,63,61);    border-radius: 4px;    text-align: center;}"
                          "QProgressBar::chunk {    background-color: rgb(91,91,91);    width: 5px}");
    auto* bar = new QProgressBar;
    bar->setFormat(tr("%v of %m"));
    dialog->setBar(bar);
    // Stops the timer that would otherwise pop the dialog up on its own.
    dialog->reset();
    dialog->hide();
    return dialog;
}

void MainWindow::connect_signals()
{
    connect(button_settings, &QAbstractButton::clicked, this, [this] { on_button_settings_clicked(); });
    connect(button_about, &QAbstractButton::clicked, this, [this] { on_button_about_clicked(); });
    connect(button_help, &QAbstractButton::clicked, this, [this] { on_button_help_clicked(); });
    connect(button_map, &QAbstractButton::clicked, this, [this] { on_button_map_clicked(); });
    connect(button_load_files, &QAbstractButton::clicked, this, [this] { on_button_load_files_clicked(); });
    connect(button_load_gpx, &QAbstractButton::clicked, this, [this] { on_button_load_gpx_clicked(); });
    connect(button_reset, &QAbstractButton::clicked, this, [this] { on_button_reset_clicked(); });
    connect(button_sync, &QAbstractButton::clicked, this, [this] { on_button_sync_clicked(); });
    connect(button_undo, &QAbstractButton::clicked, this, [this] { on_button_undo_clicked(); });
    connect(drop_widget, &drop_files_widget::files_dropped, this, &MainWindow::load_files);
    connect(
        table_model, &table_data_model::sort_order_override, this, [this](int column, Qt::SortOrder order) {
            table_view->horizontalHeader()->setSortIndicator(column, order);
        });
    connect(radio_gps_use_prev, &QAbstractButton::clicked, this, &MainWindow::on_radio_gps_use_prev_clicked);
    connect(radio_gps_use_next, &QAbstractButton::clicked, this, &MainWindow::on_radio_gps_use_next_clicked);
    connect(radio_gps_use_closest, &QAbstractButton::clicked, this,
        &MainWindow::on_radio_gps_use_closest_clicked);
    connect(radio_gps_set, &QAbstractButton::clicked, this, &MainWindow::on_radio_gps_set);
    connect(radio_gps_gpx, &QAbstractButton::clicked, this, &MainWindow::on_radio_gps_gpx);
    connect(label_delete_gps, &kal::clickable_label::clicked, this, &MainWindow::on_label_delete_gps);
    connect(lineedit_lat, &QLineEdit::textChanged, this, &MainWindow::on_lat_lon_text_changed);
    connect(lineedit_lon, &QLineEdit::textChanged, this, &MainWindow::on_lat_lon_text_changed);
    connect(lineedit_max_timedelta, &QLineEdit::textChanged, this, &MainWindow::on_max_timedelta_changed);
    connect(checkbox_use_gpx, &QAbstractButton::toggled, this, &MainWindow::on_checkbox_use_gpx_toggled);
    connect(button_camera_clock, &QAbstractButton::clicked, this, [this] { on_button_camera_clock_clicked(); });
    connect(label_camera_clock, &kal::clickable_label::clicked, this, &MainWindow::on_button_camera_clock_clicked);
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
    add(QKeySequence::Open, [this] { Q_EMIT button_load_files->clicked(false); });
    add(QKeySequence(Qt::Key_F1), [this] { Q_EMIT button_help->clicked(false); });
    add(QKeySequence("Ctrl+?"), [this] { Q_EMIT button_help->clicked(false); });
    add(QKeySequence("Ctrl+M"), [this] { Q_EMIT button_map->clicked(false); });
    add(QKeySequence("Ctrl+Shift+Z"), [this] { show_undo_history(); });
    add(QKeySequence("Ctrl+Q"), [] { QCoreApplication::quit(); });
}

void MainWindow::load_application_settings()
{
    QSettings settings;
    last_image_load_path = settings
                               .value("last_image_load_path",
                                   QStandardPaths::writableLocation(QStandardPaths::PicturesLocation))
                               .toString();
    last_gpx_load_path = settings
                             .value("last_gpx_load_path",
                                 QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation))
                             .toString();
    sync_order = static_cast<int>(settings.value("sync_order", 2u).toUInt());

    kal::radio* const radios[]
        = { radio_gps_use_prev, radio_gps_use_next, radio_gps_use_closest, radio_gps_set, radio_gps_gpx };
    if (sync_order >= 0 && sync_order <= 4) {
        radios[sync_order]->setChecked(true);
    } else {
        // An unknown mode leaves every radio unchecked, which an exclusive group refuses.
        radio_group->setExclusive(false);
        for (kal::radio* radio : radios)
            radio->setChecked(false);
        radio_group->setExclusive(true);
    }
    table_model->set_mode(sync_mode_of(sync_order));
    table_model->set_datetime_format(settings_dialog->selector()->get_datetime_format());
    lineedit_max_timedelta->setPlaceholderText(sync_order == 4 ? QStringLiteral("30") : QString());

    // A zone or offset this program cannot read counts as unset.
    camera = camera_clock::from_zone_text(settings.value("camera_time_zone").toString()).value_or(camera_clock());
    camera.clock_offset = camera_clock::parse_offset(settings.value("camera_clock_offset").toString()).value_or(0);
    table_model->set_camera_clock(camera);
    show_camera_clock();
}

void MainWindow::save_application_settings()
{
    QSettings settings;
    settings.setValue("last_image_load_path", last_image_load_path);
    settings.setValue("last_gpx_load_path", last_gpx_load_path);
    settings.setValue("sync_order", sync_order);
    settings.setValue("camera_time_zone", camera.zone_text());
    settings.setValue("camera_clock_offset", camera_clock::format_offset(camera.clock_offset));
}

bool MainWindow::event(QEvent* e)
{
    if (e->type() != QEvent::FileOpen)
        return QMainWindow::event(e);
    load_files({ static_cast<QFileOpenEvent*>(e)->file() });
    return true;
}

void MainWindow::step_progress(QProgressDialog* progress, int value)
{
    progress->setValue(value);
    // A round of events per file would cost more than the file on a fast disk.
    static QElapsedTimer since_events;
    if (since_events.isValid() && since_events.elapsed() < 20 && value < progress->maximum())
        return;
    since_events.start();
    process_events_briefly();
}

void MainWindow::load_files(QStringList paths)
{
    if (loading) {
        queued_files += paths;
        return;
    }
    loading = true;
    bool read_any = false;
    std::vector<path_listing::skipped> passed_over;
    do {
        const path_listing listing = list_paths(paths);
        passed_over.insert(passed_over.end(), listing.passed_over.begin(), listing.passed_over.end());
        const QStringList& files = listing.files;
        progress_load->setRange(0, files.size());
        progress_load->setValue(0);
        QCoreApplication::processEvents();

        const int before = table_model->rowCount();
        table_model->add_photos(jobs->load(
            files, [this](int done, int) { step_progress(progress_load, done); },
            [this](const QString& path) { return table_model->contains(path); }, &passed_over));
        read_any = read_any || table_model->rowCount() > before;
        paths = std::exchange(queued_files, QStringList());
    } while (!paths.isEmpty());
    // With nothing to load the value never passes its start, and the dialog
    // would stay up.
    progress_load->reset();
    loading = false;
    // Without ExifTool every photo would look as if it had no data at all.
    if (read_any && !kal::_exiftool2::instance()->running())
        kal::message_box::warning(this, tr("ExifTool is not running"),
                                  tr("ExifTool, which reads and writes the photos' data, is not running. The "
                                     "photos just loaded show no recording time or GPS position of their own, "
                                     "and nothing can be written into them."),
                                  QMessageBox::Ok, QMessageBox::NoButton);
    report_passed_over(passed_over);
}

void MainWindow::report_passed_over(const std::vector<path_listing::skipped>& passed_over)
{
    if (passed_over.empty())
        return;
    QStringList names;
    QStringList details;
    for (const path_listing::skipped& passed : passed_over) {
        const QString line = QStringLiteral("%1 (%2)").arg(QFileInfo(passed.name).fileName(), passed.reason);
        if (names.size() < 10)
            names << line;
        details << QDir::toNativeSeparators(passed.name) + QStringLiteral(": ") + passed.reason;
    }
    if (passed_over.size() > 10)
        names << tr("and %1 more").arg(passed_over.size() - 10);
    kal::message_box box(QMessageBox::Information, tr("Files not loaded"),
        tr("%1 not loaded:\n\n%2")
            .arg(counted(int(passed_over.size()), tr("1 file was"), tr("%1 files were")), names.join('\n')),
        QMessageBox::NoButton, this);
    kal::message_box::initMessageBox(box, QMessageBox::Ok, QMessageBox::NoButton);
    box.setDetailedText(details.join('\n'));
    box.exec();
}

void MainWindow::on_button_load_files_clicked()
{
    const QStringList files = QFileDialog::getOpenFileNames(this, tr("Select files"),
        last_image_load_path + "/__dummy.file", tr("Image files (*.png *.jpg *.jpeg *.tiff *.tif)"));
    if (files.isEmpty())
        return;
    last_image_load_path = QFileInfo(files.first()).absolutePath();
    save_application_settings();
    load_files(files);
}

void MainWindow::on_button_load_gpx_clicked()
{
    const QString file = QFileDialog::getOpenFileName(
        this, tr("Select gpx file"), last_gpx_load_path + "/__dummy.file", tr("GPX files (*.gpx)"));
    if (file.isEmpty())
        return;
    last_gpx_load_path = QFileInfo(file).absolutePath();
    save_application_settings();

    const gpx_parser parser(file);
    const QString file_name = QFileInfo(file).fileName();
    if (!parser.error.isEmpty()) {
        kal::message_box::warning(
            this, tr("Erro"), parser.describe(file_name), QMessageBox::Ok, QMessageBox::NoButton);
        return;
    }
    if (parser.tracks.isEmpty()) {
        kal::message_box::warning(this, tr("Erro"),
            tr("It looks like there are no tracks in the selected gpx file. Please select a different one."),
            QMessageBox::Ok, QMessageBox::NoButton);
        return;
    }
    QList<track_data> chosen;
    QString name;
    if (parser.tracks.size() == 1) {
        chosen = parser.tracks;
        name = parser.tracks.first().name;
    } else {
        QStringList entries;
        int all_points = 0;
        for (const track_data& track : parser.tracks) {
            entries << tr("%1 (%2 Points)").arg(track.name).arg(track.points.size());
            all_points += track.points.size();
        }
        entries << tr("All tracks (%1 Points)").arg(all_points);
        bool ok = false;
        const QString entry = kal::input_dialog::get_item(this, tr("Select track"),
            tr("There are multiple tracks inside the selected gpx file. Please select one."), entries, 0,
            false, &ok);
        const int index = ok ? entries.indexOf(entry) : -1;
        if (index < 0)
            return;
        if (index == parser.tracks.size()) {
            chosen = parser.tracks;
            name = tr("All tracks");
        } else {
            chosen = { parser.tracks.at(index) };
            name = parser.tracks.at(index).name;
        }
    }

    // Points the table cannot use are named once, with what is left of them.
    const gps_track usable(chosen);
    if (usable.empty() || usable.left_out() > 0) {
        QString text = parser.describe(file_name);
        if (text.isEmpty())
            text = tr("The GPX file \"%1\" holds points that cannot be used.").arg(file_name);
        text += QStringLiteral("\n\n")
            + (usable.empty() ? tr("None of the chosen points can be used; the track was not loaded.")
                              : tr("%1 of the chosen points are used; the others are left out.")
                                    .arg(usable.points().size()));
        kal::message_box::warning(this, tr("Erro"), text, QMessageBox::Ok, QMessageBox::NoButton);
        if (usable.empty())
            return;
    }
    use_tracks(chosen, name);
}

void MainWindow::use_tracks(const QList<track_data>& tracks, const QString& name)
{
    chosen_tracks = tracks;
    chosen_track_name = name;
    table_model->set_track(gps_track(tracks));
    show_track();
    radio_gps_gpx->setChecked(true);
    if (sync_order != 4)
        set_sync_order(4);
}

void MainWindow::show_track()
{
    const gps_track& track = table_model->settings().track;
    if (track.empty()) {
        lineedit_gpx_file->clear();
        return;
    }
    const QString format = settings_dialog->selector()->get_datetime_format();
    const auto utc_text = [&format](qint64 msecs) {
        return QDateTime::fromMSecsSinceEpoch(msecs, Qt::UTC).toString(format);
    };
    const int count = int(track.points().size());
    const QString points = count == 1 ? tr("1 point") : tr("%1 points").arg(count);
    const QString text = tr("%1: %2, %3 to %4 UTC")
                             .arg(chosen_track_name, points, utc_text(track.points().front().msecs),
                                 utc_text(track.points().back().msecs));
    lineedit_gpx_file->setText(text);
    lineedit_gpx_file->setCursorPosition(0);
    lineedit_gpx_file->setToolTip(text);
}

void MainWindow::on_checkbox_use_gpx_toggled(bool checked)
{
    table_model->set_track_overwrites(checked);
}

void MainWindow::show_camera_clock()
{
    const QString text = tr("Camera: %1, %2")
                             .arg(camera.zone_display(), camera_clock::format_offset(camera.clock_offset));
    label_camera_clock->setText(text);
    label_camera_clock->setToolTip(
        tr("The camera clock was set to %1 and ran %2 ahead of the true time. Click to change.")
            .arg(camera.zone_display(), camera_clock::format_offset(camera.clock_offset)));
}

void MainWindow::set_camera_clock(const camera_clock& clock)
{
    if (clock == camera)
        return;
    camera = clock;
    save_application_settings();
    table_model->set_camera_clock(camera);
    show_camera_clock();
}

void MainWindow::on_button_camera_clock_clicked()
{
    if (!camera_clock_dialog) {
        camera_clock_dialog = new dialog_camera_clock(this);
        connect(camera_clock_dialog, &dialog_camera_clock::clock_changed, this, &MainWindow::set_camera_clock);
    }
    QList<dialog_camera_clock::photo> photos;
    for (int row = 0; row < table_model->rowCount(); ++row) {
        dialog_camera_clock::photo photo;
        photo.name = table_model->data(table_model->index(row, 0), Qt::DisplayRole).toString();
        photo.camera_time = table_model->data(table_model->index(row, 1), Qt::UserRole).toDateTime();
        photos << photo;
    }
    camera_clock_dialog->set_photos(photos);
    camera_clock_dialog->set_clock(camera);
    camera_clock_dialog->exec();
}

void MainWindow::on_button_reset_clicked()
{
    table_model->clear();
    std::shared_ptr<exif_cache> cache = exif_cache::instance();
    cache->derived_info.clear();
    cache->raw_tags.clear();
}

void MainWindow::on_button_settings_clicked()
{
    settings_dialog->exec();
    table_model->set_datetime_format(settings_dialog->selector()->get_datetime_format());
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
    if (!help_window) {
        const QString language = QLocale().language() == QLocale::German ? "de" : "en";
        QString html;
        QFile file(QString(":/help/index_%1.html").arg(language));
        if (file.open(QIODevice::ReadOnly)) {
            const QByteArray bytes = file.readAll();
            html = QString::fromUtf8(bytes.constData(), qstrnlen(bytes.constData(), bytes.size()));
        }
        html.replace("Ctrl", "Cmd").replace("Strg", "Cmd");

        help_window = new QWebView(nullptr);
        // Closing the main window ends the program even while help is open.
        help_window->setAttribute(Qt::WA_QuitOnClose, false);
        help_window->setHtml(html, QUrl());
        const QRect screen = QGuiApplication::primaryScreen()->geometry();
        help_window->resize(std::min(800, screen.width() - 20), std::min(760, screen.height() - 60));
        help_window->page()->setLinkDelegationPolicy(QWebPage::DelegateAllLinks);
        connect(help_window, &QWebView::linkClicked, [](const QUrl& url) { QDesktopServices::openUrl(url); });
    }
    if (help_window->isVisible())
        help_window->close();
    else
        help_window->show();
}

void MainWindow::on_button_map_clicked()
{
    if (!map) {
        map = new map_window(*table_model, nullptr);
        // Closing the main window ends the program even while the map is open.
        map->setAttribute(Qt::WA_QuitOnClose, false);
        connect(map, &map_window::position_chosen, this, &MainWindow::use_map_position);
    }
    if (map->isVisible())
        map->close();
    else
        map->show();
}

void MainWindow::use_map_position(double lat, double lon)
{
    lineedit_lat->setText(QString::number(lat, 'f', 6));
    lineedit_lon->setText(QString::number(lon, 'f', 6));
    radio_gps_set->click();
}

void MainWindow::report_failed_writes(const photo_jobs::result& result, const QString& what)
{
    if (!result.stopped.isEmpty())
        kal::message_box::warning(this, tr("Writing stopped"), result.stopped, QMessageBox::Ok, QMessageBox::NoButton);
    if (!result.damaged.isEmpty())
        kal::message_box::warning(this, tr("Undo data damaged"),
            tr("Undo data for %1 are damaged and could not be restored. They were moved aside, not "
               "deleted:\n\n%2")
                .arg(counted(result.damaged_photos, tr("1 photo"), tr("%1 photos")), result.damaged.join('\n')),
            QMessageBox::Ok, QMessageBox::NoButton);
    const std::size_t count = result.failed.size() + result.unverified.size() + result.changed_since.size();
    if (count == 0)
        return;
    QStringList names;
    QStringList details;
    const auto list = [&](const std::vector<photo_jobs::failure>& failures) {
        for (const photo_jobs::failure& f : failures) {
            const QString name = QDir::toNativeSeparators(f.path);
            if (names.size() < 10)
                names << name;
            details << name + QStringLiteral(": ") + f.reason;
        }
    };
    list(result.failed);
    list(result.unverified);
    list(result.changed_since);
    if (count > 10)
        names << tr("and %1 more").arg(count - 10);
    QString text = tr("%1 of the files could not be changed as meant while %2:\n\n%3")
                       .arg(count)
                       .arg(what, names.join('\n'));
    if (!result.unverified.empty())
        text += QStringLiteral("\n\n")
            + tr("%1 written, but reading back did not show what was meant; this can be undone.")
                  .arg(counted(int(result.unverified.size()), tr("1 photo was"), tr("%1 photos were")));
    kal::message_box box(QMessageBox::Warning, tr("Files not changed"), text, QMessageBox::NoButton, this);
    kal::message_box::initMessageBox(box, QMessageBox::Ok, QMessageBox::NoButton);
    box.setDetailedText(details.join('\n'));
    box.exec();
}

QString MainWindow::run_title(const undo_journal::run_info& info) const
{
    const QDateTime when = info.started.toLocalTime();
    const QString time = when.date() == QDate::currentDate()
        ? when.toString(QStringLiteral("hh:mm"))
        : when.toString(settings_dialog->selector()->get_datetime_format());
    if (info.operation == QLatin1String("removal"))
        return tr("GPS data removed from %1 %2").arg(counted(info.photos, tr("1 photo"), tr("%1 photos")), time);
    if (info.operation == QLatin1String("sync"))
        return tr("%1 written %2").arg(counted(info.photos, tr("1 position"), tr("%1 positions")), time);
    return tr("%1 written %2").arg(counted(info.photos, tr("1 photo"), tr("%1 photos")), time);
}

void MainWindow::update_undo_button()
{
    const std::vector<undo_journal::run_info> runs = jobs->journal().runs();
    button_undo->setEnabled(!runs.empty());
    button_undo->setToolTip(runs.empty()
            ? tr("Nothing to undo")
            : tr("Undo: %1\nRight click or Ctrl+Shift+Z for older runs").arg(run_title(runs.front())));
}

void MainWindow::undo_run(const QString& id, bool confirm)
{
    const std::optional<undo_journal::run> run = jobs->journal().load(id);
    if (!run) {
        update_undo_button();
        return;
    }
    const int later = jobs->journal().written_later(id).size();
    QString question;
    if (confirm)
        question = tr("Undo %1? Changes made to these photos since then by other programs are kept; "
                      "you will be asked about them.")
                       .arg(run_title(run->info));
    if (later > 0)
        question += (question.isEmpty() ? QString() : QStringLiteral("\n\n"))
            + tr("%1 written again by a later run; undo leaves them as they are unless you restore them "
                 "anyway.")
                  .arg(counted(later, tr("1 photo of this run was"), tr("%1 photos of this run were")));
    if (!question.isEmpty()
        && kal::message_box::question(this, tr("Undo"), question, QMessageBox::Yes | QMessageBox::No,
               QMessageBox::NoButton)
            != QMessageBox::Yes)
        return;

    const auto progress = [this](int done, int total) {
        progress_sync->setMaximum(total);
        step_progress(progress_sync, done);
    };
    start_progress(1);
    photo_jobs::undo_request request;
    request.run = id;
    photo_jobs::result result = jobs->undo(request, progress);
    progress_sync->reset();

    if (!result.changed_since.empty()) {
        QStringList names;
        for (const photo_jobs::failure& f : result.changed_since)
            names << QDir::toNativeSeparators(f.path) + QStringLiteral(": ") + f.reason;
        kal::message_box box(QMessageBox::Question, tr("Changed since"),
            tr("%1 changed after Vestra wrote them, by another program or by a later run of Vestra. "
               "Restoring them would take back that change too.")
                .arg(counted(int(result.changed_since.size()), tr("1 photo was"), tr("%1 photos were"))),
            QMessageBox::NoButton, this);
        kal::message_box::initMessageBox(box, QMessageBox::Yes | QMessageBox::No, QMessageBox::No);
        box.button(QMessageBox::Yes)->setText(tr("Restore anyway"));
        box.button(QMessageBox::No)->setText(tr("Leave them"));
        box.setDetailedText(names.join('\n'));
        if (box.exec() == QMessageBox::Yes) {
            request.force = true;
            for (const photo_jobs::failure& f : result.changed_since)
                request.only.insert(f.path);
            start_progress(1);
            const photo_jobs::result forced = jobs->undo(request, progress);
            progress_sync->reset();
            result.changed_since = forced.changed_since;
            result.written += forced.written;
            result.failed.insert(result.failed.end(), forced.failed.begin(), forced.failed.end());
            if (!forced.stopped.isEmpty())
                result.stopped = forced.stopped;
        } else {
            result.changed_since.clear();
        }
    }
    update_undo_button();
    report_failed_writes(result, tr("undoing %1").arg(run_title(run->info)));
}

void MainWindow::show_undo_history()
{
    std::vector<dialog_undo_history::run_row> rows;
    qint64 bytes = 0;
    for (const undo_journal::run_info& info : jobs->journal().runs()) {
        bytes += info.bytes;
        dialog_undo_history::run_row row;
        row.id = info.id;
        row.when = info.started.toLocalTime().toString(settings_dialog->selector()->get_datetime_format());
        row.what = info.operation == QLatin1String("removal")
            ? tr("GPS data removed from %1").arg(counted(info.photos, tr("1 photo"), tr("%1 photos")))
            : tr("%1 written").arg(counted(info.photos, tr("1 position"), tr("%1 positions")));
        row.folders = info.folders.join(QStringLiteral(", "));
        const int later = jobs->journal().written_later(info.id).size();
        if (later > 0)
            row.warning = tr("%1 written again later").arg(counted(later, tr("1 photo"), tr("%1 photos")));
        rows.push_back(row);
    }
    const QString note = tr("Undo data: %1 in %2. The newest %3 runs are always kept; older ones go once all "
                            "take more than %4 MB.")
                             .arg(QLocale::system().formattedDataSize(bytes))
                             .arg(QDir::toNativeSeparators(jobs->journal().folder()))
                             .arg(undo_journal::runs_always_kept)
                             .arg(undo_journal::size_limit / (1024 * 1024));
    dialog_undo_history dialog(rows, note, this);
    dialog.exec();
    const QString id = dialog.chosen_run();
    if (dialog.chosen() == dialog_undo_history::choice::undo) {
        undo_run(id, false);
    } else if (dialog.chosen() == dialog_undo_history::choice::discard) {
        if (kal::message_box::question(this, tr("Discard undo data"),
                tr("Discard the undo data of this run? Its photos keep what they hold now, and the run can "
                   "no longer be undone."),
                QMessageBox::Yes | QMessageBox::No, QMessageBox::No)
            != QMessageBox::Yes)
            return;
        QString error;
        if (!jobs->discard(id, &error))
            kal::message_box::warning(this, tr("Undo data"), error, QMessageBox::Ok, QMessageBox::NoButton);
        update_undo_button();
    }
}

void MainWindow::start_progress(int total)
{
    button_undo->setEnabled(false);
    progress_sync->setRange(0, std::max(1, total));
    progress_sync->setValue(0);
    QCoreApplication::processEvents();
}

void MainWindow::on_button_sync_clicked()
{
    // Only a clear yes writes; closing the question any other way does not.
    auto ask = [this](const QString& text, const QString& yes_text, const QString& no_text) {
        return kal::message_box::question(this, tr("Continue?"), text, yes_text, no_text, QMessageBox::Yes)
            == QMessageBox::Yes;
    };
    if (!table_model->all_files_assigned()
        && !ask(tr("Could not assigne a GPS position to all files using the current assignment mode"),
            tr("Continue anyway"), tr("Select a different assignment mode")))
        return;
    if (table_model->would_overwrite_data()
        && !ask(tr("Some loaded images already had GPS data which would be overwritten"), tr("Continue"),
            tr("Abort")))
        return;

    // The user has agreed to every overwrite by now.
    const std::vector<photo_jobs::planned_write> plan = photo_jobs::plan(table_model->photos(),
        table_model->results(), table_model->settings(), write_options());
    start_progress(int(plan.size()) * 3);
    const photo_jobs::result result = jobs->sync(plan, [this](int done, int total) {
        progress_sync->setMaximum(total);
        step_progress(progress_sync, done);
    });
    finish_writing(result, tr("writing the GPS positions"));
}

void MainWindow::finish_writing(const photo_jobs::result& result, const QString& what)
{
    progress_sync->reset();
    last_run_written = result.run;
    update_undo_button();
    table_model->clear();
    report_failed_writes(result, what);
}

void MainWindow::on_button_undo_clicked()
{
    const std::vector<undo_journal::run_info> runs = jobs->journal().runs();
    if (runs.empty()) {
        update_undo_button();
        return;
    }
    // A run this window did not write may be old news to the user: say what it takes back.
    undo_run(runs.front().id, runs.front().id != last_run_written);
}

void MainWindow::on_label_delete_gps()
{
    const int n = table_model->rowCount();
    if (n == 0)
        return;
    if (kal::message_box::question(this, tr("Confirm"),
            tr("Do you really want to delete all GPS information from all currently loaded (%1) images?")
                .arg(n),
            QMessageBox::Yes | QMessageBox::No, QMessageBox::NoButton)
        != QMessageBox::Yes)
        return;

    start_progress(n * 3);
    const photo_jobs::result result = jobs->remove_gps(table_model->photos(), write_options(), [this](int done, int total) {
        progress_sync->setMaximum(total);
        step_progress(progress_sync, done);
    });
    finish_writing(result, tr("removing their GPS data"));
}

photo_jobs::write_options MainWindow::write_options() const
{
    // The user has agreed to every overwrite by the time this is asked.
    photo_jobs::write_options options;
    options.policy = photo_jobs::overwrite_policy::overwrite;
    const QSettings settings;
    options.sidecars = settings.value("raw_positions_in_sidecars", false).toBool();
    options.naming = settings.value("sidecar_naming").toString() == QLatin1String("NAME.xmp")
        ? sidecar_naming::without_extension
        : sidecar_naming::with_extension;
    return options;
}

void MainWindow::set_sync_order(int order)
{
    table_model->set_mode(sync_mode_of(order));
    sync_order = order;
    // A track needs a limit; without one typed, the table uses 30 minutes.
    lineedit_max_timedelta->setPlaceholderText(order == 4 ? QStringLiteral("30") : QString());
    save_application_settings();
}

void MainWindow::on_radio_gps_use_prev_clicked(bool checked)
{
    if (checked)
        set_sync_order(0);
}

void MainWindow::on_radio_gps_use_next_clicked(bool checked)
{
    if (checked)
        set_sync_order(1);
}

void MainWindow::on_radio_gps_use_closest_clicked(bool checked)
{
    if (checked)
        set_sync_order(2);
}

void MainWindow::on_radio_gps_set(bool checked)
{
    if (checked)
        set_sync_order(3);
}

void MainWindow::on_radio_gps_gpx(bool checked)
{
    if (checked)
        set_sync_order(4);
}

void MainWindow::on_lat_lon_text_changed(const QString&)
{
    const QString lat_text = lineedit_lat->text().trimmed();
    const QString lon_text = lineedit_lon->text().trimmed();
    // A whole position pasted into the latitude field is shared out; setting
    // the fields comes back here.
    if (!parse_coordinate(lat_text, axis::latitude).value) {
        const position_reading both = parse_position(lat_text);
        if (both.ok()) {
            lineedit_lon->setText(QString::number(*both.lon, 'f', QLocale::FloatingPointShortest));
            lineedit_lat->setText(QString::number(*both.lat, 'f', QLocale::FloatingPointShortest));
            return;
        }
    }
    if (lat_text.isEmpty() || lon_text.isEmpty()) {
        table_model->set_typed_position(std::nullopt);
        return;
    }
    const coordinate_reading lat = parse_coordinate(lat_text, axis::latitude);
    const coordinate_reading lon = parse_coordinate(lon_text, axis::longitude);
    if (lat.value && lon.value)
        table_model->set_typed_position(lat_lon { *lat.value, *lon.value });
}

void MainWindow::on_max_timedelta_changed(const QString&)
{
    bool ok = false;
    const int minutes = lineedit_max_timedelta->text().toInt(&ok, 10);
    // Empty is no limit set, 0 no limit at all (the track mode's default is 30 minutes).
    table_model->set_time_limit_secs(ok ? qint64(minutes) * 60 : -1);
}
