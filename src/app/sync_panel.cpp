#include "app/sync_panel.h"

#include "app/styles.h"
#include "geo/coordinate_parser.h"
#include "places/places.h"
#include "toolkit/qt/layout.h"
#include "toolkit/qt/number_validator.h"
#include "toolkit/qt/property.h"
#include "toolkit/qt/widgets.h"

#include <QApplication>
#include <QAbstractItemView>
#include <QButtonGroup>
#include <QCompleter>
#include <QDateTime>
#include <QLabel>
#include <QLocale>
#include <QStringListModel>
#include <QToolButton>

#include <algorithm>

namespace prop = ktk::qt::property;

namespace {

template <typename W> W* named(W* widget, const char* name)
{
    widget->setObjectName(name);
    return widget;
}

} // namespace

sync_panel::sync_panel(QObject* parent)
    : QObject(parent)
{
    build_left();
    build_right();

    const std::pair<kal::radio*, sync_mode> modes[] = {
        { radio_gps_use_prev, sync_mode::previous },
        { radio_gps_use_next, sync_mode::next },
        { radio_gps_use_closest, sync_mode::closest },
        { radio_gps_set, sync_mode::typed },
        { radio_gps_gpx, sync_mode::track },
    };
    for (const auto& [radio, mode] : modes)
        connect(radio, &QAbstractButton::clicked, this, [this, mode = mode](bool checked) {
            if (checked)
                Q_EMIT mode_chosen(mode);
        });
    connect(lineedit_max_timedelta, &QLineEdit::textChanged, this, [this](const QString& text) {
        bool ok = false;
        const int minutes = text.toInt(&ok, 10);
        // Empty is no limit set, 0 no limit at all (the track mode's default is 30 minutes).
        Q_EMIT time_limit_typed(ok ? qint64(minutes) * 60 : -1);
    });
    connect(lineedit_lat, &QLineEdit::textChanged, this, &sync_panel::read_position);
    connect(lineedit_lat, &QLineEdit::textEdited, this, &sync_panel::offer_towns);
    connect(town_completer, QOverload<const QModelIndex&>::of(&QCompleter::activated), this,
        [this](const QModelIndex& chosen) {
            if (chosen.row() >= 0 && chosen.row() < offered.size())
                use_position(offered[chosen.row()].lat, offered[chosen.row()].lon);
        },
        // After the field has taken the town's name, which the numbers replace.
        Qt::QueuedConnection);
    connect(lineedit_lon, &QLineEdit::textChanged, this, &sync_panel::read_position);
    connect(button_load_gpx, &QAbstractButton::clicked, this, &sync_panel::load_track_clicked);
    connect(button_remove_track, &QAbstractButton::clicked, this, &sync_panel::remove_track_clicked);
    connect(checkbox_use_gpx, &QAbstractButton::toggled, this, &sync_panel::track_overwrites_toggled);
    connect(button_camera_clock, &QAbstractButton::clicked, this, &sync_panel::camera_clock_clicked);
    connect(label_camera_clock, &kal::clickable_label::clicked, this, &sync_panel::camera_clock_clicked);
    connect(label_delete_gps, &kal::clickable_label::clicked, this, &sync_panel::remove_gps_clicked);
}

void sync_panel::build_left()
{
    radio_gps_use_next = named(
        styles::with_tool_tip(new kal::radio(nullptr), tr("Obtain data from the following GPS-Tagged photo")),
        "radio_gps_use_next");
    radio_gps_use_prev = named(
        styles::with_tool_tip(new kal::radio(nullptr), tr("Obtain data from the previous GPS-Tagged photo")),
        "radio_gps_use_prev");
    radio_gps_use_closest = named(
        styles::with_tool_tip(new kal::radio(nullptr), tr("Obtain data from the closest GPS-Tagged photo")),
        "radio_gps_use_closest");
    radio_group = new QButtonGroup(this);
    radio_group->addButton(radio_gps_use_next);
    radio_group->addButton(radio_gps_use_prev);
    radio_group->addButton(radio_gps_use_closest);
    lineedit_max_timedelta = named(new kal::lineedit(nullptr), "lineedit_max_timedelta");
    lineedit_max_timedelta->setValidator(new number_validator(lineedit_max_timedelta));
    styles::add_tool_tip(lineedit_max_timedelta,
        tr("If time difference in minutes between two images is greater than this "
           "number no GPS position will be assigned"));
    radio_gps_use_prev->setChecked(true);

    // Each radio stands beside its diagram in the mode picture.
    auto* modes = new ktk::qt::layout(2, false);
    modes->add(radio_gps_use_prev, prop::size(13, 13), prop::margin_top(23), prop::margin_left(25),
        prop::column_width(50), prop::row_height(23 + 13));
    modes->add(new QWidget, prop::row_span(3), prop::width(156), prop::style_sheet(styles::mode_picture));
    modes->add(radio_gps_use_next, prop::size(13, 13), prop::margin_top(57), prop::margin_left(25),
        prop::row_height(57 + 13));
    modes->add(radio_gps_use_closest, prop::size(13, 13), prop::margin_top(57), prop::margin_left(25));

    const QString time_label = tr("Max. time diff.");
    auto* time_row = new ktk::qt::layout(3, false);
    time_row->add(new QLabel(time_label), prop::margin_left(25),
        prop::column_width(25 + QFontMetrics(QApplication::font()).horizontalAdvance(time_label) + 8));
    time_row->add(lineedit_max_timedelta, prop::column_width(45));
    time_row->add(new QLabel(tr("min.")), prop::margin_left(7));

    left = new ktk::qt::layout(1, false);
    left->add(modes, prop::height(227), prop::margin_top(8));
    left->add(time_row, prop::height(20), prop::margin_bottom(5), prop::row_height(25));
}

void sync_panel::build_right()
{
    QFont underlined = QApplication::font();
    underlined.setUnderline(true);

    radio_gps_set = named(styles::with_tool_tip(new kal::radio(nullptr),
                              tr("Set GPS position of all photos to user specified value")),
        "radio_gps_set");
    radio_group->addButton(radio_gps_set);
    lineedit_lat = named(new kal::lineedit(nullptr), "lineedit_lat");
    lineedit_lon = named(new kal::lineedit(nullptr), "lineedit_lon");
    // A town's name typed into the latitude field offers its position.
    town_completer = new QCompleter(new QStringListModel(this), this);
    town_completer->setCompletionMode(QCompleter::UnfilteredPopupCompletion);
    town_completer->popup()->setObjectName(QStringLiteral("popup_towns"));
    // Wider than the field: the names carry their region and country.
    town_completer->popup()->setMinimumWidth(340);
    town_completer->popup()->setStyleSheet(QStringLiteral(
        "QAbstractItemView{background:rgb(38,38,38);color:rgb(198,213,210);border:1px solid rgb(99,99,99);"
        "selection-background-color:rgb(91,91,91);}"));
    lineedit_lat->setCompleter(town_completer);
    radio_gps_gpx = named(
        styles::with_tool_tip(new kal::radio(nullptr), tr("Take the positions from a GPS track (.gpx file)")),
        "radio_gps_gpx");
    radio_group->addButton(radio_gps_gpx);
    button_load_gpx
        = styles::make_image_button("button_load_gpx", tr("Load a GPS track (.gpx file)"), "button_load_gpx");
    lineedit_gpx_file = named(
        styles::with_tool_tip(new kal::lineedit(nullptr), tr("The GPS track the positions come from")),
        "lineedit_gpx_file");
    lineedit_gpx_file->setReadOnly(true);
    lineedit_gpx_file->setPlaceholderText(tr("No track loaded"));
    button_remove_track = named(new QToolButton, "button_remove_track");
    button_remove_track->setText(QStringLiteral("×"));
    button_remove_track->setToolTip(tr("Remove track files"));
    button_remove_track->setStyleSheet(QStringLiteral(
        "QToolButton{color:rgb(198,213,210);background:rgb(68,68,68);border:1px solid rgb(99,99,99);}"
        "QToolButton:disabled{color:rgb(99,99,99);background:transparent;}"));
    button_remove_track->setEnabled(false);
    checkbox_use_gpx = named(
        styles::with_tool_tip(new kal::checkbox(tr("Use .gpx instead of photo with geotag"), nullptr, false),
            tr("Photos that already have a position get the track's position too")),
        "checkbox_use_gpx");
    button_camera_clock = styles::make_image_button("button_camera_clock",
        tr("Set the time zone and the clock offset of the camera"), "button_camera_clock");
    label_camera_clock = named(new kal::clickable_label(QString(), true, nullptr), "label_camera_clock");
    label_delete_gps = named(
        new kal::clickable_label(tr("Remove GPS data from all files"), true, nullptr), "label_delete_gps");
    label_delete_gps->setFont(underlined);

    auto* position = new ktk::qt::layout(3, false);
    position->add(new QWidget, prop::column_width(13));
    position->add(new QLabel(tr("Latitude, or a town")), prop::margin_left(20), prop::column_width(170));
    position->add(
        new QLabel(tr("Longitude")), prop::margin_left(20), prop::column_width(170), prop::row_height(20));

    position->add(radio_gps_set, prop::size(13, 13));
    position->add(lineedit_lat, prop::height(20), prop::margin_left(20));
    position->add(lineedit_lon, prop::height(20), prop::margin_left(20), prop::row_height(25));

    position->add(new QWidget);
    position->add(new QLabel(tr("e.g. -19.178194\nor 19°10'41.5\"S")), prop::margin_left(20),
        prop::style_sheet(styles::hint));
    position->add(new QLabel(tr("e.g. 46.501221\nor 46°30'4.4\"E")), prop::margin_left(20),
        prop::style_sheet(styles::hint), prop::row_height(45));

    // The track row: the radio in the column of the position radio, the
    // track file, the switch for photos with a position, the camera clock.
    auto* track = new ktk::qt::layout(4, false);
    track->add(radio_gps_gpx, prop::size(13, 13), prop::column_width(13));
    track->add(button_load_gpx, prop::size(24, 24), prop::margin_left(20), prop::column_width(20 + 24));
    track->add(lineedit_gpx_file, prop::height(20), prop::margin_left(6), prop::row_height(28));
    track->add(button_remove_track, prop::size(20, 20), prop::margin_left(4), prop::column_width(24));

    track->add(new QWidget);
    track->add(checkbox_use_gpx, prop::column_span(3), prop::height(16), prop::margin_left(20),
        prop::row_height(24));

    track->add(new QWidget);
    track->add(button_camera_clock, prop::size(24, 24), prop::margin_left(20));
    track->add(label_camera_clock, prop::column_span(2), prop::height(20), prop::margin_left(6),
        prop::row_height(28));

    right = new ktk::qt::layout(1, false);
    right->add(new QWidget, prop::row_height(12));
    right->add(position, prop::margin_left(20), prop::margin_right(20), prop::row_height(20 + 25 + 45));
    right->add(track, prop::margin_left(20), prop::margin_right(20), prop::row_height(28 + 24 + 28));
    // At least 220 wide, and never narrower than its text.
    const int label_width
        = std::max(220, QFontMetrics(underlined).horizontalAdvance(label_delete_gps->text()) + 4);
    right->add(label_delete_gps, prop::height(20), prop::width(label_width), prop::margin_bottom(20),
        prop::margin_top(-1), prop::margin_left(20));
}

void sync_panel::show_mode(sync_mode mode)
{
    kal::radio* const radios[]
        = { radio_gps_use_prev, radio_gps_use_next, radio_gps_use_closest, radio_gps_set, radio_gps_gpx };
    if (mode != sync_mode::none) {
        radios[int(mode)]->setChecked(true);
    } else {
        // An exclusive group refuses to uncheck its last checked button.
        radio_group->setExclusive(false);
        for (kal::radio* radio : radios)
            radio->setChecked(false);
        radio_group->setExclusive(true);
    }
    // A track needs a limit; without one typed, the table uses 30 minutes.
    lineedit_max_timedelta->setPlaceholderText(mode == sync_mode::track ? QStringLiteral("30") : QString());
}

void sync_panel::use_position(double lat, double lon)
{
    lineedit_lat->setText(QString::number(lat, 'f', 6));
    lineedit_lon->setText(QString::number(lon, 'f', 6));
    radio_gps_set->click();
}

void sync_panel::read_position()
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
        Q_EMIT position_typed(std::nullopt);
        return;
    }
    const coordinate_reading lat = parse_coordinate(lat_text, axis::latitude);
    const coordinate_reading lon = parse_coordinate(lon_text, axis::longitude);
    if (lat.value && lon.value)
        Q_EMIT position_typed(lat_lon { *lat.value, *lon.value });
}

void sync_panel::offer_towns(const QString& text)
{
    // Only text that is no coordinate: letters, and no digit.
    const QString typed = text.trimmed();
    const bool name = typed.size() >= 2 && std::none_of(typed.begin(), typed.end(), [](QChar c) { return c.isDigit(); })
        && std::count_if(typed.begin(), typed.end(), [](QChar c) { return c.isLetter(); }) >= 2;
    offered = name ? search_places(typed, 8) : QVector<place>();
    QStringList titles;
    for (const place& p : offered)
        titles << place_title(p);
    static_cast<QStringListModel*>(town_completer->model())->setStringList(titles);
    if (!titles.isEmpty())
        town_completer->complete();
}

void sync_panel::show_track(const QString& name, const gps_track& track, const QString& datetime_format)
{
    button_remove_track->setEnabled(!track.empty());
    if (track.empty()) {
        lineedit_gpx_file->clear();
        lineedit_gpx_file->setToolTip(tr("The GPS track the positions come from"));
        return;
    }
    const auto utc_text = [&datetime_format](qint64 msecs) {
        return QDateTime::fromMSecsSinceEpoch(msecs, Qt::UTC).toString(datetime_format);
    };
    const int count = int(track.points().size());
    const QString points = count == 1 ? tr("1 point") : tr("%1 points").arg(count);
    const QString text = tr("%1: %2, %3 to %4 UTC")
                             .arg(name, points, utc_text(track.points().front().msecs),
                                 utc_text(track.points().back().msecs));
    lineedit_gpx_file->setText(text);
    lineedit_gpx_file->setCursorPosition(0);
    lineedit_gpx_file->setToolTip(text);
}

void sync_panel::show_camera_clock(const camera_clock& clock)
{
    const QString zone = clock.zone_display();
    const QString offset = camera_clock::format_offset(clock.clock_offset);
    label_camera_clock->setText(clock.drift ? tr("Camera: %1, %2, drifting").arg(zone, offset)
                                            : tr("Camera: %1, %2").arg(zone, offset));
    label_camera_clock->setToolTip(
        tr("The camera clock was set to %1 and ran %2 ahead of the true time. Click to change.")
            .arg(zone, offset));
}
