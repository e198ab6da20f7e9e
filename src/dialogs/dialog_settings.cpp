#include "dialogs/dialog_settings.h"

#include "dialogs/datetime_format_selector.h"
#include "toolkit/qt/layout.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QRadioButton>
#include <QSettings>
#include <QSpinBox>
#include <QVBoxLayout>

namespace {

const QString kinds_style = QStringLiteral(
    "QLabel, QRadioButton, QCheckBox{color:rgb(198,213,210);}"
    "QComboBox{background:rgb(38,38,38);color:rgb(198,213,210);border:1px solid rgb(99,99,99);padding:1px 4px;}"
    "QSpinBox{background:rgb(38,38,38);color:rgb(198,213,210);border:1px solid rgb(99,99,99);padding:1px 2px;}"
    "QComboBox QAbstractItemView{background:rgb(38,38,38);color:rgb(198,213,210);"
    "selection-background-color:rgb(91,91,91);}");

// Where raw files' positions go, and how videos keep their time; stored as
// they are clicked.
QWidget* kinds_panel()
{
    auto* panel = new QWidget;
    panel->setStyleSheet(kinds_style);
    QSettings settings;
    auto* in_file = new QRadioButton(QObject::tr("in the file"));
    in_file->setObjectName(QStringLiteral("radio_raw_in_file"));
    auto* in_sidecar = new QRadioButton(QObject::tr("in an XMP sidecar"));
    in_sidecar->setObjectName(QStringLiteral("radio_raw_in_sidecar"));
    auto* group = new QButtonGroup(panel);
    group->addButton(in_file);
    group->addButton(in_sidecar);
    (settings.value(QStringLiteral("raw_positions_in_sidecars"), false).toBool() ? in_sidecar : in_file)->setChecked(true);
    auto* naming = new QComboBox;
    naming->setObjectName(QStringLiteral("combo_sidecar_naming"));
    naming->addItems({ QStringLiteral("NAME.EXT.xmp"), QStringLiteral("NAME.xmp") });
    naming->setCurrentText(settings.value(QStringLiteral("sidecar_naming"), QStringLiteral("NAME.EXT.xmp")).toString());
    naming->setEnabled(in_sidecar->isChecked());
    auto* video_local = new QCheckBox(QObject::tr("Video times are the camera's local time, not UTC"));
    video_local->setObjectName(QStringLiteral("checkbox_video_local_time"));
    video_local->setChecked(settings.value(QStringLiteral("video_times_local"), false).toBool());

    auto* names = new QCheckBox(QObject::tr("Write place names"));
    names->setObjectName(QStringLiteral("checkbox_write_place_names"));
    names->setToolTip(QObject::tr("The nearest town, its region and country go with each position written "
                                  "(XMP, and IPTC in JPEG and TIFF files)"));
    names->setChecked(settings.value(QStringLiteral("write_place_names"), false).toBool());
    auto* replace = new QCheckBox(QObject::tr("also over names a photo has"));
    replace->setObjectName(QStringLiteral("checkbox_replace_place_names"));
    replace->setChecked(settings.value(QStringLiteral("replace_place_names"), false).toBool());
    replace->setEnabled(names->isChecked());
    QObject::connect(names, &QCheckBox::toggled, panel, [replace](bool on) {
        QSettings().setValue(QStringLiteral("write_place_names"), on);
        replace->setEnabled(on);
    });
    QObject::connect(replace, &QCheckBox::toggled, panel,
        [](bool on) { QSettings().setValue(QStringLiteral("replace_place_names"), on); });

    QObject::connect(in_sidecar, &QRadioButton::toggled, panel, [naming](bool on) {
        QSettings().setValue(QStringLiteral("raw_positions_in_sidecars"), on);
        naming->setEnabled(on);
    });
    QObject::connect(naming, &QComboBox::currentTextChanged, panel,
        [](const QString& text) { QSettings().setValue(QStringLiteral("sidecar_naming"), text); });
    QObject::connect(video_local, &QCheckBox::toggled, panel,
        [](bool on) { QSettings().setValue(QStringLiteral("video_times_local"), on); });

    auto* column = new QVBoxLayout(panel);
    column->setContentsMargins(14, 4, 14, 10);
    column->addWidget(new QLabel(QObject::tr("Positions for raw files:")));
    auto* raw_row = new QHBoxLayout;
    raw_row->addWidget(in_file);
    raw_row->addWidget(in_sidecar);
    raw_row->addWidget(naming);
    raw_row->addStretch();
    column->addLayout(raw_row);
    column->addWidget(video_local);
    auto* names_row = new QHBoxLayout;
    names_row->addWidget(names);
    names_row->addWidget(replace);
    names_row->addStretch();
    column->addLayout(names_row);
    return panel;
}

// How far a photo may lie outside the track, segment breaks, direction and
// speed, and the accuracy asked of a phone's location history.
QWidget* track_panel()
{
    auto* panel = new QWidget;
    panel->setStyleSheet(kinds_style);
    const dialog_settings::track_choices stored = dialog_settings::stored_track_choices();

    auto* end_limit = new QSpinBox;
    end_limit->setObjectName(QStringLiteral("spin_track_end_limit"));
    end_limit->setRange(0, 7 * 24 * 60);
    // 0 is the special value: no limit of its own.
    end_limit->setSpecialValueText(QObject::tr("as the time limit"));
    end_limit->setSuffix(QObject::tr(" min"));
    end_limit->setValue(stored.end_limit_secs > 0 ? int(stored.end_limit_secs / 60) : 0);
    end_limit->setToolTip(QObject::tr("How long before the first or after the last point of a track a photo may "
                                      "have been taken and still get the track's end"));
    auto* accuracy = new QSpinBox;
    accuracy->setObjectName(QStringLiteral("spin_accuracy_limit"));
    accuracy->setRange(1, 100000);
    accuracy->setSuffix(QObject::tr(" m"));
    accuracy->setValue(int(stored.accuracy_limit));
    accuracy->setToolTip(QObject::tr("Points of a phone's location history that are less accurate are left out"));
    auto* across = new QCheckBox(QObject::tr("Interpolate across breaks between track segments"));
    across->setObjectName(QStringLiteral("checkbox_across_segments"));
    across->setChecked(stored.across_segments);
    auto* course = new QCheckBox(QObject::tr("Write the direction and speed of travel"));
    course->setObjectName(QStringLiteral("checkbox_write_direction"));
    course->setToolTip(QObject::tr("GPSTrack, GPSImgDirection and GPSSpeed from the track at the photo's time"));
    course->setChecked(stored.with_course);

    QObject::connect(end_limit, QOverload<int>::of(&QSpinBox::valueChanged), panel,
        [](int minutes) { QSettings().setValue(QStringLiteral("track_end_limit_minutes"), minutes); });
    QObject::connect(accuracy, QOverload<int>::of(&QSpinBox::valueChanged), panel,
        [](int metres) { QSettings().setValue(QStringLiteral("location_accuracy_limit"), metres); });
    QObject::connect(across, &QCheckBox::toggled, panel,
        [](bool on) { QSettings().setValue(QStringLiteral("track_across_segments"), on); });
    QObject::connect(course, &QCheckBox::toggled, panel,
        [](bool on) { QSettings().setValue(QStringLiteral("write_direction"), on); });

    auto* column = new QVBoxLayout(panel);
    column->setContentsMargins(14, 4, 14, 10);
    column->addWidget(new QLabel(QObject::tr("Tracks:")));
    auto* end_row = new QHBoxLayout;
    end_row->addWidget(new QLabel(QObject::tr("Photos before the first or after the last point, up to")));
    end_row->addWidget(end_limit);
    end_row->addStretch();
    column->addLayout(end_row);
    column->addWidget(across);
    column->addWidget(course);
    auto* accuracy_row = new QHBoxLayout;
    accuracy_row->addWidget(new QLabel(QObject::tr("Location history: leave out points less accurate than")));
    accuracy_row->addWidget(accuracy);
    accuracy_row->addStretch();
    column->addLayout(accuracy_row);
    return panel;
}

} // namespace

dialog_settings::track_choices dialog_settings::stored_track_choices()
{
    QSettings settings;
    track_choices choices;
    const int minutes = settings.value(QStringLiteral("track_end_limit_minutes"), 0).toInt();
    choices.end_limit_secs = minutes > 0 ? qint64(minutes) * 60 : -1;
    choices.across_segments = settings.value(QStringLiteral("track_across_segments"), false).toBool();
    choices.with_course = settings.value(QStringLiteral("write_direction"), false).toBool();
    const double metres = settings.value(QStringLiteral("location_accuracy_limit"), 200).toDouble();
    choices.accuracy_limit = metres > 0 ? metres : 200;
    return choices;
}

dialog_settings::dialog_settings()
    : QDialog(nullptr)
{
    setWindowFlags(windowFlags() ^ Qt::WindowContextHelpButtonHint);
    // The selector draws light text on whatever lies beneath it; without a
    // background of its own the dialog would show it on the light system
    // window colour. Only the dialog itself, so the panel frame stays visible.
    setStyleSheet(QStringLiteral("QDialog{background-color:rgb(47,47,47);}"));

    format_selector = new kal::datetime_format_selector(nullptr);
    auto* main_layout = new ktk::qt::layout(1, false);
    setLayout(main_layout);
    main_layout->add(format_selector, ktk::qt::property::height(165));
    main_layout->add(kinds_panel(), ktk::qt::property::height(120));
    main_layout->add(track_panel(), ktk::qt::property::height(150));

    setFixedSize(470, 435);
}
