#pragma once

#include "geo/camera_clock.h"

#include <QDateTime>
#include <QDialog>
#include <QList>
#include <QString>

class QComboBox;
class QDateTimeEdit;
class QLabel;

namespace kal {
class button;
class lineedit;
} // namespace kal

// The camera's clock for the loaded photos: the zone it was set to and how
// far it ran ahead. Every change is announced at once, so the proposals
// follow while the dialog is open.
class dialog_camera_clock : public QDialog {
    Q_OBJECT

public:
    struct photo {
        QString name;
        QDateTime camera_time;
    };

    explicit dialog_camera_clock(QWidget* parent = nullptr);

    // Shows a clock without announcing it.
    void set_clock(const camera_clock& clock);
    camera_clock clock() const { return current; }

    // The photos offered for working out the offset, in table order.
    void set_photos(const QList<photo>& photos);
    // Sets the offset so that the photo's camera time becomes the true time.
    void use_photo(int index, const QDateTime& true_time);
    // For a clock that gained or lost time steadily: the offset at each of
    // two photos, and a straight line between them. False when the two
    // cannot give a drift (the same time, or more than 1% of gain or loss).
    bool use_photos(int first, const QDateTime& first_true, int second, const QDateTime& second_true);

signals:
    void clock_changed(const camera_clock& clock);

private:
    void on_zone_chosen(int index);
    void on_offset_edited(const QString& text);
    void on_use_photo_clicked();
    void show_clock();

    camera_clock current;
    QList<photo> photos;
    QComboBox* zone_box = nullptr;
    kal::lineedit* offset_edit = nullptr;
    QComboBox* photo_box = nullptr;
    QDateTimeEdit* true_time_edit = nullptr;
    kal::button* use_photo_button = nullptr;
    QComboBox* second_photo_box = nullptr;
    QDateTimeEdit* second_true_time_edit = nullptr;
    kal::button* use_photos_button = nullptr;
    QLabel* drift_hint = nullptr;
    QLabel* offset_hint = nullptr;
    bool showing = false;
};
