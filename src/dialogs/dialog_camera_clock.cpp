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

// A wall time in milliseconds as if its zone were UTC, as drifts keep them.
qint64 wall_msecs(const QDateTime& time)
{
    return QDateTime(time.date(), time.time(), Qt::UTC).toMSecsSinceEpoch();
}

QString wall_text(qint64 msecs)
{
    return QDateTime::fromMSecsSinceEpoch(msecs, Qt::UTC).toString(QStringLiteral("yyyy-MM-dd hh:mm:ss"));
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
    second_photo_box = new QComboBox;
    second_photo_box->setObjectName(QStringLiteral("combo_second_photo"));
    second_true_time_edit = new QDateTimeEdit;
    second_true_time_edit->setObjectName(QStringLiteral("edit_second_true_time"));
    second_true_time_edit->setDisplayFormat(QStringLiteral("yyyy-MM-dd hh:mm:ss"));
    use_photos_button = new kal::button(tr("Use both photos"));
    use_photos_button->setObjectName(QStringLiteral("button_use_both_photos"));
    drift_hint = new QLabel;
    drift_hint->setWordWrap(true);
    drift_hint->setStyleSheet(hint_style);
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
    auto* second = new QLabel(tr("A camera clock that gains or loses time: a second photo of a clock, "
                                 "later that day, makes the offset change steadily between the two."));
    second->setWordWrap(true);
    grid->addWidget(second, 6, 0, 1, 3);
    grid->addWidget(new QLabel(tr("Second photo")), 7, 0);
    grid->addWidget(second_photo_box, 7, 1, 1, 2);
    grid->addWidget(new QLabel(tr("True time it was taken")), 8, 0);
    grid->addWidget(second_true_time_edit, 8, 1);
    grid->addWidget(use_photos_button, 8, 2, Qt::AlignLeft);
    grid->addWidget(drift_hint, 9, 0, 1, 3);
    grid->setRowMinimumHeight(10, 8);
    grid->addWidget(close_button, 11, 2, Qt::AlignRight);
    grid->setColumnStretch(2, 1);

    connect(zone_box, QOverload<int>::of(&QComboBox::activated), this, &dialog_camera_clock::on_zone_chosen);
    connect(offset_edit, &QLineEdit::textEdited, this, &dialog_camera_clock::on_offset_edited);
    connect(use_photo_button, &QAbstractButton::clicked, this, &dialog_camera_clock::on_use_photo_clicked);
    connect(photo_box, QOverload<int>::of(&QComboBox::currentIndexChanged), this, [this](int index) {
        // Start from the camera's own time: usually only minutes are off.
        if (index >= 0 && index < photos.size())
            true_time_edit->setDateTime(photos.at(index).camera_time);
    });
    connect(second_photo_box, QOverload<int>::of(&QComboBox::currentIndexChanged), this, [this](int index) {
        if (index >= 0 && index < photos.size())
            second_true_time_edit->setDateTime(photos.at(index).camera_time);
    });
    connect(use_photos_button, &QAbstractButton::clicked, this, [this] {
        use_photos(photo_box->currentIndex(), true_time_edit->dateTime(), second_photo_box->currentIndex(),
            second_true_time_edit->dateTime());
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
    if (current.drift) {
        const clock_drift& d = *current.drift;
        drift_hint->setText(tr("The clock drifts: %1 ahead at %2, %3 ahead at %4, on top of the offset above.")
                                .arg(camera_clock::format_offset((d.camera_start - d.true_start) / 1000),
                                    wall_text(d.camera_start),
                                    camera_clock::format_offset((d.camera_end - d.true_end) / 1000),
                                    wall_text(d.camera_end)));
    } else {
        drift_hint->setText(tr("No drift: the offset is the same all day."));
    }
    drift_hint->setStyleSheet(hint_style);
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
    const QSignalBlocker block_second(second_photo_box);
    photo_box->clear();
    second_photo_box->clear();
    for (const photo& p : photos) {
        photo_box->addItem(photo_entry(p));
        second_photo_box->addItem(photo_entry(p));
    }
    const bool any = !photos.isEmpty();
    for (QWidget* w : std::initializer_list<QWidget*> { photo_box, true_time_edit, use_photo_button })
        w->setEnabled(any);
    const bool two = photos.size() > 1;
    for (QWidget* w : std::initializer_list<QWidget*> { second_photo_box, second_true_time_edit, use_photos_button })
        w->setEnabled(two);
    if (any) {
        true_time_edit->setDateTime(photos.first().camera_time);
        second_photo_box->setCurrentIndex(photos.size() - 1);
        second_true_time_edit->setDateTime(photos.last().camera_time);
    }
}

void dialog_camera_clock::use_photo(int index, const QDateTime& true_time)
{
    if (index < 0 || index >= photos.size() || !true_time.isValid())
        return;
    current.clock_offset = wall_seconds(true_time, photos.at(index).camera_time);
    current.drift.reset();
    show_clock();
    emit clock_changed(current);
}

bool dialog_camera_clock::use_photos(int first, const QDateTime& first_true, int second, const QDateTime& second_true)
{
    if (first < 0 || first >= photos.size() || second < 0 || second >= photos.size() || !first_true.isValid()
        || !second_true.isValid())
        return false;
    std::pair<qint64, qint64> a { wall_msecs(photos.at(first).camera_time), wall_msecs(first_true) };
    std::pair<qint64, qint64> b { wall_msecs(photos.at(second).camera_time), wall_msecs(second_true) };
    if (b.first < a.first)
        std::swap(a, b);
    // The same checks as a drift typed in the terminal tool.
    const std::optional<clock_drift> drift
        = camera_clock::parse_drift(camera_clock::format_drift({ a.first, a.second, b.first, b.second }));
    if (!drift) {
        drift_hint->setText(tr("These two photos give no drift: they must be taken at different times, and a "
                               "clock does not gain or lose more than 14 minutes a day."));
        drift_hint->setStyleSheet(QStringLiteral("color: rgb(224,120,96);"));
        return false;
    }
    current.clock_offset = 0;
    current.drift = drift;
    show_clock();
    emit clock_changed(current);
    return true;
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
    const camera_clock before = current;
    current = *chosen;
    current.clock_offset = before.clock_offset;
    current.drift = before.drift;
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
