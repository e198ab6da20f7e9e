#pragma once

#include "engine/assignment.h"
#include "places/places.h"

#include <QObject>
#include <QString>
#include <QVector>

#include <optional>

class QButtonGroup;
class QCompleter;
class QToolButton;

namespace kal {
class button;
class checkbox;
class clickable_label;
class lineedit;
class radio;
} // namespace kal

namespace ktk::qt {
class layout;
} // namespace ktk::qt

// The controls that say where positions come from: on the left the modes
// copying from other photos with their time limit, on the right the typed
// position, the track, the camera clock and the removal of GPS data. It
// shows what it is handed and reports what the user does.
class sync_panel : public QObject {
    Q_OBJECT

public:
    explicit sync_panel(QObject* parent = nullptr);

    // The two halves, for the window to place.
    ktk::qt::layout* copy_modes() const { return left; }
    ktk::qt::layout* other_sources() const { return right; }

    // Checks the mode's button, or none for a mode without one.
    void show_mode(sync_mode mode);
    // Types the position and chooses the typed mode, as the user would.
    void use_position(double lat, double lon);
    void show_track(const QString& name, const gps_track& track, const QString& datetime_format);
    void show_camera_clock(const camera_clock& clock);

Q_SIGNALS:
    // On every click of a mode's button, also of the one chosen already.
    void mode_chosen(sync_mode mode);
    // Negative when the field is empty.
    void time_limit_typed(qint64 seconds);
    // Nothing when a field is empty; a field that cannot be read sends nothing.
    void position_typed(const std::optional<lat_lon>& position);
    void load_track_clicked();
    void remove_track_clicked();
    void track_overwrites_toggled(bool on);
    void camera_clock_clicked();
    void remove_gps_clicked();

private:
    void build_left();
    void build_right();
    void read_position();
    void offer_towns(const QString& text);

    ktk::qt::layout* left = nullptr;
    ktk::qt::layout* right = nullptr;
    QButtonGroup* radio_group = nullptr;
    kal::radio* radio_gps_use_prev = nullptr;
    kal::radio* radio_gps_use_next = nullptr;
    kal::radio* radio_gps_use_closest = nullptr;
    kal::radio* radio_gps_set = nullptr;
    kal::radio* radio_gps_gpx = nullptr;
    kal::lineedit* lineedit_max_timedelta = nullptr;
    kal::lineedit* lineedit_lat = nullptr;
    kal::lineedit* lineedit_lon = nullptr;
    QCompleter* town_completer = nullptr;
    QVector<place> offered;
    kal::button* button_load_gpx = nullptr;
    kal::lineedit* lineedit_gpx_file = nullptr;
    QToolButton* button_remove_track = nullptr;
    kal::checkbox* checkbox_use_gpx = nullptr;
    kal::button* button_camera_clock = nullptr;
    kal::clickable_label* label_camera_clock = nullptr;
    kal::clickable_label* label_delete_gps = nullptr;
};
