#pragma once

#include <QWebView>

// The help page compiled into the program, in German or English after the
// locale, in a window of its own.
class help_window : public QWebView {
    Q_OBJECT

public:
    help_window();

    // Shows the window, or closes it when it is up.
    void toggle();
};
