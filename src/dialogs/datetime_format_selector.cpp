#include "dialogs/datetime_format_selector.h"

#include "toolkit/qt/layout.h"
#include "toolkit/qt/property.h"
#include "toolkit/qt/widgets.h"

#include <QButtonGroup>
#include <QFont>
#include <QLabel>
#include <QSettings>

namespace kal {

namespace {

const QString date_key = QStringLiteral("date_format");
const QString time_key = QStringLiteral("time_format");

void set_row_height(ktk::qt::layout* l, int height)
{
    l->rows[l->last_position.row].height = height;
}

void set_column_width(ktk::qt::layout* l, int width)
{
    l->columns[l->last_position.column].width = width;
}

// Checks the button whose format is the current one and unchecks the rest;
// a format of no button (edited by hand) leaves the whole group unchecked,
// which an exclusive group only allows while exclusivity is off.
template <std::size_t N>
void check_matching(radio* const (&buttons)[N], const QString (&formats)[N], const QString& current)
{
    QButtonGroup* group = buttons[0]->group();
    group->setExclusive(false);
    for (std::size_t i = 0; i < N; ++i)
        buttons[i]->setChecked(formats[i] == current);
    group->setExclusive(true);
}

} // namespace

const QString datetime_format_selector::date_formats[7] = {
    QStringLiteral("dd/MM/yyyy"),
    QStringLiteral("dd.MM.yyyy"),
    QStringLiteral("dd-MM-yyyy"),
    QStringLiteral("yyyy/MM/dd"),
    QStringLiteral("yyyy.MM.dd"),
    QStringLiteral("yyyy-MM-dd"),
    QStringLiteral("MM/dd/yyyy"),
};

const QString datetime_format_selector::time_formats[2] = {
    QStringLiteral("HH:mm:ss"),
    QStringLiteral("HH:mm"),
};

datetime_format_selector::datetime_format_selector(QWidget* parent)
    : QWidget(parent)
{
    namespace p = ktk::qt::property;

    QFont bold_font(QStringLiteral("FreeSansBold"));
    bold_font.setWeight(75);
    bold_font.setPointSize(11);

    rb_ddmmyyyy_slash = new radio(QStringLiteral("DD/MM/YYYY"));
    rb_ddmmyyyy_dot = new radio(QStringLiteral("DD.MM.YYYY"));
    rb_ddmmyyyy_dash = new radio(QStringLiteral("DD-MM-YYYY"));
    rb_yyyymmdd_slash = new radio(QStringLiteral("YYYY/MM/DD"));
    rb_yyyymmdd_dot = new radio(QStringLiteral("YYYY.MM.DD"));
    rb_yyyymmdd_dash = new radio(QStringLiteral("YYYY-MM-DD"));
    rb_mmddyyyy_slash = new radio(QStringLiteral("MM/DD/YYYY"));
    rb_hhmmss = new radio(QStringLiteral("hh:mm:ss"));
    rb_hhmm = new radio(QStringLiteral("hh:mm"));

    connect(
        rb_ddmmyyyy_slash, &radio::clicked, this, &datetime_format_selector::on_rb_ddmmyyyy_slash_clicked);
    connect(rb_ddmmyyyy_dot, &radio::clicked, this, &datetime_format_selector::on_rb_ddmmyyyy_dot_clicked);
    connect(rb_ddmmyyyy_dash, &radio::clicked, this, &datetime_format_selector::on_rb_ddmmyyyy_dash_clicked);
    connect(
        rb_yyyymmdd_slash, &radio::clicked, this, &datetime_format_selector::on_rb_yyyymmdd_slash_clicked);
    connect(rb_yyyymmdd_dot, &radio::clicked, this, &datetime_format_selector::on_rb_yyyymmdd_dot_clicked);
    connect(rb_yyyymmdd_dash, &radio::clicked, this, &datetime_format_selector::on_rb_yyyymmdd_dash_clicked);
    connect(
        rb_mmddyyyy_slash, &radio::clicked, this, &datetime_format_selector::on_rb_mmddyyyy_slash_clicked);
    connect(rb_hhmmss, &radio::clicked, this, &datetime_format_selector::on_rb_hhmmss_clicked);
    connect(rb_hhmm, &radio::clicked, this, &datetime_format_selector::on_rb_hhmm_clicked);

    auto* date_group = new QButtonGroup(this);
    for (radio* rb : { rb_ddmmyyyy_slash, rb_ddmmyyyy_dot, rb_ddmmyyyy_dash, rb_yyyymmdd_slash,
             rb_yyyymmdd_dot, rb_yyyymmdd_dash, rb_mmddyyyy_slash })
        date_group->addButton(rb);
    auto* time_group = new QButtonGroup(this);
    time_group->addButton(rb_hhmmss);
    time_group->addButton(rb_hhmm);

    auto* main_layout = new ktk::qt::layout(1, false);
    setLayout(main_layout);

    auto* inner = new ktk::qt::layout(2, false);
    main_layout->add(inner,
        p::background_style_sheet(QStringLiteral(
            "border-style:solid;border-width:3px;border-image:url(:/images/border.png) 3 stretch;")),
        p::style_sheet(QStringLiteral("color: rgb(198,213,210);")));

    auto* date_layout = new ktk::qt::layout(2, false);
    date_layout->columns.resize(2);
    date_layout->columns[0].width = 104;
    date_layout->columns[1].width = 104;

    auto* date_label = new QLabel(tr("Date Format"));
    date_label->setFont(bold_font);
    date_layout->add(date_label, p::column_span(2), p::height(16));
    set_row_height(date_layout, 21);
    date_layout->add(rb_ddmmyyyy_slash, p::height(13));
    date_layout->add(rb_yyyymmdd_slash, p::height(13));
    set_row_height(date_layout, 21);
    date_layout->add(rb_ddmmyyyy_dot, p::height(13));
    date_layout->add(rb_yyyymmdd_dot, p::height(13));
    set_row_height(date_layout, 21);
    date_layout->add(rb_ddmmyyyy_dash, p::height(13));
    date_layout->add(rb_yyyymmdd_dash, p::height(13));
    set_row_height(date_layout, 20);
    date_layout->add(new QWidget, p::height(13), p::column_span(2));
    set_row_height(date_layout, 21);
    date_layout->add(rb_mmddyyyy_slash, p::column_span(2), p::height(13));
    set_row_height(date_layout, 21);

    auto* time_layout = new ktk::qt::layout(1, false);
    auto* time_label = new QLabel(tr("Time Format"));
    time_label->setFont(bold_font);
    time_layout->add(time_label, p::height(16));
    set_row_height(time_layout, 21);
    time_layout->add(rb_hhmmss, p::height(13));
    set_row_height(time_layout, 21);
    time_layout->add(rb_hhmm, p::height(13));
    set_row_height(time_layout, 21);

    inner->add(date_layout, p::margin_left(15), p::width(230), p::margin_top(15));
    set_column_width(inner, 245);
    inner->add(time_layout, p::margin_top(15), p::width(100), p::margin_right(-1));
    set_column_width(inner, 100);
    set_row_height(inner, 150);

    load_settings();
}

void datetime_format_selector::load_settings()
{
    static QSettings settings;
    date_format = settings.value(date_key, date_formats[1]).toString();
    time_format = settings.value(time_key, time_formats[0]).toString();

    radio* const date_buttons[7] = { rb_ddmmyyyy_slash, rb_ddmmyyyy_dot, rb_ddmmyyyy_dash, rb_yyyymmdd_slash,
        rb_yyyymmdd_dot, rb_yyyymmdd_dash, rb_mmddyyyy_slash };
    radio* const time_buttons[2] = { rb_hhmmss, rb_hhmm };
    check_matching(date_buttons, date_formats, date_format);
    check_matching(time_buttons, time_formats, time_format);
}

void datetime_format_selector::save_settings() const
{
    static QSettings settings;
    settings.setValue(date_key, date_format);
    settings.setValue(time_key, time_format);
}

QString datetime_format_selector::get_date_format() const
{
    return date_format;
}

QString datetime_format_selector::get_time_format() const
{
    return time_format;
}

QString datetime_format_selector::get_datetime_format() const
{
    return QStringLiteral("%1 - %2").arg(date_format, time_format);
}

void datetime_format_selector::selection_changed()
{
    save_settings();
    emit format_changed(get_datetime_format());
}

void datetime_format_selector::on_rb_ddmmyyyy_slash_clicked()
{
    date_format = date_formats[0];
    selection_changed();
}

void datetime_format_selector::on_rb_ddmmyyyy_dot_clicked()
{
    date_format = date_formats[1];
    selection_changed();
}

void datetime_format_selector::on_rb_ddmmyyyy_dash_clicked()
{
    date_format = date_formats[2];
    selection_changed();
}

void datetime_format_selector::on_rb_yyyymmdd_slash_clicked()
{
    date_format = date_formats[3];
    selection_changed();
}

void datetime_format_selector::on_rb_yyyymmdd_dot_clicked()
{
    date_format = date_formats[4];
    selection_changed();
}

void datetime_format_selector::on_rb_yyyymmdd_dash_clicked()
{
    date_format = date_formats[5];
    selection_changed();
}

void datetime_format_selector::on_rb_mmddyyyy_slash_clicked()
{
    date_format = date_formats[6];
    selection_changed();
}

void datetime_format_selector::on_rb_hhmmss_clicked()
{
    time_format = time_formats[0];
    selection_changed();
}

void datetime_format_selector::on_rb_hhmm_clicked()
{
    time_format = time_formats[1];
    selection_changed();
}

} // namespace kal
