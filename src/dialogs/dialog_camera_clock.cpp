#include "dialogs/dialog_camera_clock.h"

#include "toolkit/qt/widgets.h"

#include <QComboBox>
#include <QDateTimeEdit>
#include <QFrame>
#include <QGridLayout>
#include <QLabel>
#include <QSignalBlocker>

namespace {

const QString dialog_style = QStringLiteral(
    "QDialog{background-color:rgb(47,47,47);}"
    "QLabel{color:rgb(198,213,210);}"
    "QComboBox, QDateTimeEdit{background:rgb(38,38,38);color:rgb(198,213,210);"
    "border:1px solid rgb(99,99,99);padding:1px 4px;selection-background-color:rgb(198,213,210);"
    "selection-color:#000;}"
    "QComboBox::drop-down, QDateTimeEdit::drop-down{border:none;width:16px;}"
    "QComboBox::down-arrow, QDateTimeEdit::down-arrow{image:url(:/gui/combobox/arrow.png);}"
    "QComboBox QAbstractItemView{background:rgb(38,38,38);color:rgb(198,213,210);"
    "selection-background-color:rgb(91,91,91);}"
    "kal--button{background:rgb(68,68,68);color:rgb(198,213,210);border:1px solid rgb(99,99,99);"
    "padding:3px 12px;}"
    "kal--button:pressed{background:rgb(38,38,38);}");

const QString hint_style = QStringLiteral("color: rgb(99,99,99);");

QString photo_entry(const dialog_camera_clock::photo& photo)
{
    return QStringLiteral("%1  (%2)").arg(
        photo.name, photo.camera_time.toString(QStringLiteral("yyyy-MM-dd hh:mm:ss")));
}

// Wall-clock seconds from one time to another, leaving zones out of it.
qint64 wall_seconds(const QDateTime& from, const QDateTime& to)
{
    return QDateTime(from.date(), from.time(), Qt::UTC).secsTo(QDateTime(to.date(), to.time(), Qt::UTC));
}

} // namespace

dialog_camera_clock::dialog_camera_clock(QWidget* parent)
    : QDialog(parent)
{
    setWindowTitle(tr("Camera clock"));
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
    setStyleSheet(dialog_style);

    zone_box = new QComboBox;
    for (const QString& text : camera_clock::zone_choices()) {
        const auto clock = camera_clock::from_zone_text(text);
        zone_box->addItem(clock ? clock->zone_display() : text, text);
    }
    zone_box->setMaxVisibleItems(20);
    offset_edit = new kal::lineedit;
    offset_edit->setPlaceholderText(QStringLiteral("+00:00:00"));
    offset_hint = new QLabel(tr("hh:mm:ss, negative when it was behind"));
    offset_hint->setStyleSheet(hint_style);

    photo_box = new QComboBox;
    true_time_edit = new QDateTimeEdit;
    true_time_edit->setDisplayFormat(QStringLiteral("yyyy-MM-dd hh:mm:ss"));
    true_time_edit->setCalendarPopup(false);
    use_photo_button = new kal::button(tr("Use this photo"));
    auto* close_button = new kal::button(tr("Close"));

    auto* rule = new QFrame;
    rule->setFrameShape(QFrame::HLine);
    rule->setStyleSheet(QStringLiteral("color: rgb(99,99,99);"));

    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(20, 18, 20, 16);
    grid->setHorizontalSpacing(12);
    grid->setVerticalSpacing(8);
    grid->addWidget(new QLabel(tr("The camera clock was set to")), 0, 0);
    grid->addWidget(zone_box, 0, 1, 1, 2);
    grid->addWidget(new QLabel(tr("It ran ahead of the true time by")), 1, 0);
    grid->addWidget(offset_edit, 1, 1);
    grid->addWidget(offset_hint, 1, 2);
    grid->addWidget(rule, 2, 0, 1, 3);
    auto* helper = new QLabel(tr("Or work the offset out from a photo whose true time you know, such as a "
                                 "photo of a clock:"));
    helper->setWordWrap(true);
    grid->addWidget(helper, 3, 0, 1, 3);
    grid->addWidget(new QLabel(tr("Photo")), 4, 0);
    grid->addWidget(photo_box, 4, 1, 1, 2);
    grid->addWidget(new QLabel(tr("True time it was taken")), 5, 0);
    grid->addWidget(true_time_edit, 5, 1);
    grid->addWidget(use_photo_button, 5, 2, Qt::AlignLeft);
    grid->setRowMinimumHeight(6, 8);
    grid->addWidget(close_button, 7, 2, Qt::AlignRight);
    grid->setColumnStretch(2, 1);

    connect(zone_box, QOverload<int>::of(&QComboBox::activated), this, &dialog_camera_clock::on_zone_chosen);
    connect(offset_edit, &QLineEdit::textEdited, this, &dialog_camera_clock::on_offset_edited);
    connect(use_photo_button, &QAbstractButton::clicked, this, &dialog_camera_clock::on_use_photo_clicked);
    connect(photo_box, QOverload<int>::of(&QComboBox::currentIndexChanged), this, [this](int index) {
        // Start from the camera's own time: usually only minutes are off.
        if (index >= 0 && index < photos.size())
            true_time_edit->setDateTime(photos.at(index).camera_time);
    });
    connect(close_button, &QAbstractButton::clicked, this, &QDialog::accept);

    set_photos({});
    show_clock();
    resize(560, sizeHint().height());
}

void dialog_camera_clock::set_clock(const camera_clock& clock)
{
    current = clock;
    show_clock();
}

void dialog_camera_clock::show_clock()
{
    showing = true;
    const int index = zone_box->findData(current.zone_text());
    if (index >= 0) {
        zone_box->setCurrentIndex(index);
    } else {
        // A zone this computer does not list, kept from the settings.
        zone_box->addItem(current.zone_display(), current.zone_text());
        zone_box->setCurrentIndex(zone_box->count() - 1);
    }
    offset_edit->setText(camera_clock::format_offset(current.clock_offset));
    showing = false;
}

void dialog_camera_clock::set_photos(const QList<photo>& list)
{
    photos.clear();
    for (const photo& p : list) {
        if (p.camera_time.isValid())
            photos << p;
    }
    const QSignalBlocker block(photo_box);
    photo_box->clear();
    for (const photo& p : photos)
        photo_box->addItem(photo_entry(p));
    const bool any = !photos.isEmpty();
    photo_box->setEnabled(any);
    true_time_edit->setEnabled(any);
    use_photo_button->setEnabled(any);
    if (any)
        true_time_edit->setDateTime(photos.first().camera_time);
}

void dialog_camera_clock::use_photo(int index, const QDateTime& true_time)
{
    if (index < 0 || index >= photos.size() || !true_time.isValid())
        return;
    current.clock_offset = wall_seconds(true_time, photos.at(index).camera_time);
    show_clock();
    emit clock_changed(current);
}

void dialog_camera_clock::on_use_photo_clicked()
{
    use_photo(photo_box->currentIndex(), true_time_edit->dateTime());
}

void dialog_camera_clock::on_zone_chosen(int index)
{
    if (showing || index < 0)
        return;
    const auto chosen = camera_clock::from_zone_text(zone_box->itemData(index).toString());
    if (!chosen)
        return;
    const qint64 offset = current.clock_offset;
    current = *chosen;
    current.clock_offset = offset;
    emit clock_changed(current);
}

void dialog_camera_clock::on_offset_edited(const QString& text)
{
    const auto seconds = camera_clock::parse_offset(text);
    const bool readable = seconds || text.trimmed().isEmpty();
    offset_hint->setText(readable ? tr("hh:mm:ss, negative when it was behind")
                                  : tr("Not an offset: type hh:mm:ss, e.g. -00:01:30"));
    offset_hint->setStyleSheet(readable ? hint_style : QStringLiteral("color: rgb(224,120,96);"));
    const qint64 value = seconds ? *seconds : 0;
    if (!readable || value == current.clock_offset)
        return;
    current.clock_offset = value;
    emit clock_changed(current);
}
