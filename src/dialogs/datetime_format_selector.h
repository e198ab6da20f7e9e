#pragma once

#include <QString>
#include <QWidget>

namespace kal {

class radio;

// Lets the user pick one of the date formats and one of the time formats used
// to show recording times; every click is stored in the user settings at once.
class datetime_format_selector : public QWidget {
    Q_OBJECT

public:
    // QDateTime::toString formats, in the order of the radio buttons.
    static const QString date_formats[7];
    static const QString time_formats[2];

    explicit datetime_format_selector(QWidget* parent = nullptr);

    void load_settings();
    void save_settings() const;

    QString get_date_format() const;
    QString get_time_format() const;
    // "<date format> - <time format>"
    QString get_datetime_format() const;

signals:
    void format_changed(const QString& datetime_format);

private slots:
    void on_rb_ddmmyyyy_slash_clicked();
    void on_rb_ddmmyyyy_dot_clicked();
    void on_rb_ddmmyyyy_dash_clicked();
    void on_rb_yyyymmdd_slash_clicked();
    void on_rb_yyyymmdd_dot_clicked();
    void on_rb_yyyymmdd_dash_clicked();
    void on_rb_mmddyyyy_slash_clicked();
    void on_rb_hhmmss_clicked();
    void on_rb_hhmm_clicked();

private:
    void selection_changed();

    QString date_format;
    QString time_format;

    radio* rb_ddmmyyyy_slash;
    radio* rb_ddmmyyyy_dot;
    radio* rb_ddmmyyyy_dash;
    radio* rb_yyyymmdd_slash;
    radio* rb_yyyymmdd_dot;
    radio* rb_yyyymmdd_dash;
    radio* rb_mmddyyyy_slash;
    radio* rb_hhmmss;
    radio* rb_hhmm;
};

} // namespace kal
