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
    dialog_settings();

    kal::datetime_format_selector* selector() const { return format_selector; }

private:
    kal::datetime_format_selector* format_selector;
};
