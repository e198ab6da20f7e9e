#pragma once

#include <QDialog>

namespace kal {
class datetime_format_selector;
}

// The settings window: the date/time format, where raw files' positions go
// and how videos keep their time. Choices are stored as they are clicked, so
// it has no buttons and is closed with the window's close control.
class dialog_settings : public QDialog {
    Q_OBJECT

public:
    // How tracks are read and matched, as stored.
    struct track_choices {
        // Seconds; negative: as far as the time limit.
        qint64 end_limit_secs = -1;
        bool across_segments = false;
        bool with_course = false;
        // Metres; location history points less accurate are left out.
        double accuracy_limit = 200;
    };
    static track_choices stored_track_choices();

    dialog_settings();

    kal::datetime_format_selector* selector() const { return format_selector; }

private:
    kal::datetime_format_selector* format_selector;
};
