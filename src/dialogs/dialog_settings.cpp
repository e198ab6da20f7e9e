#include "dialogs/dialog_settings.h"

#include "dialogs/datetime_format_selector.h"
#include "toolkit/qt/layout.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QRadioButton>
#include <QSettings>
#include <QVBoxLayout>

namespace {

const QString kinds_style = QStringLiteral(
    "QLabel, QRadioButton, QCheckBox{color:rgb(198,213,210);}"
    "QComboBox{background:rgb(38,38,38);color:rgb(198,213,210);border:1px solid rgb(99,99,99);padding:1px 4px;}"
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

} // namespace

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

    setFixedSize(420, 285);
}
